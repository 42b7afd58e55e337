// Round trip of one Transact against a pty peer that answers at once: with no traffic log ever
// attached (the baseline), with the log closed after it was open, and with it recording; and the
// CPU time that waiting on a silent port costs: the link's wait in the event loop and, as the
// baseline, reads stepping 1 ms at a time as the link waited before.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "engine/common.h"
#include "engine/modulecontext.h"
#include "link/frame.h"
#include "link/link.h"
#include "link/qtserialport.h"
#include "link/trafficlog.h"
#include "register/registerrecorder.h"
#include "register/registerstore.h"
#include "register/registersync.h"
#include "register/registerwriter.h"
#include "register/serverschema.h"
#include "support/pgserver.h"

namespace {

// Answers every command frame at once with a 16-byte identification reply.
class EchoPeer {
  public:
    EchoPeer() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master_);
        unlockpt(master_);
        path_ = ptsname(master_);
        thread_ = std::thread([this] { run(); });
    }
    ~EchoPeer() {
        stop_ = true;
        thread_.join();
        close(master_);
    }
    QString path() const { return QString::fromStdString(path_); }
    std::atomic<bool> silent{false};

  private:
    void run() {
        const std::string reply = wire::BuildReplyFrame("B01B12345678");
        while (!stop_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) continue;  // the stop flag is seen within 50 ms
            if (!(p.revents & POLLIN)) {
                usleep(1000);
                continue;
            }
            char buf[64];
            const ssize_t n = read(master_, buf, sizeof buf);
            for (ssize_t i = 0; i < n; ++i) {
                if (buf[i] == 0x0D && !silent) {
                    if (write(master_, reply.data(), reply.size()) < 0) return;
                }
            }
        }
    }
    int master_ = -1;
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
};

// The port as the link waited on it before: every read waits at most 1 ms, whatever the link
// asks for, so a silent port wakes the link a thousand times a second.
class OneMsStepPort : public SerialPort {
  public:
    explicit OneMsStepPort(std::unique_ptr<SerialPort> inner) : inner_(std::move(inner)) {}
    int readByte() override { return inner_->readByte(); }
    int readByteWithin(int) override { return inner_->readByte(); }
    bool write(const uint8_t* bytes, int count) override { return inner_->write(bytes, count); }
    void purge() override { inner_->purge(); }
    void close() override { inner_->close(); }

  private:
    std::unique_ptr<SerialPort> inner_;
};

class OneMsStepOpener : public PortOpener {
  public:
    explicit OneMsStepOpener(PortOpener& inner) : inner_(inner) {}
    std::unique_ptr<SerialPort> open(int portNo, const QString& lineSetting) override {
        std::unique_ptr<SerialPort> p = inner_.open(portNo, lineSetting);
        if (!p) return nullptr;
        return std::make_unique<OneMsStepPort>(std::move(p));
    }

  private:
    PortOpener& inner_;
};

double CpuMs() {
    return 1000.0 * static_cast<double>(clock()) / CLOCKS_PER_SEC;
}

// CPU time of the calling thread alone: the link's wait, without the peer's thread.
double ThreadCpuMs() {
    rusage u{};
    getrusage(RUSAGE_THREAD, &u);
    const auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    EchoPeer peer;
    const QString path = peer.path();
    QtPortOpener opener([&](int) { return path; });
    Link link(opener);
    if (!link.OpenPort(1, QStringLiteral("115200,n,8,1"))) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return 1;
    }
    // The three cases take turns exchange by exchange, in a new random order each turn, so that
    // changes of the machine's load, and whatever one exchange leaves for the next, fall on all
    // of them alike.
    constexpr int kExchanges = 2000;
    enum Case { kBaseline, kClosed, kOpen, kCases };
    const char* names[kCases] = {"no log (baseline)", "log closed", "log open"};
    std::vector<double> us[kCases];
    int failures[kCases] = {};
    TrafficLog log;
    QElapsedTimer t;
    std::mt19937 random(1);
    int order[kCases] = {kBaseline, kClosed, kOpen};
    for (int i = 0; i < kExchanges * kCases; ++i) {
        if (i % kCases == 0) std::shuffle(std::begin(order), std::end(order), random);
        const int c = order[i % kCases];
        if (c == kOpen) link.setTrafficSink(&log);
        t.start();
        if (!link.Transact(QByteArray("B01B"))) ++failures[c];
        us[c].push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        // Closing the log window detaches the log: from then on the link runs as it did before
        // any log was opened.
        link.setTrafficSink(nullptr);
    }
    double median[kCases] = {};
    for (int c = 0; c < kCases; ++c) {
        std::vector<double>& v = us[c];
        std::sort(v.begin(), v.end());
        median[c] = v[v.size() / 2];
        std::printf(
            "transact round trip, %s, over %zu exchanges: median %.0f us, p99 %.0f us, max %.0f "
            "us, failures %d\n",
            names[c], v.size(), median[c], v[v.size() * 99 / 100], v.back(), failures[c]);
    }
    std::printf("log closed vs baseline: %+.1f%%; log open vs baseline: %+.1f%% (%d lines kept)\n",
                100.0 * (median[kClosed] - median[kBaseline]) / median[kBaseline],
                100.0 * (median[kOpen] - median[kBaseline]) / median[kBaseline], log.size());

    // Silent port: the quiet wait, then the 1 ms steps of before on the same port, and the round
    // trip of both against the instant peer.
    link.ClosePort();
    OneMsStepOpener stepOpener(opener);
    Link steppingLink(stepOpener);
    struct Way {
        const char* name;
        Link* link;
    } ways[] = {{"1 ms steps (baseline)", &steppingLink}, {"waiting in the event loop", &link}};
    for (const Way& w : ways) {
        if (!w.link->OpenPort(1, QStringLiteral("115200,n,8,1"))) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
            return 1;
        }
        peer.silent = false;
        std::vector<double> trip;
        for (int i = 0; i < kExchanges; ++i) {
            t.start();
            w.link->Transact(QByteArray("B01B"));
            trip.push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        }
        std::sort(trip.begin(), trip.end());
        peer.silent = true;
        constexpr int kSilent = 10;
        const double cpu0 = CpuMs();
        const double thread0 = ThreadCpuMs();
        t.start();
        for (int i = 0; i < kSilent; ++i) w.link->Transact(QByteArray("B01B"));
        const double wall = static_cast<double>(t.elapsed());
        const double cpu = CpuMs() - cpu0;
        const double thread = ThreadCpuMs() - thread0;
        std::printf(
            "%s: round trip median %.0f us, p99 %.0f us; silent port: %d transactions, %.0f ms "
            "wall, %.1f ms CPU in all, %.2f%% of one core; the waiting thread alone %.2f%%\n",
            w.name, trip[trip.size() / 2], trip[trip.size() * 99 / 100], kSilent, wall, cpu,
            100.0 * cpu / wall, 100.0 * thread / wall);
        w.link->ClosePort();
    }

    // One exchange through the operation frame (the command test, its 100 ms pause included)
    // with the site register recording it and without, in turns.
    peer.silent = false;
    QTemporaryDir registerDir;
    RegisterWriter writer(registerDir.filePath(QStringLiteral("register.sqlite")));
    ModuleContext m(opener);
    m.Linked = 1;
    m.selectType(ModuleType::RQ3016);  // its prefix is the echo peer's "B"
    m.BaudText = QStringLiteral("115200,n,8,1");
    m.ModuleId = QStringLiteral("01");
    m.known.serial = QStringLiteral("12345678");
    RegisterRecorder recorder(writer, RecordSource::Window, &m);
    std::vector<double> on, off;
    for (int i = 0; i < 100; ++i) {
        const bool recording = i % 2 == 0;
        if (recording) m.addRecorder(&recorder);
        QString shown;
        t.start();
        CommandTest(m, QStringLiteral("B"), shown);
        (recording ? on : off).push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        m.removeRecorder(&recorder);
    }
    writer.flush();
    std::sort(on.begin(), on.end());
    std::sort(off.begin(), off.end());
    const double a = on[on.size() / 2], b = off[off.size() / 2];
    std::printf(
        "command test through the operation frame, site register on %.0f us, off %.0f us, "
        "%+.2f%% (median of %zu each, %d events written)\n",
        a, b, 100.0 * (a - b) / b, on.size(), writer.written());

    // The round trip while a sync with the team's server runs in the background (a laptop that
    // keeps recording and syncing), against the baseline with it paused, in blocks that take
    // turns.
    pgtest::PgServer pg;
    if (!pg.why().isEmpty()) {
        std::printf("with a sync in the background: not measured (%s)\n", qPrintable(pg.why()));
        return 0;
    }
    ServerProblem problem;
    InitServer(pg.uri(QStringLiteral("postgres")), nullptr, &problem);
    pg.addRole(QStringLiteral("bench"), QStringLiteral("pw"));
    GrantSite(pg.uri(QStringLiteral("postgres")), QStringLiteral("bench"), QStringLiteral("Site"),
              false, &problem);
    const QString laptop = registerDir.filePath(QStringLiteral("laptop.sqlite"));
    std::atomic<bool> syncing{false}, done{false};
    std::atomic<int> syncs{0};
    BackgroundSync sync(laptop);
    std::thread background([&] {
        // The laptop's recording goes on at the sync's priority too.
        LowerThisThreadsPriority();
        RegisterDb db;
        db.open(laptop, RegisterDb::Mode::Write, nullptr);
        RegisterStore store(db.db());
        int n = 0;
        while (!done) {
            if (!syncing) {
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
                continue;
            }
            QSqlQuery(db.db()).exec(QStringLiteral("BEGIN"));
            for (int i = 0; i < 500; ++i) {
                RegisterEntry e;
                e.uuid = QUuid::createUuid();
                e.time = QDateTime::currentDateTimeUtc();
                e.source = QStringLiteral("cli");
                e.kind = QStringLiteral("read");
                e.site = QStringLiteral("Site");
                e.module.type = QStringLiteral("RQ-3016");
                e.module.serial = QString::number(n++ % 5000);
                store.write(e, nullptr);
            }
            QSqlQuery(db.db()).exec(QStringLiteral("COMMIT"));
            sync.request(pg.uri(QStringLiteral("bench")));
            while (sync.busy()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            ++syncs;
        }
    });
    if (!link.OpenPort(1, QStringLiteral("115200,n,8,1"))) return 1;
    std::vector<double> quiet, busy;
    for (int block = 0; block < 20; ++block) {
        const bool withSync = block % 2 == 1;
        syncing = withSync;
        // The sync gets going (or winds down) before the block is measured.
        std::this_thread::sleep_for(std::chrono::milliseconds(withSync ? 300 : 100));
        for (int i = 0; i < 200; ++i) {
            t.start();
            link.Transact(QByteArray("B01B"));
            (withSync ? busy : quiet).push_back(static_cast<double>(t.nsecsElapsed()) / 1000.0);
        }
    }
    syncing = false;
    done = true;
    background.join();
    link.ClosePort();
    std::sort(quiet.begin(), quiet.end());
    std::sort(busy.begin(), busy.end());
    const double q = quiet[quiet.size() / 2], w = busy[busy.size() / 2];
    std::printf(
        "transact round trip with a sync running in the background %.0f us (p99 %.0f us), "
        "baseline without %.0f us (p99 %.0f us): %+.1f%% (median of %zu each, %d syncs ran)\n",
        w, busy[busy.size() * 99 / 100], q, quiet[quiet.size() * 99 / 100], 100.0 * (w - q) / q,
        busy.size(), syncs.load());
    return 0;
}
