// What the commissioning report costs: `quillon-cli report` of one site's 500 modules from a
// register of 1,000 modules and 1,000,000 events (reads, operations, plan rows and live tests),
// as PDF and as CSV, wall time from start to exit.
//   bench_report [DIR] [QUILLON_CLI]
// DIR keeps the register (register-report.sqlite) between runs (default: a temporary folder);
// QUILLON_CLI defaults to the build tree's.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <cstdio>
#include <tuple>
#include <vector>

#include "link/linesettings.h"
#include "register/registerfile.h"
#include "register/registerstore.h"
#include "support/spawn.h"

namespace {

constexpr int kModules = 1000;
constexpr int kEventsPerModule = 1000;

// One event of a module's year: mostly reads and operations, a plan row now and then, a live
// test every hundred events.
RegisterEntry Event(int module, int event, const QDateTime& start) {
    RegisterEntry e;
    e.uuid = QUuid::createUuid();
    e.time = start.addSecs(static_cast<qint64>(event) * 3600 + module);
    e.source = QStringLiteral("window");
    e.site = module % 2 == 0 ? QStringLiteral("Plant \"4\", 北") : QStringLiteral("Depot");
    e.module.type = QStringLiteral("RQ-3016");
    e.module.serial = QStringLiteral("%1").arg(16000000 + module);
    e.module.port = QStringLiteral("COM1");
    e.module.id = 1 + module % 99;
    e.module.line = LineSettings::text(LineSettings::kDefaultIndex);
    e.module.version = QStringLiteral("01.20-36");
    e.module.settings = {{QStringLiteral("di-mode"), QStringLiteral("hold")},
                         {QStringLiteral("di-nonc"), QStringLiteral("0000000000000011")}};
    e.ok = true;
    if (event % 100 == 50) {
        e.kind = QStringLiteral("test");
        e.operation = QStringLiteral("DI/DO test");
        e.test = RegisterTestRun{QStringLiteral("dido-test"),
                                 QStringLiteral("stopped"),
                                 e.time.addSecs(-60),
                                 e.time,
                                 120,
                                 0,
                                 QStringLiteral("passed"),
                                 std::array<int, 16>{},
                                 {},
                                 {},
                                 {}};
        e.outcome = QStringLiteral("passed");
    } else if (event % 100 == 10) {
        e.kind = QStringLiteral("apply");
        e.operation = QStringLiteral("apply row 1");
        e.outcome = QStringLiteral("done");
        e.verified = true;
        e.planName = QStringLiteral("site.csv");
        e.planHash = QStringLiteral("00");
    } else {
        e.kind = event % 2 ? QStringLiteral("read") : QStringLiteral("operation");
        e.operation = QStringLiteral("Get setting data");
        e.outcome = QStringLiteral("Module find ok.");
    }
    return e;
}

bool Make(const QString& path) {
    RegisterDb db;
    RegisterProblem problem;
    if (!db.open(path, RegisterDb::Mode::Write, &problem)) {
        std::fprintf(stderr, "bench_report: %s\n", qPrintable(problem.describe()));
        return false;
    }
    RegisterStore store(db.db());
    QSqlQuery q(db.db());
    const QDateTime start = QDateTime::currentDateTimeUtc().addDays(-60);
    QSqlError error;
    for (int e = 0; e < kEventsPerModule; ++e) {
        if (e % 10 == 0) q.exec(QStringLiteral("BEGIN"));
        for (int m = 0; m < kModules; ++m) {
            if (!store.write(Event(m, e, start), &error)) {
                std::fprintf(stderr, "bench_report: %s\n", qPrintable(error.text()));
                return false;
            }
        }
        if (e % 10 == 9) q.exec(QStringLiteral("COMMIT"));
    }
    return true;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir temp;
    const QString dir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temp.path();
    const QByteArray cli = argc > 2 ? QByteArray(argv[2])
                                    : QDir(QCoreApplication::applicationDirPath())
                                          .filePath(QStringLiteral("../quillon-cli"))
                                          .toLocal8Bit();
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(QStringLiteral("register-report.sqlite"));
    if (!QFileInfo::exists(path)) {
        QElapsedTimer t;
        t.start();
        if (!Make(path)) return 1;
        std::printf("made %d modules and %d events in %.1f s\n", kModules,
                    kModules * kEventsPerModule, t.elapsed() / 1000.0);
    }
    const QByteArray reg = path.toLocal8Bit();
    const QByteArray pdf = QDir(dir).filePath(QStringLiteral("bench.pdf")).toLocal8Bit();
    const QByteArray csv = QDir(dir).filePath(QStringLiteral("bench.csv")).toLocal8Bit();
    const char* site = "Plant \"4\", 北";
    for (const auto& [name, option, file] : {std::tuple{"PDF", "--pdf", pdf.constData()},
                                             std::tuple{"CSV", "--csv", csv.constData()}}) {
        std::vector<double> ms;
        for (int i = 0; i < 5; ++i)
            ms.push_back(Spawn({cli.constData(), "report", "--register", reg.constData(), "--site",
                                site, option, file}));
        std::printf("report of %d modules from %d events, %s: %.0f ms (median of %zu)\n",
                    kModules / 2, kModules * kEventsPerModule, name, Median(ms), ms.size());
    }
    return 0;
}
