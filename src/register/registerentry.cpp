#include "register/registerentry.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

QString SourceName(RecordSource source) {
    switch (source) {
        case RecordSource::Window:
            return QStringLiteral("window");
        case RecordSource::Cli:
            return QStringLiteral("cli");
        case RecordSource::Survey:
            return QStringLiteral("survey");
        case RecordSource::Apply:
            return QStringLiteral("apply");
        case RecordSource::Checkout:
            return QStringLiteral("checkout");
    }
    return QString();
}

QString TestName(LiveTest test) {
    switch (test) {
        case LiveTest::DidoTest:
            return QStringLiteral("dido-test");
        case LiveTest::CardTest:
            return QStringLiteral("card-test");
        case LiveTest::DidoCheck:
            return QStringLiteral("dido-check");
    }
    return QString();
}

QString EndingName(ContinuousEnd end) {
    switch (end) {
        case ContinuousEnd::PortNotOpened:
            return QStringLiteral("port-not-opened");
        case ContinuousEnd::Stopped:
            return QStringLiteral("stopped");
        case ContinuousEnd::ModuleLost:
            return QStringLiteral("module-lost");
    }
    return QString();
}

QString ChannelVerdictName(ChannelVerdict verdict) {
    switch (verdict) {
        case ChannelVerdict::Ok:
            return QStringLiteral("ok");
        case ChannelVerdict::StuckOff:
            return QStringLiteral("stuck-off");
        case ChannelVerdict::StuckOn:
            return QStringLiteral("stuck-on");
        case ChannelVerdict::Crossed:
            return QStringLiteral("crossed");
        case ChannelVerdict::Chattering:
            return QStringLiteral("chattering");
        case ChannelVerdict::NotChecked:
            return QStringLiteral("not-checked");
    }
    return QString();
}

QString TestVerdict(const TestSummary& s) {
    if (s.end == ContinuousEnd::PortNotOpened) return QStringLiteral("not run");
    if (s.end == ContinuousEnd::ModuleLost) return QStringLiteral("failed");
    if (s.test == LiveTest::DidoCheck) {
        for (ChannelVerdict v : s.verdicts)
            if (v != ChannelVerdict::Ok && v != ChannelVerdict::NotChecked)
                return QStringLiteral("failed");
    }
    // A card test proves the readers only with a card or key read.
    if (s.test == LiveTest::CardTest && s.cards.isEmpty()) return QStringLiteral("no card read");
    return QStringLiteral("passed");
}

QString ValuesJson(const SettingValues& values) {
    QJsonObject o;
    for (auto it = values.cbegin(); it != values.cend(); ++it) o.insert(it.key(), it.value());
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

SettingValues ValuesOfJson(const QString& json) {
    SettingValues out;
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    for (auto it = o.constBegin(); it != o.constEnd(); ++it)
        out.insert(it.key(), it.value().toString());
    return out;
}

QString ValuesText(const SettingValues& values) {
    QStringList parts;
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        parts << it.key() + QLatin1Char('=') + it.value();
    return parts.join(QStringLiteral("; "));
}
