// Reply gathering when a reply reaches the dialog in pieces, as it does on a real line.

#include <QtTest>

#include "link/exchange.h"

namespace {

GatherRules Rules(bool leadingByte, bool splitReplies) {
    GatherRules rules;
    rules.leadingByte = leadingByte;
    rules.refusalWhenAlone = true;
    rules.splitReplies = splitReplies;
    rules.dataLength = [](const QString&) { return 4; };
    return rules;
}

}  // namespace

class TestSplitReplies : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void pieces_data();
    void pieces();
    void dropReplyStartsAfresh();
};

void TestSplitReplies::pieces_data() {
    QTest::addColumn<bool>("leadingByte");
    QTest::addColumn<bool>("splitReplies");
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<bool>("refused");  // after the last event
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QString>("buffer");

    const QByteArray reply("\x07\x01\x5A\x03\x04X", 6);  // leading byte, 4 data bytes, trailer
    QTest::newRow("leading byte alone, kept")
        << true << true << QList<QByteArray>{reply.left(1), reply.mid(1)} << false << true
        << "01 5A 03 04 ";
    // Without the rule the next event's first byte is taken for the leading byte.
    QTest::newRow("leading byte alone, lost")
        << true << false << QList<QByteArray>{reply.left(1), reply.mid(1)} << false << false
        << "5A 03 04 58 ";
    QTest::newRow("byte by byte") << true << true
                                  << QList<QByteArray>{reply.mid(0, 1), reply.mid(1, 1),
                                                       reply.mid(2, 1), reply.mid(3, 1),
                                                       reply.mid(4, 1), reply.mid(5, 1)}
                                  << false << true << "01 5A 03 04 ";
    QTest::newRow("lone 0x5A where a reply starts")
        << false << true << QList<QByteArray>{QByteArray("Z")} << true << false << "";
    QTest::newRow("lone 0x5A after the leading byte")
        << true << true << QList<QByteArray>{QByteArray("\x07"), QByteArray("Z")} << false << false
        << "5A ";
    QTest::newRow("lone 0x5A mid-reply")
        << false << true << QList<QByteArray>{QByteArray("\x01"), QByteArray("Z")} << false << false
        << "01 5A ";
    QTest::newRow("lone 0x5A mid-reply, without the rule")
        << false << false << QList<QByteArray>{QByteArray("\x01"), QByteArray("Z")} << true << false
        << "01 ";
}

void TestSplitReplies::pieces() {
    QFETCH(bool, leadingByte);
    QFETCH(bool, splitReplies);
    QFETCH(QList<QByteArray>, events);
    QFETCH(bool, refused);
    QFETCH(bool, complete);
    QFETCH(QString, buffer);
    const ReplyGatherer gatherer(Rules(leadingByte, splitReplies));
    ExchangeState state;
    state.pending = QStringLiteral("46 53");
    GatherResult result;
    for (const QByteArray& event : events) {
        result = gatherer.Gather(state, event);
    }
    QCOMPARE(result.refused, refused);
    QCOMPARE(result.complete, complete);
    QCOMPARE(state.buffer, buffer);
    if (complete) {
        QCOMPARE(state.trailer, QStringLiteral("58 "));
    }
}

void TestSplitReplies::dropReplyStartsAfresh() {
    const ReplyGatherer gatherer(Rules(true, true));
    ExchangeState state;
    gatherer.Gather(state, QByteArray("\x07", 1));
    QCOMPARE(state.leading, QStringLiteral("07 "));
    state.DropReply();
    QVERIFY(state.leading.isEmpty());
    // The next reply's first byte is its leading byte again, and a lone 0x5A a refusal.
    QVERIFY(gatherer.Gather(state, QByteArray("Z")).refused);
}

QTEST_GUILESS_MAIN(TestSplitReplies)
#include "tst_split_replies.moc"
