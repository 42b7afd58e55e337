// The site checkout's points list: any bytes either parse into points of known types and
// points those types have, each written back and read again unchanged, or are refused with
// problems that each name a row (and, for a cell, its column) within the text.
#include <QString>
#include <cstdint>

#include "check.h"
#include "engine/checkoutpoints.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    QList<CheckoutPoint> points;
    QList<PlanProblem> problems;
    const bool ok = ParsePoints(text, points, problems);
    Check(ok == problems.isEmpty(), "parsed with problems, or refused without one");
    if (!ok) {
        const int lines =
            static_cast<int>(text.count(QLatin1Char('\n')) + text.count(QLatin1Char('\r'))) + 1;
        for (const PlanProblem& p : problems) {
            Check(p.row >= 0 && p.row <= lines, "a refusal names a row outside the text");
            Check(p.row > 0 || points.isEmpty(), "a refusal of a cell names no row");
            Check(p.column.isEmpty() || p.column == QLatin1String("type") ||
                      p.column == QLatin1String("serial") || p.column == QLatin1String("point"),
                  "a refusal names a column the list does not have");
            Check(
                p.describe().startsWith(p.row > 0 ? QLatin1String("row ") : QLatin1String("plan")),
                "a refusal does not say where");
        }
        return 0;
    }
    for (const CheckoutPoint& p : points) {
        Check(TypeHasPoint(p.type, p.point), "a point its type does not have");
        Check(p.serial.size() == 8, "a serial number that is not 8 characters");
    }
    // Written for a spreadsheet and read again: the same points, labels guarded as text.
    QList<CheckoutPoint> again;
    Check(ParsePoints(WritePoints(points), again, problems), "its own list is refused");
    Check(again.size() == points.size(), "its own list reads as other points");
    for (int i = 0; i < points.size(); ++i) {
        Check(again.at(i).type == points.at(i).type && again.at(i).point == points.at(i).point,
              "a point reads back as another");
        const QString& label = points.at(i).label;
        Check(again.at(i).label == label || again.at(i).label == QLatin1Char('\'') + label ||
                  again.at(i).label == label.trimmed() ||
                  again.at(i).label == QLatin1Char('\'') + label.trimmed(),
              "a label does not come back as written");
    }
    return 0;
}
