// The window program's command line: --help and --version without a display, Qt's options
// passed through, anything else refused with status 2.
#include <signal.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "app/commandline.h"

class TestWindowOptions : public QObject {
    Q_OBJECT
  private slots:
    void parse_data();
    void parse();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
    void registerOptions_data();
    void registerOptions();
    void endsWhenTheSystemAsks_data();
    void endsWhenTheSystemAsks();
};

void TestWindowOptions::parse_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("refused");
    using A = WindowCommandLine::Action;
    QTest::newRow("nothing") << QStringList{} << int(A::Run) << QString();
    QTest::newRow("Qt options") << QStringList{"-platform", "offscreen", "--style=fusion",
                                               "-reverse"}
                                << int(A::Run) << QString();
    QTest::newRow("help wins") << QStringList{"-style", "x", "--help"} << int(A::Help) << QString();
    QTest::newRow("version") << QStringList{"-v"} << int(A::Version) << QString();
    QTest::newRow("unknown") << QStringList{"--bogus"} << int(A::Refuse) << "--bogus";
    QTest::newRow("stray word") << QStringList{"COM3"} << int(A::Refuse) << "COM3";
    QTest::newRow("value missing") << QStringList{"-platform"} << int(A::Refuse) << "-platform";
    QTest::newRow("flag with value") << QStringList{"-reverse=1"} << int(A::Refuse) << "-reverse=1";
}

void TestWindowOptions::parse() {
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, refused);
    const WindowCommandLine line = ParseWindowCommandLine(args);
    QCOMPARE(int(line.action), action);
    QCOMPARE(line.refused, refused);
}

void TestWindowOptions::answersWithoutDisplay_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("out");
    QTest::addColumn<QString>("err");
    QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: quillon" << QString();
    QTest::newRow("version") << QStringList{"--version"} << 0 << "quillon 0." << QString();
    QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << QString()
                             << "unknown option --bogus";
}

void TestWindowOptions::answersWithoutDisplay() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, out);
    QFETCH(QString, err);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    // As over SSH: no display, no platform chosen.
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUILLON_APP"), args);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), status);
    const QString stdoutText = QString::fromLocal8Bit(p.readAllStandardOutput());
    const QString stderrText = QString::fromLocal8Bit(p.readAllStandardError());
    if (!out.isEmpty()) QVERIFY2(stdoutText.startsWith(out), qPrintable(stdoutText));
    if (!err.isEmpty()) QVERIFY2(stderrText.contains(err), qPrintable(stderrText));
    if (status == 0) QVERIFY(stderrText.isEmpty());
}

void TestWindowOptions::registerOptions_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("run");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("off");
    QTest::addColumn<QString>("site");  // "-": none given
    QTest::newRow("--register FILE")
        << QStringList{"--register", "/tmp/r.sqlite"} << true << "/tmp/r.sqlite" << false << "-";
    QTest::newRow("--register=FILE") << QStringList{"--register=/tmp/r.sqlite", "-reverse"} << true
                                     << "/tmp/r.sqlite" << false << "-";
    QTest::newRow("--no-register") << QStringList{"--no-register"} << true << "" << true << "-";
    QTest::newRow("--site NAME") << QStringList{"--site", "Plant \"4\", 北"} << true << "" << false
                                 << "Plant \"4\", 北";
    QTest::newRow("--site= empty") << QStringList{"--site="} << true << "" << false << "";
    QTest::newRow("--register without a file")
        << QStringList{"--register"} << false << "" << false << "-";
}

void TestWindowOptions::registerOptions() {
    QFETCH(QStringList, args);
    QFETCH(bool, run);
    QFETCH(QString, file);
    QFETCH(bool, off);
    QFETCH(QString, site);
    const WindowCommandLine line = ParseWindowCommandLine(args);
    QCOMPARE(line.action == WindowCommandLine::Action::Run, run);
    if (!run) {
        QCOMPARE(line.refused, args.last());
        return;
    }
    QCOMPARE(line.registerPath, file);
    QCOMPARE(line.noRegister, off);
    QCOMPARE(line.site.value_or(QStringLiteral("-")), site);
}

void TestWindowOptions::endsWhenTheSystemAsks_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

// A logout or a closed terminal ends the window as Exit does: the settings saved, the register
// written, a normal exit.
void TestWindowOptions::endsWhenTheSystemAsks() {
    QFETCH(int, signal);
    QTemporaryDir dir;
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(qEnvironmentVariable("QUILLON_APP"), {"--register", dir.filePath("r.sqlite")});
    QVERIFY(p.waitForStarted(5000));
    QTest::qWait(1000);
    QCOMPARE(p.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(p.processId()), signal);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    QVERIFY(QFile::exists(dir.filePath("VARNO/Quillon.conf")));
}

QTEST_GUILESS_MAIN(TestWindowOptions)
#include "test_window_options.moc"
