#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

#include "settings/settings.h"
#include "support/windowfixture.h"

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

// A byte string from a literal that may hold zero bytes.
template <size_t N>
QByteArray Bytes(const char (&text)[N]) {
    return QByteArray(text, qsizetype(N - 1));
}

// The lines of an INI text that the tool does not own: all but the owned values of the general
// group (the keys before any header and those under [General]).
QList<QByteArray> NotOwned(const QByteArray& text) {
    static const QList<QByteArray> owned{
        "Type=", "ScanCommNo=", "ScanBaudRate=", "ScanBaudRateNo=", "LanguageFlag="};
    QList<QByteArray> kept;
    bool general = true;
    QList<QByteArray> lines = text.split('\n');
    if (lines.back().isEmpty()) lines.removeLast();  // nothing after the last line end
    for (const QByteArray& line : lines) {
        if (line.startsWith('[')) general = line.trimmed() == "[General]";
        const bool isOwned = general && std::any_of(owned.cbegin(), owned.cend(),
                                                    [&](auto& o) { return line.startsWith(o); });
        if (!isOwned) kept << line;
    }
    return kept;
}

// "COM1=/dev/null COM3=/dev/ttyS2"
QString PortsText(const QMap<int, QString>& ports) {
    QStringList parts;
    for (auto it = ports.cbegin(); it != ports.cend(); ++it)
        parts << QStringLiteral("COM%1=%2").arg(it.key()).arg(it.value());
    return parts.join(QLatin1Char(' '));
}

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

enum class Place { File, ReadOnlyFile, Directory };
Q_DECLARE_METATYPE(Place)

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

    // The chatter limit of the DI timeline: read where it is sound, 5 otherwise.
    void chatterLimit_data() {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("limit");
        QTest::newRow("missing") << QByteArray() << 5;
        QTest::newRow("12") << QByteArray("ChatterLimit=12\n") << 12;
        QTest::newRow("100") << QByteArray("ChatterLimit=100\n") << 100;
        QTest::newRow("0") << QByteArray("ChatterLimit=0\n") << 5;
        QTest::newRow("101") << QByteArray("ChatterLimit=101\n") << 5;
        QTest::newRow("text") << QByteArray("ChatterLimit=many\n") << 5;
    }
    void chatterLimit() {
        QFETCH(QByteArray, line);
        QFETCH(int, limit);
        writeIni("[General]\nType=2\n" + line + "[Ports]\nCOM3=/dev/ttyUSB0\n");
        const SettingsStore store(iniPath());
        QCOMPARE(LoadChatterLimit(store), limit);
        SaveChatterLimit(store, 9);
        QCOMPARE(LoadChatterLimit(store), 9);
        // The other values and the port map stay.
        QCOMPARE(load().typeTab, 2);
        QCOMPARE(store.portEntries().value(3), QStringLiteral("/dev/ttyUSB0"));
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

    void handWrittenFileSurvivesLoadAndSave_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Place>("place");
        QTest::addColumn<int>("portNo");  // as loaded
        QTest::addColumn<QString>("ports");
        QTest::addColumn<bool>("clean");

        const Place file = Place::File;
        const QString null = QStringLiteral("COM1=/dev/null");
        QTest::newRow("unbalanced quote")
            << QByteArray("[General]\nNote=\"x\n[Ports]\nCOM1=/dev/null\n") << file << 1 << null
            << false;
        QTest::newRow("binary junk")
            << Bytes(
                   "ScanCommNo=2\n\x00\xff\xfe\x01junk\n\x89PNG\r\n\x1a\n[Ports]\nCOM1=/dev/null\n")
            << file << 2 << null << false;
        QTest::newRow("comments")
            << QByteArray(
                   "; made by hand\n# second comment\n[General]\nType=1\n  ; indented\n"
                   "ScanCommNo=6 ; after the value\n\n[Ports]\n; my adapter\nCOM2=/dev/ttyUSB0\n")
            << file << 6 << QStringLiteral("COM2=/dev/ttyUSB0") << true;
        QTest::newRow("line without =") << QByteArray("just some words\n[Ports]\nCOM1=/dev/null\n")
                                        << file << 1 << null << false;
        // The keys after a broken header belong to no group: neither ports nor owned values.
        QTest::newRow("[Ports unterminated")
            << QByteArray("ScanCommNo=3\n[Ports\nScanCommNo=4\nCOM3=/dev/ttyS9\n") << file << 3
            << QString() << false;
        QTest::newRow("line continued by a backslash")
            << QByteArray("Note=first \\\nCOM1=/dev/null\n[Ports]\nCOM2=/dev/ttyS1\n") << file << 1
            << QStringLiteral("COM2=/dev/ttyS1") << false;
        QTest::newRow("owned value with an open quote")
            << QByteArray("ScanCommNo=4\nScanBaudRate=\"9600,n\nLanguageFlag=ChineseGB\n") << file
            << 4 << QString() << false;
        QTest::newRow("unknown keys and groups")
            << QByteArray(
                   "[General]\nColour=blue\nScanCommNo=12\n[Window]\nGeometry=@ByteArray(\\x1)\n"
                   "Type=3\n[Ports]\nCOM1=/dev/null\n")
            << file << 12 << null << true;
        QTest::newRow("port -1") << QByteArray("ScanCommNo=-1\n") << file << 1 << QString() << true;
        QTest::newRow("port 0") << QByteArray("ScanCommNo=0\n") << file << 1 << QString() << true;
        QTest::newRow("port 255") << QByteArray("ScanCommNo=255\n") << file << 255 << QString()
                                  << true;
        QTest::newRow("port 256") << QByteArray("ScanCommNo=256\n") << file << 1 << QString()
                                  << true;
        QTest::newRow("port 2147483647")
            << QByteArray("ScanCommNo=2147483647\n") << file << 1 << QString() << true;
        QTest::newRow("CRLF") << QByteArray(
                                     "[General]\r\nScanCommNo=3\r\n; note\r\n[Ports]\r\n"
                                     "COM1=/dev/null\r\n")
                              << file << 3 << null << true;
        QTest::newRow("UTF-8 BOM") << QByteArray("\xEF\xBB\xBF; settings\nScanCommNo=9\n") << file
                                   << 9 << QString() << true;
        QTest::newRow("UTF-8 BOM before a header")
            << QByteArray("\xEF\xBB\xBF[Ports]\nCOM2=/dev/ttyS1\n") << file << 1
            << QStringLiteral("COM2=/dev/ttyS1") << true;
        QTest::newRow("Chinese comment")
            << QByteArray("; 串口设置：我的适配器\nScanCommNo=3\n[Ports]\nCOM3=/dev/ttyUSB0\n")
            << file << 3 << QStringLiteral("COM3=/dev/ttyUSB0") << true;
        QTest::newRow("very long lines")
            << QByteArray("; " + QByteArray(1 << 20, 'x') +
                          "\nScanCommNo=5\nNote=" + QByteArray(100000, 'y') + "\n")
            << file << 5 << QString() << true;
        QTest::newRow("empty file") << QByteArray() << file << 1 << QString() << true;
        QTest::newRow("no final line end")
            << QByteArray("[Ports]\nCOM1=/dev/null") << file << 1 << null << true;
        QTest::newRow("read-only file") << QByteArray("ScanCommNo=2\n[Ports]\nCOM1=/dev/null\n")
                                        << Place::ReadOnlyFile << 2 << null << true;
        QTest::newRow("directory in its place")
            << QByteArray() << Place::Directory << 1 << QString() << true;
    }
    void handWrittenFileSurvivesLoadAndSave() {
        QFETCH(QByteArray, file);
        QFETCH(Place, place);
        QFETCH(int, portNo);
        QFETCH(QString, ports);
        QFETCH(bool, clean);
        if (place == Place::Directory) {
            QVERIFY(QDir().mkpath(iniPath()));
        } else {
            writeIni(file);
        }
        if (place == Place::ReadOnlyFile)
            QVERIFY(QFile::setPermissions(iniPath(), QFileDevice::ReadOwner |
                                                         QFileDevice::ReadGroup |
                                                         QFileDevice::ReadOther));
        SettingsStore store(iniPath());
        QStringList notices;
        store.setNotice([&](const QString& text) { notices << text; });

        StoredSettings before;
        LoadSettings(store, before);
        QCOMPARE(before.portNo, portNo);
        QCOMPARE(PortsText(store.portEntries()), ports);

        // One run: a save at a scan, a language choice, a save at the close.
        SaveSettings(store, 2, 7, 3, QStringLiteral("9600,e,8,1"));
        SaveLanguage(store, QStringLiteral("ChineseGB"));
        SaveSettings(store, 4, 8, 3, QStringLiteral("9600,e,8,1"));

        if (place != Place::File) {
            // Nothing is written where it may not be, and nothing is lost.
            if (place == Place::Directory)
                QVERIFY(QFileInfo(iniPath()).isDir());
            else
                QCOMPARE(readIni(), file);
            QVERIFY(!QFileInfo::exists(store.backupPath()));
            QVERIFY(notices.isEmpty());
            return;
        }

        const QByteArray saved = readIni();
        // The lines the tool does not own come back unchanged and in order; after them stand
        // at most the general group's header and blank lines.
        const QList<QByteArray> expected = NotOwned(file);
        const QList<QByteArray> got = NotOwned(saved);
        QVERIFY(got.size() >= expected.size());
        QVERIFY(got.mid(0, expected.size()) == expected);
        for (const QByteArray& extra : got.mid(expected.size())) {
            const QByteArray t = extra.trimmed();
            QVERIFY2(t.isEmpty() || t == "[General]", extra.constData());
        }
        // A file written with CRLF line ends keeps them in the lines added.
        if (file.contains("\r\n") && file.count("\r\n") == file.count('\n'))
            QCOMPARE(saved.count("\r\n"), saved.count('\n'));

        StoredSettings after;
        LoadSettings(store, after);
        QCOMPARE(after.typeTab, 4);
        QCOMPARE(after.portNo, 8);
        QCOMPARE(after.baudText, QStringLiteral("9600,e,8,1"));
        QCOMPARE(after.baudIndex, 3);
        QCOMPARE(after.langIndex, 1);
        QCOMPARE(PortsText(store.portEntries()), ports);

        // A file that could not be read in full is kept as it stood, and the user told once.
        QCOMPARE(QFileInfo::exists(store.backupPath()), !clean);
        QCOMPARE(notices.size(), clean ? 0 : 1);
        if (!clean) QCOMPARE(ReadAll(store.backupPath()), file);
    }

    void backupTakenOnlyWhenItHoldsSomethingNew() {
        const QByteArray original("Type=1\nnot a setting\n[Ports]\nCOM1=/dev/null\n");
        writeIni(original);
        QStringList notices;
        auto run = [&] {
            SettingsStore store(iniPath());
            store.setNotice([&](const QString& text) { notices << text; });
            SaveSettings(store, 2, 3, 4, QStringLiteral("9600,n,8,1"));
        };

        run();
        QCOMPARE(notices.size(), 1);
        QVERIFY(notices.front().contains(iniPath() + QStringLiteral(".bak")));
        // The next start finds the same unreadable line, which the backup already holds.
        run();
        QCOMPARE(notices.size(), 1);
        QCOMPARE(ReadAll(iniPath() + QStringLiteral(".bak")), original);

        // Once the user changes a line of their own, the file as it then stood is kept.
        QByteArray edited = readIni();
        edited.replace("not a setting", "still not a setting");
        writeIni(edited);
        run();
        QCOMPARE(notices.size(), 2);
        QCOMPARE(ReadAll(iniPath() + QStringLiteral(".bak")), edited);
    }

    void interruptedSaveLeavesTheOldFile() {
        const QByteArray original("; mine\nType=1\n[Ports]\nCOM1=/dev/null\n");
        writeIni(original);
        SettingsStore store(iniPath());
        bool reached = false;
        bool stillOld = false;
        store.setBeforeReplace([&] {
            // The new text is written aside, but the file is still the old one.
            reached = true;
            stillOld = readIni() == original;
            return false;
        });
        SaveSettings(store, 3, 4, 5, QStringLiteral("19200,e,8,1"));
        QVERIFY(reached);
        QVERIFY(stillOld);
        QCOMPARE(readIni(), original);
        // Nothing is left beside it.
        QCOMPARE(
            QDir(dir_->filePath(QStringLiteral("VARNO"))).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("Quillon.conf")});

        store.setBeforeReplace(nullptr);
        SaveSettings(store, 3, 4, 5, QStringLiteral("19200,e,8,1"));
        QCOMPARE(load().typeTab, 3);
    }

    void closingTheWindowKeepsAHandMadePortMap() {
        WindowFixture f;
        const QByteArray original("[General]\nNote=\"x\n[Ports]\nCOM1=/dev/null\n");
        f.writeIni(original);
        TfrmModule& w = f.build();
        w.close();
        const QByteArray saved = ReadAll(f.iniPath());
        QVERIFY(saved.contains("\nNote=\"x\n"));
        QVERIFY(saved.endsWith("\n[Ports]\nCOM1=/dev/null\n"));
        QCOMPARE(PortsText(SettingsStore(f.iniPath()).portEntries()),
                 QStringLiteral("COM1=/dev/null"));
        QCOMPARE(ReadAll(f.iniPath() + QStringLiteral(".bak")), original);
        // Told once, through the window's error box.
        QCOMPARE(f.errors.size(), 1);
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

QTEST_MAIN(TestSettings)
#include "test_settings.moc"
