// What the card read test shows for each form of reply, decided by length and the "K" mark.
#include <QtTest>

#include "link/frame.h"
#include "engine/carddecoder.h"

class TestCardDecoder : public QObject {
    Q_OBJECT
  private slots:
    void decode_data();
    void decode();
};

void TestCardDecoder::decode_data() {
    QTest::addColumn<QByteArray>("text");   // the reply text: header "H01F", channel, data
    QTest::addColumn<QByteArray>("shown");  // empty: the panel keeps its text
    const QByteArray card = "CARD : 0000163003(D)  00027CBB(H)";
    QTest::newRow("17 bytes") << QByteArray("H01F100027CBB") << card;
    QTest::newRow("17 bytes, all F is unsigned")
        << QByteArray("H01F1FFFFFFFF") << QByteArray("CARD : 4294967295(D)  FFFFFFFF(H)");
    QTest::newRow("17 bytes, lower case is hex")
        << QByteArray("H01F100027cbb") << QByteArray("CARD : 0000163003(D)  00027cbb(H)");
    QTest::newRow("17 bytes, other characters count 0")
        << QByteArray("H01F10000G07B") << QByteArray("CARD : 0000000123(D)  0000G07B(H)");
    QTest::newRow("17 bytes with K at 7 is a card")
        << QByteArray("H01F1K0027CBB") << QByteArray("CARD : 0000163003(D)  K0027CBB(H)");
    QTest::newRow("14 bytes, key") << QByteArray("H01F1K1234") << QByteArray("KEY : 1234");
    QTest::newRow("11 bytes, key") << QByteArray("H01F1K7") << QByteArray("KEY : 7");
    QTest::newRow("10 bytes, K alone") << QByteArray("H01F1K") << QByteArray();
    QTest::newRow("18 bytes with K is a key")
        << QByteArray("H01F1K12345678") << QByteArray("KEY : 12345678");
    QTest::newRow("18 bytes") << QByteArray("H01F1C00027CBB") << card;
    QTest::newRow("20 bytes, card and one key")
        << QByteArray("H01F1C00027CBBK1") << QByteArray(card + "  KEY:1");
    QTest::newRow("21 bytes, card and keys")
        << QByteArray("H01F1C00027CBBX12") << QByteArray(card + "  KEY:12");
    QTest::newRow("26 bytes, sixteen characters")
        << QByteArray("H01F1C0123456789abcdeF") << QByteArray("0123456789abcdeF(H)");
    QTest::newRow("19 bytes") << QByteArray("H01F1C00027CBBK") << QByteArray();
    QTest::newRow("16 bytes") << QByteArray("H01F1C00027C") << QByteArray();
    QTest::newRow("10 bytes") << QByteArray("H01F1C") << QByteArray();
    QTest::newRow("9 bytes") << QByteArray("H01F1") << QByteArray();
    QTest::newRow("no text") << QByteArray() << QByteArray();
}

void TestCardDecoder::decode() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, shown);
    const std::string reply = wire::BuildReplyFrame(text.toStdString());
    const auto got = DecodeCardReply(reply);
    QCOMPARE(got.has_value(), !shown.isEmpty());
    if (got) QCOMPARE(QByteArray::fromStdString(*got), shown);
}

QTEST_MAIN(TestCardDecoder)
#include "test_carddecoder.moc"
