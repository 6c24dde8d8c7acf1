// The port chooser: its list of the system's serial ports against a made-up enumeration, and the
// dialog's choice.

#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QtTest>

#include "link/port_chooser_dlg.h"
#include "link/port_list_model.h"
#include "support/test_support.h"

namespace {

SerialPortEntry Port(const QString& device, const QString& description = QString(),
                     const QString& usbId = QString()) {
    return SerialPortEntry{device, description, QString(), usbId, QString()};
}

QStringList Devices(const QAbstractItemModel& model) {
    QStringList devices;
    for (int row = 0; row < model.rowCount(); ++row) {
        devices << model.index(row, 0).data().toString();
    }
    return devices;
}

// A system whose ports the test plugs and pulls.
struct FakeSystem {
    std::vector<SerialPortEntry> ports;
    SerialPortEnumerator Enumerator() {
        return [this] { return ports; };
    }
};

}  // namespace

class TestPortChooser : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void columns() {
        SerialPortListModel model;
        model.SetPorts(
            {SerialPortEntry{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "0403:6001", "A50285BI"}});
        model.SetAssignments("/dev/ttyUSB0", "tcp://10.0.0.5:4001");
        QStringList headers;
        QStringList cells;
        for (int c = 0; c < model.columnCount(); ++c) {
            headers << model.headerData(c, Qt::Horizontal).toString();
            cells << model.index(0, c).data().toString();
        }
        QCOMPARE(headers, (QStringList{"设备", "说明", "厂商", "USB 标识", "用作"}));
        QCOMPARE(cells,
                 (QStringList{"/dev/ttyUSB0", "FT232R USB UART", "FTDI", "0403:6001", "串口一"}));
        QCOMPARE(model.index(0, 0).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("序列号: A50285BI"));
        model.SetAssignments("/dev/ttyUSB0", "/dev/ttyUSB0");
        QCOMPARE(model.index(0, 4).data().toString(), QStringLiteral("串口一、串口二"));
    }

    // Each refresh changes only the rows that changed.
    void plugPullRefresh_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<QStringList>("after");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("inserted");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("changed");
        const QStringList two{"/dev/ttyS0", "/dev/ttyUSB0"};
        QTest::newRow("first look") << QStringList() << two << two << 2 << 0 << 0;
        QTest::newRow("nothing changed") << two << two << two << 0 << 0 << 0;
        QTest::newRow("adapter plugged in")
            << two << QStringList{"/dev/ttyUSB1", "/dev/ttyS0", "/dev/ttyUSB0"}
            << QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/ttyUSB1"} << 1 << 0 << 0;
        QTest::newRow("one sorting first plugged in")
            << two << QStringList{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0"}
            << QStringList{"/dev/ttyACM0", "/dev/ttyS0", "/dev/ttyUSB0"} << 1 << 0 << 0;
        QTest::newRow("adapter pulled out")
            << two << QStringList{"/dev/ttyS0"} << QStringList{"/dev/ttyS0"} << 0 << 1 << 0;
        QTest::newRow("all gone") << two << QStringList() << QStringList() << 0 << 2 << 0;
        QTest::newRow("same name, other description")
            << two << QStringList{"/dev/ttyS0", "/dev/ttyUSB0*"} << two << 0 << 0 << 1;
    }

    void plugPullRefresh() {
        QFETCH(QStringList, before);
        QFETCH(QStringList, after);
        QFETCH(QStringList, rows);
        QFETCH(int, inserted);
        QFETCH(int, removed);
        QFETCH(int, changed);
        // A trailing "*" marks a port whose description changed.
        auto ports = [](const QStringList& names) {
            std::vector<SerialPortEntry> out;
            for (QString name : names) {
                const bool other = name.endsWith(QLatin1Char('*'));
                name.remove(QLatin1Char('*'));
                out.push_back(Port(name, other ? "USB-Serial Controller" : "FT232R USB UART"));
            }
            return out;
        };
        SerialPortListModel model;
        model.SetPorts(ports(before));
        QSignalSpy insertSpy(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy removeSpy(&model, &QAbstractItemModel::rowsRemoved);
        QSignalSpy changeSpy(&model, &QAbstractItemModel::dataChanged);
        QSignalSpy resetSpy(&model, &QAbstractItemModel::modelReset);
        model.SetPorts(ports(after));
        QCOMPARE(Devices(model), rows);
        QCOMPARE(insertSpy.count(), inserted);
        QCOMPARE(removeSpy.count(), removed);
        QCOMPARE(changeSpy.count(), changed);
        QCOMPARE(resetSpy.count(), 0);
    }

    // A selection in the list stays on its port while others come and go.
    void selectionFollowsItsPort() {
        FakeSystem system;
        system.ports = {Port("/dev/ttyS0"), Port("/dev/ttyUSB1")};
        CPortChooserDlg dlg(system.Enumerator());
        dlg.SetCurrent("/dev/ttyUSB1", "/dev/ttyS1", 1);
        dlg.show();
        auto* view = dlg.findChild<QTableView*>(QStringLiteral("portList"));
        auto* name = dlg.findChild<QLineEdit*>(QStringLiteral("portDevice"));
        QCOMPARE(view->currentIndex().row(), 1);  // the device in use is selected
        system.ports = {Port("/dev/ttyACM0"), Port("/dev/ttyS0"), Port("/dev/ttyUSB1")};
        dlg.Refresh();
        QCOMPARE(view->currentIndex().data().toString(), QStringLiteral("/dev/ttyUSB1"));
        // The selected port pulled out: the name stays what the operator chose.
        system.ports = {Port("/dev/ttyACM0"), Port("/dev/ttyS0")};
        dlg.Refresh();
        QCOMPARE(name->text(), QStringLiteral("/dev/ttyUSB1"));
        dlg.reject();
    }

    // While it shows, the dialog looks again by itself.
    void refreshesWhileShown() {
        FakeSystem system;
        CPortChooserDlg dlg(system.Enumerator());
        dlg.show();
        QCOMPARE(dlg.Model().rowCount(), 0);
        system.ports = {Port("/dev/ttyUSB0", "CP2102 USB to UART Bridge", "10c4:ea60")};
        QTRY_COMPARE(dlg.Model().rowCount(), 1);
        system.ports.clear();
        QTRY_COMPARE(dlg.Model().rowCount(), 0);
        dlg.reject();
    }

    // At the first size the device path reads whole, however long, and whatever the others say.
    void devicePathWhole() {
        FakeSystem system;
        system.ports = {Port("/dev/ttyS0"),
                        Port("/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
                             "FT232R USB UART", "0403:6001")};
        CPortChooserDlg dlg(system.Enumerator());
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        auto* view = dlg.findChild<QTableView*>(QStringLiteral("portList"));
        const int device = view->columnWidth(0);
        QVERIFY(device > view->fontMetrics().horizontalAdvance(
                             "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"));
        QCOMPARE(view->columnViewportPosition(0), 0);
        dlg.reject();
    }

    void choice_data() {
        QTest::addColumn<int>("row");  // -1: type the name instead
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("device");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("listed port as port 1")
            << 1 << ""
            << "assignCom1" << 1 << "/dev/ttyUSB0" << QStringList();
        QTest::newRow("listed port as port 2")
            << 0 << ""
            << "assignCom2" << 2 << "/dev/ttyS0" << QStringList();
        QTest::newRow("device server")
            << -1 << " tcp://192.168.1.200:4001 "
            << "assignCom1" << 1 << "tcp://192.168.1.200:4001" << QStringList();
        QTest::newRow("device server without port")
            << -1 << "tcp://192.168.1.200"
            << "assignCom1" << 0 << ""
            << QStringList{"网络地址应写作 tcp://主机:端口（端口为 1 至 65535）。"};
        QTest::newRow("nothing") << -1 << ""
                                 << "assignCom2" << 0 << ""
                                 << QStringList{"请在列表中选择串口，或输入设备名。"};
    }

    void choice() {
        QFETCH(int, row);
        QFETCH(QString, typed);
        QFETCH(QString, button);
        QFETCH(int, port);
        QFETCH(QString, device);
        QFETCH(QStringList, boxes);
        FakeSystem system;
        system.ports = {Port("/dev/ttyS0"), Port("/dev/ttyUSB0")};
        MessageBoxRecorder recorder;
        CPortChooserDlg dlg(system.Enumerator());
        dlg.SetCurrent("/dev/ttyS9", "/dev/ttyS1", 1);
        dlg.show();
        auto* name = dlg.findChild<QLineEdit*>(QStringLiteral("portDevice"));
        QCOMPARE(name->text(), QStringLiteral("/dev/ttyS9"));  // port 1's device, not listed
        if (row >= 0) {
            dlg.findChild<QTableView*>(QStringLiteral("portList"))->selectRow(row);
        } else {
            name->setText(typed);
        }
        dlg.findChild<QPushButton*>(button)->click();
        QCOMPARE(recorder.Texts(), boxes);
        QCOMPARE(dlg.isVisible(), port == 0);
        QCOMPARE(dlg.result(), port == 0 ? 0 : int(QDialog::Accepted));
        QCOMPARE(dlg.ChosenPort(), port);
        QCOMPARE(dlg.ChosenDevice(), device);
        dlg.reject();
    }
};

QTEST_MAIN(TestPortChooser)
#include "tst_port_chooser.moc"
