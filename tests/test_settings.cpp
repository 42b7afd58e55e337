#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "settings/settings.h"

// Puts an environment variable back as it was, whatever the test did to it.
class EnvGuard {
  public:
    explicit EnvGuard(const char* name) : name_(name), value_(qgetenv(name)) {}
    ~EnvGuard() {
        if (value_.isNull())
            qunsetenv(name_);
        else
            qputenv(name_, value_);
    }

  private:
    const char* name_;
    QByteArray value_;
};

// Every case works in a directory of its own; stored types matter, so the INI files are written
// as raw text, the way a user or an older run would leave them.
class TestSettings : public QObject {
    Q_OBJECT

  private:
    std::unique_ptr<QTemporaryDir> dir_;

    QString iniPath() const { return dir_->filePath(QStringLiteral("VARNO/Quillon.conf")); }

    void writeIni(const QByteArray& text) {
        QVERIFY(QDir().mkpath(dir_->filePath(QStringLiteral("VARNO"))));
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
    }

    QByteArray readIni() const {
        QFile f(iniPath());
        if (!f.open(QIODevice::ReadOnly)) return {};
        return f.readAll();
    }

    StoredSettings load() const {
        StoredSettings s;
        LoadSettings(SettingsStore(iniPath()), s);
        return s;
    }

    static void verifyDefaults(const StoredSettings& s) {
        QCOMPARE(s.typeTab, 0);
        QCOMPARE(s.portNo, 1);
        QCOMPARE(s.baudText, QStringLiteral("19200,e,8,1"));
        QCOMPARE(s.baudIndex, 5);
        QCOMPARE(s.langFlag, QStringLiteral("English"));
        QCOMPARE(s.langIndex, 0);
    }

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
    }
    void cleanup() { dir_.reset(); }

    void noFileGivesDefaultsAndCreatesNothing() {
        const SettingsStore store(iniPath());
        QVERIFY(!store.exists());
        StoredSettings s;
        LoadSettings(store, s);
        verifyDefaults(s);
        QVERIFY(store.portEntries().isEmpty());
        QVERIFY(!QFile::exists(iniPath()));
    }

    void everyValueStored() {
        writeIni(
            "[General]\n"
            "Type=3\n"
            "ScanCommNo=7\n"
            "ScanBaudRate=\"115200,e,8,1\"\n"
            "ScanBaudRateNo=11\n"
            "LanguageFlag=ChineseBIG5\n");
        const StoredSettings s = load();
        QCOMPARE(s.typeTab, 3);
        QCOMPARE(s.portNo, 7);
        QCOMPARE(s.baudText, QStringLiteral("115200,e,8,1"));
        QCOMPARE(s.baudIndex, 11);
        QCOMPARE(s.langFlag, QStringLiteral("ChineseBIG5"));
        QCOMPARE(s.langIndex, 2);
    }

    void missingValuesTakeTheirDefaults() {
        writeIni("ScanCommNo=4\nLanguageFlag=ChineseGB\n");
        const StoredSettings s = load();
        QCOMPARE(s.typeTab, 0);
        QCOMPARE(s.portNo, 4);
        QCOMPARE(s.baudText, QStringLiteral("19200,e,8,1"));
        QCOMPARE(s.baudIndex, 5);
        QCOMPARE(s.langFlag, QStringLiteral("ChineseGB"));
        QCOMPARE(s.langIndex, 1);
    }

    void typeErrorEndsTheLoad_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("typeTab");
        QTest::addColumn<int>("portNo");
        QTest::addColumn<QString>("baudText");
        QTest::addColumn<int>("baudIndex");

        const QByteArray rest =
            "ScanBaudRate=\"9600,n,8,1\"\nScanBaudRateNo=2\nLanguageFlag=ChineseGB\n";
        QTest::newRow("Type as text")
            << ("Type=abc\nScanCommNo=3\n" + rest) << 0 << 1 << QStringLiteral("19200,e,8,1") << 5;
        QTest::newRow("Type as list")
            << ("Type=1,2\nScanCommNo=3\n" + rest) << 0 << 1 << QStringLiteral("19200,e,8,1") << 5;
        QTest::newRow("Type empty")
            << ("Type=\nScanCommNo=3\n" + rest) << 0 << 1 << QStringLiteral("19200,e,8,1") << 5;
        QTest::newRow("port beyond int32") << ("Type=2\nScanCommNo=4294967297\n" + rest) << 2 << 1
                                           << QStringLiteral("19200,e,8,1") << 5;
        QTest::newRow("baud text as byte array")
            << QByteArray(
                   "Type=2\nScanCommNo=3\nScanBaudRate=@ByteArray(9600)\n"
                   "ScanBaudRateNo=2\nLanguageFlag=ChineseGB\n")
            << 2 << 3 << QStringLiteral("19200,e,8,1") << 5;
        QTest::newRow("baud index as text")
            << QByteArray(
                   "Type=2\nScanCommNo=3\nScanBaudRate=\"9600,n,8,1\"\n"
                   "ScanBaudRateNo=two\nLanguageFlag=ChineseGB\n")
            << 2 << 3 << QStringLiteral("9600,n,8,1") << 5;
    }
    void typeErrorEndsTheLoad() {
        QFETCH(QByteArray, ini);
        QFETCH(int, typeTab);
        QFETCH(int, portNo);
        QFETCH(QString, baudText);
        QFETCH(int, baudIndex);
        writeIni(ini);
        const StoredSettings s = load();
        QCOMPARE(s.typeTab, typeTab);
        QCOMPARE(s.portNo, portNo);
        QCOMPARE(s.baudText, baudText);
        QCOMPARE(s.baudIndex, baudIndex);
        // LanguageFlag comes last, so every stop leaves it English.
        QCOMPARE(s.langFlag, QStringLiteral("English"));
        QCOMPARE(s.langIndex, 0);
    }

    void languageFlagOfWrongTypeKeepsEnglish() {
        writeIni("Type=1\nLanguageFlag=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x1)\n");
        const StoredSettings s = load();
        QCOMPARE(s.typeTab, 1);
        QCOMPARE(s.langFlag, QStringLiteral("English"));
        QCOMPARE(s.langIndex, 0);
    }

    void storedValuesKeptAsTheyAre_data() {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("typeTab");
        QTest::addColumn<int>("portNo");
        QTest::newRow("port 0") << QByteArray("ScanCommNo=0\n") << 0 << 0;
        QTest::newRow("no tab active") << QByteArray("Type=-1\n") << -1 << 1;
        QTest::newRow("tab beyond the six") << QByteArray("Type=9\n") << 9 << 1;
        QTest::newRow("spaces around") << QByteArray("Type = 4 \nScanCommNo = 12\n") << 4 << 12;
    }
    void storedValuesKeptAsTheyAre() {
        QFETCH(QByteArray, ini);
        QFETCH(int, typeTab);
        QFETCH(int, portNo);
        writeIni(ini);
        const StoredSettings s = load();
        QCOMPARE(s.typeTab, typeTab);
        QCOMPARE(s.portNo, portNo);
    }

    void languageFlagComparedExactly_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("langIndex");
        QTest::newRow("ChineseGB") << QStringLiteral("ChineseGB") << 1;
        QTest::newRow("other case") << QStringLiteral("chinesegb") << 0;
        QTest::newRow("unknown") << QStringLiteral("Klingon") << 0;
        QTest::newRow("empty") << QString() << 0;
    }
    void languageFlagComparedExactly() {
        QFETCH(QString, stored);
        QFETCH(int, langIndex);
        writeIni("LanguageFlag=" + stored.toUtf8() + "\n");
        const StoredSettings s = load();
        QCOMPARE(s.langFlag, stored);
        QCOMPARE(s.langIndex, langIndex);
    }

    void baudIndexHeldInsideTheList_data() {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("baudIndex");
        QTest::newRow("0") << QByteArray("0") << 0;
        QTest::newRow("11") << QByteArray("11") << 11;
        QTest::newRow("12") << QByteArray("12") << 5;
        QTest::newRow("-1") << QByteArray("-1") << 5;
        QTest::newRow("huge") << QByteArray("2147483647") << 5;
    }
    void baudIndexHeldInsideTheList() {
        QFETCH(QByteArray, stored);
        QFETCH(int, baudIndex);
        writeIni("ScanBaudRateNo=" + stored + "\nLanguageFlag=ChineseGB\n");
        const StoredSettings s = load();
        QCOMPARE(s.baudIndex, baudIndex);
        // The load goes on past a fallen-back index.
        QCOMPARE(s.langIndex, 1);
    }

    void unquotedBaudTextReadBackAsText() {
        writeIni("ScanBaudRate=57600,n,8,1\nScanBaudRateNo=8\n");
        const StoredSettings s = load();
        QCOMPARE(s.baudText, QStringLiteral("57600,n,8,1"));
        QCOMPARE(s.baudIndex, 8);
    }

    void saveSettingsWritesTheFourValues() {
        const SettingsStore store(iniPath());
        SaveSettings(store, 4, 9, 7, QStringLiteral("38400,e,8,1"));
        QVERIFY(store.exists());
        QSettings raw(iniPath(), QSettings::IniFormat);
        QCOMPARE(raw.allKeys().size(), 4);
        QCOMPARE(raw.value("Type").toInt(), 4);
        QCOMPARE(raw.value("ScanCommNo").toInt(), 9);
        QCOMPARE(raw.value("ScanBaudRateNo").toInt(), 7);
        QCOMPARE(raw.value("ScanBaudRate").toString(), QStringLiteral("38400,e,8,1"));
        QVERIFY(!raw.contains("LanguageFlag"));
        QVERIFY(raw.childGroups().isEmpty());
    }

    void saveLanguageWritesOnlyTheFlag() {
        const SettingsStore store(iniPath());
        SaveLanguage(store, QStringLiteral("ChineseGB"));
        QSettings raw(iniPath(), QSettings::IniFormat);
        QCOMPARE(raw.allKeys(), QStringList{QStringLiteral("LanguageFlag")});
        QCOMPARE(raw.value("LanguageFlag").toString(), QStringLiteral("ChineseGB"));
    }

    void roundTrip() {
        const SettingsStore store(iniPath());
        SaveSettings(store, -1, 12, 10, QStringLiteral("115200,n,8,1"));
        SaveLanguage(store, QStringLiteral("ChineseBIG5"));
        StoredSettings s;
        LoadSettings(SettingsStore(iniPath()), s);
        QCOMPARE(s.typeTab, -1);
        QCOMPARE(s.portNo, 12);
        QCOMPARE(s.baudText, QStringLiteral("115200,n,8,1"));
        QCOMPARE(s.baudIndex, 10);
        QCOMPARE(s.langFlag, QStringLiteral("ChineseBIG5"));
        QCOMPARE(s.langIndex, 2);
    }

    void savingKeepsOtherValuesAndThePorts() {
        writeIni(
            "[General]\n"
            "LanguageFlag=ChineseGB\n"
            "Type=1\n"
            "\n"
            "[Ports]\n"
            "COM3=/dev/ttyUSB0\n"
            "COM20=/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n");
        const SettingsStore store(iniPath());
        SaveSettings(store, 2, 3, 5, QStringLiteral("19200,e,8,1"));
        SaveLanguage(store, QStringLiteral("English"));
        SaveSettings(store, 5, 4, 6, QStringLiteral("38400,n,8,1"));

        const QMap<int, QString> ports = SettingsStore(iniPath()).portEntries();
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports.value(3), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(ports.value(20), QStringLiteral("/dev/serial/by-id/usb-FTDI_FT232R-if00-port0"));
        const StoredSettings s = load();
        QCOMPARE(s.typeTab, 5);
        QCOMPARE(s.portNo, 4);
        QCOMPARE(s.langFlag, QStringLiteral("English"));
    }

    void portEntriesTakeOnlyComKeys() {
        writeIni(
            "Type=1\n"
            "[Ports]\n"
            "COM1=/dev/pts/7\n"
            "COM12=/dev/ttyACM0\n"
            "COM0=/dev/ttyS9\n"
            "COM-2=/dev/ttyS8\n"
            "COM03=/dev/ttyS7\n"
            "COMx=/dev/ttyS6\n"
            "Com4=/dev/ttyS5\n"
            "COM5=\n"
            "Note=hello\n"
            "COM99999999999=/dev/ttyS4\n");
        const QMap<int, QString> ports = SettingsStore(iniPath()).portEntries();
        QCOMPARE(ports.keys(), (QList<int>{1, 12}));
        QCOMPARE(ports.value(1), QStringLiteral("/dev/pts/7"));
        QCOMPARE(ports.value(12), QStringLiteral("/dev/ttyACM0"));
        // A top-level value is no port entry.
        QVERIFY(!ports.contains(0));
    }

#ifndef Q_OS_WIN
    void defaultLocationFollowsXdgConfigHome() {
        const EnvGuard xdg("XDG_CONFIG_HOME");
        const EnvGuard home("HOME");
        qputenv("XDG_CONFIG_HOME", dir_->path().toUtf8());
        QCOMPARE(SettingsStore().iniPath(), iniPath());

        // Written where it is read, the directory created on the way.
        SaveLanguage(SettingsStore(), QStringLiteral("ChineseGB"));
        QVERIFY(QFile::exists(iniPath()));
        StoredSettings s;
        LoadSettings(SettingsStore(), s);
        QCOMPARE(s.langIndex, 1);

        // Empty means unset: ~/.config.
        QTemporaryDir otherHome;
        qputenv("XDG_CONFIG_HOME", QByteArray());
        qputenv("HOME", otherHome.path().toUtf8());
        QCOMPARE(SettingsStore().iniPath(),
                 otherHome.filePath(QStringLiteral(".config/VARNO/Quillon.conf")));
    }
#endif
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
