#include <QtTest>

#include <vector>

#include "settings/transmitter_codec.h"

namespace {

// The lists' default indexes, in frame order.
std::vector<int> Defaults() {
    return {0, 0, 0, 0, 5, 5};
}

// The eight words of 200 kHz: 200, 199.7, 200.3, 200.6, 199.4, 199.1, 200.9, 198.8 kHz.
const char kWords200[] =
    "00 00 00 00 00 28 F5 C3  00 00 00 00 00 28 E6 08  00 00 00 00 00 29 05 7D "
    "00 00 00 00 00 29 15 38  00 00 00 00 00 28 D6 4D  00 00 00 00 00 28 C6 93 "
    "00 00 00 00 00 29 24 F2  00 00 00 00 00 28 B6 D8 ";

}  // namespace

class TestTransmitterCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void tuningWords_data();
    void tuningWords();
    void frames_data();
    void frames();
    void wordFields_data();
    void wordFields();
    void refusedTexts_data();
    void refusedTexts();
    void reads_data();
    void reads();
    void readBackEveryAcceptedFrequency();
    void readBackOfAnyWordStaysExact();
    void listsInFrameOrder();
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

void TestTransmitterCodec::frames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::addColumn<QByteArray>("frame");  // the 70 bytes
    const QByteArray words = QByteArray::fromHex(kWords200);
    QTest::newRow("200 kHz, defaults")
        << "200" << Defaults() << words + QByteArray::fromHex("00 00 00 00 05 05");
    QTest::newRow("leading zero") << "0200" << Defaults()
                                  << words + QByteArray::fromHex("00 00 00 00 05 05");
    QTest::newRow("500 leading zeros")
        << QString(500, QLatin1Char('0')) + QStringLiteral("200") << Defaults()
        << words + QByteArray::fromHex("00 00 00 00 05 05");
    // Frame order 1007, 1008, 1012, 1013, 1010, 1014.
    QTest::newRow("lists chosen") << "200" << std::vector<int>{1, 10, 3, 0, 0, 9}
                                  << words + QByteArray::fromHex("01 0A 03 00 00 09");
    QTest::newRow("no selection sends the default")
        << "200" << std::vector<int>{-1, -1, 2, -1, -1, 7}
        << words + QByteArray::fromHex("00 00 02 00 05 07");
    QTest::newRow("selection beyond items sends the default")
        << "200" << std::vector<int>{2, 11, 0, 0, 11, 0}
        << words + QByteArray::fromHex("00 00 00 00 05 00");
    QTest::newRow("2 kHz, lowest") << "2" << Defaults()
                                   << QByteArray::fromHex(
                                          "00 00 00 00 00 00 68 DC  00 00 00 00 00 00 59 21 "
                                          "00 00 00 00 00 00 78 96  00 00 00 00 00 00 88 51 "
                                          "00 00 00 00 00 00 49 66  00 00 00 00 00 00 39 AC "
                                          "00 00 00 00 00 00 98 0B  00 00 00 00 00 00 29 F1 "
                                          "00 00 00 00 05 05");
}

void TestTransmitterCodec::frames() {
    QFETCH(QString, text);
    QFETCH(std::vector<int>, selections);
    QFETCH(QByteArray, frame);
    const FrameBuild build = transmitter::BuildFrame(text, selections);
    QVERIFY(build.error.isEmpty());
    QCOMPARE(build.frame.toHex(' '), frame.toHex(' '));
}

void TestTransmitterCodec::wordFields_data() {
    QTest::addColumn<quint64>("word");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("one byte") << quint64(5) << QByteArray::fromHex("00 00 00 00 00 00 00 05");
    QTest::newRow("four bytes") << quint64(0xFFFFFFFFu)
                                << QByteArray::fromHex("00 00 00 00 FF FF FF FF");
    QTest::newRow("eight bytes") << quint64(0x0123456789ABCDEFull)
                                 << QByteArray::fromHex("01 23 45 67 89 AB CD EF");
}

void TestTransmitterCodec::wordFields() {
    QFETCH(quint64, word);
    QFETCH(QByteArray, field);
    QCOMPARE(WordField(word), field);
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
        QCOMPARE(build.frame.left(4), QByteArray(4, '\0'));
    }
}

void TestTransmitterCodec::reads_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<std::vector<quint64>>("listBytes");
    QTest::addColumn<std::vector<int>>("selections");
    const QByteArray words = QByteArray::fromHex(kWords200);
    QTest::newRow("lists within") << words + QByteArray::fromHex("01 0A 03 00 00 09") << "200"
                                  << std::vector<quint64>{1, 10, 3, 0, 0, 9}
                                  << std::vector<int>{1, 10, 3, 0, 0, 9};
    // 11 for list 1008 is one past its items; 255 for list 1010: their defaults are selected.
    QTest::newRow("lists beyond") << words + QByteArray::fromHex("00 0B 00 00 FF 00") << "200"
                                  << std::vector<quint64>{0, 11, 0, 0, 255, 0}
                                  << std::vector<int>{0, 0, 0, 0, 5, 0};
    // Only the first word says the frequency; the offset words are not read.
    QTest::newRow("first word only")
        << QByteArray::fromHex("00 00 00 00 01 00 00 00") + QByteArray(56, '\x7F') +
               QByteArray::fromHex("01 00 00 00 00 00")
        << "1250" << std::vector<quint64>{1, 0, 0, 0, 0, 0} << std::vector<int>{1, 0, 0, 0, 0, 0};
    QTest::newRow("all FF") << QByteArray(70, '\xFF') << "1374389534719999"
                            << std::vector<quint64>(6, 255) << std::vector<int>{0, 0, 0, 0, 5, 5};
    QTest::newRow("short frame reads zeros")
        << QByteArray::fromHex("00 00 00 00 00 28 F5 C3") << "200" << std::vector<quint64>(6, 0)
        << std::vector<int>{0, 0, 0, 0, 0, 0};
}

void TestTransmitterCodec::reads() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, frequency);
    QFETCH(std::vector<quint64>, listBytes);
    QFETCH(std::vector<int>, selections);
    const FrameReading reading = transmitter::ReadFrame(frame);
    QCOMPARE(reading.frequencyText, frequency);
    QCOMPARE(std::vector<quint64>(reading.listBytes.begin(), reading.listBytes.end()), listBytes);
    QCOMPARE(reading.selections, selections);
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
