// Acceptance tests outside the project find dialogs and controls by object name: dlg<resource>
// for a dialog, id<control> for each control it names. This keeps that interface whole.
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

#include "app/about_dlg.h"
#include "app/main_frame.h"
#include "common/globals.h"
#include "graph/event_graph_dlg.h"
#include "link/fake_serial_line.h"
#include "link/port_check_dlg.h"
#include "records/record_dlg.h"
#include "settings/device_clock_dlg.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/test_support.h"

class TestObjectNames : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() { qputenv("KP650_HOME", m_home.path().toLocal8Bit()); }

    void dialogs_data() {
        QTest::addColumn<DialogFactory>("make");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QList<int>>("ids");
        QTest::newRow("port check")
            << MakeDialog<CPortCheckDlg>() << "dlg138" << QList<int>{1029, 1, 1004};
        QTest::newRow("about") << MakeDialog<CAboutDlg>() << "dlg100"
                               << QList<int>{1051, 1038, 1043, 1039, 1, 1004};
        QTest::newRow("transmitter parameters")
            << MakeDialog<CTransmitterParamDlg>() << "dlg134"
            << QList<int>{1006, 1007, 1010, 1014, 1008, 1012, 1013, 1011, 1003, 1, 1004};
        QTest::newRow("receiver parameters")
            << MakeDialog<CReceiverParamDlg>() << "dlg142"
            << QList<int>{1006, 1007, 1010, 1021, 1009, 1014, 1015,
                          1008, 1012, 1013, 1011, 1003, 1,    1004};
        QTest::newRow("clock") << MakeDialog<CDeviceClockDlg>() << "dlg135"
                               << QList<int>{1041, 1042, 1018, 1019, 1011, 1017, 1, 1004};
        QTest::newRow("records") << MakeDialog<CRecordDlg>() << "dlg132"
                                 << QList<int>{1005, 1040, 1026, 1027, 1011, 1012, 1003, 1, 1004};
        const QList<int> graphControls{1020, 1011, 1012, 1026, 1027, 1050, 1003, 1018, 1019};
        QTest::newRow("transmitter graph")
            << MakeDialog<CTransmitterGraphDlg>() << "dlg131"
            << (QList<int>{1000, 1001, 1002, 1004, 1005} + graphControls);
        QTest::newRow("receiver graph")
            << MakeDialog<CReceiverGraphDlg>() << "dlg140"
            << (QList<int>{1000, 1001, 1002, 1004, 1005, 1006, 1007} + graphControls);
    }

    void dialogs() {
        QFETCH(DialogFactory, make);
        QFETCH(QString, name);
        QFETCH(QList<int>, ids);
        FakeSerialLine line;
        const std::unique_ptr<QDialog> dialog = make();
        QCOMPARE(dialog->objectName(), name);
        for (int id : ids) {
            const QString child = QStringLiteral("id%1").arg(id);
            QVERIFY2(dialog->findChild<QObject*>(child),
                     qPrintable(name + QLatin1Char(' ') + child));
        }
    }

    void menuCommands() {
        FakeSerialLine line;
        CMainFrame frame;
        for (int id : {32778, 32771, 32776, 32777, 32779, 32774, 32773, 57664}) {
            const QString cmd = QStringLiteral("cmd%1").arg(id);
            const QList<QAction*> actions = frame.findChildren<QAction*>(cmd);
            QVERIFY2(!actions.isEmpty(), qPrintable(cmd));
        }
    }
};

QTEST_MAIN(TestObjectNames)
#include "tst_object_names.moc"
