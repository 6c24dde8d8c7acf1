#include <QtTest>

#include "settings/transmitter_codec.h"

namespace {

// The lists' default indexes, in frame order.
std::vector<int> Defaults() {
    return {0, 0, 0, 0, 5, 5};
}

// Byte `index` of a frame text.
QString FrameByte(const QString& frame, int index) {
    return frame.mid(3 * index, 2);
}

// Bytes [first, first + count) of a frame text, "%02X " each.
QString FrameBytes(const QString& frame, int first, int count) {
    return frame.mid(3 * first, 3 * count);
}

}  // namespace

class TestTransmitterCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tuningWords_data();
    void tuningWords();
    void frameOf200kHz();
    void leadingZerosChangeNothing();
    void wordFields_data();
    void wordFields();
    void refusedTexts_data();
    void refusedTexts();
    void readBackEveryAcceptedFrequency();
    void readBackOfAnyWordStaysExact();
    void listBytes();
    void listsInFrameOrder();
    void listBeyondItemsFallsBackToDefault();
};

void TestTransmitterCodec::tuningWords_data() {
    QTest::addColumn<quint64>("hz");
    QTest::addColumn<quint64>("word");
    QTest::newRow("200 kHz") << quint64(200000) << quint64(2684355);
    QTest::newRow("199.7 kHz") << quint64(199700) << quint64(0x28E608);
    QTest::newRow("zero") << quint64(0) << quint64(0);
    // 1 Hz is 13.42: nearest is 13; 3 Hz is 40.27 -> 40; 5 Hz 67.11 -> 67.
    QTest::newRow("1 Hz") << quint64(1) << quint64(13);
    QTest::newRow("just below the limit") << quint64(319999000) << quint64(4294953874u);
    QTest::newRow("limit") << quint64(320000000) << (quint64(1) << 32);
}

void TestTransmitterCodec::tuningWords() {
    QFETCH(quint64, hz);
    QFETCH(quint64, word);
    QCOMPARE(quint64(transmitter::TuningWord(hz)), word);
}

void TestTransmitterCodec::frameOf200kHz() {
    const FrameBuild build = transmitter::BuildFrame(QStringLiteral("200"), Defaults());
    QVERIFY(build.error.isEmpty());
    QCOMPARE(build.frame.size(), 210);
    QCOMPARE(FrameBytes(build.frame, 0, 8), QStringLiteral("00 00 00 00 00 28 F5 C3 "));
    QCOMPARE(FrameBytes(build.frame, 8, 8), QStringLiteral("00 00 00 00 00 28 E6 08 "));
    QCOMPARE(FrameBytes(build.frame, 64, 6), QStringLiteral("00 00 00 00 05 05 "));
    // Each of the eight fields carries the word of its offset frequency.
    for (int i = 0; i < 8; ++i) {
        const std::uint64_t hz = std::uint64_t(200000 + transmitter::kOffsetsHz[i]);
        QString expected = QString::number(transmitter::TuningWord(hz), 16).toUpper();
        expected = expected.rightJustified(16, QLatin1Char('0'));
        QString field = FrameBytes(build.frame, 8 * i, 8);
        field.remove(QLatin1Char(' '));
        QCOMPARE(field, expected);
    }
}

void TestTransmitterCodec::leadingZerosChangeNothing() {
    const FrameBuild plain = transmitter::BuildFrame(QStringLiteral("200"), Defaults());
    const FrameBuild zeros = transmitter::BuildFrame(QStringLiteral("0200"), Defaults());
    QCOMPARE(zeros.frame, plain.frame);
    const FrameBuild many =
        transmitter::BuildFrame(QString(500, QLatin1Char('0')) + QStringLiteral("200"), Defaults());
    QCOMPARE(many.frame, plain.frame);
}

void TestTransmitterCodec::wordFields_data() {
    QTest::addColumn<QString>("digits");
    QTest::addColumn<QString>("field");
    QTest::newRow("two") << "05"
                         << "00 00 00 00 00 00 00 05 ";
    QTest::newRow("eight") << "FFFFFFFF"
                           << "00 00 00 00 FF FF FF FF ";
    QTest::newRow("sixteen") << "0123456789ABCDEF"
                             << "01 23 45 67 89 AB CD EF ";
}

void TestTransmitterCodec::wordFields() {
    QFETCH(QString, digits);
    QFETCH(QString, field);
    QCOMPARE(WordField(digits), field);
}

void TestTransmitterCodec::refusedTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << "" << QStringLiteral("中心频率值不能为空!");
    QTest::newRow("space") << " 200" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("sign") << "-200" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("plus") << "+200" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("decimal point") << "200.5" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("full-width digits")
        << QStringLiteral("２００") << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("hex") << "C8" << QStringLiteral("请输入正确的中心频率值!");
    // Below 2 kHz the -1200 Hz word would stand for a negative frequency.
    QTest::newRow("0 kHz") << "0" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("1 kHz") << "1" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("001 kHz") << "001" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("2 kHz") << "2" << QString();
    QTest::newRow("319999 kHz") << "319999" << QString();
    QTest::newRow("0319999 kHz") << "0319999" << QString();
    QTest::newRow("320000 kHz") << "320000" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("320001 kHz") << "320001" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("999999 kHz") << "999999" << QStringLiteral("中心频率植超过上限，请重新输入!");
    // Would wrap a 32-bit or 64-bit reading.
    QTest::newRow("2^32 kHz") << "4294967296" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("2^64 kHz") << "18446744073709551616"
                              << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("2^64 Hz wrap") << "18446744073709552"
                                  << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("hundred digits")
        << QString(100, QLatin1Char('9')) << QStringLiteral("中心频率植超过上限，请重新输入!");
}

void TestTransmitterCodec::refusedTexts() {
    QFETCH(QString, text);
    QFETCH(QString, error);
    const FrameBuild build = transmitter::BuildFrame(text, Defaults());
    QCOMPARE(build.error, error);
    QCOMPARE(build.frame.isEmpty(), !error.isEmpty());
    if (error.isEmpty()) {
        // Every word fits the device's 8 hex digits.
        QCOMPARE(FrameBytes(build.frame, 0, 4), QStringLiteral("00 00 00 00 "));
    }
}

void TestTransmitterCodec::readBackEveryAcceptedFrequency() {
    const std::vector<int> defaults = Defaults();
    int mismatches = 0;
    QString first;
    for (int k = 2; k < 320000; ++k) {
        const QString text = QString::number(k);
        const FrameBuild build = transmitter::BuildFrame(text, defaults);
        const FrameReading reading = transmitter::ReadFrame(build.frame);
        if (reading.frequencyText != text) {
            if (mismatches++ == 0) {
                first = text + QStringLiteral(" -> ") + reading.frequencyText;
            }
        }
    }
    QVERIFY2(mismatches == 0, qPrintable(first));
}

void TestTransmitterCodec::readBackOfAnyWordStaysExact() {
    // (w + 0.5) x 10^4 / 2^27 for the largest words, computed without overflow.
    QCOMPARE(quint64(transmitter::FrequencyFromWord(0)), quint64(0));
    QCOMPARE(quint64(transmitter::FrequencyFromWord(~std::uint64_t{0})),
             quint64(1374389534720000ull - 1));
    QCOMPARE(quint64(transmitter::FrequencyFromWord(std::uint64_t{1} << 32)), quint64(320000));
    const QString reply = QStringLiteral("FF ").repeated(70);
    QCOMPARE(transmitter::ReadFrame(reply).frequencyText, QStringLiteral("1374389534719999"));
}

void TestTransmitterCodec::listBytes() {
    // Frame order 1007, 1008, 1012, 1013, 1010, 1014.
    const FrameBuild build = transmitter::BuildFrame(QStringLiteral("200"), {1, 10, 3, 0, 0, 9});
    QCOMPARE(FrameBytes(build.frame, 64, 6), QStringLiteral("01 0A 03 00 00 09 "));
    const FrameReading reading = transmitter::ReadFrame(build.frame);
    QCOMPARE(reading.selections, (std::vector<int>{1, 10, 3, 0, 0, 9}));
    QCOMPARE(FrameByte(build.frame, 69), QStringLiteral("09"));
}

void TestTransmitterCodec::listBeyondItemsFallsBackToDefault() {
    QString reply = transmitter::BuildFrame(QStringLiteral("200"), Defaults()).frame;
    reply.replace(3 * 65, 2, QStringLiteral("0B"));  // 11 for list 1008: one past its items
    reply.replace(3 * 68, 2, QStringLiteral("FF"));  // 255 for list 1010
    const FrameReading reading = transmitter::ReadFrame(reply);
    QCOMPARE(reading.listBytes[1], std::uint64_t(11));
    QCOMPARE(reading.selections[1], 0);
    QCOMPARE(reading.selections[4], 5);
    // A list without a selection sends its default.
    const FrameBuild build = transmitter::BuildFrame(QStringLiteral("200"), {-1, -1, 2, -1, -1, 7});
    QCOMPARE(FrameBytes(build.frame, 64, 6), QStringLiteral("00 00 02 00 05 07 "));
}

void TestTransmitterCodec::listsInFrameOrder() {
    // Which list's index travels in which byte, and what each list starts at.
    const std::vector<int> ids{1007, 1008, 1012, 1013, 1010, 1014};
    std::vector<int> shownIds;
    std::vector<int> shownDefaults;
    for (const ListSpec& list : transmitter::Lists()) {
        shownIds.push_back(list.id);
        shownDefaults.push_back(list.defaultIndex);
    }
    QCOMPARE(shownIds, ids);
    QCOMPARE(shownDefaults, Defaults());
}

QTEST_GUILESS_MAIN(TestTransmitterCodec)
#include "tst_transmitter_codec.moc"
