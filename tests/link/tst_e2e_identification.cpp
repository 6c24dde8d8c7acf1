// The identification exchange end to end: the real serial control over a pseudo-terminal against
// kp650-sim.

#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>

#include "link/hex_text.h"
#include "link/ms_comm.h"
#include "link/open_port.h"
#include "link/port_names.h"
#include "support/sim_process.h"

namespace {

// Collects what arrives on the control, one entry per receive event.
class Receiver : public QObject {
public:
    explicit Receiver(CMSComm& comm) : m_comm(comm) {
        connect(&comm, &CMSComm::OnComm, this, [this] {
            if (m_comm.GetCommEvent() != CMSComm::kEvReceive) {
                return;
            }
            const short n = m_comm.GetInBufferCount();
            m_comm.SetInputLen(n);
            const QByteArray bytes = m_comm.GetInput();
            events.append(bytes);
            all.append(bytes);
        });
    }
    void Clear() {
        events.clear();
        all.clear();
    }
    QList<QByteArray> events;
    QByteArray all;

private:
    CMSComm& m_comm;
};

QString Show(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

}  // namespace

class TestE2eIdentification : public QObject {
    Q_OBJECT
private slots:
    void exchange_data();
    void exchange();
    void refusal();
    void hangUpAndPlugInAgain();
    void linkRemovedOnStop();
};

void TestE2eIdentification::exchange_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("reply");
    const QStringList id = {"--id-version",  "2",   "--id-date", "2012-12-15",
                            "--id-checksum", "1f2e"};
    const QByteArray digits = QByteArray::fromHex("020C0C0F010F020E");
    QTest::newRow("A unpaced") << (QStringList{"--variant", "A", "--baud", "0"} + id)
                               << digits + "\x58";
    QTest::newRow("B unpaced") << (QStringList{"--variant", "B", "--baud", "0"} + id)
                               << "\x56" + digits + "\x58";
    QTest::newRow("A 9600 baud") << (QStringList{"--variant", "A"} + id) << digits + "\x58";
    QTest::newRow("B 9600 baud") << (QStringList{"--variant", "B"} + id)
                                 << "\x56" + digits + "\x58";
    QTest::newRow("B split") << (QStringList{"--variant", "B", "--baud", "0", "--fault", "split"} +
                                 id)
                             << "\x56" + digits + "\x58";
    QTest::newRow("A default identification") << QStringList{"--variant", "A", "--baud", "0"}
                                              << QByteArray::fromHex("010909080A0B0C0D58");
}

void TestE2eIdentification::exchange() {
    QFETCH(QStringList, args);
    QFETCH(QByteArray, reply);
    SimProcess sim;
    QVERIFY2(sim.Start(args), qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());

    CMSComm comm;
    Receiver receiver(comm);
    QString error;
    QCOMPARE(OpenPort(comm, 1, nullptr, &error), OpenPortResult::Opened);
    // Twice over the same port: the device answers every request alike.
    for (int round = 0; round < 2; ++round) {
        receiver.Clear();
        SendHexText(comm, QStringLiteral("56"));
        SendHexText(comm, QStringLiteral("58"));
        QTRY_COMPARE_WITH_TIMEOUT(receiver.all.size(), reply.size(), 5000);
        QCOMPARE(Show(receiver.all), Show(reply));
    }
    if (args.contains(QStringLiteral("split"))) {
        QVERIFY(receiver.events.size() > 1);
    }
    // Nothing follows the reply.
    QTest::qWait(100);
    QCOMPARE(receiver.all.size(), reply.size());
    comm.SetPortOpen(false);
}

void TestE2eIdentification::refusal() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", "B", "--baud", "0", "--fault", "refuse=1"}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    CMSComm comm;
    Receiver receiver(comm);
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    SendHexText(comm, QStringLiteral("56"));
    SendHexText(comm, QStringLiteral("58"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.events.size(), 1, 5000);
    QCOMPARE(Show(receiver.events.first()), Show(QByteArray("\x5A")));
    // The count is spent: the next request is answered.
    receiver.Clear();
    SendHexText(comm, QStringLiteral("56"));
    SendHexText(comm, QStringLiteral("58"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.all.size(), 10, 5000);
    QCOMPARE(receiver.all.front(), '\x56');
}

void TestE2eIdentification::hangUpAndPlugInAgain() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", "B", "--baud", "0", "--fault", "hangup-after=4"}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    const QString firstPty = QFileInfo(sim.LinkPath()).symLinkTarget();
    {
        CMSComm comm;
        Receiver receiver(comm);
        QSignalSpy lost(&comm, &CMSComm::LineLost);
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        SendHexText(comm, QStringLiteral("56"));
        SendHexText(comm, QStringLiteral("58"));
        QTRY_COMPARE_WITH_TIMEOUT(lost.size(), 1, 5000);
        QCOMPARE(Show(receiver.all), Show(QByteArray::fromHex("56010909")));
        QVERIFY(!comm.GetPortOpen());
    }
    // The link now leads to a fresh line on which the device answers in full.
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(sim.LinkPath()).symLinkTarget() != firstPty, 5000);
    CMSComm comm;
    Receiver receiver(comm);
    QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
    SendHexText(comm, QStringLiteral("56"));
    SendHexText(comm, QStringLiteral("58"));
    QTRY_COMPARE_WITH_TIMEOUT(receiver.all.size(), 10, 5000);
    QCOMPARE(Show(receiver.all), Show(QByteArray::fromHex("56010909080A0B0C0D58")));
}

void TestE2eIdentification::linkRemovedOnStop() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", "A"}), qPrintable(sim.ErrorText()));
    const QString link = sim.LinkPath();
    QVERIFY(QFileInfo(link).isSymLink());
    sim.Stop();
    QCOMPARE(sim.ExitCode(), 0);
    QVERIFY(!QFileInfo(link).isSymLink());
}

QTEST_GUILESS_MAIN(TestE2eIdentification)
#include "tst_e2e_identification.moc"
