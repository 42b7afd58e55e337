// What the site register costs: a post on the caller's thread and the write of one event on the
// writer's; an operation with the register on against off; and a register of 10,000 modules and
// 1,000,000 events: its size, `quillon-cli register list`, a module's history, and the Register
// window's start and filter.
//   bench_register [DIR] [QUILLON_CLI]
// DIR keeps the large register (register-1m.sqlite) between runs (default: a temporary folder);
// QUILLON_CLI defaults to the build tree's.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

#include "app/frmmodule.h"
#include "app/registermodel.h"
#include "app/registerwindow.h"
#include "engine/dido.h"
#include "engine/findmodule.h"
#include "link/linesettings.h"
#include "register/registerreader.h"
#include "register/registerrecorder.h"
#include "register/registerstore.h"
#include "register/registerwriter.h"
#include "support/simplatform.h"
#include "support/spawn.h"

namespace {

constexpr int kModules = 10000;
constexpr int kEventsPerModule = 100;

class NoPortsOpener : public PortOpener {
  public:
    std::unique_ptr<SerialPort> open(int, const QString&) override { return nullptr; }
};

struct Stats {
    double median = 0, p99 = 0;
};

Stats Of(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return {v[v.size() / 2], v[std::min(v.size() - 1, v.size() * 99 / 100)]};
}

double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

OperationRecord SampleOperation() {
    OperationRecord r;
    r.place = {ModuleType::RQ3050K, QStringLiteral("51000009"), 7, 5, QStringLiteral("COM3")};
    r.nameRow = 95;
    r.before = {{QStringLiteral("key-number"), QStringLiteral("2")}};
    r.wanted = {{QStringLiteral("key-number"), QStringLiteral("4")}};
    r.after = r.wanted;
    r.outcome = {Outcome::Status::Success, 96};
    return r;
}

const char* const kSites[] = {"Plant 4", "Depot \"North\"", "北京 工地", "Harbour, gate 2"};

// A day's events of one module, as the window and the command line leave them.
RegisterEntry LargeEntry(int module, int event, const QDateTime& start) {
    static const char* const kTypes[] = {"RQ-3016", "RQ-3020",  "RQ-3030",
                                         "RQ-3040", "RQ-3050S", "RQ-3050K"};
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = start.addSecs(static_cast<qint64>(module) * 600 + event * 5);
    e.source = event % 3 == 0 ? QStringLiteral("cli") : QStringLiteral("window");
    e.site = QString::fromUtf8(kSites[module % 4]);
    e.module.type = QLatin1String(kTypes[module % 6]);
    e.module.serial = QStringLiteral("%1").arg(10000000 + module);
    e.module.port = QStringLiteral("COM%1").arg(1 + module % 8);
    e.module.id = 1 + module % 99;
    e.module.line = LineSettings::text(LineSettings::kDefaultIndex);
    if (event % 4 == 0) {
        e.kind = QStringLiteral("read");
        e.operation = QStringLiteral("Get setting data");
        e.module.version = QStringLiteral("01.20-36");
        e.after = SettingValues{{QStringLiteral("id"), QStringLiteral("07")},
                                {QStringLiteral("line"), QStringLiteral("19200,e,8,1")},
                                {QStringLiteral("interface"), QStringLiteral("RS485 32")}};
        e.module.settings = {{QStringLiteral("interface"), QStringLiteral("RS485 32")}};
        e.outcome = QStringLiteral("Module find ok.");
    } else {
        e.kind = QStringLiteral("operation");
        e.operation = QStringLiteral("Set interface");
        e.before = SettingValues{{QStringLiteral("interface"), QStringLiteral("RS485 24")}};
        e.wanted = SettingValues{{QStringLiteral("interface"), QStringLiteral("RS485 32")}};
        e.after = e.wanted;
        e.verified = false;
        e.outcomeRow = 91;
        e.outcome = QStringLiteral("Set interface ok.");
    }
    e.ok = true;
    return e;
}

bool MakeLarge(const QString& path) {
    RegisterDb db;
    RegisterProblem problem;
    if (!db.open(path, RegisterDb::Mode::Write, &problem)) {
        std::fprintf(stderr, "bench_register: %s\n", qPrintable(problem.describe()));
        return false;
    }
    RegisterStore store(db.db());
    QSqlQuery q(db.db());
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-90);
    QSqlError error;
    for (int m = 0; m < kModules; ++m) {
        if (m % 100 == 0) q.exec(QStringLiteral("BEGIN"));
        for (int e = 0; e < kEventsPerModule; ++e) {
            if (!store.write(LargeEntry(m, e, start), &error)) {
                std::fprintf(stderr, "bench_register: %s\n", qPrintable(error.text()));
                return false;
            }
        }
        if (m % 100 == 99) q.exec(QStringLiteral("COMMIT"));
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir scratch;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : scratch.path();
    const QString here = QFileInfo(QString::fromLocal8Bit(argv[0])).absolutePath();
    const QByteArray cli =
        (argc > 2 ? QString::fromLocal8Bit(argv[2]) : here + QStringLiteral("/../quillon-cli"))
            .toLocal8Bit();
    QDir().mkpath(dir);

    // One event: the post on the caller's thread, and the write on the writer's.
    {
        RegisterWriter writer(scratch.filePath(QStringLiteral("events.sqlite")));
        NoPortsOpener none;
        ModuleContext m(none);
        RegisterRecorder recorder(writer, RecordSource::Window, &m);
        const OperationRecord op = SampleOperation();
        for (int i = 0; i < 200; ++i) recorder.operationDone(op);
        writer.flush();
        constexpr int kPosts = 10000;
        std::vector<double> post;
        QElapsedTimer t;
        for (int i = 0; i < kPosts; ++i) {
            t.start();
            recorder.operationDone(op);
            post.push_back(Ms(t) * 1000.0);
        }
        t.start();
        writer.flush();
        const double drained = Ms(t);
        const Stats p = Of(post);
        std::printf(
            "post of one event on the caller's thread: median %.1f us, p99 %.1f us (%d posts)\n",
            p.median, p.p99, kPosts);
        std::vector<double> one;
        for (int i = 0; i < 1000; ++i) {
            t.start();
            recorder.operationDone(op);
            writer.flush();
            one.push_back(Ms(t));
        }
        const Stats w = Of(one);
        std::printf(
            "recording one event, post to committed on the writer's thread: median %.3f ms, p99 "
            "%.3f ms; %d queued events written in %.0f ms (%.3f ms each)\n",
            w.median, w.p99, kPosts, drained, drained / kPosts);
    }

    // An operation with the register on and off, in turns.
    {
        SimPlatform sim;
        sim.ports.addModule(1, ModuleType::RQ3016);
        RegisterWriter writer(scratch.filePath(QStringLiteral("operations.sqlite")));
        ModuleContext m(sim.ports);
        m.selectType(ModuleType::RQ3016);
        ReadBack rb;
        if (!LinkAt(m, 1, LineSettings::kDefaultIndex, QStringLiteral("01")) ||
            !ReadModule(m, m.link.LastReply, rb).ok()) {
            std::fprintf(stderr, "bench_register: no simulated module\n");
            return 1;
        }
        RegisterRecorder recorder(writer, RecordSource::Window, &m);
        std::vector<double> on, off;
        QElapsedTimer t;
        for (int i = 0; i < 40; ++i) {
            const bool recording = i % 2 == 0;
            if (recording) m.addRecorder(&recorder);
            t.start();
            SetDiMode(m, i % 4 < 2 ? DiMode::Normal : DiMode::Hold);
            (recording ? on : off).push_back(Ms(t));
            m.removeRecorder(&recorder);
        }
        writer.flush();
        const double a = Of(on).median, b = Of(off).median;
        std::printf(
            "Set DI mode on the in-process port: register on %.2f ms, off %.2f ms, %+.2f%% "
            "(median of %zu each)\n",
            a, b, 100.0 * (a - b) / b, on.size());
    }

    // The large register.
    const QString large = QDir(dir).filePath(QStringLiteral("register-1m.sqlite"));
    if (!QFileInfo::exists(large)) {
        QElapsedTimer t;
        t.start();
        if (!MakeLarge(large)) return 1;
        std::printf("made %d modules and %d events in %.1f s\n", kModules,
                    kModules * kEventsPerModule, t.elapsed() / 1000.0);
    }
    const qint64 bytes = QFileInfo(large).size();
    std::printf(
        "register of %d modules and %d events: %.1f MiB, %.0f bytes per event, %.0f MiB "
        "per million events (%s)\n",
        kModules, kModules * kEventsPerModule, bytes / 1048576.0,
        double(bytes) / (kModules * kEventsPerModule),
        bytes / 1048576.0 * 1e6 / (kModules * kEventsPerModule), qPrintable(large));

    {
        RegisterReader reader;
        if (!reader.open(large)) return 1;
        std::vector<double> list, history;
        QElapsedTimer t;
        QList<RegisterModule> modules;
        for (int i = 0; i < 5; ++i) {
            t.start();
            modules = reader.modules();
            list.push_back(Ms(t));
        }
        std::mt19937 random(7);
        for (int i = 0; i < 200; ++i) {
            const qint64 key = modules.at(static_cast<int>(random() % modules.size())).key;
            t.start();
            const QList<RegisterEntry> h = reader.history(key);
            history.push_back(Ms(t));
            if (h.size() != kEventsPerModule)
                std::fprintf(stderr, "bench_register: short history\n");
        }
        const Stats h = Of(history);
        std::printf(
            "in process: all %lld modules %.1f ms; a module's history of %d events: median "
            "%.2f ms, p99 %.2f ms\n",
            static_cast<long long>(modules.size()), Of(list).median, kEventsPerModule, h.median,
            h.p99);
    }

    if (QFileInfo(QString::fromLocal8Bit(cli)).isExecutable()) {
        const QByteArray file = large.toLocal8Bit();
        for (const char* format : {"", "--json"}) {
            std::vector<double> runs;
            for (int i = 0; i < 7; ++i) {
                std::vector<const char*> args{cli.constData(), "register", "list", "--register",
                                              file.constData()};
                if (*format) args.push_back(format);
                runs.push_back(Spawn(args));
            }
            std::printf("quillon-cli register list %s(%d modules): median %.1f ms of 7\n", format,
                        kModules, Of(runs).median);
        }
        std::vector<double> runs;
        for (int i = 0; i < 7; ++i)
            runs.push_back(Spawn({cli.constData(), "register", "history", "10004242", "--register",
                                  file.constData()}));
        std::printf("quillon-cli register history SERIAL: median %.1f ms of 7\n", Of(runs).median);
    }

    {
        SimPlatform sim;
        RegisterWriter writer(large);
        sim.platform.siteRegister = &writer;
        TfrmModule w(sim.platform);
        w.show();
        QElapsedTimer t;
        t.start();
        w.mnuRegisterClick();
        TfrmRegister* r = w.frmRegister;
        QCoreApplication::processEvents();
        std::printf("Register window opened with %d modules in %.1f ms\n", r->model()->total(),
                    Ms(t));
        std::vector<double> filter;
        for (int round = 0; round < 5; ++round) {
            for (const char* text :
                 {"RQ-3016", "site:\"Plant 4\"", "10004242", "com3 passed", ""}) {
                t.start();
                r->edRegisterFilter->setText(QString::fromUtf8(text));
                r->tblRegister->viewport()->repaint();
                QCoreApplication::processEvents();
                filter.push_back(Ms(t));
            }
        }
        const Stats f = Of(filter);
        std::printf(
            "a filter in the Register window over %d modules: median %.1f ms, p99 %.1f ms "
            "(%zu filters)\n",
            r->model()->total(), f.median, f.p99, filter.size());
    }
    return 0;
}
