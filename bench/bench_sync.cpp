// What sync with the team's server costs, against a PostgreSQL of its own on a Unix socket:
// pushing 100,000 events and fetching them into another laptop, a sync with nothing new, and
// ten laptops of 10,000 events syncing at once; each beside its baseline of the same run (the
// server writing or reading the same rows by itself, a bare connection, one laptop alone).
//   bench_sync [EVENTS [LAPTOPS]]   (default 100000 and 10: the figures the tool is held to)
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

#include "register/registerfile.h"
#include "register/registerstore.h"
#include "register/registersync.h"
#include "register/serverdb.h"
#include "register/serverschema.h"
#include "support/pgserver.h"

namespace {

double Ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// A laptop's register of `count` events of `site`, written in one transaction.
bool MakeLaptop(const QString& path, int count, const QString& site, const QString& prefix) {
    RegisterDb db;
    if (!db.open(path, RegisterDb::Mode::Write, nullptr)) return false;
    QSqlQuery(db.db()).exec(QStringLiteral("BEGIN"));
    RegisterStore store(db.db());
    const QDateTime t0 = QDateTime::currentDateTimeUtc().addDays(-1);
    for (int i = 0; i < count; ++i) {
        RegisterEntry e;
        e.uuid = QUuid::createUuid();
        e.time = t0.addMSecs(i * 10);
        e.source = QStringLiteral("cli");
        e.kind = QStringLiteral("operation");
        e.operation = QStringLiteral("Set DI mode");
        e.site = site;
        e.module.type = QStringLiteral("RQ-3016");
        e.module.serial = prefix + QString::number(i % 1000).rightJustified(5, QLatin1Char('0'));
        e.module.port = QStringLiteral("COM3");
        e.module.id = 1 + i % 99;
        e.module.line = QStringLiteral("19200,e,8,1");
        e.before = SettingValues{{QStringLiteral("di-mode"), QStringLiteral("normal")}};
        e.wanted = SettingValues{{QStringLiteral("di-mode"), QStringLiteral("hold")}};
        e.outcome = QStringLiteral("Set DI mode ok.");
        e.ok = true;
        e.verified = true;
        QSqlError error;
        if (!store.write(e, &error)) return false;
    }
    return QSqlQuery(db.db()).exec(QStringLiteral("COMMIT"));
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    pgtest::PgServer pg;
    if (!pg.why().isEmpty()) {
        std::fprintf(stderr, "bench_sync: no server: %s\n", qPrintable(pg.why()));
        return 1;
    }
    const QString admin = pg.uri(QStringLiteral("postgres"));
    ServerProblem p;
    if (!InitServer(admin, nullptr, &p)) {
        std::fprintf(stderr, "bench_sync: %s\n", qPrintable(p.describe()));
        return 1;
    }
    for (int i = 0; i < 22; ++i) {
        const QString role = QStringLiteral("tech%1").arg(i);
        pg.addRole(role, QStringLiteral("pw"));
        GrantSite(admin, role,
                  i < 2    ? QStringLiteral("Big")
                  : i < 12 ? QStringLiteral("Crowd")
                           : QStringLiteral("Serial"),
                  false, &p);
    }
    QTemporaryDir dir;
    auto laptop = [&](const QString& name) {
        return dir.filePath(name + QStringLiteral(".sqlite"));
    };
    const int kBig = argc > 1 ? std::max(1, atoi(argv[1])) : 100000;
    QElapsedTimer t;
    t.start();
    MakeLaptop(laptop(QStringLiteral("big")), kBig, QStringLiteral("Big"), QStringLiteral("B"));
    std::printf("made a laptop register of %d events in %.0f ms\n", kBig, Ms(t));

    // Push: the laptop's first sync (its own events need not come back).
    t.start();
    const SyncResult pushed =
        SyncRegister(laptop(QStringLiteral("big")), pg.uri(QStringLiteral("tech0")));
    const double pushMs = Ms(t);
    // Baseline: the server writing the same rows from a table of its own.
    t.start();
    pg.sql({QStringLiteral("CREATE TABLE copy_of AS SELECT * FROM quillon.event")});
    const double serverWriteMs = Ms(t);
    std::printf(
        "push %lld events (the laptop's first sync: %s): %.0f ms; baseline, the server copying "
        "the same rows into a table itself: %.0f ms\n",
        static_cast<long long>(pushed.sent), qPrintable(pushed.describe()), pushMs, serverWriteMs);

    // Fetch into a laptop that has none of them.
    t.start();
    const SyncResult fetched =
        SyncRegister(laptop(QStringLiteral("fresh")), pg.uri(QStringLiteral("tech1")));
    const double fetchMs = Ms(t);
    t.start();
    qint64 rows = 0;
    {
        ServerDb server;
        server.open(pg.uri(QStringLiteral("tech1")), &p);
        QSqlQuery q(server.db());
        q.setForwardOnly(true);
        q.exec(QStringLiteral("SELECT * FROM quillon.event"));
        while (q.next()) ++rows;
    }
    const double readMs = Ms(t);
    std::printf(
        "fetch %lld events into a new laptop: %.0f ms; baseline, reading the same %lld rows "
        "through Qt's driver alone: %.0f ms\n",
        static_cast<long long>(fetched.fetched), fetchMs, static_cast<long long>(rows), readMs);

    // Nothing new.
    std::vector<double> idle, bare;
    for (int i = 0; i < 20; ++i) {
        t.start();
        SyncRegister(laptop(QStringLiteral("fresh")), pg.uri(QStringLiteral("tech1")));
        idle.push_back(Ms(t));
        t.start();
        {
            ServerDb server;
            server.open(pg.uri(QStringLiteral("tech1")), &p);
            QSqlQuery(server.db()).exec(QStringLiteral("SELECT 1"));
        }
        bare.push_back(Ms(t));
    }
    std::printf(
        "sync with nothing new (%lld events held): median %.1f ms of 20; baseline, a bare "
        "connection and one query: %.1f ms\n",
        static_cast<long long>(kBig), Median(idle), Median(bare));

    // Ten laptops of 10,000 events each until every one holds all of them: at once, and as the
    // baseline one after the other. Each syncs twice (the second round brings what the others
    // sent after its first), then once more, as the next minute would.
    const int kLaptops = argc > 2 ? std::max(0, atoi(argv[2])) : 10;
    const int kEach = 10000;
    if (kLaptops == 0) return 0;
    auto crowd = [&](const QString& site, int firstRole, bool atOnce, int* failed) {
        for (int i = 0; i < kLaptops; ++i)
            MakeLaptop(laptop(site + QString::number(i)), kEach, site,
                       site + QString::number(i) + QLatin1Char('-'));
        QElapsedTimer clock;
        clock.start();
        std::atomic<int> bad{0};
        auto one = [&](int i) {
            for (int round = 0; round < 2; ++round)
                if (!SyncRegister(laptop(site + QString::number(i)),
                                  pg.uri(QStringLiteral("tech%1").arg(firstRole + i)))
                         .ok())
                    ++bad;
        };
        if (atOnce) {
            std::vector<std::thread> threads;
            for (int i = 0; i < kLaptops; ++i) threads.emplace_back(one, i);
            for (std::thread& th : threads) th.join();
        } else {
            for (int i = 0; i < kLaptops; ++i) one(i);
        }
        for (int i = 0; i < kLaptops; ++i)
            SyncRegister(laptop(site + QString::number(i)),
                         pg.uri(QStringLiteral("tech%1").arg(firstRole + i)));
        *failed = bad;
        return Ms(clock);
    };
    int failedAtOnce = 0, failedSerial = 0;
    const double atOnceMs = crowd(QStringLiteral("Crowd"), 2, true, &failedAtOnce);
    const double serialMs = crowd(QStringLiteral("Serial"), 12, false, &failedSerial);
    qint64 held = 0;
    {
        RegisterDb check;
        check.open(laptop(QStringLiteral("Crowd0")), RegisterDb::Mode::Read, nullptr);
        QSqlQuery q(check.db());
        if (q.exec(QStringLiteral("SELECT count(*) FROM event")) && q.next())
            held = q.value(0).toLongLong();
    }
    std::printf(
        "%d laptops of %d events until each holds all (the first holds %lld): at once %.0f ms "
        "in all (%d syncs failed); baseline, the same one after the other: %.0f ms (%d "
        "failed)\n",
        kLaptops, kEach, static_cast<long long>(held), atOnceMs, failedAtOnce, serialMs,
        failedSerial);
    return 0;
}
