// The wire format: frames, checksums and the printable traffic notation.
#include <QtTest>

#include "link/frame.h"

namespace {

std::string Bytes(std::initializer_list<int> list) {
    std::string s;
    for (int b : list) s.push_back(static_cast<char>(b));
    return s;
}

}  // namespace

class TestFrame : public QObject {
    Q_OBJECT
  private slots:
    void commandFrames_data();
    void commandFrames();
    void byteToHexCoversEveryValue();
    void replyVerification_data();
    void replyVerification();
    void hexToUInt32_data();
    void hexToUInt32();
    void rendering();
    void sendableText();
};

void TestFrame::commandFrames_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("frame");
    auto row = [](const char* tag, const char* text, std::initializer_list<int> frame) {
        const std::string f = Bytes(frame);
        QTest::newRow(tag) << QByteArray(text) << QByteArray(f.data(), static_cast<int>(f.size()));
    };
    row("B01V", "B01V", {0x09, 0x42, 0x30, 0x31, 0x56, 0x31, 0x43, 0x0D});
    row("B00B", "B00B", {0x09, 0x42, 0x30, 0x30, 0x42, 0x30, 0x39, 0x0D});
    row("H05B", "H05B", {0x09, 'H', '0', '5', 'B', '0', '6', 0x0D});
    row("empty", "", {0x09, 0x30, 0x39, 0x0D});
}

void TestFrame::commandFrames() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, frame);
    const std::string built = wire::BuildCommandFrame(text.toStdString());
    QCOMPARE(QByteArray(built.data(), static_cast<int>(built.size())), frame);
}

void TestFrame::byteToHexCoversEveryValue() {
    for (int b = 0; b < 256; ++b) {
        const std::string hex = ByteToHex(static_cast<uint8_t>(b));
        QCOMPARE(hex.size(), size_t(2));
        QCOMPARE(QString::fromStdString(hex),
                 QStringLiteral("%1").arg(b, 2, 16, QLatin1Char('0')).toUpper());
    }
    QCOMPARE(XorChecksum(std::string()), uint8_t(9));
}

void TestFrame::replyVerification_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("verifies");
    const std::string good = wire::BuildReplyFrame("B01B12345678");
    QTest::newRow("shortest") << QByteArray(
                                     "\x0A"
                                     "0A\x0D")
                              << true;
    QTest::newRow("identification") << QByteArray::fromStdString(good) << true;
    // Checksum "0A": correct digits, but written in lower case.
    const std::string upper = wire::BuildReplyFrame("B01B00000001");
    QVERIFY(upper.substr(upper.size() - 3, 2) == "0A");
    std::string lower = upper;
    lower[lower.size() - 2] = 'a';
    QTest::newRow("upper-case checksum") << QByteArray::fromStdString(upper) << true;
    QTest::newRow("lower-case checksum") << QByteArray::fromStdString(lower) << false;
    QTest::newRow("three bytes") << QByteArray(
                                        "\x0A"
                                        "A\x0D")
                                 << false;
    std::string wrong = good;
    wrong[6] = '9';
    QTest::newRow("corrupt text") << QByteArray::fromStdString(wrong) << false;
}

void TestFrame::replyVerification() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, verifies);
    QCOMPARE(
        wire::VerifyReplyBytes(reinterpret_cast<const uint8_t*>(reply.constData()), reply.size()),
        verifies);
}

void TestFrame::hexToUInt32_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<quint32>("value");
    QTest::newRow("0000007B") << QByteArray("0000007B") << quint32(123);
    QTest::newRow("lower-case counts zero") << QByteArray("0000007b") << quint32(112);
    QTest::newRow("short text is padded at the end") << QByteArray("1A") << quint32(436207616);
    QTest::newRow("all F") << QByteArray("FFFFFFFF") << quint32(4294967295u);
    QTest::newRow("empty") << QByteArray() << quint32(0);
    QTest::newRow("ninth character ignored") << QByteArray("000000019") << quint32(1);
    QTest::newRow("card") << QByteArray("00027CBB") << quint32(163003);
}

void TestFrame::hexToUInt32() {
    QFETCH(QByteArray, text);
    QFETCH(quint32, value);
    QCOMPARE(HexToUInt32(text.toStdString()), value);
}

void TestFrame::rendering() {
    QCOMPARE(QString::fromStdString(wire::RenderBytes(std::string("\x0A"
                                                                  "B01B\x7F\xB5\x00\x0D",
                                                                  9))),
             QStringLiteral("[0A]B01B\x7F[B5][00][0D]"));
    QCOMPARE(QString::fromStdString(wire::RenderBytes(std::string(" ~\x1F\x80", 4))),
             QStringLiteral(" ~[1F][80]"));
}

void TestFrame::sendableText() {
    QVERIFY(wire::IsSendableCommandText("B01V"));
    QVERIFY(wire::IsSendableCommandText(""));
    QVERIFY(wire::IsSendableCommandText(std::string(wire::kMaxCommandText, 'A')));
    QVERIFY(!wire::IsSendableCommandText(std::string(wire::kMaxCommandText + 1, 'A')));
    QVERIFY(!wire::IsSendableCommandText("B01G\tX"));
    QVERIFY(!wire::IsSendableCommandText("B01G\rB01C"));
    QVERIFY(!wire::IsSendableCommandText("B01\x7F"));
    QVERIFY(!wire::IsSendableCommandText("B01\xC3\xA9"));
}

QTEST_GUILESS_MAIN(TestFrame)
#include "test_frame.moc"
