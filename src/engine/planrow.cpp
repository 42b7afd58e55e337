#include "engine/planrow.h"

#include "engine/common.h"
#include "engine/dido.h"
#include "engine/findmodule.h"
#include "engine/linkmodule.h"
#include "engine/modulecontext.h"
#include "engine/plancolumns.h"
#include "engine/portmodule.h"
#include "engine/repeater.h"
#include "engine/wiegand.h"
#include "link/linesettings.h"

void PlanRowRunner::tell(const PlanItem& item, const QString& command) {
    if (hooks.command) hooks.command(item, command);
}

void PlanRowRunner::at(const PlanItem& item) {
    m.selectType(item.row.type);
    m.PortNo = portNo;
    m.BaudIndex = item.lineIndex;
    m.BaudText = LineSettings::text(item.lineIndex);
    m.ModuleId = TwoDigitText(item.id);
    m.Linked = 1;
    // What the row's commands do is filed under the row's module, not under whichever module
    // the context last read back.
    if (m.known.serial != item.row.serial || m.known.type != item.row.type)
        m.known = KnownSettings{item.row.serial, {}, {}, item.row.type};
}

QString PlanRowRunner::prefix(const PlanItem& item) const {
    return QString(QLatin1Char(ModuleTypePrefix(item.row.type)));
}

bool PlanRowRunner::check(const Outcome& o, const QString& what) {
    if (o.ok()) return true;
    failure = what + QStringLiteral(" not acknowledged");
    return false;
}

bool PlanRowRunner::sendSettings(PlanItem& item, const ModuleSettings& now) {
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
            tell(item, QStringLiteral("%1 set %2 %3").arg(here, name, PlanSettingText(name, v)));
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

bool PlanRowRunner::setId(PlanItem& item, int newId) {
    if (newId == item.id) return true;
    tell(item, prefix(item) + TwoDigitText(item.id) + "C" + item.row.serial + TwoDigitText(newId));
    if (dryRun) {
        item.id = newId;
        return true;
    }
    at(item);
    if (!check(SetModuleId(m, newId), "ID")) return false;
    item.id = newId;
    return true;
}

bool PlanRowRunner::setLine(PlanItem& item) {
    if (item.targetLine == item.lineIndex) return true;
    tell(item, prefix(item) + TwoDigitText(item.id) + "E" + LineSettings::code(item.targetLine));
    if (dryRun) {
        item.lineIndex = item.targetLine;
        return true;
    }
    at(item);
    if (!check(SetModuleLine(m, item.targetLine), "line setting")) return false;
    item.lineIndex = item.targetLine;
    return true;
}

bool PlanRowRunner::readAt(const PlanItem& item, ReadBack& rb) {
    if (!LinkAt(m, portNo, item.lineIndex, TwoDigitText(item.id))) return false;
    if (ReplyText(m.link.LastReply, 6, 8) != item.row.serial) return false;
    m.selectType(item.row.type);
    return ReadModule(m, m.link.LastReply, rb).ok();
}

bool PlanRowRunner::setSharedId(PlanItem& item) {
    const QString cmd =
        prefix(item) + TwoDigitText(item.id) + "C" + item.row.serial + TwoDigitText(item.targetId);
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
