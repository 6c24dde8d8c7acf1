#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "cli/ctl_link.h"
#include "common/globals.h"
#include "journal/journal.h"
#include "journal/write_recorder.h"
#include "link/device_link.h"
#include "link/fake_serial_line.h"
#include "link/identity_read.h"
#include "model/device_model.h"
#include "settings/clock_conversation.h"
#include "settings/parameter_conversation.h"

using namespace sim;

// The conversations on a DeviceLink, against the simulator's device model behind a pretend
// line: what goes out, how often, and what the journal keeps of the writes.

namespace {

QStringList Texts(const journal::Fields& fields) {
    QStringList texts;
    for (const auto& [name, value] : fields) {
        texts << name + QStringLiteral(": ") + value;
    }
    return texts;
}

}  // namespace

class TestConversations : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void identificationGoesIntoTheJournal_data();
    void identificationGoesIntoTheJournal();
    void identificationForgotten();
    void silenceSentAgainAsThePolicySays_data();
    void silenceSentAgainAsThePolicySays();
    void noJournalNoWriteWhenRequired_data();
    void noJournalNoWriteWhenRequired();
    void parameterWriteReadBack_data();
    void parameterWriteReadBack();
    void clockSetReadBack_data();
    void clockSetReadBack();
    void conversationStartedFromAnotherOnesReport();

private:
    // The device answers each complete request on the next turn of the loop.
    void Device(DeviceVariant variant) {
        m_model = std::make_unique<DeviceModel>(variant);
        m_line->SetResponder([this](const QByteArray& written) {
            const QByteArray reply = m_model->Receive(written);
            if (!reply.isEmpty()) {
                QTimer::singleShot(0, m_line.get(), [this, reply] { m_line->Deliver(reply); });
            }
            if (m_afterReply) {
                m_afterReply(reply);
            }
        });
        m_link->SetVariant(variant == DeviceVariant::A ? kVariantA : kVariantB);
        QVERIFY(m_link->Open());
    }
    QList<journal::Entry> Entries() {
        journal::Journal file;
        if (!file.Open(m_journalPath).isEmpty()) {
            return {};
        }
        const std::vector<journal::Entry> entries = file.Entries({});
        return QList<journal::Entry>(entries.rbegin(), entries.rend());
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_journalPath;
    std::unique_ptr<FakeSerialLine> m_line;
    std::unique_ptr<DeviceModel> m_model;
    std::function<void(const QByteArray&)> m_afterReply;
    std::unique_ptr<DeviceLink> m_link;
    std::unique_ptr<journal::WriteRecorder> m_journal;
};

void TestConversations::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    m_journalPath = m_dir->filePath(QStringLiteral("journal.sqlite"));
    m_line = std::make_unique<FakeSerialLine>();
    m_afterReply = nullptr;
    m_link = std::make_unique<DeviceLink>();
    m_link->SetPortNumber(1);
    m_journal = std::make_unique<journal::WriteRecorder>(QStringLiteral("kp650"));
    m_journal->SetPath(m_journalPath);
}

void TestConversations::cleanup() {
    m_journal.reset();
    m_link.reset();
    m_line.reset();
    m_model.reset();
}

void TestConversations::identificationGoesIntoTheJournal_data() {
    QTest::addColumn<bool>("b");
    QTest::addColumn<bool>("detect");
    QTest::addColumn<QByteArray>("written");  // the identification request and the write
    QTest::newRow("A") << false << false << QByteArray("VXC\x1E\x01\x02\x03\x04\x05X");
    QTest::newRow("B") << true << false << QByteArray("VXC\x1E\x01\x02\x03\x04\x05X");
    // Telling the variant keeps nothing until the caller trusts it.
    QTest::newRow("B told by its shape")
        << true << true << QByteArray("VXC\x1E\x01\x02\x03\x04\x05X");
}

void TestConversations::identificationGoesIntoTheJournal() {
    QFETCH(bool, b);
    QFETCH(bool, detect);
    QFETCH(QByteArray, written);
    Device(b ? DeviceVariant::B : DeviceVariant::A);
    IdentityRead read(*m_link);
    const IdentityReadResult id = cli::Await(
        read, &IdentityRead::Finished, [&] { return detect ? read.StartDetect() : read.Start(); });
    QVERIFY(id.identity);
    QCOMPARE(id.variant, b ? 1 : 0);
    QCOMPARE(QStringList({id.identity->version, id.identity->date, id.identity->checksum}),
             QStringList({"1.00", "2009-9-8", "ABCD"}));
    QCOMPARE(m_link->Identification().has_value(), !detect);

    ClockSet set(*m_link, m_journal.get());
    const ClockSetResult result = cli::Await(set, &ClockSet::Finished, [&] {
        return set.Start(DeviceTime{30, 1, 2, 3, 4, 5}, QStringLiteral("2026-12-7 08:00:00"));
    });
    QCOMPARE(result.exchange.outcome, ExchangeOutcome::Success);
    QCOMPARE(m_line->Written(), written);
    const QList<journal::Entry> entries = Entries();
    QCOMPARE(entries.size(), 1);
    const journal::Entry& e = entries[0];
    QCOMPARE(e.write.identification, detect ? QString() : QStringLiteral("v1.00 2009-9-8 ABCD"));
    QCOMPARE(e.write.sentBytes, QStringLiteral("43 1E 01 02 03 04 05 58"));
    QCOMPARE(Texts(e.write.before), QStringList{"device_time: 2026-12-7 08:00:00"});
    QCOMPARE(Texts(e.write.sent), QStringList{"device_time: 2030-1-2 03:04:05"});
    QCOMPARE(e.outcome, journal::WriteOutcome::Confirmed);
}

void TestConversations::identificationForgotten() {
    Device(DeviceVariant::A);
    IdentityRead read(*m_link);
    cli::Await(read, &IdentityRead::Finished, [&] { return read.Start(); });
    QVERIFY(m_link->Identification());
    // The same port opened again: the same device as far as anyone can tell.
    m_link->Release();
    QVERIFY(m_link->Open());
    QVERIFY(m_link->Identification());
    // Another device behind the link, or a line that went away: nothing known.
    m_link->SetDevice(QStringLiteral("/dev/ttyUSB7"));
    QVERIFY(!m_link->Identification());
    m_link->SetDevice(QString());
    QVERIFY(m_link->Identification());
    m_line->HangUp();
    QVERIFY(!m_link->Identification());
}

void TestConversations::silenceSentAgainAsThePolicySays_data() {
    QTest::addColumn<int>("silenceAttempts");
    QTest::addColumn<int>("silentReplies");
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<int>("outcome");
    QTest::newRow("dialogs: the first silence is told") << 1 << 1 << QByteArray("BX") << 3;
    QTest::newRow("tool: sent again, then answered") << 3 << 2 << QByteArray("BXBXBX") << 0;
    QTest::newRow("tool: three silences") << 3 << 5 << QByteArray("BXBXBX") << 3;
}

void TestConversations::silenceSentAgainAsThePolicySays() {
    QFETCH(int, silenceAttempts);
    QFETCH(int, silentReplies);
    QFETCH(QByteArray, written);
    QFETCH(int, outcome);
    Device(DeviceVariant::A);
    FaultPlan faults;
    faults.silent.count = silentReplies;
    m_model->SetFaultPlan(faults);
    comm::RetryPolicy policy;
    policy.timeOutMs = 100;
    policy.silenceAttempts = silenceAttempts;
    m_link->SetPolicy(policy);
    ClockRead read(*m_link);
    const ClockReadResult result =
        cli::Await(read, &ClockRead::Finished, [&] { return read.Start(); });
    QCOMPARE(int(result.exchange.outcome), outcome);
    QCOMPARE(m_line->Written(), written);
    QCOMPARE(result.exchange.attempts, written.size() / 2);
}

void TestConversations::noJournalNoWriteWhenRequired_data() {
    QTest::addColumn<bool>("required");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("the tool") << true << QByteArray();
    QTest::newRow("a dialog") << false << QByteArray("AS");
}

void TestConversations::noJournalNoWriteWhenRequired() {
    QFETCH(bool, required);
    QFETCH(QByteArray, written);
    Device(DeviceVariant::B);
    // A journal in a folder that is a file cannot be made.
    QFile blocker(m_dir->filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    m_journal->SetPath(blocker.fileName() + QStringLiteral("/journal.sqlite"));
    ParameterRead read(*m_link, nullptr);
    const ParameterReadResult held =
        cli::Await(read, &ParameterRead::Finished, [&] { return read.Start(); });
    QVERIFY(held.Ok());
    m_line->ClearWritten();
    ParameterWrite write(*m_link, m_journal.get());
    write.SetJournalRequired(required);
    const ParameterWriteResult result = cli::Await(write, &ParameterWrite::Finished, [&] {
        return write.Start(held.read.set, held.read.set);
    });
    QCOMPARE(result.notSent, required);
    QVERIFY(!result.journalError.isEmpty());
    QCOMPARE(m_line->Written().left(written.size()), written);
    QCOMPARE(m_line->Written().isEmpty(), required);
}

void TestConversations::parameterWriteReadBack_data() {
    QTest::addColumn<bool>("deviceTakesIt");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("detail");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("taken") << true << true << int(journal::WriteOutcome::Confirmed) << QString()
                           << QStringList{"centre_frequency: 210 kHz"};
    // The echo confirms the write, yet the read back finds the device at 300 kHz.
    QTest::newRow("something else held") << false << false << int(journal::WriteOutcome::Failed)
                                         << QStringLiteral("the device holds something else")
                                         << QStringList{"centre_frequency: 300 kHz"};
}

void TestConversations::parameterWriteReadBack() {
    QFETCH(bool, deviceTakesIt);
    QFETCH(bool, verified);
    QFETCH(int, outcome);
    QFETCH(QString, detail);
    QFETCH(QStringList, after);
    Device(DeviceVariant::A);
    const ParameterSetResult wanted =
        ParameterSetFromFrame(kVariantA, DeviceModel::DefaultParameters(DeviceVariant::A, 210));
    QVERIFY2(wanted.Ok(), qPrintable(wanted.error));
    if (!deviceTakesIt) {
        m_afterReply = [this](const QByteArray& reply) {
            if (reply.size() == 71) {  // the write's echo
                m_model->SetParameters(DeviceModel::DefaultParameters(DeviceVariant::A, 300));
            }
        };
    }
    ParameterWrite write(*m_link, m_journal.get());
    write.SetReadBack(true);
    const ParameterWriteResult result = cli::Await(
        write, &ParameterWrite::Finished, [&] { return write.Start(wanted.set, std::nullopt); });
    QCOMPARE(result.exchange.outcome, ExchangeOutcome::Success);
    QCOMPARE(result.Verified(), verified);
    QVERIFY(result.readBack);
    QCOMPARE(int(result.readBack->differences.size()), verified ? 0 : 1);
    // Write, then read: "AF" with the frame and "X", then "FFX".
    QCOMPARE(m_line->Written().left(2), QByteArray("AF"));
    QCOMPARE(m_line->Written().right(3), QByteArray("FFX"));
    QCOMPARE(m_line->Written().size(), 2 + 70 + 1 + 3);
    const QList<journal::Entry> entries = Entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(int(entries[0].outcome), outcome);
    QCOMPARE(entries[0].detail, detail);
    QCOMPARE(Texts(entries[0].after).mid(0, 1), after);
    QCOMPARE(entries[0].write.before.size(), std::size_t(0));
}

void TestConversations::clockSetReadBack_data() {
    QTest::addColumn<int>("yearsAhead");
    QTest::addColumn<bool>("verified");
    QTest::addColumn<int>("outcome");
    QTest::newRow("set from this computer") << 0 << true << int(journal::WriteOutcome::Confirmed);
    QTest::newRow("a year off") << 1 << false << int(journal::WriteOutcome::Failed);
}

void TestConversations::clockSetReadBack() {
    QFETCH(int, yearsAhead);
    QFETCH(bool, verified);
    QFETCH(int, outcome);
    Device(DeviceVariant::B);
    ClockSet set(*m_link, m_journal.get());
    set.SetReadBack(true);
    const DeviceTime time = DeviceTimeFrom(QDateTime::currentDateTime().addYears(yearsAhead));
    const ClockSetResult result =
        cli::Await(set, &ClockSet::Finished, [&] { return set.Start(time, QString()); });
    QVERIFY(result.readBack);
    QCOMPARE(result.Verified(), verified);
    QCOMPARE(m_line->Written().right(2), QByteArray("BX"));
    const QList<journal::Entry> entries = Entries();
    QCOMPARE(entries.size(), 1);
    QCOMPARE(int(entries[0].outcome), outcome);
    QCOMPARE(entries[0].detail.startsWith(QStringLiteral("the device clock reads ")), !verified);
    QCOMPARE(int(entries[0].after.size()), 1);
}

void TestConversations::conversationStartedFromAnotherOnesReport() {
    Device(DeviceVariant::B);
    ClockRead clock(*m_link);
    ParameterRead parameters(*m_link, nullptr);
    // The parameters are asked for while the clock's report is still going round: they must get
    // their own reply, not the clock's.
    connect(&clock, &ClockRead::Finished, &parameters, [&] { parameters.Start(); });
    ParameterReadResult read =
        cli::Await(parameters, &ParameterRead::Finished, [&] { return clock.Start(); });
    QVERIFY2(read.Ok(), qPrintable(read.read.error));
    QCOMPARE(read.read.set.frequencyText, QStringLiteral("500"));
    QCOMPARE(m_line->Written(), QByteArray("BXFSX"));
}

QTEST_GUILESS_MAIN(TestConversations)
#include "tst_conversations.moc"
