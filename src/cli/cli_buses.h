#pragma once
// What survey and apply share on several buses: the worst exit status, Ctrl-C handed to the
// workers, and the progress line.

#include <QTimer>
#include <atomic>

#include "cli/cli.h"
#include "engine/buses.h"

namespace cli {

// --ids: "N" or "A-B" within 1..99.
QList<int> ParseIds(const QString& text);
// --line, repeatable, for a survey: the line settings given, or all of them (empty).
QList<int> SurveyLineOption(const QCommandLineParser& p);

// How bad an exit status is, for the worst of several buses: an interruption, then a port that
// would not open, rows that failed, a bus where nothing answered.
inline int Severity(int code) {
    switch (code) {
        case kInterrupted:
            return 5;
        case kUsage:
            return 4;
        case kPortFailed:
            return 3;
        case kRowsFailed:
            return 2;
        case kFailed:
            return 1;
        default:
            return 0;
    }
}

inline int Worst(const QList<int>& codes) {
    int worst = kOk;
    for (int c : codes)
        if (Severity(c) > Severity(worst)) worst = c;
    return worst;
}

// Ctrl-C reaches the workers through this flag: a timer of the printing thread looks at the
// signal handler's mark while the buses run.
class InterruptWatch {
  public:
    InterruptWatch() {
        g_continuous = 1;
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            if (g_interrupted) stop.store(true);
        });
        timer_.start(20);
    }
    ~InterruptWatch() { g_continuous = 0; }
    std::atomic<bool> stop{false};

  private:
    QTimer timer_;
};

// The progress line on a terminal: one bus in detail, several as one figure.
class ProgressLine {
  public:
    explicit ProgressLine(const QList<CliBus>& buses)
        : buses_(buses), shown_(isatty(STDERR_FILENO)) {}
    void update(int bus, const SurveyProgress& p) {
        all_.update(bus, p);
        while (probing_.size() <= bus) probing_ << true;
        probing_[bus] = p.probing;
        if (!shown_) return;
        QString what;
        if (buses_.size() == 1) {
            what = QStringLiteral("%1 %2 %3 ID %4")
                       .arg(buses_.first().name, LineSettings::text(p.lineIndex),
                            QString::fromStdString(ModuleTypeName(p.type)), TwoDigitText(p.id));
        } else {
            what = QStringLiteral("%1 buses").arg(buses_.size());
        }
        // While a bus still asks ID 00 at every line setting and type, the time left is a bound.
        std::fprintf(stderr, "\r\033[Ksurvey %s  %d%%, %s %d s left", what.toUtf8().constData(),
                     all_.percent(), probing_.contains(true) ? "at most" : "about",
                     (all_.msLeft() + 999) / 1000);
        std::fflush(stderr);
        dirty_ = true;
    }
    void clear() {
        if (dirty_) std::fputs("\r\033[K", stderr);
        dirty_ = false;
    }

  private:
    const QList<CliBus>& buses_;
    BusesProgress all_;
    QList<bool> probing_;
    bool shown_;
    bool dirty_ = false;
};

}  // namespace cli
