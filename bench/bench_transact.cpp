// Round trip of one Transact against a pty peer that answers at once: with no traffic log ever
// attached (the baseline), with the log closed after it was open, and with it recording; and the
// CPU time that waiting on a silent port costs.
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <ctime>
#include <iterator>
#include <random>
#include <thread>
#include <vector>

#include "link/frame.h"
#include "link/link.h"
#include "link/qtserialport.h"
#include "link/trafficlog.h"

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

    peer.silent = true;
    constexpr int kSilent = 10;
    const double cpu0 = CpuMs();
    const double thread0 = ThreadCpuMs();
    t.start();
    for (int i = 0; i < kSilent; ++i) link.Transact(QByteArray("B01B"));
    const double wall = static_cast<double>(t.elapsed());
    const double cpu = CpuMs() - cpu0;
    const double thread = ThreadCpuMs() - thread0;
    std::printf(
        "silent port: %d transactions, %.0f ms wall, %.1f ms CPU, %.1f%% of one core "
        "(%.1f ms CPU per 200 ms)\n",
        kSilent, wall, cpu, 100.0 * cpu / wall, cpu / wall * 200.0);
    std::printf("silent port, the waiting thread alone: %.1f ms CPU, %.2f%% of one core\n", thread,
                100.0 * thread / wall);
    link.ClosePort();
    return 0;
}
