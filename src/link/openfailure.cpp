#include "link/openfailure.h"

#include "text/extratexts.h"

QString OpenFailure::describe(int langIndex) const {
    using namespace ExtraTexts;
    switch (reason) {
        case Reason::None:
            return QString();
        case Reason::NoDevice:
            return text(kNoDevice, langIndex);
        case Reason::NotFound:
            return text(kNotFound, langIndex);
        case Reason::PermissionDenied:
            return group.isEmpty() ? text(kPermissionDenied, langIndex)
                                   : text(kPermissionGroup, langIndex).arg(group);
        case Reason::InUse:
            return text(kInUse, langIndex);
        case Reason::BadName:
            return text(kBadName, langIndex).arg(detail);
        case Reason::HostNotFound:
            return text(kHostNotFound, langIndex);
        case Reason::ConnectionRefused:
            return text(kConnectionRefused, langIndex);
        case Reason::NoAnswer:
            return text(kNoAnswer, langIndex).arg(QString::number(boundMs / 1000.0, 'g', 3));
        case Reason::ComPortRefused:
            return text(kComPortRefused, langIndex);
        case Reason::LineSettingRefused:
            return text(kLineSettingRefused, langIndex).arg(detail);
        case Reason::Cancelled:
            return text(kCancelled, langIndex);
        case Reason::ConnectionClosed:
            // What the server said, if anything, is in its own words.
            return detail.isEmpty()
                       ? text(kConnectionClosed, langIndex)
                       : text(kConnectionClosed, langIndex) + QStringLiteral(": ") + detail;
        case Reason::Other:
            break;
    }
    return detail;
}
