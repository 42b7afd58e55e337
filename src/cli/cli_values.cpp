// quillon-cli: the interrupt flag and the values read from the command line.

#include "cli/cli.h"

namespace cli {

// Set by SIGINT. Outside a continuous test the handler ends the program at once: the system
// closes the port and gives up its lock, and settings are saved with SIGINT blocked.
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_continuous = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
    if (!g_continuous) _exit(kInterrupted);
}

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
    for (int i = 0; i < count; ++i)
        if (QString::compare(text, LineSettings::text(i), Qt::CaseInsensitive) == 0) return i;
    if (text.size() == 1) {
        const int i = LineSettings::indexOfCode(text.at(0).toUpper());
        if (i >= 0 && i < count) return i;
    }
    Usage(QStringLiteral("%1: a line setting such as 19200,e,8,1 or its code, not \"%2\"")
              .arg(what, text));
}

Channels ParseBits16(const QString& text, const QString& what) {
    if (text.size() != 16)
        Usage(QStringLiteral("%1: 16 flags of 0 or 1, channel 1 first; \"%2\" has %3")
                  .arg(what, text)
                  .arg(text.size()));
    Channels c;
    for (int k = 0; k < 16; ++k) {
        if (text.at(k) != '0' && text.at(k) != '1')
            Usage(QStringLiteral("%1: 16 flags of 0 or 1, not \"%2\"").arg(what, text));
        c[k] = text.at(k) == '1';
    }
    return c;
}

const QStringList kInterfaces = {"RS485 24", "RS485 32", "RS485 40", "RS485 64"};
const QStringList kRunModes = {"dvr", "led", "mp3"};

int ParseInterface(const QString& text) {
    for (int i = 0; i < kInterfaces.size(); ++i) {
        const QString& name = kInterfaces.at(i);
        if (QString::compare(text, name, Qt::CaseInsensitive) == 0 || text == name.mid(6) ||
            text == QString::number(i))
            return i;
    }
    Usage(QStringLiteral("--interface: one of \"RS485 24\", 24, 32, 40, 64 or an index 0..3"));
}

int ParseRunMode(const QString& text) {
    for (int i = 0; i < kRunModes.size(); ++i)
        if (QString::compare(text, kRunModes.at(i), Qt::CaseInsensitive) == 0 ||
            text == QString::number(i))
            return i;
    Usage(QStringLiteral("--run-mode: 0 (dvr), 1 (led) or 2 (mp3)"));
}

QJsonValue Opt(const std::optional<int>& v) {
    return v ? QJsonValue(*v) : QJsonValue();
}

QString LineName(const std::optional<int>& index) {
    return index ? LineSettings::text(*index) : QString();
}

}  // namespace cli
