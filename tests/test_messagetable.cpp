#include <QStringEncoder>
#include <QTest>
#include <iterator>

#include "text/messagetable.h"

// The rows that name an operation, each followed by its success row and its error row.
static const int kOperationRows[] = {22, 25, 28, 35, 41, 44, 57, 60,
                                     64, 68, 73, 76, 80, 86, 90, 95};

class TestMessageTable : public QObject {
    Q_OBJECT

  private slots:
    void spotRows_data();
    void spotRows();
    void everyCellFilledAndTrimmed();
    void englishIsAsciiAndChineseIsNot();
    void chineseColumnsFitTheirCodePages();
    void operationRowsComeInThrees();
    void menuCaptionsCarryOneAccelerator();
    void lookupOutsideTheTableIsEmpty();
    void flagsRoundTrip();
    void unknownFlagsGiveEnglish_data();
    void unknownFlagsGiveEnglish();
    void fontSizeAndCharset();
};

void TestMessageTable::spotRows_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("lang");
    QTest::addColumn<QString>("expected");

    auto add = [](const char* tag, int row, int lang, const char* utf8) {
        QTest::newRow(tag) << row << lang << QString::fromUtf8(utf8);
    };
    add("0 en face", 0, 0, "Courier New");
    add("0 gb face", 0, 1, "宋体");
    add("0 big5 face", 0, 2, "細明體");
    add("1 en title", 1, 0, "Quillon V0536");
    add("1 gb title", 1, 1, "Quillon V0536");
    add("1 big5 title", 1, 2, "Quillon V0536");
    add("4 gb", 4, 1, "序号");
    add("5 big5", 5, 2, "版本");
    add("6 gb", 6, 1, "语言(&Language)");
    add("10 en", 10, 0, "&English");
    add("10 gb", 10, 1, "&Simplified chinese(简体)");
    add("10 big5", 10, 2, "&Traditional chinese(繁體)");
    add("15 en", 15, 0, "Module find ok. (COM");
    add("15 gb", 15, 1, "模组机资讯完成. (串口");
    add("15 big5", 15, 2, "模組資訊完成. (串口");
    add("16 en", 16, 0, "Module data error! (COM");
    add("16 big5", 16, 2, "模組資訊錯誤! (串口");
    add("17 en", 17, 0, "Module not find");
    add("18 en", 18, 0, "Start select module type.");
    add("18 gb", 18, 1, "请先选择模组型号.");
    add("18 big5", 18, 2, "請先選擇模組型號.");
    add("26 big5 no period", 26, 2, "設定識別碼(ID)完成");
    add("45 gb", 45, 1, "状态正常.");
    add("55 en", 55, 0, "RS232/RS485 port");
    add("71 big5", 71, 2, "輸入點/輸出點測試");
    add("94 en colon", 94, 0, "Key Number:");
    add("94 gb colon", 94, 1, "按键数:");
    add("97 en", 97, 0, "Set key number error!");
    add("97 big5", 97, 2, "設定按鍵數錯誤!");
}

void TestMessageTable::spotRows() {
    QFETCH(int, row);
    QFETCH(int, lang);
    QFETCH(QString, expected);
    QCOMPARE(MessageTable::text(row, lang), expected);
}

void TestMessageTable::everyCellFilledAndTrimmed() {
    QCOMPARE(MessageTable::kRows, 98);
    QCOMPARE(MessageTable::kLanguages, 3);
    for (int row = 0; row < MessageTable::kRows; ++row) {
        for (int lang = 0; lang < MessageTable::kLanguages; ++lang) {
            const QString t = MessageTable::text(row, lang);
            QVERIFY2(!t.isEmpty(), qPrintable(QString("row %1 lang %2 empty").arg(row).arg(lang)));
            QVERIFY2(t == t.trimmed(),
                     qPrintable(QString("row %1 lang %2: '%3'").arg(row).arg(lang).arg(t)));
        }
    }
}

void TestMessageTable::englishIsAsciiAndChineseIsNot() {
    auto hasNonAscii = [](const QString& s) {
        for (QChar c : s)
            if (c.unicode() > 0x7f) return true;
        return false;
    };
    for (int row = 0; row < MessageTable::kRows; ++row) {
        const QString en = MessageTable::text(row, Languages::kEnglish);
        QVERIFY2(!hasNonAscii(en), qPrintable(QString("row %1: %2").arg(row).arg(en)));
        if (row == 1) continue;  // the title is the same in every language
        for (int lang : {Languages::kSimplified, Languages::kTraditional}) {
            const QString zh = MessageTable::text(row, lang);
            QVERIFY2(hasNonAscii(zh),
                     qPrintable(QString("row %1 lang %2: %3").arg(row).arg(lang).arg(zh)));
        }
    }
}

// A simplified text must be writable in GB2312 and a traditional one in Big5: a character of
// the wrong script in a column shows up here.
void TestMessageTable::chineseColumnsFitTheirCodePages() {
    QStringEncoder gb("GB2312");
    QStringEncoder big5("Big5");
    if (!gb.isValid() || !big5.isValid()) QSKIP("no GB2312/Big5 codec in this Qt build");
    for (int row = 0; row < MessageTable::kRows; ++row) {
        const QString s = MessageTable::text(row, Languages::kSimplified);
        const QString t = MessageTable::text(row, Languages::kTraditional);
        QStringEncoder gbRow("GB2312");
        QStringEncoder big5Row("Big5");
        const QByteArray gbBytes = gbRow.encode(s);
        const QByteArray big5Bytes = big5Row.encode(t);
        QVERIFY(!gbBytes.isEmpty() && !big5Bytes.isEmpty());
        QVERIFY2(!gbRow.hasError(), qPrintable(QString("row %1 not GB2312: %2").arg(row).arg(s)));
        QVERIFY2(!big5Row.hasError(), qPrintable(QString("row %1 not Big5: %2").arg(row).arg(t)));
    }
    // The check itself tells the scripts apart.
    QStringEncoder probe("GB2312");
    const QByteArray probeBytes = probe.encode(QString::fromUtf8("請"));
    QVERIFY(probe.hasError());
    QVERIFY(!probeBytes.isEmpty());
}

void TestMessageTable::operationRowsComeInThrees() {
    for (int name : kOperationRows) {
        const QString tag = QString("row %1").arg(name);
        const QString en = MessageTable::text(name, 0);
        QCOMPARE(MessageTable::text(name + 1, 0), en + " ok.");
        QCOMPARE(MessageTable::text(name + 2, 0), en + " error!");

        const QString gb = MessageTable::text(name, 1);
        const QString big5 = MessageTable::text(name, 2);
        QVERIFY2(MessageTable::text(name + 2, 1) == gb + QString::fromUtf8("错误!"),
                 qPrintable(tag));
        QVERIFY2(MessageTable::text(name + 2, 2) == big5 + QString::fromUtf8("錯誤!"),
                 qPrintable(tag));
        if (name == 44) {
            // "Status ok." reads "status normal" rather than "done".
            QCOMPARE(MessageTable::text(45, 1), gb + QString::fromUtf8("正常."));
            QCOMPARE(MessageTable::text(45, 2), big5 + QString::fromUtf8("正常."));
            continue;
        }
        QVERIFY2(MessageTable::text(name + 1, 1) == gb + QString::fromUtf8("完成."),
                 qPrintable(tag));
        // Row 26 is the one success text without a closing period.
        const QString big5Done = big5 + QString::fromUtf8(name == 25 ? "完成" : "完成.");
        QVERIFY2(MessageTable::text(name + 1, 2) == big5Done, qPrintable(tag));
    }

    // Every English success and error text belongs to one of those threes.
    int ok = 0, error = 0;
    for (int row = 0; row < MessageTable::kRows; ++row) {
        const QString en = MessageTable::text(row, 0);
        if (en.endsWith(" ok.")) ++ok;
        if (en.endsWith(" error!")) ++error;
    }
    const int threes = int(std::size(kOperationRows));
    QCOMPARE(ok, threes);
    QCOMPARE(error, threes);
}

void TestMessageTable::menuCaptionsCarryOneAccelerator() {
    for (int row = 6; row <= 10; ++row)
        for (int lang = 0; lang < MessageTable::kLanguages; ++lang)
            QCOMPARE(MessageTable::text(row, lang).count('&'), 1);
    // No other text carries one, or a label would lose a character to an accelerator.
    for (int row = 0; row < MessageTable::kRows; ++row) {
        if (row >= 6 && row <= 10) continue;
        for (int lang = 0; lang < MessageTable::kLanguages; ++lang)
            QVERIFY2(!MessageTable::text(row, lang).contains('&'),
                     qPrintable(QString("row %1 lang %2").arg(row).arg(lang)));
    }
}

void TestMessageTable::lookupOutsideTheTableIsEmpty() {
    QVERIFY(MessageTable::text(-1, 0).isEmpty());
    QVERIFY(MessageTable::text(98, 0).isEmpty());
    QVERIFY(MessageTable::text(1000000, 2).isEmpty());
    QVERIFY(MessageTable::text(18, -1).isEmpty());
    QVERIFY(MessageTable::text(18, 3).isEmpty());
    QVERIFY(!MessageTable::text(97, 2).isEmpty());
}

void TestMessageTable::flagsRoundTrip() {
    QCOMPARE(Languages::flag(Languages::kEnglish), QString("English"));
    QCOMPARE(Languages::flag(Languages::kSimplified), QString("ChineseGB"));
    QCOMPARE(Languages::flag(Languages::kTraditional), QString("ChineseBIG5"));
    for (int lang = 0; lang < MessageTable::kLanguages; ++lang)
        QCOMPARE(Languages::indexOfFlag(Languages::flag(lang)), lang);
    QCOMPARE(Languages::flag(-1), QString("English"));
    QCOMPARE(Languages::flag(3), QString("English"));
}

void TestMessageTable::unknownFlagsGiveEnglish_data() {
    QTest::addColumn<QString>("flag");
    QTest::newRow("empty") << QString();
    QTest::newRow("lower case gb") << QString("chinesegb");
    QTest::newRow("upper case big5") << QString("CHINESEBIG5");
    QTest::newRow("mixed big5") << QString("ChineseBig5");
    QTest::newRow("trailing space") << QString("ChineseGB ");
    QTest::newRow("leading space") << QString(" ChineseBIG5");
    QTest::newRow("prefix only") << QString("Chinese");
    QTest::newRow("longer") << QString("ChineseGBK");
    QTest::newRow("number") << QString("1");
    QTest::newRow("english") << QString("English");
}

void TestMessageTable::unknownFlagsGiveEnglish() {
    QFETCH(QString, flag);
    QCOMPARE(Languages::indexOfFlag(flag), Languages::kEnglish);
}

void TestMessageTable::fontSizeAndCharset() {
    QCOMPARE(Languages::pointSize(Languages::kEnglish), 10);
    QCOMPARE(Languages::pointSize(Languages::kSimplified), 12);
    QCOMPARE(Languages::pointSize(Languages::kTraditional), 12);
    QCOMPARE(Languages::charset(Languages::kEnglish), 0);
    QCOMPARE(Languages::charset(Languages::kSimplified), 134);
    QCOMPARE(Languages::charset(Languages::kTraditional), 136);
    // An index outside the table falls back to English, like flag().
    QCOMPARE(Languages::pointSize(7), 10);
    QCOMPARE(Languages::charset(-2), 0);
}

QTEST_GUILESS_MAIN(TestMessageTable)
#include "test_messagetable.moc"
