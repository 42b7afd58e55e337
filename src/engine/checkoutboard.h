#pragma once
// What a window shows of a site checkout: a row per expected point, grouped by bus and module,
// with its state and when it passed; the count of points passed; the rows as CSV.

#include <QList>
#include <QString>
#include <QStringList>

#include "engine/checkout.h"

class CheckoutBoard {
  public:
    struct Row {
        QString bus;  // the port as named; "-" for a module no bus found
        PointStatus status;
    };

    // The points of each bus (named by `busNames`, in order), then the missing ones; times
    // count from `startedAtMs` (milliseconds since the epoch).
    void reset(const QList<CheckoutBus>& buses, const QStringList& busNames,
               const QList<PointStatus>& missing, qint64 startedAtMs);
    // Takes a point's new state; its row, or -1 when the board does not hold the point.
    int update(int bus, const PointStatus& status);

    const QList<Row>& rows() const { return rows_; }
    int passed() const;
    int total() const { return static_cast<int>(rows_.size()); }
    // When the point of row i passed, local time; empty when it has not.
    QString passedAt(int i) const;
    // bus,type,serial,point,label,state,passed_at: a line per point, for a spreadsheet.
    QString csv() const;

  private:
    QList<Row> rows_;
    QStringList busNames_;
    qint64 startedAtMs_ = 0;
};
