#include <QtTest>

#include "settings/receiver_codec.h"

namespace {

// The lists' default indexes, in frame order.
std::vector<int> Defaults() {
    return {0, 0, 0, 0, 0, 0, 0, 1, 1};
}

QString FrameBytes(const QString& frame, int first, int count) {
    return frame.mid(3 * first, 3 * count);
}

// A reply whose bytes 0-7 hold `word`, with the default lists.
QString ReplyWithWord(std::uint64_t word) {
    QString reply;
    for (int shift = 56; shift >= 0; shift -= 8) {
        reply +=
            QStringLiteral("%1 ").arg((word >> shift) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    }
    return reply + QStringLiteral("00 00 00 00 00 00 00 01 01 ");
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
    void readBackOfWords_data();
    void readBackOfWords();
    void listBytes();
    void listsInFrameOrder();
    void listBeyondItemsFallsBackToDefault();
};

void TestReceiverCodec::frames_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("word");
    QTest::newRow("500 kHz") << "500"
                             << "00 00 00 00 02 00 00 00 ";
    QTest::newRow("40 kHz") << "40"
                            << "00 00 00 00 01 A1 CA C1 ";
    QTest::newRow("0500 kHz") << "0500"
                              << "00 00 00 00 02 00 00 00 ";
    // 0 kHz is the word of 2000 kHz.
    QTest::newRow("0 kHz") << "0"
                           << "00 00 00 00 01 99 99 9A ";
    QTest::newRow("highest") << "81917999"
                             << "00 00 00 FF FF FF CB 92 ";
}

void TestReceiverCodec::frames() {
    QFETCH(QString, text);
    QFETCH(QString, word);
    const FrameBuild build = receiver::BuildFrame(text, Defaults());
    QVERIFY(build.error.isEmpty());
    QCOMPARE(build.frame.size(), 51);
    QCOMPARE(FrameBytes(build.frame, 0, 8), word);
    QCOMPARE(FrameBytes(build.frame, 8, 9), QStringLiteral("00 00 00 00 00 00 00 01 01 "));
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
        QCOMPARE(FrameBytes(build.frame, 0, 3), QStringLiteral("00 00 00 "));
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

void TestReceiverCodec::readBackOfWords_data() {
    QTest::addColumn<quint64>("word");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << quint64(0) << "-1999";
    QTest::newRow("2000 kHz") << quint64(1) << "-1999";
    QTest::newRow("1 kHz worth") << quint64(13422) << "-1998";
    // Truncation toward zero: -1.00002 gives -1, -0.99997 gives 0.
    QTest::newRow("just below -1") << quint64(26823412) << "-1";
    QTest::newRow("just above -1") << quint64(26823413) << "0";
    QTest::newRow("500 kHz") << (quint64(1) << 25) << "500";
    QTest::newRow("largest") << ~quint64(0) << "1374389534718000";
}

void TestReceiverCodec::readBackOfWords() {
    QFETCH(quint64, word);
    QFETCH(QString, text);
    QCOMPARE(receiver::ReadFrame(ReplyWithWord(word)).frequencyText, text);
}

void TestReceiverCodec::listBytes() {
    // Frame order 1009, 1008, 1014, 1012, 1015, 1013, 1007, 1010, 1021.
    const std::vector<int> chosen{1, 2, 3, 4, 5, 10, 1, 3, 0};
    const FrameBuild build = receiver::BuildFrame(QStringLiteral("40"), chosen);
    QCOMPARE(FrameBytes(build.frame, 8, 9), QStringLiteral("01 02 03 04 05 0A 01 03 00 "));
    QCOMPARE(receiver::ReadFrame(build.frame).selections, chosen);
}

void TestReceiverCodec::listBeyondItemsFallsBackToDefault() {
    QString reply = ReplyWithWord(0x2000000);
    reply.replace(3 * 16, 2, QStringLiteral("02"));  // 2 for list 1021, which has two items
    reply.replace(3 * 15, 2, QStringLiteral("04"));  // 4 for list 1010, which has four
    const FrameReading reading = receiver::ReadFrame(reply);
    QCOMPARE(reading.frequencyText, QStringLiteral("500"));
    QCOMPARE(reading.listBytes[8], std::uint64_t(2));
    QCOMPARE(reading.selections[8], 1);
    QCOMPARE(reading.selections[7], 1);
    const FrameBuild build =
        receiver::BuildFrame(QStringLiteral("500"), {-1, -1, -1, -1, -1, -1, -1, -1, -1});
    QCOMPARE(FrameBytes(build.frame, 8, 9), QStringLiteral("00 00 00 00 00 00 00 01 01 "));
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
