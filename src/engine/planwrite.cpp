#include "engine/commission.h"
#include "engine/plancolumns.h"
#include "link/linesettings.h"

QString CsvCell(const QString& text) {
    if (!text.contains(',') && !text.contains('"')) return text;
    return '"' + QString(text).replace('"', QStringLiteral("\"\"")) + '"';
}

QString WritePlan(const QList<SurveyModule>& modules, const QStringList& ports) {
    // The setting columns that some module found has a value for, in the plan's column order.
    QList<const PlanColumn*> columns;
    for (const PlanColumn& c : PlanColumns()) {
        for (const SurveyModule& f : modules) {
            if (f.isCh2() || !f.settingsRead || !c.types.contains(f.type) || !c.read(f.settings))
                continue;
            columns << &c;
            break;
        }
    }
    const bool withPorts = !ports.isEmpty();
    QStringList header{"type", "serial", "id", "line"};
    if (withPorts) header << QStringLiteral("port");
    for (const PlanColumn* c : columns) header << c->name;
    QString out = header.join(',') + '\n';
    for (int i = 0; i < modules.size(); ++i) {
        const SurveyModule& f = modules.at(i);
        if (f.isCh2()) continue;
        QStringList cells{PlanTypeName(f.type), f.serial, TwoDigitText(f.id),
                          LineSettings::text(f.lineIndex)};
        if (withPorts) cells << ports.value(i);
        for (const PlanColumn* c : columns) {
            const std::optional<int> v =
                f.settingsRead && c->types.contains(f.type) ? c->read(f.settings) : std::nullopt;
            cells << (v ? PlanSettingText(c->name, *v) : QString());
        }
        for (QString& cell : cells) cell = CsvCell(cell);
        out += cells.join(',') + '\n';
    }
    return out;
}
