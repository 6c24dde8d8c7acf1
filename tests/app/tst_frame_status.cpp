// The status bar after a lost line: what it says, and that it says it within the 550-pixel
// window (shortened, the path elided in the middle, the whole text in the tool tip).

#include <QLabel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QtTest>

#include "app/frame_status.h"
#include "app/main_frame.h"
#include "link/fake_serial_line.h"
#include "link/port_names.h"
#include "support/test_support.h"

class TestFrameStatus : public QObject {
    Q_OBJECT
private slots:
    void fitsTheWidth_data();
    void fitsTheWidth();
    void lostLineInTheWindow();
};

void TestFrameStatus::fitsTheWidth_data() {
    QTest::addColumn<QString>("device");
    QTest::addColumn<int>("check");
    QTest::addColumn<QString>("reason");
    QTest::addColumn<int>("maxWidth");  // in characters
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("shown");
    const int unusable = int(app::PortCheck::Unusable);
    const QString lost = QStringLiteral("/dev/ttyUSB0: 串口线路已断开 (Input/output error)");
    QTest::newRow("all fits") << "/dev/ttyUSB0" << unusable << "超时" << 80
                              << "串口一: /dev/ttyUSB0 (不可用)"
                              << "装置: 无应答 10:20:30 (超时)";
    QTest::newRow("reason left out")
        << "/dev/ttyUSB0" << unusable << lost << 50 << "串口一: /dev/ttyUSB0 (不可用)"
        << "装置: 无应答 10:20:30";
    QTest::newRow("path elided in the middle")
        << "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
        << int(app::PortCheck::Gone) << lost << 60
        << "串口一: /dev/serial/by-…5BI-if00-port0 (串口已不存在)"
        << "装置: 无应答 10:20:30";
}

void TestFrameStatus::fitsTheWidth() {
    QFETCH(QString, device);
    QFETCH(int, check);
    QFETCH(QString, reason);
    QFETCH(int, maxWidth);
    QFETCH(QString, port);
    QFETCH(QString, shown);
    const app::StatusTexts texts = app::FitStatusTexts(
        1, device, app::PortCheck(check), app::DeviceHeard::NoAnswer, QTime(10, 20, 30), reason,
        maxWidth, [](const QString& text) { return int(text.size()); });
    QCOMPARE(texts.port, port);
    QCOMPARE(texts.device, shown);
    QVERIFY(texts.port.size() + texts.device.size() <= maxWidth);
    QCOMPARE(texts.toolTip, app::PortStatusText(1, device, app::PortCheck(check)) + "\n" +
                                QStringLiteral("装置: 无应答 10:20:30 (") + reason + ")");
}

// A device that answered, then its file vanished and the line was lost: at once the status bar
// says so, whole within the window, and the tool tip keeps the path and the reason.
void TestFrameStatus::lostLineInTheWindow() {
    QTemporaryDir dir;
    const QString device =
        dir.filePath(QStringLiteral("serial-by-id-usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
    QFile file(device);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    ModalCloser closer;
    SetPortDeviceOverride(1, device);
    CMainFrame frame;
    frame.show();
    frame.RunStartupTick();
    const QString reason = device + QStringLiteral(": 串口线路已断开 (Input/output error)");
    // What the record dialog's link hears shows in the status bar.
    DeviceLink& link = frame.RecordDlg().Link();
    emit link.Answered(device);
    QFile::remove(device);
    emit link.NoAnswer(device, reason);
    auto* port = frame.findChild<QLabel*>(QStringLiteral("statusPort"));
    auto* shown = frame.findChild<QLabel*>(QStringLiteral("statusDevice"));
    QTRY_VERIFY(port->text().endsWith(QStringLiteral(" (串口已不存在)")));
    QVERIFY2(port->text().contains(QChar(0x2026)), qPrintable(port->text()));
    QVERIFY(shown->text().startsWith(QStringLiteral("装置: 无应答 ")));
    QVERIFY(port->toolTip().contains(device));
    QVERIFY(port->toolTip().endsWith(QStringLiteral(" (") + reason + ")"));
    QVERIFY(frame.width() <= 550);
    // Nothing cut: each label is as wide as its text, and inside the bar.
    QTRY_VERIFY(port->width() >= port->fontMetrics().horizontalAdvance(port->text()));
    QVERIFY(shown->width() >= shown->fontMetrics().horizontalAdvance(shown->text()));
    QVERIFY(shown->mapTo(&frame, QPoint(shown->width(), 0)).x() <= frame.width());
    SetPortDeviceOverride(1, QString());
}

QTEST_MAIN(TestFrameStatus)
#include "tst_frame_status.moc"
