// The install tree: what `cmake --install` puts under a prefix, the desktop entry and AppStream
// metainfo as the system's validators see them and as they name each other, and the man page
// of quillon-sim made from its --help.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include "sim/simprogram.h"

namespace {

const QString kId = QStringLiteral("org.varno.quillon");

struct Run {
    int exitCode = -1;
    QString output;
};

Run Execute(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    Run r;
    if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit) return r;
    r.exitCode = p.exitCode();
    r.output = QString::fromLocal8Bit(p.readAll());
    return r;
}

// The value of `key` in the [Desktop Entry] group.
QString DesktopValue(const QString& text, const QString& key) {
    const QRegularExpression line(QStringLiteral("^%1=(.*)$").arg(QRegularExpression::escape(key)),
                                  QRegularExpression::MultilineOption);
    return line.match(text).captured(1);
}

QString ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

}  // namespace

class TestInstall : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();
    void installsEveryFile_data();
    void installsEveryFile();
    void validatorsAccept_data();
    void validatorsAccept();
    void entryIconAndMetainfoNameEachOther();
    void simManPageFollowsItsHelp();

  private:
    QString path(const QString& relative) const { return prefix_.filePath(relative); }
    QTemporaryDir prefix_;
};

void TestInstall::initTestCase() {
    const QString build = qEnvironmentVariable("QUILLON_BUILD_DIR");
    const QString cmake = qEnvironmentVariable("CMAKE_COMMAND", QStringLiteral("cmake"));
    if (build.isEmpty()) QSKIP("QUILLON_BUILD_DIR names no build tree (run through ctest)");
    QVERIFY(prefix_.isValid());
    const Run r = Execute(cmake, {"--install", build, "--prefix", prefix_.path()});
    QVERIFY2(r.exitCode == 0, qPrintable(r.output));
}

void TestInstall::installsEveryFile_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("program");
    QTest::newRow("quillon") << "bin/quillon" << true;
    QTest::newRow("quillon-sim") << "bin/quillon-sim" << true;
    QTest::newRow("quillon-cli") << "bin/quillon-cli" << true;
    QTest::newRow("man quillon-cli") << "share/man/man1/quillon-cli.1.gz" << false;
    QTest::newRow("completion") << "share/bash-completion/completions/quillon-cli" << false;
    // The network backend, loaded by the programs from here.
    QTest::newRow("network module")
        << qEnvironmentVariable("QUILLON_INSTALL_LIBDIR") + "/quillon/libquillon-netport.so"
        << false;
    QTest::newRow("report module")
        << qEnvironmentVariable("QUILLON_INSTALL_LIBDIR") + "/quillon/libquillon-report.so"
        << false;
    QTest::newRow("desktop entry") << "share/applications/" + kId + ".desktop" << false;
    QTest::newRow("icon") << "share/icons/hicolor/scalable/apps/" + kId + ".svg" << false;
    QTest::newRow("metainfo") << "share/metainfo/" + kId + ".metainfo.xml" << false;
    QTest::newRow("man quillon") << "share/man/man1/quillon.1.gz" << false;
    QTest::newRow("man quillon-sim") << "share/man/man1/quillon-sim.1.gz" << false;
    QTest::newRow("copyright") << "share/doc/quillon/copyright" << false;
    QTest::newRow("changelog") << "share/doc/quillon/changelog.gz" << false;
}

void TestInstall::installsEveryFile() {
    QFETCH(QString, file);
    QFETCH(bool, program);
    const QFileInfo info(path(file));
    QVERIFY2(info.isFile() && info.size() > 0, qPrintable(file + " is missing or empty"));
    QCOMPARE(info.isExecutable(), program);
}

void TestInstall::validatorsAccept_data() {
    QTest::addColumn<QString>("validator");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");
    QTest::newRow("desktop entry")
        << "desktop-file-validate" << QStringList() << "share/applications/" + kId + ".desktop";
    QTest::newRow("metainfo") << "appstreamcli" << QStringList{"validate", "--no-net"}
                              << "share/metainfo/" + kId + ".metainfo.xml";
}

void TestInstall::validatorsAccept() {
    QFETCH(QString, validator);
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    const QString program = QStandardPaths::findExecutable(validator);
    if (program.isEmpty())
        QSKIP(qPrintable(validator + " is not installed (scripts/check-package installs it)"));
    const Run r = Execute(program, args << path(file));
    QVERIFY2(r.exitCode == 0, qPrintable(r.output));
}

void TestInstall::entryIconAndMetainfoNameEachOther() {
    const QString entry = ReadText(path("share/applications/" + kId + ".desktop"));
    QVERIFY(entry.startsWith(QStringLiteral("[Desktop Entry]\n")));
    // The menu starts an installed program with an installed icon, under Utility/Electronics.
    QVERIFY(QFileInfo(path("bin/" + DesktopValue(entry, "Exec"))).isExecutable());
    QCOMPARE(DesktopValue(entry, "Icon"), kId);
    QCOMPARE(DesktopValue(entry, "Categories"), QStringLiteral("Utility;Electronics;"));

    QFile svg(path("share/icons/hicolor/scalable/apps/" + kId + ".svg"));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    QXmlStreamReader icon(&svg);
    QVERIFY(icon.readNextStartElement());
    QCOMPARE(icon.name(), QStringLiteral("svg"));
    while (!icon.atEnd()) icon.readNext();
    QVERIFY2(!icon.hasError(), qPrintable(icon.errorString()));

    QFile metainfo(path("share/metainfo/" + kId + ".metainfo.xml"));
    QVERIFY(metainfo.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&metainfo);
    QString id, launchable, release;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == QLatin1String("id")) id = xml.readElementText();
        if (xml.name() == QLatin1String("launchable")) launchable = xml.readElementText();
        if (xml.name() == QLatin1String("release"))
            release = xml.attributes().value(QLatin1String("version")).toString();
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(id, kId);
    QCOMPARE(launchable, kId + ".desktop");
    QCOMPARE(release, qEnvironmentVariable("QUILLON_VERSION"));
    QVERIFY(!release.isEmpty());
}

void TestInstall::simManPageFollowsItsHelp() {
    const QString gzip = QStandardPaths::findExecutable(QStringLiteral("gzip"));
    QVERIFY(!gzip.isEmpty());
    const Run page = Execute(gzip, {"-dc", path("share/man/man1/quillon-sim.1.gz")});
    QCOMPARE(page.exitCode, 0);
    QVERIFY(page.output.contains(QStringLiteral(".SH NAME\nquillon-sim \\- ")));
    // Every option of the program's --help is in the page, in the page's spelling.
    const QString help = QString::fromStdString(SimUsage());
    const QRegularExpression option(QStringLiteral("--([a-z0-9][a-z0-9-]*)"));
    int options = 0;
    for (const QRegularExpressionMatch& m : option.globalMatch(help)) {
        QString roff = m.captured(0);
        roff.replace(QLatin1Char('-'), QStringLiteral("\\-"));
        QVERIFY2(page.output.contains(roff), qPrintable(m.captured(0)));
        ++options;
    }
    QVERIFY(options >= 10);
    const Run manual = Execute(gzip, {"-dc", path("share/man/man1/quillon.1.gz")});
    QVERIFY(manual.output.contains(QStringLiteral(".BR quillon\\-sim (1)")));
    QVERIFY(!manual.output.contains(QLatin1Char('@')));
}

QTEST_GUILESS_MAIN(TestInstall)
#include "test_install.moc"
