#include <QSignalSpy>
#include <QtTest>

#include "link/device_exchange.h"
#include "link/fake_serial_line.h"
#include "link/ms_comm.h"
#include "records/record_log.h"
#include "support/test_support.h"

Q_DECLARE_METATYPE(ExchangeResult)

namespace {

using Pieces = QList<QByteArray>;  // one receive event each
using Answers = QList<Pieces>;     // one answer per request sent

// A read of "FF" whose reply is three data bytes and the trailer 0x58.
ExchangeRequest ReadRequest(bool resendable = true) {
    ExchangeRequest request;
    request.texts = {QStringLiteral("46 46"), QStringLiteral("58")};
    request.shape.length = 4;
    request.shape.resendable = resendable;
    request.accept = [](const QByteArray& reply) {
        return static_cast<unsigned char>(reply.back()) == 0x58;
    };
    request.timeOutMs = 150;  // keeps the silent cases short
    return request;
}

}  // namespace

class TestDeviceExchange : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init() {
        m_line = std::make_unique<FakeSerialLine>();
        m_comm = std::make_unique<CMSComm>();
        m_exchange = std::make_unique<DeviceExchange>(*m_comm);
        QVERIFY(DeviceExchange::OpenLine(*m_comm, 1, nullptr));
        m_sent = 0;
    }
    void cleanup() {
        m_exchange.reset();
        m_comm.reset();
        m_line.reset();
    }

    // Answers each request, after its end byte, with the next answer's pieces, one receive
    // event per turn of the loop.
    void Answer(const Answers& answers) {
        m_line->SetResponder([this, answers](const QByteArray& written) {
            if (written != QByteArray(1, 0x58)) {
                return;
            }
            const int k = m_sent++;
            if (k >= answers.size()) {
                return;  // silent from here on
            }
            int delay = 0;
            for (const QByteArray& piece : answers[k]) {
                QTimer::singleShot(delay += 5, m_line.get(),
                                   [this, piece] { m_line->Deliver(piece); });
            }
        });
    }

    ExchangeResult Run(const ExchangeRequest& request) {
        QSignalSpy finished(m_exchange.get(), &DeviceExchange::Finished);
        if (!m_exchange->Start(request)) {
            return {};
        }
        if (!finished.wait(5000)) {
            return {};
        }
        return finished.takeFirst().at(0).value<ExchangeResult>();
    }

    void outcomes_data() {
        QTest::addColumn<bool>("resendable");
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<int>("attempts");
        QTest::addColumn<QByteArray>("reply");

        const QByteArray good = Bytes({0x01, 0x02, 0x03, 0x58});
        const auto s = [](int outcome) { return outcome; };
        QTest::newRow("whole reply")
            << true << Answers{{good}} << s(int(ExchangeOutcome::Success)) << 1 << good;
        QTest::newRow("reply in pieces")
            << true << Answers{{Bytes({1}), Bytes({2, 3}), Bytes({0x58})}}
            << int(ExchangeOutcome::Success) << 1 << good;
        QTest::newRow("lone 0x5A is a refusal")
            << true << Answers{{Bytes({0x5A})}} << int(ExchangeOutcome::Refused) << 1
            << QByteArray();
        QTest::newRow("0x5A alone in its event, then more: data")
            << true << Answers{{Bytes({0x5A}), Bytes({2, 3, 0x58})}}
            << int(ExchangeOutcome::Success) << 1 << Bytes({0x5A, 2, 3, 0x58});
        QTest::newRow("noise before the reply: sent again")
            << true << Answers{{Bytes({0xFF}) + good}, {good}} << int(ExchangeOutcome::Success) << 2
            << good;
        QTest::newRow("byte after the reply: sent again")
            << true << Answers{{good + Bytes({0x77})}, {good}} << int(ExchangeOutcome::Success) << 2
            << good;
        QTest::newRow("wrong trailer five times: bounded")
            << true << Answers(5, {Bytes({1, 2, 3, 0})}) << int(ExchangeOutcome::BadReply) << 5
            << Bytes({1, 2, 3, 0});
        QTest::newRow("silence") << true << Answers{} << int(ExchangeOutcome::TimedOut) << 1
                                 << QByteArray();
        QTest::newRow("half a reply, then a whole one")
            << true << Answers{{Bytes({1, 2})}, {good}} << int(ExchangeOutcome::Success) << 2
            << good;
        QTest::newRow("once only: noise before is skipped")
            << false << Answers{{Bytes({0xEE, 0xFF}) + good}} << int(ExchangeOutcome::Success) << 1
            << good;
        QTest::newRow("once only: wrong trailer fails at once")
            << false << Answers{{Bytes({1, 2, 3, 0})}, {good}} << int(ExchangeOutcome::BadReply)
            << 1 << Bytes({1, 2, 3, 0});
    }

    void outcomes() {
        QFETCH(bool, resendable);
        QFETCH(Answers, answers);
        QFETCH(int, outcome);
        QFETCH(int, attempts);
        QFETCH(QByteArray, reply);
        Answer(answers);
        const ExchangeResult result = Run(ReadRequest(resendable));
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.attempts, attempts);
        QCOMPARE(result.reply, reply);
        // Every try is the whole request again, and nothing else went out.
        QCOMPARE(m_line->Written(), QByteArray("FFX").repeated(attempts));
        QVERIFY(!m_exchange->Busy());
    }

    // A reply that cannot be asked for again is taken from a noisy burst only when it is also
    // plausible; alone and whole it is taken as the device sent it.
    void onceOnlyPlausibility_data() {
        QTest::addColumn<Answers>("answers");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("reply");
        QTest::newRow("plausible after noise")
            << Answers{{Bytes({0xFF, 0x01, 0x02, 0x03, 0x58})}} << int(ExchangeOutcome::Success)
            << Bytes({0x01, 0x02, 0x03, 0x58});
        QTest::newRow("implausible after noise")
            << Answers{{Bytes({0xFF, 0xEE, 0x02, 0x03, 0x58})}} << int(ExchangeOutcome::BadReply)
            << Bytes({0xFF, 0xEE, 0x02, 0x03, 0x58});
        QTest::newRow("implausible, whole and alone")
            << Answers{{Bytes({0xEE, 0x02, 0x03, 0x58})}} << int(ExchangeOutcome::Success)
            << Bytes({0xEE, 0x02, 0x03, 0x58});
    }

    void onceOnlyPlausibility() {
        QFETCH(Answers, answers);
        QFETCH(int, outcome);
        QFETCH(QByteArray, reply);
        Answer(answers);
        ExchangeRequest request = ReadRequest(false);
        request.acceptAtOnce = [](const QByteArray& r) {
            return static_cast<unsigned char>(r.front()) != 0xEE;
        };
        const ExchangeResult result = Run(request);
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.reply, reply);
        QCOMPARE(result.attempts, 1);
    }

    void oneRequestAtATime() {
        Answer({{Bytes({1, 2, 3, 0x58})}});
        QSignalSpy busy(m_exchange.get(), &DeviceExchange::BusyChanged);
        QSignalSpy finished(m_exchange.get(), &DeviceExchange::Finished);
        QVERIFY(m_exchange->Start(ReadRequest()));
        QVERIFY(!m_exchange->Start(ReadRequest()));  // a second press meanwhile
        QVERIFY(finished.wait(5000));
        QCOMPARE(m_line->Written(), QByteArray("FFX"));
        QCOMPARE(busy.size(), 2);
        QCOMPARE(busy.at(0).at(0).toBool(), true);
        QCOMPARE(busy.at(1).at(0).toBool(), false);
    }

    void bytesFromBeforeARequestAreDropped() {
        // Left over from an earlier conversation: the reply alone counts.
        m_line->Deliver(Bytes({0x09, 0x58}));
        Answer({{Bytes({1, 2, 3, 0x58})}});
        const ExchangeResult result = Run(ReadRequest());
        QCOMPARE(int(result.outcome), int(ExchangeOutcome::Success));
        QCOMPARE(result.attempts, 1);
    }

    void openDropsWhatWaitedInThePort() {
        m_comm->SetPortOpen(false);
        m_line->SetWaitingAtOpen(Bytes({0x56, 0x01}));
        QVERIFY(DeviceExchange::OpenLine(*m_comm, 1, nullptr));
        QCOMPARE(m_comm->GetInBufferCount(), short(0));
    }

    void lostLineThenReopenedByTheNextRequest() {
        m_line->SetResponder([this](const QByteArray& written) {
            if (written == QByteArray(1, 0x58)) {
                QTimer::singleShot(0, m_line.get(),
                                   [this] { m_line->HangUp(QStringLiteral("gone")); });
            }
        });
        const ExchangeResult lost = Run(ReadRequest());
        QCOMPARE(int(lost.outcome), int(ExchangeOutcome::LineLost));
        QCOMPARE(lost.error, QStringLiteral("gone"));
        QVERIFY(!m_comm->GetPortOpen());

        const int opens = m_line->OpenCount();
        Answer({{Bytes({1, 2, 3, 0x58})}});
        m_sent = 0;
        const ExchangeResult again = Run(ReadRequest());
        QCOMPARE(int(again.outcome), int(ExchangeOutcome::Success));
        QCOMPARE(m_line->OpenCount(), opens + 1);
    }

    void portThatWillNotOpen() {
        m_comm->SetPortOpen(false);
        m_line->SetOpenError(QStringLiteral("no such device"));
        const ExchangeResult result = Run(ReadRequest());
        QCOMPARE(int(result.outcome), int(ExchangeOutcome::PortError));
        QVERIFY(result.error.contains(QStringLiteral("no such device")));
        QVERIFY(m_line->Written().isEmpty());
    }

    // Bytes the port holds but has not signalled (a late reply after a time-out) are thrown away
    // before the request goes out, and counted: a log read takes them as doubt.
    void heldBytesGoBeforeTheRequest() {
        const QByteArray good = Bytes({0x01, 0x02, 0x03, 0x58});
        m_line->Hold(Bytes({0x09, 0x08, 0x07, 0x58, 0x42}));
        Answer({{good}});
        ExchangeRequest request = ReadRequest(false);
        request.shape.tailAfterNoise = false;
        const ExchangeResult result = Run(request);
        QCOMPARE(int(result.outcome), int(ExchangeOutcome::Success));
        QCOMPARE(result.reply, good);
        QCOMPARE(result.strayBytes, qint64(5));
        // What arrives after a reply was taken is counted for the next request.
        m_line->Deliver(Bytes({0x33, 0x44}));
        Answer({{good}});
        m_sent = 0;
        QCOMPARE(Run(request).strayBytes, qint64(2));
    }

    void cancelEndsWithoutReport() {
        QSignalSpy finished(m_exchange.get(), &DeviceExchange::Finished);
        QVERIFY(m_exchange->Start(ReadRequest()));
        m_exchange->Cancel();
        QVERIFY(!m_exchange->Busy());
        QTest::qWait(300);  // past the request's time-out
        QCOMPARE(finished.size(), 0);
    }

    // The pauses inside a reply tell how long a log read waits for stray bytes after its end.
    void pausesInsideRepliesSetTheEndQuiet() {
        Answer({{Bytes({1}), Bytes({2, 3}), Bytes({0x58})}, {Bytes({1, 2, 3, 0x58})}});
        QCOMPARE(int(Run(ReadRequest()).outcome), int(ExchangeOutcome::Success));
        const qint64 pieces = m_exchange->LongestReplyGapNs();
        QVERIFY2(pieces >= 4000000, qPrintable(QString::number(pieces)));  // pieces 5 ms apart
        m_exchange->ForgetReplyGaps();
        QCOMPARE(int(Run(ReadRequest()).outcome), int(ExchangeOutcome::Success));
        QCOMPARE(m_exchange->LongestReplyGapNs(), qint64(0));  // one piece: no pause
    }

    void endQuiet_data() {
        QTest::addColumn<qint64>("gapNs");
        QTest::addColumn<int>("quietMs");
        QTest::newRow("no pause seen") << qint64(0) << 2;
        QTest::newRow("unpaced line") << qint64(300000) << 2;
        QTest::newRow("a byte at 9600 baud") << qint64(1041667) << 4;
        QTest::newRow("adapter latency tick") << qint64(16000000) << 20;
    }
    void endQuiet() {
        QFETCH(qint64, gapNs);
        QFETCH(int, quietMs);
        QCOMPARE(records::LogEndQuietMs(gapNs), quietMs);
    }

private:
    std::unique_ptr<FakeSerialLine> m_line;
    std::unique_ptr<CMSComm> m_comm;
    std::unique_ptr<DeviceExchange> m_exchange;
    int m_sent = 0;
};

QTEST_MAIN(TestDeviceExchange)
#include "tst_device_exchange.moc"
