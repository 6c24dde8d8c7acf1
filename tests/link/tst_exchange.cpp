#include <QtTest>

#include "support/test_support.h"

#include "link/exchange.h"
#include "link/fake_serial_line.h"
#include "link/hex_text.h"
#include "link/ms_comm.h"
#include "link/open_port.h"

using Events = QList<QByteArray>;

namespace {

// The gathering rules of the dialogs that use the gatherer, with their reply lengths, and the
// clock's rules without split replies (a leading byte is set aside afresh at every event that
// finds the buffer empty).
enum Kind { kTransmitter, kReceiver, kClock, kRecordB, kClockUnsplit };

GatherRules RulesFor(int kind) {
    GatherRules rules;
    switch (kind) {
        case kTransmitter:
            rules.refusalWhenAlone = true;
            rules.dataLength = [](const QString&) { return 70; };
            break;
        case kReceiver:
            rules.refusalWhenAlone = true;
            rules.leadingByte = true;
            rules.splitReplies = true;
            rules.dataLength = [](const QString&) { return 17; };
            break;
        case kClock:
            rules.leadingByte = true;
            rules.splitReplies = true;
            rules.dataLength = [](const QString&) { return 6; };
            break;
        case kClockUnsplit:
            rules.leadingByte = true;
            rules.dataLength = [](const QString&) { return 6; };
            break;
        case kRecordB:
            rules.refusalWhenAlone = true;
            rules.leadingByte = true;
            rules.splitReplies = true;
            rules.trailerOnlyCommand = QStringLiteral("45");
            rules.dataLength = [](const QString&) { return 9; };
            break;
    }
    return rules;
}

QByteArray Repeat(int value, int count) {
    return QByteArray(count, static_cast<char>(value));
}

QString Text(const QByteArray& bytes) {
    return BytesToHexText(bytes);
}

const QByteArray kClockData = Bytes({0x09, 0x09, 0x19, 0x08, 0x05, 0x09});

}  // namespace

class TstExchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void gather_data();
    void gather();
    void staleBytesJudgeNextReply();
    void droppedReplyStartsAfresh();
    void otherEventWithEmptyBufferClearsHolders();
    void requestOrderOnTheWire();
    void repeatRequest();
    void gatherThroughControl();
    void openStartsIdle();
};

void TstExchange::gather_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("pending");
    QTest::addColumn<Events>("events");  // each entry is one receive event
    QTest::addColumn<QString>("buffer");
    QTest::addColumn<QString>("leading");
    QTest::addColumn<QString>("trailer");
    QTest::addColumn<bool>("refused");  // of the last event
    QTest::addColumn<bool>("complete");

    const QString l = QStringLiteral("AA ");
    const QString x = QStringLiteral("58 ");
    QTest::newRow("5A with other bytes is data")
        << int(kTransmitter) << "46 46" << Events{Bytes({0x5A, 0x01})} << "5A 01 "
        << ""
        << "" << false << false;
    QTest::newRow("5A alone is a refusal")
        << int(kTransmitter) << "46 46" << Events{Bytes({0x5A})} << ""
        << ""
        << "" << true << false;
    QTest::newRow("5A data byte alone mid-reply is a refusal")
        << int(kTransmitter) << "46 46" << Events{Bytes({0x01, 0x02}), Bytes({0x5A})} << "01 02 "
        << ""
        << "" << true << false;
    QTest::newRow("5A alone is a refusal before the leading byte")
        << int(kReceiver) << "46 53" << Events{Bytes({0x5A})} << ""
        << ""
        << "" << true << false;
    QTest::newRow("5A alone is data without the refusal rule")
        << int(kClock) << "42" << Events{Bytes({0x5A})} << ""
        << "5A "
        << "" << false << false;
    QTest::newRow("transmitter reply in one event")
        << int(kTransmitter) << "46 46" << Events{Repeat(0x11, 70) + Bytes({0x58})}
        << Text(Repeat(0x11, 70)) << "" << x << false << true;
    QTest::newRow("transmitter reply split 1 + 70")
        << int(kTransmitter) << "46 46" << Events{Repeat(0x11, 1), Repeat(0x11, 69) + Bytes({0x58})}
        << Text(Repeat(0x11, 70)) << "" << x << false << true;
    QTest::newRow("transmitter data without trailer waits")
        << int(kTransmitter) << "46 46" << Events{Repeat(0x11, 70)} << Text(Repeat(0x11, 70)) << ""
        << "" << false << false;
    QTest::newRow("buffer never grows past the data length")
        << int(kTransmitter) << "46 46" << Events{Repeat(0x11, 75)} << Text(Repeat(0x11, 70)) << ""
        << "11 " << false << true;
    QTest::newRow("clock reply in one event")
        << int(kClock) << "42" << Events{Bytes({0xAA}) + kClockData + Bytes({0x58})}
        << Text(kClockData) << l << x << false << true;
    QTest::newRow("clock leading byte alone in its own event")
        << int(kClock) << "42" << Events{Bytes({0xAA}), kClockData + Bytes({0x58})}
        << Text(kClockData) << l << x << false << true;
    QTest::newRow("clock reply one byte per event")
        << int(kClock) << "42" << Events{Bytes({0xAA}), Bytes({0x09}), Bytes({0x09}), Bytes({0x19}),
                                         Bytes({0x08}), Bytes({0x05}), Bytes({0x09}), Bytes({0x58})}
        << Text(kClockData) << l << x << false << true;
    QTest::newRow("clock reply split inside the data")
        << int(kClock) << "42" << Events{Bytes({0xAA, 0x09, 0x09}), kClockData.mid(2) + "X"}
        << Text(kClockData) << l << x << false << true;
    QTest::newRow("unsplit: leading byte alone, first data byte taken as leading")
        << int(kClockUnsplit) << "42" << Events{Bytes({0xAA}), kClockData + Bytes({0x58})}
        << Text(kClockData.mid(1) + Bytes({0x58})) << "09 "
        << "" << false << false;
    QTest::newRow("unsplit: one more byte completes the shifted reply")
        << int(kClockUnsplit) << "42"
        << Events{Bytes({0xAA}), kClockData + Bytes({0x58}), Bytes({0x41})}
        << Text(kClockData.mid(1) + Bytes({0x58})) << "09 "
        << "41 " << false << true;
    QTest::newRow("unsplit: reply in one event")
        << int(kClockUnsplit) << "42" << Events{Bytes({0xAA}) + kClockData + Bytes({0x58})}
        << Text(kClockData) << l << x << false << true;
    QTest::newRow("split: 5A alone in the middle of a reply is data")
        << int(kReceiver) << "46 53" << Events{Bytes({0xAA, 0x01}), Bytes({0x5A})} << "01 5A " << l
        << "" << false << false;
    QTest::newRow("split: 5A alone after a lone leading byte is data")
        << int(kReceiver) << "46 53" << Events{Bytes({0xAA}), Bytes({0x5A})} << "5A " << l << ""
        << false << false;
    QTest::newRow("receiver leading byte alone, refusal rule kept")
        << int(kReceiver) << "46 53" << Events{Bytes({0xAA}), Repeat(0x22, 17) + Bytes({0x58})}
        << Text(Repeat(0x22, 17)) << l << x << false << true;
    QTest::newRow("trailer replaced by a later byte in the same event")
        << int(kClock) << "42" << Events{Bytes({0xAA}) + kClockData + Bytes({0x58, 0x41})}
        << Text(kClockData) << l << "41 " << false << true;
    QTest::newRow("trailer replaced by a byte in a later event")
        << int(kClock) << "42"
        << Events{Bytes({0xAA}) + kClockData + Bytes({0x58}), Bytes({0x42, 0x43})}
        << Text(kClockData) << l << "43 " << false << true;
    QTest::newRow("clear reply: leading and trailer in one event")
        << int(kRecordB) << "45" << Events{Bytes({0xAA, 0x58})} << "" << l << x << false << true;
    QTest::newRow("clear reply: every later byte replaces the trailer")
        << int(kRecordB) << "45" << Events{Bytes({0xAA, 0x58, 0x59})} << "" << l << "59 " << false
        << true;
    QTest::newRow("record frame: leading, 9 bytes, trailer")
        << int(kRecordB) << "44 53" << Events{Bytes({0xAA}) + Repeat(0x01, 9) + Bytes({0x58})}
        << Text(Repeat(0x01, 9)) << l << x << false << true;
}

void TstExchange::gather() {
    QFETCH(int, kind);
    QFETCH(QString, pending);
    QFETCH(Events, events);
    QFETCH(QString, buffer);
    QFETCH(QString, leading);
    QFETCH(QString, trailer);
    QFETCH(bool, refused);
    QFETCH(bool, complete);

    const ReplyGatherer gatherer(RulesFor(kind));
    ExchangeState state;
    state.pending = pending;
    GatherResult result;
    for (const QByteArray& event : events) {
        result = gatherer.Gather(state, event);
        QCOMPARE(result.received, event.size());
    }
    QCOMPARE(state.buffer, buffer);
    QCOMPARE(state.leading, leading);
    QCOMPARE(state.trailer, trailer);
    QCOMPARE(result.refused, refused);
    QCOMPARE(state.refusal, refused ? QStringLiteral("5A ") : QString());
    QCOMPARE(result.complete, complete);
}

void TstExchange::staleBytesJudgeNextReply() {
    // Bytes that come while idle fill the buffer up to the data length and stay; the next
    // reply's bytes then only replace the trailer, so that reply is judged on the old content.
    const ReplyGatherer gatherer(RulesFor(kClock));
    ExchangeState state;
    const QByteArray stale = Bytes({0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09});
    GatherResult result = gatherer.Gather(state, stale.left(4));
    result = gatherer.Gather(state, stale.mid(4));
    QCOMPARE(state.leading, QStringLiteral("01 "));
    QCOMPARE(state.buffer, Text(stale.mid(1, 6)));
    QCOMPARE(state.trailer, QStringLiteral("09 "));
    QVERIFY(result.complete);

    FakeSerialLine line;
    CMSComm comm;
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    SendRequest(comm, state, QStringLiteral("42"));
    QCOMPARE(state.buffer, Text(stale.mid(1, 6)));
    result = gatherer.Gather(state, Bytes({0xAA}) + kClockData + Bytes({0x58}));
    QCOMPARE(state.buffer, Text(stale.mid(1, 6)));
    QCOMPARE(state.trailer, QStringLiteral("58 "));
    QVERIFY(result.complete);
}

void TstExchange::droppedReplyStartsAfresh() {
    // With split replies the leading byte stays until the dialog drops the judged reply; the
    // next reply then sets its own leading byte aside.
    const ReplyGatherer gatherer(RulesFor(kClock));
    ExchangeState state;
    state.pending = QStringLiteral("42");
    QVERIFY(gatherer.Gather(state, Bytes({0xAA}) + kClockData + "X").complete);
    state.DropReply();
    QVERIFY(state.buffer.isEmpty() && state.leading.isEmpty() && state.trailer.isEmpty());
    gatherer.Gather(state, Bytes({0xBB}));
    const GatherResult result = gatherer.Gather(state, kClockData + "X");
    QVERIFY(result.complete);
    QCOMPARE(state.leading, QStringLiteral("BB "));
    QCOMPARE(state.buffer, Text(kClockData));
}

void TstExchange::otherEventWithEmptyBufferClearsHolders() {
    const ReplyGatherer gatherer(RulesFor(kReceiver));
    ExchangeState state;
    state.pending = QStringLiteral("46 53");
    gatherer.Gather(state, Bytes({0x5A}));
    QCOMPARE(state.refusal, QStringLiteral("5A "));
    const GatherResult result = gatherer.Gather(state, QByteArray(), false);
    QCOMPARE(result.received, 0);
    QVERIFY(!result.refused);
    QVERIFY(state.refusal.isEmpty());

    // With data gathered, another kind of event leaves everything as it was.
    gatherer.Gather(state, Repeat(0x22, 18) + Bytes({0x58}));
    QVERIFY(gatherer.Gather(state, QByteArray(), false).complete);
    QCOMPARE(state.trailer, QStringLiteral("58 "));
    QCOMPARE(state.BufferedBytes(), 17);
}

void TstExchange::requestOrderOnTheWire() {
    FakeSerialLine line;
    CMSComm comm;
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    ExchangeState state;
    state.Open();

    // The time-out starts after the pending command is set and before anything is sent.
    QString pendingAtStart;
    qsizetype writesAtStart = -1;
    SendRequest(comm, state, QStringLiteral("41 46"), QStringLiteral("00 28 F5 C3 "), [&] {
        pendingAtStart = state.pending;
        writesAtStart = line.Writes().size();
    });
    QCOMPARE(pendingAtStart, QStringLiteral("41 46"));
    QCOMPARE(writesAtStart, 0);
    QCOMPARE(state.pending, QStringLiteral("41 46"));
    QCOMPARE(line.Writes(),
             (QList<QByteArray>{"A", "F", QByteArray(1, '\0'), "\x28", "\xf5", "\xc3", "X"}));

    line.ClearWritten();
    SendRequest(comm, state, QStringLiteral("42"));
    QCOMPARE(line.Writes(), (QList<QByteArray>{"B", "X"}));
    QCOMPARE(state.pending, QStringLiteral("42"));
}

void TstExchange::repeatRequest() {
    FakeSerialLine line;
    CMSComm comm;
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    ExchangeState state;
    state.Open();
    state.pending = QStringLiteral("41 53");
    state.frame = QStringLiteral("01 02 ");
    RepeatRequest(comm, state, true);
    QCOMPARE(line.Writes(), (QList<QByteArray>{"A", "S", "\x01", "\x02", "X"}));
    line.ClearWritten();
    RepeatRequest(comm, state, false);
    QCOMPARE(line.Writes(), (QList<QByteArray>{"A", "S", "X"}));
}

void TstExchange::gatherThroughControl() {
    // Each Deliver is one receive event at the control; the gatherer reads it in one Input.
    FakeSerialLine line;
    CMSComm comm;
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    const ReplyGatherer gatherer(RulesFor(kClock));
    ExchangeState state;
    QList<GatherResult> results;
    connect(&comm, &CMSComm::OnComm, this, [&] { results.append(gatherer.OnComm(comm, state)); });
    SendRequest(comm, state, QStringLiteral("42"));
    line.Deliver(Bytes({0xAA}));
    line.Deliver(kClockData.left(3));
    line.Deliver(kClockData.mid(3) + "X");
    QCOMPARE(results.size(), 3);
    QCOMPARE(results[0].received, 1);
    QVERIFY(!results[1].complete);
    QCOMPARE(results[2].received, 4);
    QVERIFY(results[2].complete);
    QCOMPARE(state.leading, QStringLiteral("AA "));
    QCOMPARE(state.buffer, Text(kClockData));
    QCOMPARE(comm.GetInBufferCount(), short(0));
}

void TstExchange::openStartsIdle() {
    ExchangeState state;
    state.pending = QStringLiteral("42");
    state.endByte = QStringLiteral("00");
    state.scale = true;
    state.buffer = QStringLiteral("01 ");
    state.Open();
    QVERIFY(state.Idle());
    QCOMPARE(state.endByte, QStringLiteral("58"));
    QVERIFY(!state.scale);
    QCOMPARE(state.buffer, QStringLiteral("01 "));  // opening the port is what empties it
}

QTEST_GUILESS_MAIN(TstExchange)
#include "tst_exchange.moc"
