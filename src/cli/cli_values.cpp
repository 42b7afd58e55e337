// quillon-cli: the interrupt flag and the values read from the command line.

#include "cli/cli.h"

namespace cli {

// See cli_signals.cpp.
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_continuous = 0;

[[noreturn]] void Usage(const QString& text) {
    throw UsageError{text};
}

// --- values from the command line; each bad one is a usage error ---

int ParseInt(const QString& text, int lo, int hi, const QString& what) {
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < lo || n > hi)
        Usage(QStringLiteral("%1: a number from %2 to %3, not \"%4\"")
                  .arg(what)
                  .arg(lo)
                  .arg(hi)
                  .arg(text));
    return n;
}

// A line setting as its text ("19200,e,8,1") or its code ("5"), index below `count`.
int ParseLine(const QString& text, int count, const QString& what) {
    const int i = LineSettings::indexOfTextOrCode(text, count);
    if (i >= 0) return i;
    Usage(QStringLiteral("%1: a line setting such as 19200,e,8,1 or its code, not \"%2\"")
              .arg(what, text));
}

Channels ParseBits16(const QString& text, const QString& what) {
    if (text.size() != 16)
        Usage(QStringLiteral("%1: 16 flags of 0 or 1, channel 1 first; \"%2\" has %3")
                  .arg(what, text)
                  .arg(text.size()));
    const std::optional<Channels> c = ChannelsOfText(text);
    if (!c) Usage(QStringLiteral("%1: 16 flags of 0 or 1, not \"%2\"").arg(what, text));
    return *c;
}

int ParseInterface(const QString& text) {
    const QStringList& names = InterfaceNames();
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (QString::compare(text, name, Qt::CaseInsensitive) == 0 || text == name.mid(6) ||
            text == QString::number(i))
            return i;
    }
    Usage(QStringLiteral("--interface: one of \"RS485 24\", 24, 32, 40, 64 or an index 0..3"));
}

int ParseRunMode(const QString& text) {
    const QStringList& names = RunModeNames();
    for (int i = 0; i < names.size(); ++i)
        if (QString::compare(text, names.at(i), Qt::CaseInsensitive) == 0 ||
            text == QString::number(i))
            return i;
    Usage(QStringLiteral("--run-mode: 0 (dvr), 1 (led) or 2 (mp3)"));
}

QJsonValue Opt(const std::optional<int>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QJsonValue InterfaceValue(const std::optional<int>& index) {
    const QStringList& names = InterfaceNames();
    return index && *index >= 0 && *index < names.size() ? QJsonValue(names.at(*index))
                                                         : Opt(index);
}

QJsonValue LineValue(const std::optional<int>& index) {
    return index ? QJsonValue(LineSettings::text(*index)) : QJsonValue();
}

void AddTypeSettings(Result& r, ModuleType type, const ModuleSettings& s, bool withExtras) {
    switch (type) {
        case ModuleType::RQ3016:
            r.add("di-mode", !s.dido.mode                   ? QJsonValue()
                             : *s.dido.mode == DiMode::Hold ? QJsonValue("hold")
                                                            : QJsonValue("normal"));
            r.add("di-nonc", s.dido.normallyClosed ? QJsonValue(ChannelText(*s.dido.normallyClosed))
                                                   : QJsonValue());
            break;
        case ModuleType::RQ3020:
            break;
        case ModuleType::RQ3030:
            if (withExtras)
                r.add("link-port",
                      s.linkModule.hasPort ? QJsonValue(*s.linkModule.hasPort) : QJsonValue());
            r.add("link-line", LineValue(s.linkModule.portLineIndex));
            r.add("run-mode", Opt(s.linkModule.runMode));
            break;
        case ModuleType::RQ3040:
            r.add("rep-line", LineValue(s.repeater.portLineIndex));
            r.add("tx-on", Opt(s.repeater.txOn));
            r.add("tx-off", Opt(s.repeater.txOff));
            break;
        case ModuleType::RQ3050S:
        case ModuleType::RQ3050K:
            r.add("ch2-id", Opt(s.wiegand.ch2Id));
            if (withExtras)
                r.add("ch2-serial",
                      s.wiegand.ch2Serial ? QJsonValue(*s.wiegand.ch2Serial) : QJsonValue());
            r.add("interface", InterfaceValue(s.wiegand.interface));
            if (type == ModuleType::RQ3050K) r.add("key-number", Opt(s.wiegand.keyNumber));
            break;
    }
}

}  // namespace cli
