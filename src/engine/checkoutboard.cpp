#include "engine/checkoutboard.h"

#include <QDateTime>

#include "text/csvfield.h"

void CheckoutBoard::reset(const QList<CheckoutBus>& buses, const QStringList& busNames,
                          const QList<PointStatus>& missing, qint64 startedAtMs) {
    rows_.clear();
    busNames_ = busNames;
    startedAtMs_ = startedAtMs;
    for (int b = 0; b < buses.size(); ++b) {
        // Grouped by module, in the order the bus asks them.
        for (const CheckoutModule& mod : buses.at(b).modules)
            for (const CheckoutPoint& p : buses.at(b).points)
                if (p.serial == mod.serial) {
                    Row r;
                    r.bus = busNames.value(b);
                    r.status.point = p;
                    rows_ << r;
                }
    }
    for (const PointStatus& s : missing) rows_ << Row{QStringLiteral("-"), s};
}

int CheckoutBoard::update(int bus, const PointStatus& status) {
    const QString name = busNames_.value(bus);
    for (int i = 0; i < rows_.size(); ++i) {
        Row& r = rows_[i];
        if (r.bus == name && r.status.point.serial == status.point.serial &&
            r.status.point.point == status.point.point) {
            r.status = status;
            return i;
        }
    }
    return -1;
}

int CheckoutBoard::passed() const {
    int n = 0;
    for (const Row& r : rows_)
        if (r.status.ok()) ++n;
    return n;
}

QString CheckoutBoard::passedAt(int i) const {
    const PointStatus& s = rows_.at(i).status;
    if (!s.passed) return {};
    return QDateTime::fromMSecsSinceEpoch(startedAtMs_ + s.passedMs)
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString CheckoutBoard::csv() const {
    QString out = CsvLine({"bus", "type", "serial", "point", "label", "state", "passed_at"});
    for (int i = 0; i < rows_.size(); ++i) {
        const PointStatus& s = rows_.at(i).status;
        out += CsvLine({rows_.at(i).bus, QString::fromStdString(ModuleTypeName(s.point.type)),
                        s.point.serial, s.point.point, s.point.label, PointStateName(s.state),
                        passedAt(i)});
    }
    return out;
}
