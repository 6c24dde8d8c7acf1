#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <termios.h>

#include "link/device_exchange.h"
#include "link/fake_serial_line.h"
#include "link/ms_comm.h"
#include "link/open_port.h"
#include "link/port_names.h"
#include "support/pty_pair.h"
#include "support/test_support.h"

Q_DECLARE_METATYPE(ExchangeResult)

class TestMSComm : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup() {
        SetPortDeviceOverride(1, QString());
        SetPortDeviceOverride(2, QString());
    }

    void settingsText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("parity");
        QTest::addColumn<int>("bits");
        QTest::addColumn<int>("stop");
        QTest::newRow("device line") << "9600,n,8,1" << true << 9600 << int(QSerialPort::NoParity)
                                     << 8 << int(QSerialPort::OneStop);
        QTest::newRow("even 7 2") << "19200,E,7,2" << true << 19200 << int(QSerialPort::EvenParity)
                                  << 7 << int(QSerialPort::TwoStop);
        QTest::newRow("blanks") << " 4800 , o , 8 , 1.5 " << true << 4800
                                << int(QSerialPort::OddParity) << 8
                                << int(QSerialPort::OneAndHalfStop);
        QTest::newRow("missing field") << "9600,n,8" << false << 0 << 0 << 0 << 0;
        QTest::newRow("bad parity") << "9600,x,8,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("bad baud") << "fast,n,8,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("nine bits") << "9600,n,9,1" << false << 0 << 0 << 0 << 0;
        QTest::newRow("bad stop") << "9600,n,8,3" << false << 0 << 0 << 0 << 0;
    }

    void settingsText() {
        QFETCH(QString, text);
        QFETCH(bool, ok);
        LineSettings s;
        QCOMPARE(LineSettings::Parse(text, &s), ok);
        if (ok) {
            QFETCH(int, baud);
            QFETCH(int, parity);
            QFETCH(int, bits);
            QFETCH(int, stop);
            QCOMPARE(s.baud, baud);
            QCOMPARE(int(s.parity), parity);
            QCOMPARE(int(s.dataBits), bits);
            QCOMPARE(int(s.stopBits), stop);
        }
    }

    void portNumbersMapToDevices() {
        qputenv("KP650_COM2", "/dev/from-env");
        QCOMPARE(PortDeviceName(2), QStringLiteral("/dev/from-env"));
        SetPortDeviceOverride(2, QStringLiteral("/dev/from-command-line"));
        QCOMPARE(PortDeviceName(2), QStringLiteral("/dev/from-command-line"));
        qunsetenv("KP650_COM2");
        SetPortDeviceOverride(2, QString());
        QCOMPARE(PortDeviceName(2), QStringLiteral("/dev/ttyS1"));
    }

    void openPortDropsWaitingBytes() {
        FakeSerialLine line;
        CMSComm comm;
        QSignalSpy events(&comm, &CMSComm::OnComm);
        line.SetWaitingAtOpen(QByteArray("\x11\x22\x33", 3));
        QCOMPARE(OpenPort(comm, 2, nullptr), OpenPortResult::Opened);
        QCOMPARE(comm.GetCommPort(), short(2));
        QCOMPARE(comm.GetInBufferCount(), short(0));
        QCOMPARE(comm.GetRThreshold(), short(1));
        QVERIFY(line.AppliedSettings() == LineSettings{});
        QCoreApplication::processEvents();
        QCOMPARE(events.count(), 0);

        // Later bytes raise exactly one receive event, and all of them can be read there.
        QByteArray seen;
        connect(&comm, &CMSComm::OnComm, this, [&] {
            QCOMPARE(comm.GetCommEvent(), CMSComm::kEvReceive);
            comm.SetInputLen(comm.GetInBufferCount());
            seen += comm.GetInput();
        });
        line.Deliver(QByteArray("\x56\x58", 2));
        QCOMPARE(events.count(), 1);
        QCOMPARE(seen, QByteArray("\x56\x58", 2));
    }

    void openFailureKeepsFacilityText() {
        FakeSerialLine line;
        line.SetOpenError(QStringLiteral("/dev/ttyS0: Permission denied"));
        CMSComm comm;
        QString error;
        QCOMPARE(OpenPort(comm, 1, nullptr, &error), OpenPortResult::Failed);
        QCOMPARE(error, QStringLiteral("/dev/ttyS0: Permission denied"));
        QVERIFY(!comm.GetPortOpen());
    }

    void portThatStaysOpenIsReported() {
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        CMSComm comm;
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        line.SetCloseIgnored(true);
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::StillOpen);
        QCOMPARE(boxes.Texts(), QStringList{QStringLiteral("打开串口失败!")});
        line.SetCloseIgnored(false);
    }

    void missingDeviceFailsWithText() {
        SetPortDeviceOverride(1, QStringLiteral("/nonexistent/kp650-port"));
        CMSComm comm;
        comm.SetCommPort(1);
        QVERIFY(!comm.SetPortOpen(true));
        QVERIFY(!comm.GetPortOpen());
        QVERIFY(comm.LastError().contains(QStringLiteral("/nonexistent/kp650-port")));
    }

    // Another program (or dialog) holding the device makes the open fail with its text.
    void busyDeviceFailsWithText() {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        SetPortDeviceOverride(1, pty.SlavePath());
        CMSComm first;
        QCOMPARE(OpenPort(first, 1, nullptr), OpenPortResult::Opened);
        CMSComm second;
        QString error;
        QCOMPARE(OpenPort(second, 1, nullptr, &error), OpenPortResult::Failed);
        QVERIFY(!second.GetPortOpen());
        QVERIFY(error.contains(pty.SlavePath()));
        first.SetPortOpen(false);
        QCOMPARE(OpenPort(second, 1, nullptr), OpenPortResult::Opened);
    }

    // Bytes the operating system took in before the port was opened (the tail of an earlier
    // conversation) never reach a receive handler.
    void openDropsWhatTheSystemQueued() {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        SetPortDeviceOverride(1, pty.SlavePath());
        QVERIFY(pty.WriteMaster(QByteArray("\x56\x01\x09\x09", 4)));
        CMSComm comm;
        QSignalSpy events(&comm, &CMSComm::OnComm);
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        QTest::qWait(200);
        QCOMPARE(events.count(), 0);
        QCOMPARE(comm.GetInBufferCount(), short(0));
        // What comes after the open is received as ever.
        QVERIFY(pty.WriteMaster(QByteArray("\x58", 1)));
        QTRY_COMPARE(events.count(), 1);
        QCOMPARE(comm.GetInput(), QByteArray("\x58", 1));
    }

    // A reply that came in time while the thread was busy elsewhere past the time-out (a fleet's
    // archive commit) is taken, not reported as silence; the request leaves in one write.
    void replyDuringBusyThreadIsTaken() {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        SetPortDeviceOverride(1, pty.SlavePath());
        CMSComm comm;
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        DeviceExchange exchange(comm);
        ExchangeRequest request;
        request.texts = {QStringLiteral("46 46"), QStringLiteral("58")};
        request.shape.length = 4;
        request.shape.resendable = false;
        request.timeOutMs = 100;
        QSignalSpy finished(&exchange, &DeviceExchange::Finished);
        QVERIFY(exchange.Start(request));
        QCOMPARE(pty.ReadMaster(3, 1000), QByteArray("FFX"));
        QVERIFY(pty.WriteMaster(QByteArray("\x01\x02\x03\x58", 4)));
        QThread::msleep(400);
        QVERIFY(finished.wait(2000));
        const auto result = finished.takeFirst().at(0).value<ExchangeResult>();
        QCOMPARE(int(result.outcome), int(ExchangeOutcome::Success));
        QCOMPARE(result.reply, QByteArray("\x01\x02\x03\x58", 4));
    }

    // A device server's connection, notified inline: the rest of a reply wakes the reader once
    // it is whole, and a part followed by silence is still seen when the time-out comes.
    void tcpReplyWakesOnceWhole_data() {
        QTest::addColumn<QList<QByteArray>>("pieces");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("events");
        QTest::newRow("whole in three pieces")
            << QList<QByteArray>{"\x01", "\x02", "\x03\x58"} << int(ExchangeOutcome::Success)
            << QByteArray("\x01\x02\x03\x58") << 2;
        QTest::newRow("part, then silence")
            << QList<QByteArray>{"\x01", "\x02"} << int(ExchangeOutcome::BadReply)
            << QByteArray("\x01\x02") << 2;
    }
    void tcpReplyWakesOnceWhole() {
        QFETCH(QList<QByteArray>, pieces);
        QFETCH(int, outcome);
        QFETCH(QByteArray, reply);
        QFETCH(int, events);
        QTcpServer server;
        QVERIFY(server.listen(QHostAddress::LocalHost));
        SetPortDeviceOverride(1, QStringLiteral("tcp://127.0.0.1:%1").arg(server.serverPort()));
        CMSComm comm;
        comm.SetInlineReceive(true);
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        QVERIFY(server.hasPendingConnections() || server.waitForNewConnection(2000));
        QTcpSocket* device = server.nextPendingConnection();
        DeviceExchange exchange(comm);
        int seen = 0;
        connect(&comm, &CMSComm::OnComm, this, [&] { ++seen; });
        ExchangeRequest request;
        request.texts = {QStringLiteral("46 46"), QStringLiteral("58")};
        request.shape.length = 4;
        request.shape.resendable = false;
        request.timeOutMs = 300;
        QSignalSpy finished(&exchange, &DeviceExchange::Finished);
        QVERIFY(exchange.Start(request));
        QByteArray sent;
        QTRY_COMPARE((sent += device->readAll()), QByteArray("FFX"));
        for (const QByteArray& piece : pieces) {
            device->write(piece);
            device->flush();
            QTest::qWait(40);
        }
        QTRY_COMPARE(finished.size(), 1);
        const auto result = finished.takeFirst().at(0).value<ExchangeResult>();
        QCOMPARE(int(result.outcome), outcome);
        QCOMPARE(result.reply, reply);
        QCOMPARE(seen, events);
    }

    // The real serial port over a pseudo-terminal: 9600 8N1 applied, bytes both ways, and the
    // far end hanging up closes the port instead of crashing.
    void realPortOverPty() {
        PtyPair pty;
        QVERIFY(pty.IsValid());
        SetPortDeviceOverride(1, pty.SlavePath());
        CMSComm comm;
        QCOMPARE(OpenPort(comm, 1, nullptr), OpenPortResult::Opened);
        QVERIFY(comm.GetPortOpen());

        termios tio{};
        QVERIFY(tcgetattr(pty.MasterFd(), &tio) == 0);
        QCOMPARE(cfgetospeed(&tio), speed_t(B9600));
        QCOMPARE(tio.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(tio.c_cflag & (PARENB | CSTOPB), tcflag_t(0));

        QByteArray received;
        int events = 0;
        connect(&comm, &CMSComm::OnComm, this, [&] {
            ++events;
            comm.SetInputLen(comm.GetInBufferCount());
            received += comm.GetInput();
        });
        const QByteArray reply("\x56\x01\x09\x09\x08\x0A\x0B\x0C\x0D\x58", 10);
        QVERIFY(pty.WriteMaster(reply));
        QTRY_COMPARE(received, reply);
        QVERIFY(events >= 1);

        comm.SetOutput(QByteArray(1, '\x56'));
        comm.SetOutput(QByteArray(1, '\x58'));
        QByteArray sent;
        QTRY_COMPARE((sent += pty.ReadMaster(2, 0)), QByteArray("\x56\x58", 2));

        QSignalSpy lost(&comm, &CMSComm::LineLost);
        pty.CloseMaster();
        QTRY_VERIFY_WITH_TIMEOUT(!comm.GetPortOpen(), 5000);
        QCOMPARE(lost.count(), 1);
        comm.SetOutput(QByteArray(1, '\x42'));  // writing to a lost port does nothing
        QVERIFY(comm.GetInput().isEmpty());
    }
};

QTEST_MAIN(TestMSComm)
#include "tst_ms_comm.moc"
