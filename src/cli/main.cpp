// quillon-cli: finds, reads, configures and tests one module from a terminal or a script, on the
// engine alone. Results go to standard output (text, or one JSON object per result), progress
// and diagnostics to standard error; the exit status says how the command ended.

#include <signal.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QStringList>
#include <cstdio>
#include <optional>

#include "engine/commission.h"
#include "engine/common.h"
#include "engine/continuous.h"
#include "engine/dido.h"
#include "engine/factory.h"
#include "engine/findmodule.h"
#include "engine/linkmodule.h"
#include "engine/modulecontext.h"
#include "engine/observer.h"
#include "engine/portmodule.h"
#include "engine/printer.h"
#include "engine/repeater.h"
#include "engine/survey.h"
#include "engine/wiegand.h"
#include "link/linesettings.h"
#include "link/netportname.h"
#include "link/portmap.h"
#include "link/qtserialport.h"
#include "link/systemports.h"
#include "settings/settings.h"
#include "text/extratexts.h"
#include "text/messagetable.h"

namespace {

enum Exit {
    kOk = 0,
    kFailed = 1,
    kUsage = 2,
    kPortFailed = 3,
    kRowsFailed = 4,
    kInterrupted = 130
};

// Set by SIGINT. Outside a continuous test the handler ends the program at once: the system
// closes the port and gives up its lock, and settings are saved with SIGINT blocked.
volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_continuous = 0;

void OnInterrupt(int) {
    g_interrupted = 1;
    if (!g_continuous) _exit(kInterrupted);
}

struct UsageError {
    QString text;
};

[[noreturn]] void Usage(const QString& text) {
    throw UsageError{text};
}

const char* const kHelpText =
    "Commands:\n"
    "  ports                  the mapped ports and whether each opens now\n"
    "  scan                   find the module (--remembered, --lock, --save)\n"
    "  info                   link and print the read-back\n"
    "  set                    change settings, then verify them by read-back\n"
    "  send TEXT              the command test (--hex for the reply's bytes)\n"
    "  print-status           the printer interface's status\n"
    "  print TEXT             print data to the printer interface\n"
    "  print-code TEXT        a print code to the printer interface\n"
    "  link-status            the controller link's status\n"
    "  link-send CR RD DATE CARD CARDID TYPE\n"
    "                         a data record to the controller link\n"
    "  rep-status             the RS-485 repeater's status\n"
    "  rep-send TEXT          raw data through the RS-485 repeater\n"
    "  factory-default        back to the factory settings (--yes in scripts)\n"
    "  dido-test              the DI/DO test (--outputs, --cycles, --seconds, --changes)\n"
    "  card-read              the card read test (--count, --seconds)\n"
    "  survey                 every module on the bus (--type T|all, --line L|all,\n"
    "                         repeatable, --ids 1-99, --read); one line per module\n"
    "  apply PLAN.csv         commission the modules a plan names by serial number\n"
    "                         (--dry-run, --report REPORT.csv, --line, --ids)\n"
    "\n"
    "Exit status:\n"
    "  0    success\n"
    "  1    the module did not answer or answered with an error\n"
    "  2    bad usage (nothing was sent)\n"
    "  3    the port cannot be opened\n"
    "  4    apply: a row of the plan failed (the others are done)\n"
    "  130  interrupted\n";

// One result: named values in order, printed as "name: value" lines or as one JSON object
// (whose keys use "_" where the text uses "-").
class Result {
  public:
    void add(const QString& name, const QJsonValue& value) { fields_.append({name, value}); }
    void print(bool json) const {
        if (json) {
            QJsonObject o;
            for (const auto& f : fields_) o.insert(QString(f.first).replace('-', '_'), f.second);
            std::fputs(QJsonDocument(o).toJson(QJsonDocument::Compact).constData(), stdout);
            std::fputc('\n', stdout);
        } else {
            for (const auto& f : fields_)
                std::printf("%s: %s\n", f.first.toUtf8().constData(), Text(f.second).constData());
        }
        std::fflush(stdout);
    }
    // A result of a stream: one line of text, or the JSON object.
    void printLine(bool json, const QString& text) const {
        if (json) return print(true);
        std::printf("%s\n", text.toUtf8().constData());
        std::fflush(stdout);
    }
    // "name=value" for the fields from `from` on, separated by blanks.
    QString pairs(int from) const {
        QStringList out;
        for (int i = from; i < fields_.size(); ++i)
            out << fields_.at(i).first + '=' + QString::fromUtf8(Text(fields_.at(i).second));
        return out.join(' ');
    }
    static QByteArray Text(const QJsonValue& v) {
        if (v.isBool()) return v.toBool() ? "yes" : "no";
        if (v.isDouble()) return QByteArray::number(v.toInt());
        if (v.isNull()) return "-";
        if (v.isArray() || v.isObject())
            return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
        return v.toString().toUtf8();
    }

  private:
    QList<QPair<QString, QJsonValue>> fields_;
};

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

// --- what the engine tells while it works ---

class CliObserver : public EngineObserver {
  public:
    void message(int row, const QString& suffix) override {
        lastRow = row;
        lastSuffix = suffix;
    }
    void scanRemembered(int portNo, int lineIndex) override {
        port_ = portNo;
        progress(lineIndex);
    }
    void scanEntry(int entry) override {
        if (entry >= 0 && entry < ports.size()) port_ = ports.at(entry);
    }
    void scanLine(int lineIndex) override { progress(lineIndex); }
    void scanFoundBySearch() override { foundBySearch = true; }
    void endProgress() {
        if (shown_) std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

    QList<int> ports;
    QString device;  // shown instead of the port number when --port names a device
    int totalTries = 0;
    bool showProgress = false;
    bool foundBySearch = false;
    int lastRow = 0;
    QString lastSuffix;

  private:
    void progress(int lineIndex) {
        if (!showProgress) return;
        if (!clock_.isValid()) clock_.start();
        ++tries_;
        const QString port = device.isEmpty() ? QStringLiteral("COM%1").arg(port_) : device;
        std::fprintf(stderr, "\r\033[Kscan %s %s  %.1f s, %d tries left", port.toUtf8().constData(),
                     LineSettings::text(lineIndex).toLatin1().constData(),
                     clock_.elapsed() / 1000.0, qMax(0, totalTries - tries_));
        std::fflush(stderr);
        shown_ = true;
    }
    QElapsedTimer clock_;
    int port_ = 0;
    int tries_ = 0;
    bool shown_ = false;
};

// --- the program ---

class Cli {
  public:
    explicit Cli(QCommandLineParser& p) : p_(p) {}
    int run();

  private:
    int ports();
    int scan();
    int info();
    int set();
    int send();
    int status(ModuleType type);
    int textOperation(ModuleType type, int which);
    int linkSend();
    int factoryDefault();
    int didoTest();
    int cardRead();
    int survey();
    int apply();

    // Checks the options every module command shares; sends nothing.
    // `ownTypeAndLine`: the command reads --type and --line itself.
    void moduleOptions(bool needsType, bool ownTypeAndLine = false);
    void needType(std::initializer_list<ModuleType> types);
    // Links at the given place and reads the module back; kOk or the exit status.
    int linkAndRead(ReadBack& rb);
    int failed(const Outcome& o);
    int notFound();
    void addReadBack(Result& r, const ReadBack& rb);
    QString lang(int row) const { return MessageTable::text(row, langIndex_); }
    void diag(const QString& text) const {
        std::fprintf(stderr, "quillon-cli: %s\n", text.toUtf8().constData());
    }
    QString arg(int i) const {
        const QStringList a = p_.positionalArguments();
        if (i >= a.size()) Usage(QStringLiteral("%1: an argument is missing").arg(a.value(0)));
        return a.at(i);
    }
    void args(int count) const {
        if (p_.positionalArguments().size() != count + 1)
            Usage(QStringLiteral("%1 takes %2 argument(s)")
                      .arg(p_.positionalArguments().value(0))
                      .arg(count));
    }

    QCommandLineParser& p_;
    bool json_ = false;
    int langIndex_ = 0;
    SettingsStore store_;
    StoredSettings stored_;
    // The system's listing probes every device (tens of milliseconds): made only when a port
    // number is to be resolved or the ports are listed.
    const PortMap& map() {
        if (!mapped_) map_ = PortMap(MapPorts(store_.portEntries(), ListSystemDevices()));
        mapped_ = true;
        return map_;
    }
    PortMap map_;
    bool mapped_ = false;
    QString devicePath_;  // --port as a device path
    std::unique_ptr<QtPortOpener> opener_;
    std::unique_ptr<ModuleContext> m_;
    CliObserver observer_;
    OpenFailure lastFailure_;
    std::optional<ModuleType> type_;
    int portNo_ = 1;
    int lineIndex_ = LineSettings::kDefaultIndex;
    int id_ = 1;
};

int Cli::run() {
    json_ = p_.isSet("json");
    LoadSettings(store_, stored_);
    langIndex_ = Languages::indexOfFlag(stored_.langFlag);
    if (p_.isSet("language")) {
        const QString l = p_.value("language");
        if (l == "en")
            langIndex_ = Languages::kEnglish;
        else if (QString::compare(l, "zh-CN", Qt::CaseInsensitive) == 0)
            langIndex_ = Languages::kSimplified;
        else if (QString::compare(l, "zh-TW", Qt::CaseInsensitive) == 0)
            langIndex_ = Languages::kTraditional;
        else
            Usage(QStringLiteral("--language: en, zh-CN or zh-TW"));
    }

    const QString cmd = p_.positionalArguments().value(0);
    if (cmd.isEmpty()) Usage(QStringLiteral("a command is missing"));
    if (cmd == "ports") return ports();
    if (cmd == "scan") return scan();
    if (cmd == "info") return info();
    if (cmd == "set") return set();
    if (cmd == "send") return send();
    if (cmd == "print-status") return status(ModuleType::RQ3020);
    if (cmd == "link-status") return status(ModuleType::RQ3030);
    if (cmd == "rep-status") return status(ModuleType::RQ3040);
    if (cmd == "print") return textOperation(ModuleType::RQ3020, 0);
    if (cmd == "print-code") return textOperation(ModuleType::RQ3020, 1);
    if (cmd == "rep-send") return textOperation(ModuleType::RQ3040, 2);
    if (cmd == "link-send") return linkSend();
    if (cmd == "factory-default") return factoryDefault();
    if (cmd == "dido-test") return didoTest();
    if (cmd == "card-read") return cardRead();
    if (cmd == "survey") return survey();
    if (cmd == "apply") return apply();
    Usage(QStringLiteral("unknown command \"%1\"").arg(cmd));
}

void Cli::moduleOptions(bool needsType, bool ownTypeAndLine) {
    if (ownTypeAndLine) {
    } else if (p_.isSet("type")) {
        type_ = ParseModuleType(p_.value("type").toStdString());
        if (!type_)
            Usage(QStringLiteral("--type: unknown module type \"%1\"").arg(p_.value("type")));
    } else if (stored_.typeTab >= 0 && stored_.typeTab < 6) {
        type_ = kAllModuleTypes[stored_.typeTab];
    }
    if (needsType && !type_) Usage(QStringLiteral("--type is needed"));

    portNo_ = stored_.portNo;
    if (p_.isSet("port")) {
        const QString port = p_.value("port");
        if (IsNetworkPortName(port)) {
            QString why;
            if (!ParseNetPortName(port, &why))
                Usage(QStringLiteral("--port: %1: %2").arg(port, why));
            devicePath_ = port;
            portNo_ = 1;
        } else if (port.startsWith('/')) {
            devicePath_ = port;
            portNo_ = 1;
        } else if (port.startsWith(QLatin1String("COM"), Qt::CaseInsensitive) &&
                   PortNumberOf(port.toUpper()) > 0) {
            portNo_ = PortNumberOf(port.toUpper());
        } else {
            Usage(QStringLiteral("--port: COMn, a device path or a network port, not \"%1\"")
                      .arg(port));
        }
    }
    lineIndex_ = stored_.baudIndex;
    if (p_.isSet("line") && !ownTypeAndLine)
        lineIndex_ = ParseLine(p_.value("line"), LineSettings::kCount, "--line");
    if (p_.isSet("id")) id_ = ParseInt(p_.value("id"), 1, 99, "--id");

    const QString device = devicePath_;
    opener_ = std::make_unique<QtPortOpener>(
        [this, device](int n) { return device.isEmpty() ? map().deviceFor(n) : device; });
    m_ = std::make_unique<ModuleContext>(*opener_);
    m_->setObserver(&observer_);
    m_->selectType(type_);
    QObject::connect(&m_->link, &Link::portOpenResult, &m_->link,
                     [this](int, const OpenFailure& f) { lastFailure_ = f; });
}

void Cli::needType(std::initializer_list<ModuleType> types) {
    for (ModuleType t : types)
        if (type_ == t) return;
    QStringList names;
    for (ModuleType t : types) names << QString::fromStdString(ModuleTypeName(t));
    Usage(QStringLiteral("%1 is for %2 (--type)")
              .arg(p_.positionalArguments().value(0), names.join(QStringLiteral(", "))));
}

int Cli::notFound() {
    observer_.endProgress();
    if (lastFailure_.reason != OpenFailure::Reason::None) {
        const QString port =
            devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(portNo_) : devicePath_;
        diag(QStringLiteral("%1: %2").arg(port, ExtraTexts::describe(lastFailure_, langIndex_)));
        return kPortFailed;
    }
    diag(lang(17));
    return kFailed;
}

int Cli::failed(const Outcome& o) {
    if (lastFailure_.reason != OpenFailure::Reason::None) return notFound();
    diag(lang(o.row));
    return kFailed;
}

int Cli::linkAndRead(ReadBack& rb) {
    lastFailure_ = {};
    if (!LinkAt(*m_, portNo_, lineIndex_, TwoDigitText(id_))) return notFound();
    const Outcome o = ReadModule(*m_, m_->link.LastReply, rb);
    if (!o.ok()) return failed(o);
    return kOk;
}

void Cli::addReadBack(Result& r, const ReadBack& rb) {
    const ModuleContext& m = *m_;
    r.add("type", m.type ? QString::fromStdString(ModuleTypeName(*m.type)) : QString());
    r.add("port", devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(m.PortNo) : devicePath_);
    r.add("device", devicePath_.isEmpty() ? map().deviceFor(m.PortNo) : devicePath_);
    r.add("line", m.BaudText);
    r.add("id", rb.id >= 0 ? QJsonValue(rb.id) : QJsonValue());
    r.add("serial", rb.serial);
    r.add("version", rb.version);
    if (!m.type) return;
    const ModuleSettings& s = rb.settings;
    switch (*m.type) {
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
            r.add("link-port",
                  s.linkModule.hasPort ? QJsonValue(*s.linkModule.hasPort) : QJsonValue());
            r.add("link-line", s.linkModule.portLineIndex
                                   ? QJsonValue(LineName(s.linkModule.portLineIndex))
                                   : QJsonValue());
            r.add("run-mode", Opt(s.linkModule.runMode));
            break;
        case ModuleType::RQ3040:
            r.add("rep-line", s.repeater.portLineIndex
                                  ? QJsonValue(LineName(s.repeater.portLineIndex))
                                  : QJsonValue());
            r.add("tx-on", Opt(s.repeater.txOn));
            r.add("tx-off", Opt(s.repeater.txOff));
            break;
        case ModuleType::RQ3050S:
        case ModuleType::RQ3050K:
            r.add("ch2-id", Opt(s.wiegand.ch2Id));
            r.add("ch2-serial",
                  s.wiegand.ch2Serial ? QJsonValue(*s.wiegand.ch2Serial) : QJsonValue());
            r.add("interface", s.wiegand.interface && *s.wiegand.interface >= 0 &&
                                       *s.wiegand.interface < kInterfaces.size()
                                   ? QJsonValue(kInterfaces.at(*s.wiegand.interface))
                                   : Opt(s.wiegand.interface));
            if (*m.type == ModuleType::RQ3050K) r.add("key-number", Opt(s.wiegand.keyNumber));
            break;
    }
}

int Cli::ports() {
    args(0);
    for (const MappedPort& port : map().ports()) {
        OpenFailure failure;
        const bool opens = static_cast<bool>(QtSerialPort::openDevice(
            port.device, LineSettings::text(LineSettings::kDefaultIndex), &failure));
        Result r;
        r.add("port", port.name());
        r.add("device", port.device);
        r.add("by-id", port.byId.isEmpty() ? QJsonValue() : QJsonValue(port.byId));
        const QString description = QSerialPortInfo(port.device).description();
        r.add("description", description.isEmpty() ? QJsonValue() : QJsonValue(description));
        r.add("opens", opens);
        r.add("reason",
              opens ? QJsonValue() : QJsonValue(ExtraTexts::describe(failure, langIndex_)));
        r.print(json_);
        if (!json_) std::puts("");
    }
    return kOk;
}

int Cli::scan() {
    args(0);
    moduleOptions(true);
    ScanPlan plan;
    if (p_.isSet("port")) {
        plan.ports << portNo_;
    } else {
        for (const MappedPort& port : map().ports()) plan.ports << port.number;
        if (plan.ports.isEmpty())
            for (int n = 1; n <= 16; ++n) plan.ports << n;
    }
    plan.lock = p_.isSet("lock");
    ModuleContext& m = *m_;
    m.PortNo = p_.isSet("remembered") ? stored_.portNo : 0;
    m.BaudIndex = lineIndex_;
    m.BaudText = LineSettings::text(lineIndex_);
    observer_.ports = plan.ports;
    observer_.device = devicePath_;
    observer_.totalTries =
        (m.PortNo > 0 ? 1 : 0) + int(plan.ports.size()) * (plan.lock ? 1 : LineSettings::kListed);
    observer_.showProgress = isatty(STDERR_FILENO);
    lastFailure_ = {};
    if (!Scan(m, plan)) {
        // A scan over many ports says only that nothing was found; one port says why.
        if (plan.ports.size() != 1) lastFailure_ = {};
        return notFound();
    }
    observer_.endProgress();
    portNo_ = m.PortNo;
    ReadBack rb;
    const Outcome o = ReadModule(m, m.Identification, rb);
    if (!o.ok()) return failed(o);
    if (p_.isSet("save") && observer_.foundBySearch) {
        int tab = 0;
        for (int i = 0; i < 6; ++i)
            if (kAllModuleTypes[i] == *m.type) tab = i;
        // A Ctrl-C while saving waits for the file to be replaced.
        sigset_t block, old;
        sigemptyset(&block);
        sigaddset(&block, SIGINT);
        sigprocmask(SIG_BLOCK, &block, &old);
        SaveSettings(store_, tab, m.PortNo, m.BaudIndex, m.BaudText);
        sigprocmask(SIG_SETMASK, &old, nullptr);
    }
    Result r;
    addReadBack(r, rb);
    r.print(json_);
    return kOk;
}

int Cli::info() {
    args(0);
    moduleOptions(true);
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    Result r;
    addReadBack(r, rb);
    r.print(json_);
    return kOk;
}

// One setting of `set`: what is asked, how it is sent and how the read-back shows it.
struct Change {
    QString name;
    QJsonValue wanted;
    std::function<Outcome(ModuleContext&)> send;
    std::function<QJsonValue(const ModuleContext&, const ReadBack&)> shown;
};

int Cli::set() {
    args(0);
    moduleOptions(true);
    const ModuleType t = *type_;
    QList<Change> changes;
    auto forTypes = [&](const char* option, std::initializer_list<ModuleType> types) {
        if (!p_.isSet(option)) return false;
        for (ModuleType x : types)
            if (x == t) return true;
        Usage(QStringLiteral("--%1 is not a setting of %2")
                  .arg(QLatin1String(option), QString::fromStdString(ModuleTypeName(t))));
    };
    const auto wiegand = {ModuleType::RQ3050S, ModuleType::RQ3050K};
    if (forTypes("di-mode", {ModuleType::RQ3016})) {
        const QString v = p_.value("di-mode").toLower();
        if (v != "hold" && v != "normal") Usage(QStringLiteral("--di-mode: hold or normal"));
        const DiMode mode = v == "hold" ? DiMode::Hold : DiMode::Normal;
        changes.append({"di-mode", v, [mode](ModuleContext& m) { return SetDiMode(m, mode); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& md = rb.settings.dido.mode;
                            return !md ? QJsonValue()
                                       : QJsonValue(*md == DiMode::Hold ? "hold" : "normal");
                        }});
    }
    if (forTypes("di-nonc", {ModuleType::RQ3016})) {
        const Channels c = ParseBits16(p_.value("di-nonc"), "--di-nonc");
        changes.append({"di-nonc", ChannelText(c), [c](ModuleContext& m) { return SetNoNc(m, c); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& nc = rb.settings.dido.normallyClosed;
                            return nc ? QJsonValue(ChannelText(*nc)) : QJsonValue();
                        }});
    }
    if (forTypes("ch2-id", wiegand)) {
        const int id = ParseInt(p_.value("ch2-id"), 1, 99, "--ch2-id");
        changes.append({"ch2-id", id, [id](ModuleContext& m) { return SetCh2Id(m, id); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return Opt(rb.settings.wiegand.ch2Id);
                        }});
    }
    if (forTypes("interface", wiegand)) {
        const int i = ParseInterface(p_.value("interface"));
        changes.append(
            {"interface", kInterfaces.at(i), [i](ModuleContext& m) { return SetInterface(m, i); },
             [](const ModuleContext&, const ReadBack& rb) {
                 const auto& f = rb.settings.wiegand.interface;
                 return f && *f >= 0 && *f < kInterfaces.size() ? QJsonValue(kInterfaces.at(*f))
                                                                : Opt(f);
             }});
    }
    if (forTypes("key-number", {ModuleType::RQ3050K})) {
        const int n = ParseInt(p_.value("key-number"), 0, 16, "--key-number");
        changes.append({"key-number", n, [n](ModuleContext& m) { return SetKeyNumber(m, n); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return Opt(rb.settings.wiegand.keyNumber);
                        }});
    }
    if (forTypes("link-line", {ModuleType::RQ3030})) {
        const int i = ParseLine(p_.value("link-line"), LineSettings::kListed, "--link-line");
        changes.append({"link-line", LineSettings::text(i),
                        [i](ModuleContext& m) { return SetPortLine(m, i); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& l = rb.settings.linkModule.portLineIndex;
                            return l ? QJsonValue(LineName(l)) : QJsonValue();
                        }});
    }
    if (forTypes("run-mode", {ModuleType::RQ3030})) {
        const int mode = ParseRunMode(p_.value("run-mode"));
        changes.append({"run-mode", mode, [mode](ModuleContext& m) { return SetRunMode(m, mode); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return Opt(rb.settings.linkModule.runMode);
                        }});
    }
    if (forTypes("rep-line", {ModuleType::RQ3040})) {
        const int i = ParseLine(p_.value("rep-line"), LineSettings::kListed, "--rep-line");
        changes.append({"rep-line", LineSettings::text(i),
                        [i](ModuleContext& m) { return SetPortLine(m, i); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& l = rb.settings.repeater.portLineIndex;
                            return l ? QJsonValue(LineName(l)) : QJsonValue();
                        }});
    }
    if (p_.isSet("tx-on") != p_.isSet("tx-off"))
        Usage(QStringLiteral("--tx-on and --tx-off go together"));
    if (forTypes("tx-on", {ModuleType::RQ3040})) {
        const int on = ParseInt(p_.value("tx-on"), 0, 255, "--tx-on");
        const int off = ParseInt(p_.value("tx-off"), 0, 255, "--tx-off");
        changes.append({"tx-delays", QStringLiteral("%1/%2").arg(on).arg(off),
                        [on, off](ModuleContext& m) { return SetTxDelays(m, on, off); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            const auto& r = rb.settings.repeater;
                            return r.txOn && r.txOff
                                       ? QJsonValue(
                                             QStringLiteral("%1/%2").arg(*r.txOn).arg(*r.txOff))
                                       : QJsonValue();
                        }});
    }
    // The ID and the line setting go last: the next commands follow them.
    if (p_.isSet("new-id")) {
        const int id = ParseInt(p_.value("new-id"), 1, 99, "--new-id");
        changes.append({"id", id, [id](ModuleContext& m) { return SetModuleId(m, id); },
                        [](const ModuleContext&, const ReadBack& rb) {
                            return rb.id >= 0 ? QJsonValue(rb.id) : QJsonValue();
                        }});
    }
    if (p_.isSet("new-line")) {
        const int i = ParseLine(p_.value("new-line"), LineSettings::kListed, "--new-line");
        changes.append(
            {"line", LineSettings::text(i), [i](ModuleContext& m) { return SetModuleLine(m, i); },
             [](const ModuleContext& m, const ReadBack&) { return QJsonValue(m.BaudText); }});
    }
    if (changes.isEmpty()) Usage(QStringLiteral("set: no setting given (see --help)"));

    ReadBack before;
    if (const int e = linkAndRead(before)) return e;
    QList<QJsonValue> was;
    QList<bool> sent;
    for (Change& c : changes) {
        was << c.shown(*m_, before);
        const Outcome o = c.send(*m_);
        sent << o.ok();
        if (!o.ok()) diag(QStringLiteral("%1: %2").arg(c.name, lang(o.row)));
    }
    // The read-back that verifies: at the ID and line setting the module has now.
    ReadBack after;
    bool read = LinkAt(*m_, m_->PortNo, m_->BaudIndex, m_->ModuleId);
    if (read) read = ReadModule(*m_, m_->link.LastReply, after).ok();
    if (!read) diag(QStringLiteral("no read-back after the change: ") + lang(17));

    bool allVerified = true;
    QJsonArray list;
    for (int i = 0; i < changes.size(); ++i) {
        const Change& c = changes.at(i);
        const QJsonValue now = read ? c.shown(*m_, after) : QJsonValue();
        const bool verified = read && now == c.wanted;
        allVerified = allVerified && verified;
        if (json_) {
            list.append(QJsonObject{{"setting", c.name},
                                    {"before", was.at(i)},
                                    {"wanted", c.wanted},
                                    {"after", now},
                                    {"sent", sent.at(i)},
                                    {"verified", verified}});
        } else {
            std::printf("%s: before %s, after %s, %s\n", c.name.toUtf8().constData(),
                        Result::Text(was.at(i)).constData(), Result::Text(now).constData(),
                        verified ? "verified" : "NOT verified");
        }
    }
    if (json_) {
        Result r;
        r.add("ok", allVerified);
        r.add("settings", list);
        r.print(true);
    }
    std::fflush(stdout);
    return allVerified ? kOk : kFailed;
}

int Cli::send() {
    args(1);
    const QString letters = arg(1);
    moduleOptions(false);
    if (!CommandSendable(*m_, letters))
        Usage(QStringLiteral("send: the text cannot go on the wire"));
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    QString shown;
    const Outcome o = CommandTest(*m_, letters, shown);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("sent", m_->TypePrefix + m_->ModuleId + letters);
    r.add("reply", shown);
    if (p_.isSet("hex")) r.add("hex", QString::fromLatin1(m_->link.LastReply.toHex(' ')));
    r.print(json_);
    return kOk;
}

int Cli::status(ModuleType type) {
    args(0);
    moduleOptions(true);
    needType({type});
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    QChar c;
    const Outcome o = GetStatus(*m_, c);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("status", QString(c));
    if (type == ModuleType::RQ3020) r.add("text", PrinterStatusText(c));
    r.print(json_);
    return kOk;
}

int Cli::textOperation(ModuleType type, int which) {
    args(1);
    const QString text = arg(1);
    moduleOptions(true);
    needType({type});
    if (which < 2 && !CommandSendable(*m_, QStringLiteral("G") + text))
        Usage(QStringLiteral("the text cannot go on the wire"));
    if (which == 2)
        for (QChar ch : text)
            if (ch.unicode() > 0xFF) Usage(QStringLiteral("rep-send: only Latin-1 characters"));
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    const Outcome o = which == 0   ? PrintData(*m_, text)
                      : which == 1 ? PrintCode(*m_, text)
                                   : SendRawData(*m_, text);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("sent", text);
    r.print(json_);
    return kOk;
}

int Cli::linkSend() {
    args(6);
    QStringList fields = p_.positionalArguments().mid(1);
    moduleOptions(true);
    needType({ModuleType::RQ3030});
    if (!CommandSendable(*m_, QStringLiteral("G") + fields.join(QString())))
        Usage(QStringLiteral("link-send: the record cannot go on the wire"));
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    const Outcome o = SendDataRecord(*m_, fields);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("sent", fields.join(QString()));
    r.print(json_);
    return kOk;
}

int Cli::factoryDefault() {
    args(0);
    moduleOptions(true);
    if (!p_.isSet("yes")) {
        if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO))
            Usage(QStringLiteral("factory-default needs --yes when not asked on a terminal"));
        std::fprintf(stderr, "Return the %s to its factory settings? [y/N] ",
                     ModuleTypeName(*type_).c_str());
        std::fflush(stderr);
        char answer[16] = {};
        if (!std::fgets(answer, sizeof answer, stdin) || (answer[0] != 'y' && answer[0] != 'Y')) {
            diag(QStringLiteral("nothing sent"));
            return kFailed;
        }
    }
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    FactoryInputs in;
    if (rb.settings.wiegand.ch2Serial) in.ch2Serial = *rb.settings.wiegand.ch2Serial;
    FactoryResult fr;
    const Outcome o = FactoryDefault(*m_, in, fr);
    if (!o.ok()) return failed(o);
    Result r;
    r.add("ok", true);
    // What the run has brought back to its default: the ID 01, the line setting.
    r.add("id-01", fr.id01);
    r.add("line-default", fr.lineDefault);
    r.print(json_);
    return kOk;
}

// Stops a continuous test on Ctrl-C, a count reached or the time run out.
struct Limits {
    int count = 0;       // 0: none
    double seconds = 0;  // 0: none
    QElapsedTimer clock;
    int seen = 0;
    bool reached() const {
        return (count > 0 && seen >= count) || (seconds > 0 && clock.elapsed() >= seconds * 1000);
    }
};

int ContinuousExit(ContinuousEnd end, const Limits& limits) {
    g_continuous = 0;
    if (end == ContinuousEnd::PortNotOpened) return kPortFailed;
    if (g_interrupted) return kInterrupted;
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) return kFailed;
    return kOk;
}

int Cli::didoTest() {
    args(0);
    moduleOptions(true);
    needType({ModuleType::RQ3016});
    const Channels outputs =
        p_.isSet("outputs") ? ParseBits16(p_.value("outputs"), "--outputs") : Channels();
    Limits limits;
    if (p_.isSet("cycles")) limits.count = ParseInt(p_.value("cycles"), 1, 100000000, "--cycles");
    if (p_.isSet("seconds"))
        limits.seconds = ParseInt(p_.value("seconds"), 1, 10000000, "--seconds");
    const bool changes = p_.isSet("changes");
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    g_continuous = 1;
    if (g_interrupted) return ContinuousExit(ContinuousEnd::Stopped, limits);
    limits.clock.start();
    std::optional<Channels> last;
    lastFailure_ = {};
    const ContinuousEnd end = RunDidoTest(
        *m_, [&] { return outputs; },
        [&](const Channels& inputs) {
            ++limits.seen;
            if (changes && last && *last == inputs) return;
            last = inputs;
            Result r;
            r.add("cycle", limits.seen);
            r.add("inputs", ChannelText(inputs));
            r.printLine(json_,
                        QStringLiteral("cycle %1: %2").arg(limits.seen).arg(ChannelText(inputs)));
        },
        [&] { return g_interrupted || limits.reached(); });
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) diag(lang(17));
    if (end == ContinuousEnd::PortNotOpened) notFound();
    return ContinuousExit(end, limits);
}

int Cli::cardRead() {
    args(0);
    moduleOptions(true);
    if (!type_ || !IsWiegand(*type_)) needType({ModuleType::RQ3050S, ModuleType::RQ3050K});
    Limits limits;
    if (p_.isSet("count")) limits.count = ParseInt(p_.value("count"), 1, 100000000, "--count");
    if (p_.isSet("seconds"))
        limits.seconds = ParseInt(p_.value("seconds"), 1, 10000000, "--seconds");
    ReadBack rb;
    if (const int e = linkAndRead(rb)) return e;
    const int ch2 = rb.settings.wiegand.ch2Id.value_or(0);
    g_continuous = 1;
    if (g_interrupted) return ContinuousExit(ContinuousEnd::Stopped, limits);
    limits.clock.start();
    const ContinuousEnd end = RunCardTest(
        *m_, [ch2] { return ch2; },
        [&](int channel, const QString& text) {
            ++limits.seen;
            Result r;
            r.add("channel", channel);
            r.add("text", text);
            r.printLine(json_, QStringLiteral("CH #%1: %2").arg(channel).arg(text));
        },
        [&] { return g_interrupted || limits.reached(); });
    if (end == ContinuousEnd::ModuleLost && !limits.reached()) diag(lang(17));
    if (end == ContinuousEnd::PortNotOpened) notFound();
    return ContinuousExit(end, limits);
}

// "N" or "A-B" within 1..99.
QList<int> ParseIds(const QString& text) {
    const QStringList parts = text.split('-');
    if (parts.size() > 2)
        Usage(QStringLiteral("--ids: N or A-B within 1..99, not \"%1\"").arg(text));
    const int from = ParseInt(parts.first().trimmed(), 1, 99, "--ids");
    const int to = parts.size() == 2 ? ParseInt(parts.last().trimmed(), 1, 99, "--ids") : from;
    if (to < from) Usage(QStringLiteral("--ids: A-B with A not above B, not \"%1\"").arg(text));
    QList<int> ids;
    for (int id = from; id <= to; ++id) ids << id;
    return ids;
}

// --line, repeatable, for a survey: the line settings given, or all of them (empty).
QList<int> SurveyLineOption(const QCommandLineParser& p) {
    QList<int> lines;
    for (const QString& line : p.values("line")) {
        if (QString::compare(line, "all", Qt::CaseInsensitive) == 0) return {};
        const int i = ParseLine(line, LineSettings::kListed, "--line");
        if (!lines.contains(i)) lines << i;
    }
    return lines;
}

// The fields of one module a survey found, as `info` names them.
void AddSurveyed(Result& r, const SurveyModule& s, bool read) {
    r.add("type", QString::fromStdString(ModuleTypeName(s.type)));
    r.add("id", s.id);
    r.add("line", LineSettings::text(s.lineIndex));
    r.add("serial", s.serial);
    r.add("version", s.version.isEmpty() ? QJsonValue() : QJsonValue(s.version));
    if (!read) return;
    r.add("read", s.settingsRead);
    const ModuleSettings& st = s.settings;
    switch (s.type) {
        case ModuleType::RQ3016:
            r.add("di-mode", !st.dido.mode                   ? QJsonValue()
                             : *st.dido.mode == DiMode::Hold ? QJsonValue("hold")
                                                             : QJsonValue("normal"));
            r.add("di-nonc", st.dido.normallyClosed
                                 ? QJsonValue(ChannelText(*st.dido.normallyClosed))
                                 : QJsonValue());
            break;
        case ModuleType::RQ3020:
            break;
        case ModuleType::RQ3030:
            r.add("link-line", st.linkModule.portLineIndex
                                   ? QJsonValue(LineName(st.linkModule.portLineIndex))
                                   : QJsonValue());
            r.add("run-mode", Opt(st.linkModule.runMode));
            break;
        case ModuleType::RQ3040:
            r.add("rep-line", st.repeater.portLineIndex
                                  ? QJsonValue(LineName(st.repeater.portLineIndex))
                                  : QJsonValue());
            r.add("tx-on", Opt(st.repeater.txOn));
            r.add("tx-off", Opt(st.repeater.txOff));
            break;
        case ModuleType::RQ3050S:
        case ModuleType::RQ3050K:
            r.add("ch2-id", Opt(st.wiegand.ch2Id));
            r.add("interface", st.wiegand.interface && *st.wiegand.interface >= 0 &&
                                       *st.wiegand.interface < kInterfaces.size()
                                   ? QJsonValue(kInterfaces.at(*st.wiegand.interface))
                                   : Opt(st.wiegand.interface));
            if (s.type == ModuleType::RQ3050K) r.add("key-number", Opt(st.wiegand.keyNumber));
            break;
    }
}

int Cli::survey() {
    args(0);
    SurveyPlan plan;
    const QString type = p_.value("type");
    if (p_.isSet("type") && QString::compare(type, "all", Qt::CaseInsensitive) != 0) {
        const std::optional<ModuleType> t = ParseModuleType(type.toStdString());
        if (!t) Usage(QStringLiteral("--type: a module type or all, not \"%1\"").arg(type));
        plan.types << *t;
    }
    plan.lines = SurveyLineOption(p_);
    if (p_.isSet("ids")) plan.ids = ParseIds(p_.value("ids"));
    plan.readSettings = p_.isSet("read");
    moduleOptions(false, true);
    plan.portNo = portNo_;
    const QString port = devicePath_.isEmpty() ? QStringLiteral("COM%1").arg(portNo_) : devicePath_;

    const bool progress = isatty(STDERR_FILENO);
    bool shown = false;
    auto clearProgress = [&] {
        if (shown) std::fputs("\r\033[K", stderr);
        shown = false;
    };
    if (!json_) {
        std::printf("%-9s %-3s %-12s %-9s %s\n", "TYPE", "ID", "LINE", "SERIAL", "VERSION");
        std::fflush(stdout);
    }
    SurveyHooks hooks;
    // Ctrl-C stops the survey between two exchanges; what was found is printed already.
    g_continuous = 1;
    hooks.stop = [] { return g_interrupted != 0; };
    hooks.progress = [&](const SurveyProgress& p) {
        if (!progress) return;
        std::fprintf(stderr, "\r\033[Ksurvey %s %s %s ID %02d  %d%%, about %d s left",
                     port.toUtf8().constData(),
                     LineSettings::text(p.lineIndex).toLatin1().constData(),
                     ModuleTypeName(p.type).c_str(), p.id, p.total ? 100 * p.done / p.total : 100,
                     (p.msLeft + 999) / 1000);
        std::fflush(stderr);
        shown = true;
    };
    hooks.found = [&](const SurveyModule& s) {
        clearProgress();
        Result r;
        AddSurveyed(r, s, plan.readSettings);
        QString text = QStringLiteral("%1 %2 %3 %4 %5")
                           .arg(QString::fromStdString(ModuleTypeName(s.type)), -9)
                           .arg(TwoDigitText(s.id), -3)
                           .arg(LineSettings::text(s.lineIndex), -12)
                           .arg(s.serial, -9)
                           .arg(s.version.isEmpty() ? QStringLiteral("-") : s.version);
        // With --read the type's settings follow the common fields, as name=value.
        if (plan.readSettings) text += QStringLiteral("  ") + r.pairs(5);
        r.printLine(json_, text);
    };
    lastFailure_ = {};
    const SurveyResult res = RunSurvey(*m_, plan, hooks);
    g_continuous = 0;
    clearProgress();
    if (res.portFailed) return notFound();
    for (const SurveyCollision& c : res.collisions) {
        const QString why = c.id == 1
                                ? QStringLiteral(
                                      "several modules answer at ID 01: their serial numbers are "
                                      "needed: connect them one at a time, or name them in a plan")
                                : QStringLiteral("two modules share ID %1, or the line is noisy")
                                      .arg(TwoDigitText(c.id));
        Result r;
        r.add("collision", true);
        r.add("type", QString::fromStdString(ModuleTypeName(c.type)));
        r.add("id", c.id);
        r.add("line", LineSettings::text(c.lineIndex));
        r.add("text", why);
        r.printLine(json_, QStringLiteral("collision: %1 ID %2 at %3: %4")
                               .arg(QString::fromStdString(ModuleTypeName(c.type)),
                                    TwoDigitText(c.id), LineSettings::text(c.lineIndex), why));
    }
    if (res.stopped) {
        diag(QStringLiteral("survey stopped: %1 module(s) found so far").arg(res.modules.size()));
        return kInterrupted;
    }
    if (res.modules.isEmpty()) {
        diag(res.collisions.isEmpty() ? QStringLiteral("no module answered")
                                      : QStringLiteral("no module answered alone"));
        return kFailed;
    }
    return kOk;
}

// A report cell, quoted when it holds a comma or a quote.
QString CsvCell(const QString& text) {
    if (!text.contains(',') && !text.contains('"')) return text;
    return '"' + QString(text).replace('"', QStringLiteral("\"\"")) + '"';
}

int Cli::apply() {
    args(1);
    const QString path = arg(1);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) Usage(QStringLiteral("apply: cannot read %1").arg(path));
    QList<PlanRow> rows;
    QList<PlanProblem> problems;
    const bool parsed = ParsePlan(QString::fromUtf8(file.readAll()), rows, problems);
    SurveyPlan base;
    base.lines = SurveyLineOption(p_);
    if (p_.isSet("ids")) base.ids = ParseIds(p_.value("ids"));
    const bool dryRun = p_.isSet("dry-run");
    std::unique_ptr<QFile> report;
    if (p_.isSet("report")) {
        report = std::make_unique<QFile>(p_.value("report"));
        if (!report->open(QIODevice::WriteOnly | QIODevice::Truncate))
            Usage(QStringLiteral("--report: cannot write %1").arg(p_.value("report")));
    }
    auto refuse = [&] {
        for (const PlanProblem& pr : problems) diag(path + QStringLiteral(": ") + pr.describe());
        diag(QStringLiteral("plan refused: nothing was sent"));
        return kUsage;
    };
    if (!parsed) return refuse();
    if (rows.isEmpty()) {
        problems.append({0, {}, QStringLiteral("no rows")});
        return refuse();
    }
    moduleOptions(false, true);
    base.portNo = portNo_;

    const bool progress = isatty(STDERR_FILENO);
    SurveyHooks hooks;
    g_continuous = 1;
    hooks.stop = [] { return g_interrupted != 0; };
    hooks.progress = [&](const SurveyProgress& p) {
        if (!progress) return;
        std::fprintf(stderr, "\r\033[Ksurvey %s %s ID %02d  %d%%, about %d s left",
                     LineSettings::text(p.lineIndex).toLatin1().constData(),
                     ModuleTypeName(p.type).c_str(), p.id, p.total ? 100 * p.done / p.total : 100,
                     (p.msLeft + 999) / 1000);
        std::fflush(stderr);
    };
    lastFailure_ = {};
    const SurveyResult bus = RunSurvey(*m_, PlanSurvey(rows, base), hooks);
    g_continuous = 0;
    if (progress) std::fputs("\r\033[K", stderr);
    if (bus.portFailed) return notFound();
    if (bus.stopped) return kInterrupted;

    QList<PlanItem> items;
    if (!CheckPlan(rows, bus, items, problems)) return refuse();

    if (report) report->write("row,type,serial,found_at,before,after,verified,outcome\n");
    bool anyFailed = false;
    CommissionHooks run;
    run.command = [&](const PlanItem& item, const QString& command) {
        if (!dryRun) return;
        Result r;
        r.add("row", item.row.row);
        r.add("serial", item.row.serial);
        r.add("command", command);
        r.printLine(
            json_, QStringLiteral("row %1 %2: %3").arg(item.row.row).arg(item.row.serial, command));
    };
    QMap<int, PlanRow> byRow;
    for (const PlanRow& r : rows) byRow.insert(r.row, r);
    run.done = [&](const PlanOutcome& o) {
        anyFailed = anyFailed || o.failed();
        const PlanRow& pr = byRow[o.row];
        const QString type = QString::fromStdString(ModuleTypeName(pr.type));
        if (dryRun && !o.failed()) return;
        Result r;
        r.add("row", o.row);
        r.add("type", type);
        r.add("serial", pr.serial);
        r.add("found-at", o.foundAt);
        r.add("before", o.before);
        r.add("after", o.after);
        r.add("verified", o.verified);
        r.add("outcome", o.outcome);
        r.printLine(json_, QStringLiteral("row %1 %2 %3: %4 (%5 -> %6)")
                               .arg(o.row)
                               .arg(type, pr.serial, o.outcome, o.before,
                                    o.after.isEmpty() ? QStringLiteral("-") : o.after));
    };
    // The report in the plan's order, whatever order the rows ran in.
    for (const PlanOutcome& o : RunPlan(*m_, portNo_, items, dryRun, run)) {
        if (!report) break;
        const PlanRow& pr = byRow[o.row];
        const QStringList cells{QString::number(o.row),
                                QString::fromStdString(ModuleTypeName(pr.type)),
                                pr.serial,
                                o.foundAt,
                                o.before,
                                o.after,
                                o.verified ? "yes" : "no",
                                o.outcome};
        QStringList quoted;
        for (const QString& c : cells) quoted << CsvCell(c);
        report->write((quoted.join(',') + '\n').toUtf8());
    }
    return anyFailed ? kRowsFailed : kOk;
}

void AddOptions(QCommandLineParser& p) {
    p.setApplicationDescription(
        QStringLiteral("Finds, reads, configures and tests a Quillon serial field module.\n\n") +
        QString::fromLatin1(kHelpText));
    p.addPositionalArgument("command", "ports, scan, info, set, send, ... (see below)");
    p.addOptions({
        {{"h", "help"}, "Shows this help."},
        {{"v", "version"}, "Shows the version."},
        {"type", "Module type: RQ-3016, RQ-3020, RQ-3030, RQ-3040, RQ-3050S, RQ-3050K.", "TYPE"},
        {"port",
         "COMn (as the window numbers ports), a device path, or a network port "
         "(rfc2217://HOST:PORT, tcp://HOST:PORT).",
         "PORT"},
        {"line", "Line setting: a text such as 19200,e,8,1 or its code 0..D.", "LINE"},
        {"id", "The module's ID, 1..99 (default 1).", "N"},
        {"json", "One JSON object per result."},
        {"language", "Message language: en, zh-CN or zh-TW.", "LANG"},
        {"remembered", "scan: the remembered place first."},
        {"lock", "scan: only the line setting of --line (or the remembered one)."},
        {"save", "scan: remember the place found in the settings file."},
        {"hex", "send: the reply's bytes in hexadecimal too."},
        {"yes", "factory-default: no confirmation prompt."},
        {"new-id", "set: the new ID, 1..99.", "N"},
        {"new-line", "set: the new line setting.", "LINE"},
        {"di-mode", "set: DI mode, hold or normal.", "MODE"},
        {"di-nonc", "set: NO/NC flags, 16 of 0 or 1, channel 1 first.", "BITS16"},
        {"ch2-id", "set: CH #2's ID, 1..99.", "N"},
        {"interface", "set: RS485 24, 32, 40 or 64.", "IF"},
        {"key-number", "set: key number, 0..16.", "N"},
        {"link-line", "set: line setting of the link module's port.", "LINE"},
        {"run-mode", "set: run mode 0 (dvr), 1 (led), 2 (mp3).", "MODE"},
        {"rep-line", "set: line setting of the repeater's port.", "LINE"},
        {"tx-on", "set: transmit-on delay, 0..255.", "N"},
        {"tx-off", "set: transmit-off delay, 0..255.", "N"},
        {"outputs", "dido-test: the 16 outputs, channel 1 first.", "BITS16"},
        {"cycles", "dido-test: stop after N cycles.", "N"},
        {"changes", "dido-test: print only changed inputs."},
        {"count", "card-read: stop after N cards or keys.", "N"},
        {"seconds", "dido-test, card-read: stop after S seconds.", "S"},
        {"ids", "survey: the IDs to ask, N or A-B (default 1-99).", "RANGE"},
        {"read", "survey: read each module's settings back."},
        {"dry-run", "apply: print the commands each row would send; send only the survey."},
        {"report", "apply: write a report row per module to this CSV file.", "FILE"},
    });
}

}  // namespace

int main(int argc, char** argv) {
    struct sigaction sa = {};
    sa.sa_handler = OnInterrupt;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    // The options are read before the application object exists, so that --help, --version
    // and bad usage cost no more than starting the program.
    QCoreApplication::setApplicationName(QStringLiteral("quillon-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser p;
    AddOptions(p);
    if (!p.parse(arguments)) {
        std::fprintf(stderr, "quillon-cli: %s\nTry 'quillon-cli --help'.\n",
                     p.errorText().toUtf8().constData());
        return kUsage;
    }
    if (p.isSet("help")) {
        QCoreApplication app(argc, argv);  // the program's name for the usage line
        std::fputs(p.helpText().toUtf8().constData(), stdout);
        return kOk;
    }
    if (p.isSet("version")) {
        std::printf("quillon-cli %s\n", QUILLON_VERSION);
        return kOk;
    }
    QCoreApplication app(argc, argv);
    try {
        Cli cli(p);
        return cli.run();
    } catch (const UsageError& e) {
        std::fprintf(stderr, "quillon-cli: %s\nTry 'quillon-cli --help'.\n",
                     e.text.toUtf8().constData());
        return kUsage;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quillon-cli: %s\n", e.what());
        return kFailed;
    }
}
