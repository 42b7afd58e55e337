#pragma once
// quillon-cli's pieces: exit statuses, results and their printing, the values read from the
// command line, the observer of the engine and the program itself (its commands live in
// cli_module.cpp for one module, cli_live.cpp for the continuous tests, cli_check.cpp for the
// I/O check, cli_bus.cpp for the bus).

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

#include "engine/buses.h"
#include "engine/commission.h"
#include "engine/common.h"
#include "engine/continuous.h"
#include "engine/dido.h"
#include "engine/didocheck.h"
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
#include "register/registerrecorder.h"
#include "register/registerwriter.h"
#include "settings/settings.h"
#include "text/extratexts.h"
#include "text/messagetable.h"

namespace cli {

enum Exit {
    kOk = 0,
    kFailed = 1,
    kUsage = 2,
    kPortFailed = 3,
    kRowsFailed = 4,
    kInterrupted = 130
};

// Set by SIGINT, SIGTERM or SIGHUP. Outside a continuous test the program ends at once, once
// the site register has written what is queued (at most kRegisterGraceMs): the system closes
// the port and gives up its lock; a file being replaced (ExitHold) is finished first.
extern volatile sig_atomic_t g_interrupted;
extern volatile sig_atomic_t g_continuous;
constexpr int kRegisterGraceMs = 2000;
void OnInterrupt(int);
void InstallSignals();
// The writer that an ending by signal lets finish; null: none.
void WatchRegister(RegisterWriter* writer);
// Lets the writer write what is queued (bounded once interrupted), says how many events were
// not written, and ends it.
void FinishRegister(std::unique_ptr<RegisterWriter>& writer);
// While it lives, an ending by signal waits.
class ExitHold {
  public:
    ExitHold();
    ~ExitHold();
    ExitHold(const ExitHold&) = delete;
    ExitHold& operator=(const ExitHold&) = delete;
};

struct UsageError {
    QString text;
};

// Ends the command as bad usage (exit 2), before anything is sent.
[[noreturn]] void Usage(const QString& text);

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
        if (v.isArray()) return QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact);
        if (v.isObject()) return QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact);
        return v.toString().toUtf8();
    }

  private:
    QList<QPair<QString, QJsonValue>> fields_;
};

// --- values from the command line; each bad one is a usage error ---
int ParseInt(const QString& text, int lo, int hi, const QString& what);
int ParseLine(const QString& text, int count, const QString& what);
Channels ParseBits16(const QString& text, const QString& what);
int ParseInterface(const QString& text);
int ParseRunMode(const QString& text);
QJsonValue Opt(const std::optional<int>& v);
// An interface index by its name ("RS485 32"), or the bare number when it has none.
QJsonValue InterfaceValue(const std::optional<int>& index);
// A line-setting index by its text; null when there is none.
QJsonValue LineValue(const std::optional<int>& index);
// The type's own settings of a read-back, by the names `info` uses. `withExtras` adds whether
// a controller link has a port of its own and CH #2's serial number.
void AddTypeSettings(Result& r, ModuleType type, const ModuleSettings& s, bool withExtras);

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
    // One line on standard error of what a live test or the check came to.
    void testEnded(const TestSummary& summary) override;
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

// One bus of survey or apply: the port as given and the device it names.
struct CliBus {
    QString name;
    QString device;
};

// --- the program ---

// The application object: for `report --pdf` the report module's, on Qt Gui, when it loads
// (Cli::report says so when it did not); a QCoreApplication for everything else.
std::unique_ptr<QCoreApplication> MakeApplication(const QCommandLineParser& p, int& argc,
                                                  char** argv);

class Cli {
  public:
    explicit Cli(QCommandLineParser& p) : p_(p) {}
    ~Cli();
    Cli(const Cli&) = delete;
    Cli& operator=(const Cli&) = delete;
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
    int didoCheck();
    int survey();
    int apply();
    // Every point of the site ticked off as it is worked (cli_checkout.cpp).
    int checkout();

    // survey and apply on several buses: the buses of --port (the remembered port without
    // one), a runner that opens each on its own device, and why one did not open (the exit
    // status that goes with it).
    QList<CliBus> busOptions();
    // Each bus's context records into the site register under `source`, naming its port as
    // given (and apply's plan).
    std::unique_ptr<BusRunner> busRunner(const QList<CliBus>& buses, const std::atomic<bool>& stop,
                                         RecordSource source, const PlanSource& plan = {});
    int diagOpenFailure(const CliBus& bus, const OpenFailure& f) const;
    // Surveys every bus at once by `plan`, under the progress line, and returns what each
    // found; a bus whose port did not open says why and gets its exit status in `codes`.
    QList<SurveyResult> surveyBuses(BusRunner& runner, const QList<CliBus>& buses,
                                    const SurveyPlan& plan, const std::atomic<bool>& stop,
                                    QList<int>* codes = nullptr);
    // --port as a device path or a network name (`devicePath`), or COMn (`portNo`).
    void parsePort(const QString& port, QString& devicePath, int& portNo);
    // The site register: `register list|history|export|merge` (cli_register.cpp), and the
    // recorder that a module command's context gets (`--register`, `--no-register`, `--site`).
    int registerCommand();
    // The commissioning report and replacing a module (cli_report.cpp).
    int report();
    int replace();
    QString registerPath() const;
    // The team's server (cli_sync.cpp): `register server ...`, `register sync`, and the URI
    // of --server, QUILLON_SERVER or the RegisterServer setting.
    int serverCommand();
    int syncCommand();
    QString serverUri() const;
    // The register's writer, made on the first call; null with the register off.
    RegisterWriter* openRegister();
    void attachRegister(RecordSource source);

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
    // Declared after the context, so that the recorder leaves it first and the writer, which
    // writes what is queued as it goes, last.
    std::unique_ptr<RegisterWriter> register_;
    std::unique_ptr<RecorderAttachment> recorder_;
};

}  // namespace cli
