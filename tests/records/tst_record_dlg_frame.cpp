// The main frame owns the record dialog: command 32771 shows it (both menus), and the port
// chosen in the frame reaches it.

#include <QAction>
#include <QApplication>
#include <QTemporaryDir>
#include <QtTest>

#include "app/main_frame.h"
#include "common/globals.h"
#include "link/fake_serial_line.h"
#include "records/record_dlg.h"
#include "support/test_support.h"

class TestRecordDlgFrame : public QObject {
    Q_OBJECT
private slots:
    void commandOpensDialog();
};

void TestRecordDlgFrame::commandOpensDialog() {
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    FakeSerialLine line;
    MessageBoxRecorder recorder;
    CMainFrame frame;
    auto* dlg = frame.findChild<CRecordDlg*>(QStringLiteral("dlg132"));
    QVERIFY(dlg);
    QCOMPARE(&frame.RecordDlg(), dlg);
    QCOMPARE(dlg->PortNumber(), 1);
    const std::vector<int> ports = frame.DialogPortNumbers();
    QVERIFY(std::count(ports.begin(), ports.end(), 1) == int(ports.size()));
    QVERIFY(ports.size() >= 2);

    for (int menu : {0, 1}) {
        g_variant = menu;
        QAction* action = frame.Action(CMainFrame::kCmdRecordQuery, menu);
        QVERIFY(action);
        QCOMPARE(action->objectName(), QStringLiteral("cmd32771"));
        bool shown = false;
        bool portOpen = false;
        QTimer::singleShot(0, dlg, [&] {
            shown = dlg->isVisible() && QApplication::activeModalWidget() == dlg;
            portOpen = line.IsOpen();
            dlg->accept();
        });
        action->trigger();
        QVERIFY(shown);
        QVERIFY(portOpen);
        QVERIFY(!dlg->isVisible());
        QVERIFY(!line.IsOpen());
    }
    qunsetenv("KP650_HOME");
}

QTEST_MAIN(TestRecordDlgFrame)
#include "tst_record_dlg_frame.moc"
