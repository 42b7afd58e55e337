// quillon-cli and the site register as a user meets them, against quillon-sim on a
// pseudo-terminal: what a command records, which register it records into, the register
// commands' output, a register that is off, and merging from the command line.

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "support/parsecsv.h"
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
    void reportOfASite();
    void reportRefuses_data();
    void reportRefuses();
    void replaceOnTheBus();
};

namespace {

// Runs a poppler tool on a PDF and returns its output.
QByteArray Poppler(const QString& tool, const QStringList& args) {
    QProcess p;
    p.start(tool, args);
    p.waitForFinished(20000);
    return p.readAllStandardOutput();
}

// Every font of the PDF is embedded (pdffonts: the "emb" column), and there is one at least.
bool FontsEmbedded(const QString& pdf) {
    const QList<QByteArray> lines = Poppler("pdffonts", {pdf}).split('\n');
    int fonts = 0;
    static const QRegularExpression row(
        QStringLiteral("\\s(yes|no)\\s+(yes|no)\\s+(yes|no)\\s+\\d+\\s+\\d+\\s*$"));
    for (const QByteArray& l : lines.mid(2)) {
        const QRegularExpressionMatch m = row.match(QString::fromUtf8(l));
        if (!m.hasMatch()) continue;
        if (m.captured(1) != QLatin1String("yes")) return false;
        ++fonts;
    }
    return fonts > 0;
}

}  // namespace

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

void TestCliRegister::reportOfASite() {
    const QString site = QStringLiteral("Plant \"4\", 北\nhall B");
    const QStringList serials{"16000003", "16000005"};
    for (const QString& serial : serials) {
        Sim sim({"--type", "RQ-3016", "--id", serial.right(1), "--serial", serial, "--quiet"});
        QCOMPARE(run({"info", "--type", "RQ-3016", "--port", sim.pty, "--id", serial.right(1),
                      "--site", site})
                     .code,
                 0);
    }
    const QString pdf = home_.filePath("report.pdf"), csv = home_.filePath("report.csv");
    // Without a display (the test's environment has none under CI): drawn offscreen.
    const Run r = run({"report", "--site", site, "--pdf", pdf, "--csv", csv, "--json"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.lines().first().value("modules").toInt(), 2);

    const QString text = QString::fromUtf8(Poppler("pdftotext", {pdf, "-"}));
    for (const QString& serial : serials) QVERIFY2(text.contains(serial), qPrintable(text));
    QVERIFY(text.contains(QStringLiteral("Plant \"4\", 北")));
    QVERIFY(text.contains(QStringLiteral("hall B")));
    QVERIFY(text.contains(QStringLiteral("Commissioning report")));
    // Modules only read still date the report: when they were seen, first to last.
    QVERIFY2(text.contains(QStringLiteral(" – ")), qPrintable(text));
    QVERIFY(FontsEmbedded(pdf));

    // The CSV holds what the register holds, cell for cell.
    const QList<QStringList> rows = ParseCsv(Bytes(csv));
    QCOMPARE(rows.size(), 3);
    QCOMPARE(rows.at(0).mid(0, 3), (QStringList{"type", "serial", "version"}));
    const QList<QJsonObject> listed = run({"register", "list", "--json"}).lines();
    QCOMPARE(listed.size(), 2);
    for (int i = 0; i < 2; ++i) {
        const QStringList& row = rows.at(i + 1);
        QCOMPARE(row.size(), rows.at(0).size());
        QCOMPARE(row.at(1), listed.at(i).value("serial").toString());
        QCOMPARE(row.at(3), QStringLiteral("0") + serials.at(i).right(1));
        QCOMPARE(row.at(4), QStringLiteral("19200,e,8,1"));
        QCOMPARE(row.at(5), site);
    }

    // In Chinese, with the Chinese faces embedded; the old file is replaced whole.
    QCOMPARE(run({"report", "--site", site, "--pdf", pdf, "--language", "zh-CN"}).code, 0);
    QVERIFY(
        QString::fromUtf8(Poppler("pdftotext", {pdf, "-"})).contains(QStringLiteral("调试报告")));
    QVERIFY(FontsEmbedded(pdf));
}

void TestCliRegister::reportRefuses_data() {
    QTest::addColumn<QStringList>("args");  // "@" is the home folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("why");
    QTest::newRow("no module") << QStringList{"--site", "Nowhere", "--pdf", "@/old.pdf"} << 1
                               << "no module for site Nowhere";
    QTest::newRow("no folder") << QStringList{"--pdf", "@/no/such/r.pdf"} << 2 << "does not exist";
    QTest::newRow("a folder") << QStringList{"--csv", "@"} << 2 << "it is a folder";
    QTest::newRow("no file") << QStringList{"--site", "A"} << 2 << "--pdf FILE, --csv FILE";
    QTest::newRow("one file twice")
        << QStringList{"--pdf", "@/a", "--csv", "@/a"} << 2 << "the same file";
    QTest::newRow("bad date") << QStringList{"--from", "yesterday", "--csv", "@/a"} << 2
                              << "--from: a date";
}

void TestCliRegister::reportRefuses() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, why);
    const QString old = home_.filePath("old.pdf");
    QFile f(old);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write("the report of last year");
    f.close();
    for (QString& a : args) a.replace("@", home_.path());
    const Run r = run(QStringList{"report"} + args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.contains(why.toUtf8()), r.err.constData());
    QCOMPARE(Bytes(old), QByteArray("the report of last year"));
    QVERIFY(!QFile::exists(home_.filePath("a")));
}

void TestCliRegister::replaceOnTheBus() {
    {
        Sim old({"--type", "RQ-3016", "--id", "3", "--serial", "16000003", "--quiet"});
        QCOMPARE(run(info(old) << "--site"
                               << "Plant 4")
                     .code,
                 0);
    }
    const Run unknown = run({"replace", "16999999", "--port", "/dev/null"});
    QCOMPARE(unknown.code, 2);
    QVERIFY(unknown.err.contains("no module with serial number 16999999"));

    Sim fresh({"--type", "RQ-3016", "--serial", "16000009", "--quiet"});
    const Run r = run({"replace", "16000003", "--port", fresh.pty, "--json"});
    QVERIFY2(r.code == 0, r.err.constData());
    QCOMPARE(r.lines().first().value("by").toString(), QStringLiteral("16000009"));
    const Run moved = run({"info", "--type", "RQ-3016", "--port", fresh.pty, "--id", "3"});
    QCOMPARE(moved.code, 0);
    QVERIFY(moved.out.contains("serial: 16000009"));
    const Run history = run({"register", "history", "16000003", "--json"});
    QCOMPARE(history.lines().first().value("kind").toString(), QStringLiteral("replaced-by"));
}

QTEST_GUILESS_MAIN(TestCliRegister)
#include "test_cli_register.moc"
