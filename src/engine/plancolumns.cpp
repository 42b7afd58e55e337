#include "engine/plancolumns.h"

#include "engine/dido.h"
#include "engine/linkmodule.h"
#include "engine/operation.h"
#include "engine/wiegand.h"
#include "link/linesettings.h"

std::optional<int> PlanNumber(const QString& text, int lo, int hi) {
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < lo || n > hi) return std::nullopt;
    return n;
}

std::optional<int> PlanLineCell(const QString& text) {
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
        s.append({"ch2-id", wiegand, [](const QString& t) { return PlanNumber(t, 1, 99); },
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
                  [](const QString& t) { return PlanNumber(t, 0, 16); },
                  "a number from 0 to 16",
                  [](const ModuleSettings& m) { return m.wiegand.keyNumber; }});
        s.append(
            {"link-line", {ModuleType::RQ3030}, PlanLineCell, line, [](const ModuleSettings& m) {
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
        s.append(
            {"rep-line", {ModuleType::RQ3040}, PlanLineCell, line, [](const ModuleSettings& m) {
                 return m.repeater.portLineIndex;
             }});
        s.append({"tx-on",
                  {ModuleType::RQ3040},
                  [](const QString& t) { return PlanNumber(t, 0, 255); },
                  "a number from 0 to 255",
                  [](const ModuleSettings& m) { return m.repeater.txOn; }});
        s.append({"tx-off",
                  {ModuleType::RQ3040},
                  [](const QString& t) { return PlanNumber(t, 0, 255); },
                  "a number from 0 to 255",
                  [](const ModuleSettings& m) { return m.repeater.txOff; }});
        return s;
    }();
    return columns;
}

const PlanColumn* PlanColumnNamed(const QString& name) {
    for (const PlanColumn& s : PlanColumns())
        if (s.name == name) return &s;
    return nullptr;
}

QString PlanTypeName(ModuleType t) {
    return QString::fromStdString(ModuleTypeName(t));
}

QString PlanPlace(int id, int lineIndex) {
    return QStringLiteral("ID %1 at %2").arg(TwoDigitText(id), LineSettings::text(lineIndex));
}

// "id=03 line=19200,e,8,1" and the plan's settings as a read-back shows them.
QString PlanDescribe(int id, int lineIndex, const PlanRow& row, const ModuleSettings* read) {
    QStringList out{QStringLiteral("id=") + TwoDigitText(id),
                    QStringLiteral("line=") + LineSettings::text(lineIndex)};
    for (auto it = row.settings.cbegin(); it != row.settings.cend(); ++it) {
        const PlanColumn* s = PlanColumnNamed(it.key());
        const std::optional<int> v = read && s ? s->read(*read) : std::nullopt;
        out << it.key() + '=' + (v ? PlanSettingText(it.key(), *v) : QStringLiteral("-"));
    }
    return out.join(' ');
}

int PlanTypeIndex(ModuleType t) {
    for (int i = 0; i < 6; ++i)
        if (kAllModuleTypes[i] == t) return i;
    return 0;
}

QStringList PlanSettingNames() {
    QStringList names;
    for (const PlanColumn& s : PlanColumns()) names << s.name;
    return names;
}

std::optional<int> PlanSettingValue(const QString& name, const ModuleSettings& settings) {
    const PlanColumn* s = PlanColumnNamed(name);
    return s ? s->read(settings) : std::nullopt;
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
