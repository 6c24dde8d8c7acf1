// The device dialogs over a serial device server's raw TCP port: the real serial control with a
// tcp:// device name against kp650-sim --tcp on 127.0.0.1.

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

#include <memory>

#include "app/about_dlg.h"
#include "common/globals.h"
#include "link/device_link.h"
#include "link/identity.h"
#include "link/ms_comm.h"
#include "link/open_port.h"
#include "link/port_check_dlg.h"
#include "link/port_names.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "records/record_store.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/sim_process.h"
#include "support/test_support.h"

Q_DECLARE_METATYPE(ExchangeResult)

namespace {

constexpr int kWaitMs = 30000;

QString Text(const QWidget& dlg, const QString& name) {
    const auto* label = dlg.findChild<QLabel*>(name);
    return label ? label->text() : QStringLiteral("<missing %1>").arg(name);
}

void Click(const QWidget& dlg, int id) {
    dlg.findChild<QPushButton*>(QStringLiteral("id%1").arg(id))->click();
}

QStringList SimArgs(int variant, const QStringList& extra) {
    return QStringList{"--variant", variant == kVariantA ? "A" : "B", "--tcp", "0"} + extra;
}

// A port on 127.0.0.1 where nothing listens: taken from the system, then let go.
quint16 ClosedPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    const quint16 port = server.serverPort();
    server.close();
    return port;
}

// A device server that takes no connection: its queue of connections not yet taken (none) is
// full, so a connection's first packet is dropped and the connect waits, as for a host that is
// switched off.
struct UnreachableServer {
    QTcpServer server;
    QTcpSocket filler;
    bool Start() {
        server.setListenBacklogSize(0);
        if (!server.listen(QHostAddress::LocalHost, 0)) {
            return false;
        }
        server.pauseAccepting();
        filler.connectToHost(QHostAddress::LocalHost, server.serverPort());
        return filler.waitForConnected(kWaitMs);
    }
    QString Device() const { return QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()); }
};

std::vector<EventRecord> ReadLog(int variant, const QString& device) {
    SetPortDeviceOverride(1, device);
    g_variant = variant;
    MessageBoxRecorder boxes;
    CRecordDlg dlg;
    dlg.SetPortNumber(1);
    dlg.show();
    if (!dlg.Comm().GetPortOpen()) {
        return {};
    }
    Click(dlg, CRecordDlg::kIdReadLog);
    // qWait runs the event loop while it waits (qWaitFor would sleep between its looks).
    const QDeadlineTimer deadline(kWaitMs);
    while (boxes.Boxes().isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(5);
    }
    if (boxes.Texts() != QStringList{QStringLiteral("读取记录完毕!")} ||
        dlg.ListModel().rowCount() != 255) {
        qWarning("%s", qPrintable(boxes.Texts().join(QLatin1Char('|'))));
        return {};
    }
    std::vector<EventRecord> records = dlg.Store().ReadAll(records::kTempTable);
    dlg.reject();
    return records;
}

}  // namespace

class TestE2eTcp : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("KP650_HOME", m_home.path().toLocal8Bit());
    }
    void cleanup() { SetPortDeviceOverride(1, QString()); }

    void identification_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QStringList>("line");
        QTest::newRow("A at 9600 baud") << int(kVariantA) << QStringList{};
        QTest::newRow("B unpaced") << int(kVariantB) << QStringList{"--baud", "0"};
        QTest::newRow("B split") << int(kVariantB)
                                 << QStringList{"--baud", "0", "--fault", "split"};
    }

    void identification() {
        QFETCH(int, variant);
        QFETCH(QStringList, line);
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(variant, line + QStringList{"--id-checksum", "1f2e"})),
                 qPrintable(sim.ErrorText()));
        QVERIFY(sim.TcpDevice().startsWith(QStringLiteral("tcp://127.0.0.1:")));
        SetPortDeviceOverride(1, sim.TcpDevice());
        g_variant = variant;
        g_portNumber = 1;
        MessageBoxRecorder boxes;
        CAboutDlg dlg;
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, "id1043"), QStringLiteral("1F2E"), kWaitMs);
        QCOMPARE(Text(dlg, "id1038"), QStringLiteral("1.00"));
        QCOMPARE(Text(dlg, "id1039"), QStringLiteral("2009-9-8"));
        QCOMPARE(boxes.Texts(), QStringList());
        dlg.accept();
    }

    // A write and a read back of the parameters, as over a serial line.
    void parameters_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("frequency");
        QTest::newRow("A") << int(kVariantA) << "1234";
        QTest::newRow("B") << int(kVariantB) << "40";
    }

    void parameters() {
        QFETCH(int, variant);
        QFETCH(QString, frequency);
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(variant, {"--baud", "0"})), qPrintable(sim.ErrorText()));
        SetPortDeviceOverride(1, sim.TcpDevice());
        MessageBoxRecorder boxes;
        std::unique_ptr<CParameterDlg> dlg;
        if (variant == kVariantA) {
            dlg = std::make_unique<CTransmitterParamDlg>();
        } else {
            dlg = std::make_unique<CReceiverParamDlg>();
        }
        dlg->SetPortNumber(1);
        dlg->show();
        auto* edit = dlg->findChild<QLineEdit*>(QStringLiteral("id1006"));
        edit->setText(frequency);
        Click(*dlg, 1011);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("配置成功!")}, kWaitMs);
        edit->setText(QStringLiteral("7"));
        boxes.Clear();
        Click(*dlg, 1003);
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("读取成功!")}, kWaitMs);
        QCOMPARE(edit->text(), frequency);
        Click(*dlg, 1);
    }

    // 255 records over TCP are the records the same device gives over its serial line.
    void read255_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QStringList>("line");
        QTest::newRow("A unpaced") << int(kVariantA) << QStringList{"--baud", "0"};
        QTest::newRow("B unpaced") << int(kVariantB) << QStringList{"--baud", "0"};
    }

    void read255() {
        QFETCH(int, variant);
        QFETCH(QStringList, line);
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(variant, line + QStringList{"--records", "255"})),
                 qPrintable(sim.ErrorText()));
        const std::vector<EventRecord> overTcp = ReadLog(variant, sim.TcpDevice());
        QCOMPARE(overTcp.size(), std::size_t(255));
        const std::vector<EventRecord> overPty = ReadLog(variant, sim.LinkPath());
        QCOMPARE(overPty.size(), std::size_t(255));
        QVERIFY(overTcp == overPty);
    }

    // The port check opens a tcp:// port as it opens a serial one.
    void portCheck() {
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(kVariantA, {})), qPrintable(sim.ErrorText()));
        MessageBoxRecorder boxes;
        CPortCheckDlg dlg;
        SetPortDeviceOverride(1, sim.TcpDevice());
        dlg.show();
        QCOMPARE(dlg.StatusText(), QStringLiteral("                  串口1打开成功!"));
        dlg.accept();
        SetPortDeviceOverride(1, QStringLiteral("tcp://127.0.0.1:%1").arg(ClosedPort()));
        dlg.show();
        QCOMPARE(dlg.StatusText(), QStringLiteral("   串口1打开失败，请重新选择串口!"));
        QCOMPARE(boxes.Texts(), QStringList{QStringLiteral("串口打开失败，请重新选择串口!")});
        dlg.accept();
    }

    // What the operator reads when a port does not open: the device, then in Chinese what is
    // wrong, before the system's own words.
    void openFailures_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("leadIn");
        const QString malformed = QStringLiteral("网络地址应写作 tcp://主机:端口");
        QTest::newRow("nobody listens") << QStringLiteral("tcp://127.0.0.1:%1").arg(ClosedPort())
                                        << QStringLiteral("连接被拒绝（该端口无服务在监听）");
        QTest::newRow("no port") << "tcp://127.0.0.1" << malformed;
        QTest::newRow("port 0") << "tcp://127.0.0.1:0" << malformed;
        QTest::newRow("port too large") << "tcp://127.0.0.1:65536" << malformed;
        QTest::newRow("no host") << "tcp://:4001" << malformed;
        QTest::newRow("a path") << "tcp://127.0.0.1:4001/x" << malformed;
        QTest::newRow("serial device missing")
            << "/nonexistent/kp650-port" << QStringLiteral("找不到该串口设备 (");
    }

    void openFailures() {
        QFETCH(QString, device);
        QFETCH(QString, leadIn);
        SetPortDeviceOverride(1, device);
        CMSComm comm;
        QString error;
        QCOMPARE(OpenPort(comm, 1, nullptr, &error), OpenPortResult::Failed);
        QVERIFY(!comm.GetPortOpen());
        QVERIFY2(error.startsWith(device + QStringLiteral(": ") + leadIn), qPrintable(error));
    }

    // A device server that does not answer holds neither the thread nor the other lines: another
    // device is answered while that connection is still being tried, and a dialog's open waits
    // with its event loop running (the window repaints). Then the time-out is told.
    void unreachableServer() {
        UnreachableServer dead;
        QVERIFY(dead.Start());
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(kVariantA, {"--baud", "0"})), qPrintable(sim.ErrorText()));
        DeviceLink waiting;
        DeviceLink answering;
        waiting.SetDevice(dead.Device());
        answering.SetDevice(sim.TcpDevice());
        QSignalSpy waited(&waiting.Exchange(), &DeviceExchange::Finished);
        QSignalSpy answered(&answering.Exchange(), &DeviceExchange::Finished);
        QVERIFY(waiting.Exchange().Start(IdentityRequest(kVariantA)));
        QVERIFY(answering.Exchange().Start(IdentityRequest(kVariantA)));
        QTRY_COMPARE_WITH_TIMEOUT(answered.count(), 1, kWaitMs);
        QCOMPARE(answered.first().first().value<ExchangeResult>().outcome,
                 ExchangeOutcome::Success);
        QCOMPARE(waited.count(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(waited.count(), 1, kWaitMs);
        const ExchangeResult failed = waited.first().first().value<ExchangeResult>();
        QCOMPARE(failed.outcome, ExchangeOutcome::PortError);
        QCOMPARE(failed.error, dead.Device() + QStringLiteral(": 连接超时（请检查地址及网络）"));

        SetPortDeviceOverride(1, dead.Device());
        CMSComm comm;
        bool loopRan = false;
        QTimer::singleShot(0, [&loopRan] { loopRan = true; });
        QString error;
        QCOMPARE(OpenPort(comm, 1, nullptr, &error), OpenPortResult::Failed);
        QVERIFY(loopRan);
        QCOMPARE(error, dead.Device() + QStringLiteral(": 连接超时（请检查地址及网络）"));
    }

    // The device server going away is a lost line: the port closes and says why.
    void connectionLost() {
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(kVariantB, {"--baud", "0"})), qPrintable(sim.ErrorText()));
        SetPortDeviceOverride(1, sim.TcpDevice());
        CMSComm comm;
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        QSignalSpy lost(&comm, &CMSComm::LineLost);
        sim.Stop();
        QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kWaitMs);
        QVERIFY(!comm.GetPortOpen());
        QVERIFY(lost.first().first().toString().startsWith(sim.TcpDevice() +
                                                           QStringLiteral(": 对方已断开连接")));
        comm.SetOutput(QByteArray(1, '\x56'));  // writing to a lost line does nothing
        QVERIFY(comm.GetInput().isEmpty());
    }

    // A hang-up in the middle of a reply, then the same port opened again: the device server
    // listens on, so the next showing is answered.
    void hangUpThenAgain() {
        SimProcess sim;
        QVERIFY2(sim.Start(SimArgs(kVariantB, {"--baud", "0", "--fault", "hangup-after=4"})),
                 qPrintable(sim.ErrorText()));
        SetPortDeviceOverride(1, sim.TcpDevice());
        g_variant = kVariantB;
        g_portNumber = 1;
        MessageBoxRecorder boxes;
        {
            CAboutDlg dlg;
            QSignalSpy lost(&dlg.Comm(), &CMSComm::LineLost);
            dlg.show();
            QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, kWaitMs);
            QCOMPARE(Text(dlg, "id1043"), QString());
            dlg.accept();
        }
        CAboutDlg dlg;
        dlg.show();
        QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, "id1043"), QStringLiteral("ABCD"), kWaitMs);
        dlg.accept();
    }
};

QTEST_MAIN(TestE2eTcp)
#include "tst_e2e_tcp.moc"
