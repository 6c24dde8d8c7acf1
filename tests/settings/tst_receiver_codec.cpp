#include <QtTest>

#include "settings/receiver_codec.h"

namespace {

// The lists' default indexes, in frame order.
std::vector<int> Defaults() {
    return {0, 0, 0, 0, 0, 0, 0, 1, 1};
}

// The default lists' bytes.
QByteArray DefaultListBytes() {
    return QByteArray::fromHex("00 00 00 00 00 00 00 01 01");
}

}  // namespace

class TestReceiverCodec : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void frames_data();
    void frames();
    void refusedTexts_data();
    void refusedTexts();
    void readBackDenseSweep();
    void reads_data();
    void reads();
    void listsInFrameOrder();
};

void TestReceiverCodec::frames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::addColumn<QByteArray>("frame");  // the 17 bytes
    QTest::newRow("500 kHz") << "500" << Defaults()
                             << QByteArray::fromHex("00 00 00 00 02 00 00 00") + DefaultListBytes();
    QTest::newRow("40 kHz") << "40" << Defaults()
                            << QByteArray::fromHex("00 00 00 00 01 A1 CA C1") + DefaultListBytes();
    QTest::newRow("0500 kHz") << "0500" << Defaults()
                              << QByteArray::fromHex("00 00 00 00 02 00 00 00") +
                                     DefaultListBytes();
    // 0 kHz is the word of 2000 kHz.
    QTest::newRow("0 kHz") << "0" << Defaults()
                           << QByteArray::fromHex("00 00 00 00 01 99 99 9A") + DefaultListBytes();
    QTest::newRow("highest") << "81917999" << Defaults()
                             << QByteArray::fromHex("00 00 00 FF FF FF CB 92") + DefaultListBytes();
    // Frame order 1009, 1008, 1014, 1012, 1015, 1013, 1007, 1010, 1021.
    QTest::newRow("lists chosen") << "40" << std::vector<int>{1, 2, 3, 4, 5, 10, 1, 3, 0}
                                  << QByteArray::fromHex(
                                         "00 00 00 00 01 A1 CA C1 "
                                         "01 02 03 04 05 0A 01 03 00");
    QTest::newRow("no selection sends the default")
        << "500" << std::vector<int>(9, -1)
        << QByteArray::fromHex("00 00 00 00 02 00 00 00") + DefaultListBytes();
}

void TestReceiverCodec::frames() {
    QFETCH(QString, text);
    QFETCH(std::vector<int>, selections);
    QFETCH(QByteArray, frame);
    const FrameBuild build = receiver::BuildFrame(text, selections);
    QVERIFY(build.error.isEmpty());
    QCOMPARE(build.frame.toHex(' '), frame.toHex(' '));
}

void TestReceiverCodec::refusedTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("error");
    QTest::newRow("empty") << "" << QStringLiteral("中心频率值不能为空!");
    QTest::newRow("trailing space") << "500 " << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("sign") << "-1" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("decimal point") << "40.0" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("81917999") << "81917999" << QString();
    QTest::newRow("0081917999") << "0081917999" << QString();
    QTest::newRow("81918000") << "81918000" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("99999999") << "99999999" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("2^64") << "18446744073709551616"
                          << QStringLiteral("中心频率植超过上限，请重新输入!");
    // Wraps to a small value in 64 bits once multiplied: must not slip through.
    QTest::newRow("wraps when scaled")
        << "137438953472000" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("hundred digits")
        << QString(100, QLatin1Char('9')) << QStringLiteral("中心频率植超过上限，请重新输入!");
}

void TestReceiverCodec::refusedTexts() {
    QFETCH(QString, text);
    QFETCH(QString, error);
    const FrameBuild build = receiver::BuildFrame(text, Defaults());
    QCOMPARE(build.error, error);
    QCOMPARE(build.frame.isEmpty(), !error.isEmpty());
    if (error.isEmpty()) {
        // The word fits the device's 10 hex digits.
        QCOMPARE(build.frame.left(3), QByteArray(3, '\0'));
    }
}

void TestReceiverCodec::readBackDenseSweep() {
    const std::vector<int> defaults = Defaults();
    auto check = [&](std::uint64_t k) {
        const QString text = QString::number(k);
        const FrameBuild build = receiver::BuildFrame(text, defaults);
        return build.error.isEmpty() && receiver::ReadFrame(build.frame).frequencyText == text;
    };
    std::vector<std::uint64_t> failed;
    for (std::uint64_t k = 0; k < 100000; ++k) {
        if (!check(k)) {
            failed.push_back(k);
        }
    }
    for (std::uint64_t k = 100000; k < receiver::kLimitKHz - 100000; k += 331) {
        if (!check(k)) {
            failed.push_back(k);
        }
    }
    for (std::uint64_t k = receiver::kLimitKHz - 100000; k < receiver::kLimitKHz; ++k) {
        if (!check(k)) {
            failed.push_back(k);
        }
    }
    QVERIFY2(failed.empty(), failed.empty() ? "" : qPrintable(QString::number(failed.front())));
}

void TestReceiverCodec::reads_data() {
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<int>>("selections");
    const auto word = [](const char* hex) { return QByteArray::fromHex(hex) + DefaultListBytes(); };
    const std::vector<int> defaults = Defaults();
    QTest::newRow("zero") << word("00 00 00 00 00 00 00 00") << "-1999" << defaults;
    QTest::newRow("2000 kHz") << word("00 00 00 00 00 00 00 01") << "-1999" << defaults;
    QTest::newRow("1 kHz worth") << word("00 00 00 00 00 00 34 6E") << "-1998" << defaults;
    // Truncation toward zero: -1.00002 gives -1, -0.99997 gives 0.
    QTest::newRow("just below -1") << word("00 00 00 00 01 99 4A F4") << "-1" << defaults;
    QTest::newRow("just above -1") << word("00 00 00 00 01 99 4A F5") << "0" << defaults;
    QTest::newRow("500 kHz") << word("00 00 00 00 02 00 00 00") << "500" << defaults;
    QTest::newRow("largest") << word("FF FF FF FF FF FF FF FF") << "1374389534718000" << defaults;
    QTest::newRow("lists within") << QByteArray::fromHex(
                                         "00 00 00 00 01 A1 CA C1 "
                                         "01 02 03 04 05 0A 01 03 00")
                                  << "40" << std::vector<int>{1, 2, 3, 4, 5, 10, 1, 3, 0};
    // 4 for list 1010 (four items) and 2 for list 1021 (two): their defaults are selected.
    QTest::newRow("lists beyond") << QByteArray::fromHex(
                                         "00 00 00 00 02 00 00 00 "
                                         "00 00 00 00 00 00 00 04 02")
                                  << "500" << defaults;
}

void TestReceiverCodec::reads() {
    QFETCH(QByteArray, frame);
    QFETCH(QString, text);
    QFETCH(std::vector<int>, selections);
    const FrameReading reading = receiver::ReadFrame(frame);
    QCOMPARE(reading.frequencyText, text);
    QCOMPARE(reading.selections, selections);
    QCOMPARE(reading.listBytes.size(), std::size_t(9));
    QCOMPARE(quint64(reading.listBytes[7]), quint64(static_cast<unsigned char>(frame.at(15))));
}

void TestReceiverCodec::listsInFrameOrder() {
    // Which list's index travels in which byte, and what each list starts at.
    const std::vector<int> ids{1009, 1008, 1014, 1012, 1015, 1013, 1007, 1010, 1021};
    std::vector<int> shownIds;
    std::vector<int> shownDefaults;
    for (const ListSpec& list : receiver::Lists()) {
        shownIds.push_back(list.id);
        shownDefaults.push_back(list.defaultIndex);
    }
    QCOMPARE(shownIds, ids);
    QCOMPARE(shownDefaults, Defaults());
}

QTEST_GUILESS_MAIN(TestReceiverCodec)
#include "tst_receiver_codec.moc"
