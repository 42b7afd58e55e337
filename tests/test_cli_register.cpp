// quillon-cli and the site register as a user meets them, against quillon-sim on a
// pseudo-terminal: what a command records, which register it records into, the register
// commands' output, a register that is off, and merging from the command line.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include "support/simprocess.h"

namespace {

struct Run {
    int code = -1;
    QByteArray out, err;
    QList<QJsonObject> lines() const {
        QList<QJsonObject> out_;
        for (const QByteArray& l : out.split('\n'))
            if (!l.trimmed().isEmpty()) out_ << QJsonDocument::fromJson(l).object();
        return out_;
    }
};

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestCliRegister : public QObject {
    Q_OBJECT

  private:
    QTemporaryDir home_;
    QString defaultRegister() const { return home_.filePath("data/VARNO/register.sqlite"); }

    Run run(const QStringList& args, const QString& registerEnv = QString()) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env.insert("XDG_DATA_HOME", home_.filePath("data"));
        env.remove("QUILLON_REGISTER");
        if (!registerEnv.isEmpty()) env.insert("QUILLON_REGISTER", registerEnv);
        p.setProcessEnvironment(env);
        p.start(qEnvironmentVariable("QUILLON_CLI"), args);
        Run r;
        if (p.waitForFinished(20000) && p.exitStatus() == QProcess::NormalExit)
            r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = p.readAllStandardError();
        return r;
    }
    QStringList info(const Sim& sim) const {
        return {"info", "--type", "RQ-3016", "--port", sim.pty, "--id", "3"};
    }

  private slots:
    void init() { QDir(home_.filePath("data")).removeRecursively(); }
    void recordsAndReadsBack();
    void whichRegister_data();
    void whichRegister();
    void registerOffCommandStillWorks();
    void mergeFromTheCommandLine();
};

void TestCliRegister::recordsAndReadsBack() {
    Sim sim({"--type", "RQ-3016", "--id", "3", "--serial", "16000003", "--quiet"});
    QVERIFY(!sim.pty.isEmpty());
    const QString site = QStringLiteral("Plant \"4\", 北\nhall B");
    QCOMPARE(run(info(sim) << "--site" << site).code, 0);

    const Run list = run({"register", "list", "--json"});
    QCOMPARE(list.code, 0);
    QCOMPARE(list.lines().size(), 1);
    const QJsonObject m = list.lines().first();
    QCOMPARE(m.value("type").toString(), QStringLiteral("RQ-3016"));
    QCOMPARE(m.value("serial").toString(), QStringLiteral("16000003"));
    QCOMPARE(m.value("site").toString(), site);
    QCOMPARE(m.value("port").toString(), sim.pty);
    QCOMPARE(m.value("id").toInt(), 3);
    QCOMPARE(m.value("line").toString(), QStringLiteral("19200,e,8,1"));
    QCOMPARE(m.value("settings").toObject().value("di-mode").toString(), QStringLiteral("hold"));
    // The site filter takes the text exactly as it was given.
    QCOMPARE(run({"register", "list", "--json", "--site", site}).lines().size(), 1);
    QCOMPARE(run({"register", "list", "--json", "--site", "Plant"}).lines().size(), 0);
    QCOMPARE(run({"register", "list", "--json", "--type", "RQ-3040"}).lines().size(), 0);
    // The table shows the site on one line.
    const Run table = run({"register", "list"});
    QVERIFY(table.out.contains("Plant \"4\", 北\\nhall B"));

    const Run history = run({"register", "history", "16000003", "--json"});
    QCOMPARE(history.code, 0);
    const QList<QJsonObject> events = history.lines();
    QCOMPARE(events.size(), 2);
    QCOMPARE(events.at(0).value("kind").toString(), QStringLiteral("read"));
    QCOMPARE(events.at(1).value("kind").toString(), QStringLiteral("link"));
    QCOMPARE(events.at(1).value("source").toString(), QStringLiteral("cli"));
    QCOMPARE(events.at(0).value("site").toString(), site);
    const Run unknown = run({"register", "history", "99999999"});
    QCOMPARE(unknown.code, 1);
    QVERIFY(unknown.err.contains("no module with serial number 99999999"));

    const QString csv = home_.filePath("modules.csv");
    QCOMPARE(run({"register", "export", csv}).code, 0);
    QVERIFY(Bytes(csv).contains("\"Plant \"\"4\"\", 北\nhall B\""));
    QCOMPARE(run({"register", "export", csv, "16000003"}).code, 0);
    QCOMPARE(Bytes(csv).count("\r\n"), 3);
}

void TestCliRegister::whichRegister_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("env");
    QTest::addColumn<QString>("file");  // the register made, under the home; empty: none
    QTest::newRow("default") << QStringList() << false << "data/VARNO/register.sqlite";
    QTest::newRow("--register") << QStringList{"--register", "@/mine.sqlite"} << true
                                << "mine.sqlite";
    QTest::newRow("QUILLON_REGISTER") << QStringList() << true << "env.sqlite";
    QTest::newRow("--no-register") << QStringList{"--no-register"} << true << "";
}

void TestCliRegister::whichRegister() {
    QFETCH(QStringList, options);
    QFETCH(bool, env);
    QFETCH(QString, file);
    Sim sim({"--type", "RQ-3016", "--id", "3", "--quiet"});
    QFile::remove(home_.filePath("mine.sqlite"));
    QFile::remove(home_.filePath("env.sqlite"));
    for (QString& o : options) o.replace("@", home_.path());
    const Run r = run(info(sim) + options, env ? home_.filePath("env.sqlite") : QString());
    QCOMPARE(r.code, 0);
    for (const char* f : {"data/VARNO/register.sqlite", "mine.sqlite", "env.sqlite"})
        QCOMPARE(QFile::exists(home_.filePath(f)), file == QLatin1String(f));
}

void TestCliRegister::registerOffCommandStillWorks() {
    Sim sim({"--type", "RQ-3016", "--id", "3", "--serial", "16000003", "--quiet"});
    const QString path = home_.filePath("notes.sqlite");
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("my notes, not a database\n");
    f.close();
    const Run r = run(info(sim) << "--register" << path);
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("serial: 16000003"));
    QCOMPARE(r.err.count("the site register is off"), 1);
    QVERIFY(r.err.contains("is not a register database; it is left as it is"));
    QCOMPARE(Bytes(path), QByteArray("my notes, not a database\n"));
}

void TestCliRegister::mergeFromTheCommandLine() {
    Sim sim({"--type", "RQ-3016", "--id", "3", "--quiet"});
    const QString a = home_.filePath("a.sqlite"), b = home_.filePath("b.sqlite");
    QFile::remove(a);
    QFile::remove(b);
    QCOMPARE(run(info(sim) << "--register" << a).code, 0);
    QCOMPARE(run(info(sim) << "--register" << b << "--site"
                           << "B")
                 .code,
             0);

    auto merge = [&](const QString& into, const QString& other) {
        return run({"register", "merge", other, "--register", into, "--json"});
    };
    Run r = merge(a, b);
    QCOMPARE(r.code, 0);
    QCOMPARE(r.lines().first().value("new_events").toInt(), 2);
    QCOMPARE(r.lines().first().value("new_modules").toInt(), 0);
    QCOMPARE(merge(a, b).lines().first().value("new_events").toInt(), 0);
    QCOMPARE(merge(b, a).lines().first().value("new_events").toInt(), 2);
    QCOMPARE(run({"register", "history", "16000001", "--json", "--register", a}).lines().size(), 4);

    const QByteArray before = Bytes(a);
    r = merge(a, a);
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("is this register itself"));
    QVERIFY(r.err.contains("nothing changed"));
    QFile text(home_.filePath("plan.csv"));
    QVERIFY(text.open(QIODevice::WriteOnly));
    text.write("type,serial,id,line\n");
    text.close();
    r = merge(a, text.fileName());
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.contains("is not a register database"));
    QCOMPARE(Bytes(a), before);
}

QTEST_GUILESS_MAIN(TestCliRegister)
#include "test_cli_register.moc"
