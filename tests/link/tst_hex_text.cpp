#include <QtTest>

#include "link/fake_serial_line.h"
#include "link/hex_text.h"
#include "link/ms_comm.h"
#include "link/open_port.h"

using Writes = QList<QByteArray>;

class TstHexText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void hexDigitValue_data();
    void hexDigitValue();
    void hexTextToBytes_data();
    void hexTextToBytes();
    void sendHexText_data();
    void sendHexText();
    void decimalToHexText_data();
    void decimalToHexText();
    void hexTextToValue_data();
    void hexTextToValue();
    void byteText();
};

void TstHexText::hexDigitValue_data() {
    QTest::addColumn<QChar>("c");
    QTest::addColumn<int>("value");  // -1 = invalid
    QTest::newRow("0") << QChar(u'0') << 0;
    QTest::newRow("9") << QChar(u'9') << 9;
    QTest::newRow("A") << QChar(u'A') << 10;
    QTest::newRow("F") << QChar(u'F') << 15;
    QTest::newRow("a") << QChar(u'a') << 10;
    QTest::newRow("f") << QChar(u'f') << 15;
    QTest::newRow("G") << QChar(u'G') << -1;
    QTest::newRow("g") << QChar(u'g') << -1;
    QTest::newRow("space") << QChar(u' ') << -1;
    QTest::newRow("slash") << QChar(u'/') << -1;
    QTest::newRow("colon") << QChar(u':') << -1;
    QTest::newRow("fullwidth 1") << QChar(u'１') << -1;
}

void TstHexText::hexDigitValue() {
    QFETCH(QChar, c);
    QFETCH(int, value);
    QCOMPARE(HexDigitValue(c).value_or(-1), value);
}

void TstHexText::hexTextToBytes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("two") << QStringLiteral("4146") << QByteArray("\x41\x46", 2);
    QTest::newRow("lowercase") << QStringLiteral("0a1B") << QByteArray("\x0a\x1b", 2);
    QTest::newRow("lone last digit ignored") << QStringLiteral("00F") << QByteArray(1, '\0');
    QTest::newRow("stops at invalid pair") << QStringLiteral("124G56") << QByteArray("\x12", 1);
    QTest::newRow("invalid first") << QStringLiteral("X1") << QByteArray();
}

void TstHexText::hexTextToBytes() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QByteArray out("leftover");
    QCOMPARE(HexTextToBytes(text, out), bytes.size());
    QCOMPARE(out, bytes);
}

void TstHexText::sendHexText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Writes>("writes");
    QTest::newRow("command 41 46") << QStringLiteral("41 46") << Writes{"\x41", "\x46"};
    QTest::newRow("lowercase 0a 1B")
        << QStringLiteral("0a 1B") << Writes{QByteArray("\x0a"), QByteArray("\x1b")};
    QTest::newRow("4G 46 sends only 0x46") << QStringLiteral("4G 46") << Writes{"\x46"};
    QTest::newRow("frame with final space")
        << QStringLiteral("00 28 F5 C3 ") << Writes{QByteArray(1, '\0'), "\x28", "\xf5", "\xc3"};
    QTest::newRow("separator not looked at") << QStringLiteral("12x34") << Writes{"\x12", "\x34"};
    QTest::newRow("end byte") << QStringLiteral("58") << Writes{"\x58"};
    QTest::newRow("lone digit sends nothing") << QStringLiteral("5") << Writes{};
    QTest::newRow("empty") << QString() << Writes{};
}

void TstHexText::sendHexText() {
    QFETCH(QString, text);
    QFETCH(Writes, writes);
    QCOMPARE(HexTextWrites(text), writes);

    // The same through the control: every byte is its own write, in text order.
    FakeSerialLine line;
    CMSComm comm;
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    SendHexText(comm, text);
    QCOMPARE(line.Writes(), writes);
}

void TstHexText::decimalToHexText_data() {
    QTest::addColumn<QString>("decimal");
    QTest::addColumn<QString>("hex");
    QTest::newRow("0") << QStringLiteral("0") << QStringLiteral("00");
    QTest::newRow("5") << QStringLiteral("5") << QStringLiteral("05");
    QTest::newRow("15") << QStringLiteral("15") << QStringLiteral("0F");
    QTest::newRow("16") << QStringLiteral("16") << QStringLiteral("10");
    QTest::newRow("26") << QStringLiteral("26") << QStringLiteral("1A");
    QTest::newRow("255") << QStringLiteral("255") << QStringLiteral("FF");
    QTest::newRow("256") << QStringLiteral("256") << QStringLiteral("0100");
    QTest::newRow("300") << QStringLiteral("300") << QStringLiteral("012C");
    QTest::newRow("leading zeros") << QStringLiteral("007") << QStringLiteral("07");
    QTest::newRow("2^32") << QStringLiteral("4294967296") << QStringLiteral("0100000000");
    QTest::newRow("2^64-1") << QStringLiteral("18446744073709551615")
                            << QStringLiteral("FFFFFFFFFFFFFFFF");
}

void TstHexText::decimalToHexText() {
    QFETCH(QString, decimal);
    QFETCH(QString, hex);
    QCOMPARE(DecimalToHexText(decimal), hex);
}

void TstHexText::hexTextToValue_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<quint64>("value");
    QTest::newRow("empty") << QString() << quint64(0);
    QTest::newRow("09") << QStringLiteral("09") << quint64(9);
    QTest::newRow("1A") << QStringLiteral("1A") << quint64(26);
    QTest::newRow("FF") << QStringLiteral("FF") << quint64(255);
    QTest::newRow("012C") << QStringLiteral("012C") << quint64(300);
    QTest::newRow("one digit C") << QStringLiteral("C") << quint64(12);
    QTest::newRow("16 digits") << QStringLiteral("FFFFFFFFFFFFFFFF")
                               << quint64(0xFFFFFFFFFFFFFFFFull);
}

void TstHexText::hexTextToValue() {
    QFETCH(QString, text);
    QFETCH(quint64, value);
    QCOMPARE(quint64(HexTextToValue(text)), value);
}

void TstHexText::byteText() {
    QCOMPARE(ByteText(0x00), QStringLiteral("00 "));
    QCOMPARE(ByteText(0x5A), QStringLiteral("5A "));
    QCOMPARE(ByteText(0xFF), QStringLiteral("FF "));
    QCOMPARE(BytesToHexText(QByteArray("\x00\x28\xf5\xc3", 4)), QStringLiteral("00 28 F5 C3 "));
}

QTEST_GUILESS_MAIN(TstHexText)
#include "tst_hex_text.moc"
