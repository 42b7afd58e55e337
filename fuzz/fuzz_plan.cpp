// A commissioning plan, read as `apply` reads its file: either every row can be run (a type,
// a serial number of 8 printable characters given once, an ID from 1 to 99, a listed line
// setting, only settings of the row's type, each written back as the same value, each row read
// alone as among the others) or the plan is refused, and every problem names a line of the file
// that holds something.
#include <QSet>
#include <QString>
#include <QStringList>
#include <cstdint>

#include "check.h"
#include "engine/commission.h"
#include "engine/plancolumns.h"
#include "link/linesettings.h"

namespace {

bool Content(const QString& line) {
    const QString t = line.trimmed();
    return !t.isEmpty() && !t.startsWith('#');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QStringList lines = text.split('\n');
    bool anyContent = false;
    for (const QString& l : lines) anyContent = anyContent || Content(l);

    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    const bool parsed = ParsePlan(text, rows, problems);
    Check(parsed == problems.isEmpty(), "refused exactly when there are problems");

    for (const PlanProblem& p : problems) {
        Check(!p.text.isEmpty() && !p.describe().isEmpty(), "a problem says what it is");
        if (p.row == 0) {
            Check(!anyContent && rows.isEmpty(), "only an empty plan is a problem of no line");
            continue;
        }
        Check(p.row >= 1 && p.row <= lines.size(), "a problem names a line of the file");
        Check(Content(lines.at(p.row - 1)), "a problem names a line that holds something");
    }
    if (!parsed) return 0;

    Check(anyContent, "a plan that parses has a header");
    QString header;
    for (const QString& l : lines)
        if (header.isEmpty() && Content(l)) header = l;
    QSet<QString> serials;
    int previous = 0;
    for (const PlanRow& r : rows) {
        Check(r.row > previous && r.row <= lines.size(), "rows in the file's order");
        previous = r.row;
        Check(r.row >= 2 && Content(lines.at(r.row - 1)), "a row is a line after the header");
        Check(r.serial.size() == 8, "a serial of 8 characters");
        for (QChar c : r.serial)
            Check(c.unicode() >= 0x20 && c.unicode() < 0x7F, "a serial of printable characters");
        Check(!serials.contains(r.serial), "each serial once");
        serials.insert(r.serial);
        // Each row reads alone as it read among the others.
        QList<PlanRow> alone;
        QList<PlanProblem> aloneProblems;
        Check(ParsePlan(header + '\n' + lines.at(r.row - 1), alone, aloneProblems) &&
                  alone.size() == 1 && alone.at(0).serial == r.serial && alone.at(0).id == r.id &&
                  alone.at(0).lineIndex == r.lineIndex && alone.at(0).type == r.type &&
                  alone.at(0).settings == r.settings && alone.at(0).port == r.port,
              "a row reads alone as among the others");
        if (r.id) Check(*r.id >= 1 && *r.id <= 99, "an ID from 1 to 99");
        if (r.lineIndex) {
            Check(*r.lineIndex >= 0 && *r.lineIndex < LineSettings::kListed,
                  "a listed line setting");
            Check(PlanLineCell(LineSettings::text(*r.lineIndex)) == r.lineIndex,
                  "the line setting reads back as written");
        }
        for (auto it = r.settings.cbegin(); it != r.settings.cend(); ++it) {
            const PlanColumn* column = PlanColumnNamed(it.key());
            Check(column != nullptr, "a known setting");
            Check(column->types.contains(r.type), "a setting of the row's type");
            const QString written = PlanSettingText(it.key(), it.value());
            Check(!written.isEmpty(), "a setting can be written");
            Check(column->parse(written) == std::optional<int>(it.value()),
                  "a setting reads back as written");
        }
    }
    return 0;
}
