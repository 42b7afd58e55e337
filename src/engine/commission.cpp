#include "engine/commission.h"

#include <QPair>
#include <QSet>

#include "engine/common.h"
#include "engine/dido.h"
#include "engine/findmodule.h"
#include "engine/linkmodule.h"
#include "engine/modulecontext.h"
#include "engine/portmodule.h"
#include "engine/repeater.h"
#include "engine/wiegand.h"
#include "link/linesettings.h"

namespace {

// One type-setting column: the types it belongs to, how its cell reads, where a read-back
// keeps it and how it is sent.
struct PlanColumn {
    QString name;
    QList<ModuleType> types;
    std::function<std::optional<int>(const QString&)> parse;
    QString expected;  // what a cell may hold, for the message
    std::function<std::optional<int>(const ModuleSettings&)> read;
};

std::optional<int> Number(const QString& text, int lo, int hi) {
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < lo || n > hi) return std::nullopt;
    return n;
}

std::optional<int> LineCell(const QString& text) {
    const int i = LineSettings::indexOfTextOrCode(text, LineSettings::kListed);
    if (i < 0) return std::nullopt;
    return i;
}

const QList<PlanColumn>& PlanColumns() {
    static const QList<PlanColumn> columns = [] {
        const QList<ModuleType> dido = {ModuleType::RQ3016};
        const QList<ModuleType> wiegand = {ModuleType::RQ3050S, ModuleType::RQ3050K};
        const QString line = QStringLiteral("a line setting such as 9600,e,8,1 or its code 0..B");
        QList<PlanColumn> s;
        s.append({"di-mode", dido,
                  [](const QString& t) -> std::optional<int> {
                      if (QString::compare(t, "hold", Qt::CaseInsensitive) == 0) return 0;
                      if (QString::compare(t, "normal", Qt::CaseInsensitive) == 0) return 1;
                      return std::nullopt;
                  },
                  "hold or normal",
                  [](const ModuleSettings& m) -> std::optional<int> {
                      if (!m.dido.mode) return std::nullopt;
                      return *m.dido.mode == DiMode::Hold ? 0 : 1;
                  }});
        s.append({"di-nonc", dido,
                  [](const QString& t) -> std::optional<int> {
                      const std::optional<Channels> c = ChannelsOfText(t);
                      if (!c) return std::nullopt;
                      return static_cast<int>(c->to_ulong());
                  },
                  "16 flags of 0 or 1, channel 1 first",
                  [](const ModuleSettings& m) -> std::optional<int> {
                      if (!m.dido.normallyClosed) return std::nullopt;
                      return static_cast<int>(m.dido.normallyClosed->to_ulong());
                  }});
        s.append({"ch2-id", wiegand, [](const QString& t) { return Number(t, 1, 99); },
                  "an ID from 1 to 99", [](const ModuleSettings& m) { return m.wiegand.ch2Id; }});
        s.append({"interface", wiegand,
                  [](const QString& t) -> std::optional<int> {
                      const QStringList& names = InterfaceNames();
                      for (int i = 0; i < names.size(); ++i)
                          if (QString::compare(t, names.at(i), Qt::CaseInsensitive) == 0 ||
                              t == names.at(i).mid(6))
                              return i;
                      return std::nullopt;
                  },
                  "RS485 24, 32, 40 or 64",
                  [](const ModuleSettings& m) { return m.wiegand.interface; }});
        s.append({"key-number",
                  {ModuleType::RQ3050K},
                  [](const QString& t) { return Number(t, 0, 16); },
                  "a number from 0 to 16",
                  [](const ModuleSettings& m) { return m.wiegand.keyNumber; }});
        s.append({"link-line", {ModuleType::RQ3030}, LineCell, line, [](const ModuleSettings& m) {
                      return m.linkModule.portLineIndex;
                  }});
        s.append({"run-mode",
                  {ModuleType::RQ3030},
                  [](const QString& t) -> std::optional<int> {
                      const QStringList& names = RunModeNames();
                      for (int i = 0; i < names.size(); ++i)
                          if (QString::compare(t, names.at(i), Qt::CaseInsensitive) == 0 ||
                              t == QString::number(i))
                              return i;
                      return std::nullopt;
                  },
                  "dvr, led or mp3 (0..2)",
                  [](const ModuleSettings& m) { return m.linkModule.runMode; }});
        s.append({"rep-line", {ModuleType::RQ3040}, LineCell, line, [](const ModuleSettings& m) {
                      return m.repeater.portLineIndex;
                  }});
        s.append({"tx-on",
                  {ModuleType::RQ3040},
                  [](const QString& t) { return Number(t, 0, 255); },
                  "a number from 0 to 255",
                  [](const ModuleSettings& m) { return m.repeater.txOn; }});
        s.append({"tx-off",
                  {ModuleType::RQ3040},
                  [](const QString& t) { return Number(t, 0, 255); },
                  "a number from 0 to 255",
                  [](const ModuleSettings& m) { return m.repeater.txOff; }});
        return s;
    }();
    return columns;
}

const PlanColumn* Column(const QString& name) {
    for (const PlanColumn& s : PlanColumns())
        if (s.name == name) return &s;
    return nullptr;
}

QString TypeName(ModuleType t) {
    return QString::fromStdString(ModuleTypeName(t));
}

QString Place(int id, int lineIndex) {
    return QStringLiteral("ID %1 at %2").arg(TwoDigitText(id), LineSettings::text(lineIndex));
}

// "id=03 line=19200,e,8,1" and the plan's settings as a read-back shows them.
QString Describe(int id, int lineIndex, const PlanRow& row, const ModuleSettings* read) {
    QStringList out{QStringLiteral("id=") + TwoDigitText(id),
                    QStringLiteral("line=") + LineSettings::text(lineIndex)};
    for (auto it = row.settings.cbegin(); it != row.settings.cend(); ++it) {
        const PlanColumn* s = Column(it.key());
        const std::optional<int> v = read && s ? s->read(*read) : std::nullopt;
        out << it.key() + '=' + (v ? PlanSettingText(it.key(), *v) : QStringLiteral("-"));
    }
    return out.join(' ');
}

// Splits one line at its commas; a cell in double quotes may hold commas and "" for a quote.
QStringList SplitCsv(const QString& line) {
    QStringList cells;
    QString cell;
    bool quoted = false;
    for (int i = 0; i < line.size(); ++i) {
        const QChar c = line.at(i);
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line.at(i + 1) == '"') {
                cell += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                cell += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            cells << cell.trimmed();
            cell.clear();
        } else {
            cell += c;
        }
    }
    cells << cell.trimmed();
    return cells;
}

using Slot = QPair<int, int>;  // type index, ID

int TypeIndex(ModuleType t) {
    for (int i = 0; i < 6; ++i)
        if (kAllModuleTypes[i] == t) return i;
    return 0;
}

}  // namespace

QString PlanProblem::describe() const {
    QString where = row > 0 ? QStringLiteral("row %1").arg(row) : QStringLiteral("plan");
    if (!column.isEmpty()) where += QStringLiteral(", column %1").arg(column);
    return where + QStringLiteral(": ") + text;
}

QStringList PlanSettingNames() {
    QStringList names;
    for (const PlanColumn& s : PlanColumns()) names << s.name;
    return names;
}

QString PlanSettingText(const QString& name, int value) {
    if (name == "di-mode") return value == 0 ? QStringLiteral("hold") : QStringLiteral("normal");
    if (name == "di-nonc") return ChannelText(Channels(static_cast<unsigned long>(value)));
    if (name == "interface" && value >= 0 && value < InterfaceNames().size())
        return InterfaceNames().at(value);
    if (name == "run-mode" && value >= 0 && value < RunModeNames().size())
        return RunModeNames().at(value);
    if (name == "link-line" || name == "rep-line") return LineSettings::text(value);
    return QString::number(value);
}

std::optional<int> PlanSettingValue(const QString& name, const ModuleSettings& settings) {
    const PlanColumn* s = Column(name);
    return s ? s->read(settings) : std::nullopt;
}

bool ParsePlan(const QString& text, QList<PlanRow>& rows, QList<PlanProblem>& problems) {
    rows.clear();
    const QStringList lines = text.split('\n');
    QStringList header;
    QSet<QString> serials;
    for (int n = 0; n < lines.size(); ++n) {
        QString line = lines.at(n);
        if (line.endsWith('\r')) line.chop(1);
        if (line.trimmed().isEmpty() || line.trimmed().startsWith('#')) continue;
        const QStringList cells = SplitCsv(line);
        const int rowNo = n + 1;
        if (header.isEmpty()) {
            for (const QString& c : cells) header << c.toLower();
            if (header.mid(0, 4) != QStringList{"type", "serial", "id", "line"})
                problems.append({rowNo, {}, "the header begins with type,serial,id,line"});
            for (int i = 4; i < header.size(); ++i) {
                if (!Column(header.at(i)))
                    problems.append({rowNo, header.at(i),
                                     "not a setting (" + PlanSettingNames().join(", ") + ")"});
                else if (header.indexOf(header.at(i)) != i)
                    problems.append({rowNo, header.at(i), "the column is there twice"});
            }
            if (!problems.isEmpty()) return false;
            continue;
        }
        if (cells.size() > header.size()) {
            problems.append({rowNo,
                             {},
                             QStringLiteral("%1 cells, the header has %2")
                                 .arg(cells.size())
                                 .arg(header.size())});
            continue;
        }
        PlanRow r;
        r.row = rowNo;
        const QString cellType = cells.value(0);
        const std::optional<ModuleType> t = ParseModuleType(cellType.toStdString());
        if (!t) {
            problems.append({rowNo, "type", "\"" + cellType + "\" is not a module type"});
            continue;
        }
        r.type = *t;
        r.serial = cells.value(1);
        bool printable = r.serial.size() == 8;
        for (QChar c : r.serial) printable = printable && c.unicode() >= 0x20 && c.unicode() < 0x7F;
        if (!printable)
            problems.append(
                {rowNo, "serial", "\"" + r.serial + "\" is not 8 printable characters"});
        else if (serials.contains(r.serial))
            problems.append({rowNo, "serial", r.serial + " is in the plan twice"});
        serials.insert(r.serial);
        if (!cells.value(2).isEmpty()) {
            r.id = Number(cells.value(2), 1, 99);
            if (!r.id)
                problems.append(
                    {rowNo, "id", "\"" + cells.value(2) + "\" is not an ID from 1 to 99"});
        }
        if (!cells.value(3).isEmpty()) {
            r.lineIndex = LineCell(cells.value(3));
            if (!r.lineIndex)
                problems.append({rowNo, "line",
                                 "\"" + cells.value(3) +
                                     "\" is not a line setting such as "
                                     "9600,e,8,1 or its code 0..B"});
        }
        for (int i = 4; i < cells.size(); ++i) {
            if (cells.at(i).isEmpty()) continue;
            const PlanColumn* s = Column(header.at(i));
            if (!s->types.contains(r.type)) {
                problems.append({rowNo, s->name, "not a setting of " + TypeName(r.type)});
                continue;
            }
            const std::optional<int> v = s->parse(cells.at(i));
            if (!v) {
                problems.append({rowNo, s->name, "\"" + cells.at(i) + "\": " + s->expected});
                continue;
            }
            r.settings.insert(s->name, *v);
        }
        rows.append(r);
    }
    if (header.isEmpty()) problems.append({0, {}, "the plan is empty"});
    return problems.isEmpty();
}

SurveyPlan PlanSurvey(const QList<PlanRow>& rows, const SurveyPlan& base) {
    SurveyPlan plan = base;
    plan.types.clear();
    for (ModuleType t : kAllModuleTypes)
        for (const PlanRow& r : rows)
            if (r.type == t && !plan.types.contains(t)) plan.types << t;
    plan.readSettings = true;
    return plan;
}

bool CheckPlan(const QList<PlanRow>& rows, const SurveyResult& bus, QList<PlanItem>& items,
               QList<PlanProblem>& problems) {
    items.clear();
    for (const PlanRow& r : rows) {
        PlanItem item;
        item.row = r;
        bool placed = false;
        for (const SurveyModule& f : bus.modules) {
            if (f.type != r.type || f.serial != r.serial) continue;
            item.found = f;
            item.id = f.id;
            item.lineIndex = f.lineIndex;
            placed = true;
            break;
        }
        if (!placed) {
            // Modules that answer together may hide it; Set ID by serial number reaches it.
            for (const SurveyCollision& c : bus.collisions) {
                if (c.type != r.type) continue;
                item.shared = true;
                item.id = item.found.id = c.id;
                item.lineIndex = item.found.lineIndex = c.lineIndex;
                item.found.type = c.type;
                placed = true;
                break;
            }
        }
        if (!placed) {
            problems.append({r.row, "serial",
                             QStringLiteral("no %1 with serial number %2 on the bus")
                                 .arg(TypeName(r.type), r.serial)});
            continue;
        }
        item.targetId = r.id.value_or(item.id);
        item.targetLine = r.lineIndex.value_or(item.lineIndex);
        // A module that answers at the planned line setting too is already there.
        if (!item.shared && item.found.lineIndexes.contains(item.targetLine))
            item.lineIndex = item.found.lineIndex = item.targetLine;
        for (auto it = r.settings.cbegin(); it != r.settings.cend(); ++it) {
            const std::optional<int> now =
                item.shared ? std::nullopt : Column(it.key())->read(item.found.settings);
            if (!now || *now != it.value()) item.changes.insert(it.key(), it.value());
        }
        items.append(item);
    }
    // Where every module ends up: the planned ones at their new IDs, the others where they are.
    QMap<Slot, QString> finals;
    QSet<QString> planned;
    for (const PlanItem& i : items) planned.insert(i.row.serial);
    auto claim = [&](ModuleType t, int id, const QString& who, int row, const QString& column) {
        const Slot s{TypeIndex(t), id};
        if (finals.contains(s)) {
            problems.append({row, column,
                             QStringLiteral("%1 would share %2 ID %3 with %4")
                                 .arg(who, TypeName(t), TwoDigitText(id), finals.value(s))});
            return;
        }
        finals.insert(s, who);
    };
    for (const SurveyModule& f : bus.modules)
        if (!planned.contains(f.serial))
            claim(f.type, f.id, QStringLiteral("the module %1 (not in the plan)").arg(f.serial), 0,
                  {});
    for (const SurveyCollision& c : bus.collisions) {
        bool anyShared = false;
        for (const PlanItem& i : items)
            anyShared = anyShared || (i.shared && i.row.type == c.type && i.id == c.id);
        if (!anyShared)
            claim(c.type, c.id, QStringLiteral("the modules that answer together"), 0, {});
    }
    for (const PlanItem& i : items)
        claim(i.row.type, i.targetId,
              QStringLiteral("row %1 (%2)").arg(i.row.row).arg(i.row.serial), i.row.row, "id");
    return problems.isEmpty();
}

namespace {

struct Runner {
    ModuleContext& m;
    int portNo;
    bool dryRun;
    const CommissionHooks& hooks;
    QString failure;

    void tell(const PlanItem& item, const QString& command) {
        if (hooks.command) hooks.command(item, command);
    }
    // The context addresses the item's module where it is now.
    void at(const PlanItem& item) {
        m.selectType(item.row.type);
        m.PortNo = portNo;
        m.BaudIndex = item.lineIndex;
        m.BaudText = LineSettings::text(item.lineIndex);
        m.ModuleId = TwoDigitText(item.id);
        m.Linked = 1;
    }
    QString prefix(const PlanItem& item) const {
        return QString(QLatin1Char(ModuleTypePrefix(item.row.type)));
    }
    bool check(const Outcome& o, const QString& what) {
        if (o.ok()) return true;
        failure = what + QStringLiteral(" not acknowledged");
        return false;
    }

    // The type settings that differ, at the module's present place.
    bool sendSettings(PlanItem& item, const ModuleSettings& now) {
        const QString here = prefix(item) + TwoDigitText(item.id);
        const QMap<QString, int>& c = item.changes;
        for (auto it = c.cbegin(); it != c.cend(); ++it) {
            const QString name = it.key();
            const int v = it.value();
            if (name == "tx-off" && c.contains("tx-on")) continue;  // sent with tx-on
            if (name == "tx-on" || name == "tx-off") {
                const int on = item.row.settings.value("tx-on", now.repeater.txOn.value_or(0));
                const int off = item.row.settings.value("tx-off", now.repeater.txOff.value_or(0));
                tell(item, QStringLiteral("%1 set tx-delays %2/%3").arg(here).arg(on).arg(off));
            } else {
                tell(item,
                     QStringLiteral("%1 set %2 %3").arg(here, name, PlanSettingText(name, v)));
            }
            if (dryRun) continue;
            at(item);
            Outcome o;
            if (name == "di-mode") o = SetDiMode(m, v == 0 ? DiMode::Hold : DiMode::Normal);
            if (name == "di-nonc") o = SetNoNc(m, Channels(static_cast<unsigned long>(v)));
            if (name == "ch2-id") o = SetCh2Id(m, v);
            if (name == "interface") o = SetInterface(m, v);
            if (name == "key-number") o = SetKeyNumber(m, v);
            if (name == "link-line" || name == "rep-line") o = SetPortLine(m, v);
            if (name == "run-mode") o = SetRunMode(m, v);
            if (name == "tx-on" || name == "tx-off") {
                const int on = item.row.settings.value("tx-on", now.repeater.txOn.value_or(0));
                const int off = item.row.settings.value("tx-off", now.repeater.txOff.value_or(0));
                o = SetTxDelays(m, on, off);
            }
            if (!check(o, name)) return false;
        }
        return true;
    }

    bool setId(PlanItem& item, int newId) {
        if (newId == item.id) return true;
        tell(item,
             prefix(item) + TwoDigitText(item.id) + "C" + item.row.serial + TwoDigitText(newId));
        if (dryRun) {
            item.id = newId;
            return true;
        }
        at(item);
        if (!check(SetModuleId(m, newId), "ID")) return false;
        item.id = newId;
        return true;
    }

    bool setLine(PlanItem& item) {
        if (item.targetLine == item.lineIndex) return true;
        tell(item,
             prefix(item) + TwoDigitText(item.id) + "E" + LineSettings::code(item.targetLine));
        if (dryRun) {
            item.lineIndex = item.targetLine;
            return true;
        }
        at(item);
        if (!check(SetModuleLine(m, item.targetLine), "line setting")) return false;
        item.lineIndex = item.targetLine;
        return true;
    }

    // Identification at the item's place, answered with its serial number; then the read-back.
    bool readAt(const PlanItem& item, ReadBack& rb) {
        if (!LinkAt(m, portNo, item.lineIndex, TwoDigitText(item.id))) return false;
        if (ReplyText(m.link.LastReply, 6, 8) != item.row.serial) return false;
        m.selectType(item.row.type);
        return ReadModule(m, m.link.LastReply, rb).ok();
    }

    // Set ID by serial number to a module among several at one ID: no pre-query, and its
    // reply (which may be garbled) is not relied on.
    bool setSharedId(PlanItem& item) {
        const QString cmd = prefix(item) + TwoDigitText(item.id) + "C" + item.row.serial +
                            TwoDigitText(item.targetId);
        if (item.targetId != item.id) {
            tell(item, cmd);
            if (dryRun) {
                item.id = item.targetId;
                return true;
            }
            m.selectType(item.row.type);
            if (m.link.OpenPort(portNo, LineSettings::text(item.lineIndex))) {
                Pause(100);
                m.link.Transact(cmd);
                m.link.ClosePort();
            }
        }
        item.id = item.targetId;
        return true;
    }
};

}  // namespace

QList<PlanOutcome> RunPlan(ModuleContext& m, int portNo, QList<PlanItem> items, bool dryRun,
                           const CommissionHooks& hooks) {
    Runner run{m, portNo, dryRun, hooks, {}};
    QMap<int, PlanOutcome> outcomes;  // by row
    // How many modules sit at each ID now: one per module found, the modules that answer
    // together counted by the rows placed among them (at least two when none is).
    QMap<Slot, int> taken;
    for (const PlanItem& i : items)
        if (!i.shared) taken[{TypeIndex(i.row.type), i.id}] += 1;
    for (const PlanItem& i : items)
        if (i.shared) taken[{TypeIndex(i.row.type), i.id}] += 1;

    QMap<int, QString> befores;  // by row: what a row found before its first command
    auto finish = [&](PlanItem& item, QString before) {
        if (befores.contains(item.row.row)) before = befores.value(item.row.row);
        PlanOutcome o;
        o.row = item.row.row;
        o.foundAt = Place(item.found.id, item.found.lineIndex);
        if (item.shared) o.foundAt += QStringLiteral(" (shared)");
        o.before = before;
        if (!run.failure.isEmpty()) {
            o.outcome = QStringLiteral("failed: ") + run.failure;
        } else if (dryRun) {
            o.outcome = QStringLiteral("would be done");
            o.after = Describe(item.targetId, item.targetLine, item.row, nullptr);
        } else {
            ReadBack rb;
            o.verified = run.readAt(item, rb);
            if (o.verified) {
                for (auto it = item.row.settings.cbegin(); it != item.row.settings.cend(); ++it)
                    o.verified = o.verified && Column(it.key())->read(rb.settings) == it.value();
                o.after = Describe(item.id, item.lineIndex, item.row, &rb.settings);
            }
            o.outcome = o.verified ? QStringLiteral("done")
                                   : QStringLiteral("failed: not verified by read-back at ") +
                                         Place(item.id, item.lineIndex);
        }
        run.failure.clear();
        outcomes.insert(o.row, o);
        if (!dryRun) RecordPlanRow(m, item, o);
        if (hooks.done) hooks.done(o);
    };

    // The whole row for a module found alone: settings, ID, line setting, read-back.
    auto runKnown = [&](PlanItem& item, int newId, bool whole) {
        const QString before = Describe(item.id, item.lineIndex, item.row, &item.found.settings);
        if (!befores.contains(item.row.row)) befores.insert(item.row.row, before);
        bool ok = run.sendSettings(item, item.found.settings);
        item.changes.clear();
        ok = ok && run.setId(item, newId);
        if (!whole) return ok;
        ok = ok && run.setLine(item);
        finish(item, before);
        return ok;
    };
    auto runShared = [&](PlanItem& item) {
        const QString before = QStringLiteral("id=%1 (shared) line=%2")
                                   .arg(TwoDigitText(item.id), LineSettings::text(item.lineIndex));
        run.setSharedId(item);
        ReadBack rb;
        if (!dryRun && !run.readAt(item, rb)) {
            run.failure = QStringLiteral("no module with serial number %1 answered at %2")
                              .arg(item.row.serial, Place(item.id, item.lineIndex));
        }
        if (run.failure.isEmpty()) {
            if (!dryRun) {
                for (auto it = item.row.settings.cbegin(); it != item.row.settings.cend(); ++it)
                    if (Column(it.key())->read(rb.settings) == it.value())
                        item.changes.remove(it.key());
            }
            if (run.sendSettings(item, rb.settings)) run.setLine(item);
        }
        finish(item, before);
    };

    QList<PlanItem> pending;
    for (PlanItem& item : items) {
        if (item.unchanged()) {
            PlanOutcome o;
            o.row = item.row.row;
            o.foundAt = Place(item.id, item.lineIndex);
            o.before = o.after = Describe(item.id, item.lineIndex, item.row, &item.found.settings);
            o.verified = true;  // the survey's read-back
            o.outcome = QStringLiteral("unchanged");
            outcomes.insert(o.row, o);
            if (!dryRun) RecordPlanRow(m, item, o);
            if (hooks.done) hooks.done(o);
        } else if (!item.shared && item.targetId == item.id) {
            runKnown(item, item.id, true);
        } else {
            pending.append(item);
        }
    }
    while (!pending.isEmpty()) {
        int next = -1;
        for (int k = 0; k < pending.size() && next < 0; ++k) {
            const PlanItem& p = pending.at(k);
            const Slot target{TypeIndex(p.row.type), p.targetId};
            const int others = taken.value(target) - (p.targetId == p.id ? 1 : 0);
            if (others == 0) next = k;
        }
        if (next >= 0) {
            PlanItem item = pending.takeAt(next);
            taken[{TypeIndex(item.row.type), item.id}] -= 1;
            taken[{TypeIndex(item.row.type), item.targetId}] += 1;
            const int was = item.id;
            if (item.shared) {
                runShared(item);
            } else if (!runKnown(item, item.targetId, true) && item.id == was) {
                // The ID did not change: the module still holds its old one.
                taken[{TypeIndex(item.row.type), item.targetId}] -= 1;
                taken[{TypeIndex(item.row.type), was}] += 1;
            }
            continue;
        }
        // Every move waits for another (a swap): one module steps aside to a free ID.
        int aside = -1;
        for (int k = 0; k < pending.size() && aside < 0; ++k)
            if (!pending.at(k).shared) aside = k;
        int freeId = 0;
        if (aside >= 0) {
            const int t = TypeIndex(pending.at(aside).row.type);
            for (int id = 99; id >= 1 && freeId == 0; --id) {
                bool used = taken.value({t, id}) > 0;
                for (const PlanItem& p : pending)
                    used = used || (TypeIndex(p.row.type) == t && p.targetId == id);
                if (!used) freeId = id;
            }
        }
        if (aside < 0 || freeId == 0) {
            for (PlanItem& item : pending) {
                run.failure = QStringLiteral("its new ID stays taken");
                finish(item, Describe(item.id, item.lineIndex, item.row, nullptr));
            }
            break;
        }
        PlanItem& item = pending[aside];
        const int was = item.id;
        if (runKnown(item, freeId, false)) {
            taken[{TypeIndex(item.row.type), was}] -= 1;
            taken[{TypeIndex(item.row.type), freeId}] += 1;
            // The settings went out with the first step; the rest follows from the free ID.
        } else {
            PlanItem failed = pending.takeAt(aside);
            finish(failed, Describe(was, failed.lineIndex, failed.row, &failed.found.settings));
        }
    }
    return outcomes.values();
}
