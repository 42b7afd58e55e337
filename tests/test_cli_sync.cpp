// quillon-cli and the team's server of the test's own, as an administrator and a technician
// meet them: server init and grant, a sync after a module command recorded into the local
// register, who recorded each event in `register list` and `register history`, and the
// refusals (no server, a role without a grant, a server that is not there).

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/pgserver.h"
#include "support/simprocess.h"

namespace {

struct Run {
    int code = -1;
    QByteArray out, err;
    QJsonObject json() const { return QJsonDocument::fromJson(out.split('\n').value(0)).object(); }
};

}  // namespace

class TestCliSync : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void adminAndTechnician();

  private:
    Run run(const QStringList& args, const QString& server = QString()) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env.insert("XDG_DATA_HOME", home_.filePath("data"));
        env.remove("QUILLON_REGISTER");
        env.remove("QUILLON_SERVER");
        if (!server.isEmpty()) env.insert("QUILLON_SERVER", server);
        env.insert("PGPASSFILE", pg_->passFile());
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QUILLON_CLI"), args);
        Run r;
        if (p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit)
            r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    QTemporaryDir home_;
    std::unique_ptr<pgtest::PgServer> pg_;
};

void TestCliSync::initTestCase() {
    pg_ = std::make_unique<pgtest::PgServer>();
    if (!pg_->why().isEmpty()) {
        if (qEnvironmentVariableIsSet("CI")) QFAIL(qPrintable(pg_->why()));
        QSKIP(qPrintable(pg_->why()));
    }
    QVERIFY(pg_->addRole(QStringLiteral("tech"), QStringLiteral("tech-pw")));
}

void TestCliSync::adminAndTechnician() {
    const QString admin = pg_->uri(QStringLiteral("postgres"));
    const QString tech = pg_->uri(QStringLiteral("tech"));
    Run init = run({"register", "server", "init", admin, "--json"});
    QCOMPARE(init.code, 0);
    QCOMPARE(init.json().value("schema").toInt(), 1);
    QCOMPARE(run({"register", "server", "grant", "nobody", "Plant 4"}, admin).code, 1);
    QCOMPARE(run({"register", "server", "grant", "tech", "Plant 4", "--server", admin}).code, 0);

    Sim sim({"--type", "RQ-3016", "--id", "3", "--serial", "16000003", "--quiet"});
    QVERIFY(!sim.pty.isEmpty());
    QCOMPARE(run({"info", "--type", "RQ-3016", "--port", sim.pty, "--id", "3", "--site", "Plant 4"})
                 .code,
             0);
    QCOMPARE(run({"register", "list", "--json"}).json().value("recorded_by").toString(),
             QStringLiteral("local"));
    QCOMPARE(run({"register", "sync"}).code, 2);  // no server anywhere
    QCOMPARE(
        run({"register", "sync", "--server", "postgresql:///postgres?host=/nonexistent&user=tech"})
            .code,
        1);

    const Run sync = run({"register", "sync", "--json"}, tech);
    QCOMPARE(sync.code, 0);
    QCOMPARE(sync.json().value("sent").toInt(), 2);  // the link and the read
    QCOMPARE(sync.json().value("to_send").toInt(), 0);
    QCOMPARE(sync.json().value("role").toString(), QStringLiteral("tech"));
    QCOMPARE(run({"register", "list", "--json"}).json().value("recorded_by").toString(),
             QStringLiteral("tech"));
    QVERIFY(run({"register", "history", "16000003"}).out.contains(" tech "));

    // Records of a site without a grant stay queued, and the sync says which site.
    QCOMPARE(run({"info", "--type", "RQ-3016", "--port", sim.pty, "--id", "3", "--site", "Plant 5"})
                 .code,
             0);
    const Run refused = run({"register", "sync", "--server", tech});
    QCOMPARE(refused.code, 1);
    QVERIFY(refused.err.contains("\"Plant 5\""));
    QVERIFY(refused.out.contains("to-send: 2"));
}

QTEST_GUILESS_MAIN(TestCliSync)
#include "test_cli_sync.moc"
