#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QtTest>

#include "app/main_frame.h"
#include "common/globals.h"
#include "link/fake_serial_line.h"
#include "support/test_support.h"

namespace {
QStringList BarTexts(QMainWindow& frame) {
    QStringList texts;
    for (QAction* a : frame.menuBar()->actions()) {
        texts << a->text();
    }
    return texts;
}
}  // namespace

class TestMainFrame : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_home;

    QString SettingFile() const { return m_home.filePath(QStringLiteral("setting.ini")); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_home.isValid());
        qputenv("KP650_HOME", m_home.path().toLocal8Bit());
    }

    void init() {
        QFile::remove(SettingFile());
        g_variant = 0;
        g_portNumber = 0;
    }

    void creation() {
        FakeSerialLine line;
        CMainFrame frame;
        QCOMPARE(frame.windowTitle(), QStringLiteral("KPA(B)-650远方跳闸信号传输装置"));
        QCOMPARE(frame.geometry(), QRect(150, 100, 550, 400));
        QCOMPARE(g_portNumber, 1);
        QCOMPARE(frame.DialogPortNumbers(), std::vector<int>(frame.DialogPortNumbers().size(), 1));
        QCOMPARE(BarTexts(frame),
                 (QStringList{QStringLiteral("KPA-650"), QStringLiteral("维护软件切换"),
                              QStringLiteral("串口设置"), QStringLiteral("帮助(&H)")}));
    }

    void menus_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<int>("command");
        QTest::addColumn<QString>("text");
        const QList<std::tuple<int, QString, QString>> items = {
            {CMainFrame::kCmdParameters, "参数设置", "参数设置"},
            {CMainFrame::kCmdRecordQuery, "记录查询", "记录查询"},
            {CMainFrame::kCmdClockSettings, "时间设置", "时间设置"},
            {CMainFrame::kCmdExit, "退    出", "退出"},
            {CMainFrame::kCmdSwitchVariant, "维护软件切换", "维护软件切换"},
            {CMainFrame::kCmdSelectCom1, "串口一", "串口一"},
            {CMainFrame::kCmdSelectCom2, "串口二", "串口二"},
            {CMainFrame::kCmdAppAbout, "关于 KPA650(&A)...", "关于 KPB650(&A)..."},
            {32792, "从归档库读取记录(&G)...", "从归档库读取记录(&G)..."},
        };
        for (const auto& [id, a, b] : items) {
            QTest::addRow("A %d", id) << 0 << id << a;
            QTest::addRow("B %d", id) << 1 << id << b;
        }
    }

    void menus() {
        QFETCH(int, variant);
        QFETCH(int, command);
        QFETCH(QString, text);
        FakeSerialLine line;
        CMainFrame frame;
        QAction* action = frame.Action(command, variant);
        QVERIFY(action);
        QCOMPARE(action->text(), text);
        QCOMPARE(action->objectName(), QStringLiteral("cmd%1").arg(command));
    }

    // The variant lives in setting.ini: absent gives B and creates it, present gives A and
    // deletes it, with the message after the menu is in place.
    void variantSwitch_data() {
        QTest::addColumn<bool>("filePresent");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("fileAfter");
        QTest::newRow("first start, no file")
            << false << 1 << QStringLiteral("维护软件切换为KPB-650界面!") << true;
        QTest::newRow("file present")
            << true << 0 << QStringLiteral("维护软件切换为KPA-650界面!") << false;
    }

    void variantSwitch() {
        QFETCH(bool, filePresent);
        QFETCH(int, variant);
        QFETCH(QString, message);
        QFETCH(bool, fileAfter);
        if (filePresent) {
            QFile f(SettingFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        CMainFrame frame;
        frame.OnSwitchVariant();
        QCOMPARE(g_variant, variant);
        QCOMPARE(frame.ShownMenu(), variant);
        QCOMPARE(boxes.Texts(), QStringList{message});
        QCOMPARE(boxes.Boxes().first().caption, QStringLiteral("KPA(B)-650"));
        QCOMPARE(QFile::exists(SettingFile()), fileAfter);
        if (fileAfter) {
            QCOMPARE(QFileInfo(SettingFile()).size(), 0);
        }
        // Each switch goes to the other variant.
        frame.OnSwitchVariant();
        QCOMPARE(g_variant, 1 - variant);
        QCOMPARE(frame.menuBar()->actions().first()->text(),
                 variant == 1 ? QStringLiteral("KPA-650") : QStringLiteral("KPB-650"));
    }

    void undeletableFileKeepsVariantA() {
        QFile f(SettingFile());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        CMainFrame frame;
        SettingFileOps ops = SettingFileOps::Real();
        ops.remove = [](const QString&) { return false; };
        frame.SetSettingFileOps(ops);
        frame.OnSwitchVariant();
        frame.OnSwitchVariant();
        QCOMPARE(g_variant, 0);
        QCOMPARE(boxes.Texts(), QStringList(2, QStringLiteral("维护软件切换为KPA-650界面!")));
        QVERIFY(QFile::exists(SettingFile()));
    }

    void uncreatableFileGivesVariantB() {
        // A program directory below a regular file can never be created, even by root.
        QFile blocker(m_home.filePath(QStringLiteral("blocker")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QByteArray saved = qgetenv("KP650_HOME");
        qputenv("KP650_HOME", (blocker.fileName() + QStringLiteral("/home")).toLocal8Bit());
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        {
            CMainFrame frame;
            frame.OnSwitchVariant();
            frame.OnSwitchVariant();
        }
        qputenv("KP650_HOME", saved);
        QCOMPARE(g_variant, 1);
        QCOMPARE(boxes.Texts(), QStringList(2, QStringLiteral("维护软件切换为KPB-650界面!")));
    }

    // Start-up: the port check of COM1 first, then the variant message; the check marks follow.
    void startupOrder_data() {
        QTest::addColumn<bool>("portOk");
        QTest::newRow("port opens") << true;
        QTest::newRow("port fails") << false;
    }

    void startupOrder() {
        QFETCH(bool, portOk);
        FakeSerialLine line;
        if (!portOk) {
            line.SetOpenError(QStringLiteral("no such device"));
        }
        MessageBoxRecorder boxes;
        ModalCloser closer;
        QStringList boxesWhileCheckShown;
        closer.SetOnClose([&](const QString&) { boxesWhileCheckShown = boxes.Texts(); });
        CMainFrame frame;
        QTRY_COMPARE_WITH_TIMEOUT(closer.Closed(), QStringList{QStringLiteral("dlg138")}, 5000);
        QTRY_VERIFY(!boxes.Texts().isEmpty() &&
                    boxes.Texts().last().startsWith(QStringLiteral("维护软件切换为")));
        // Nothing of the variant switch happened while the port check was up.
        for (const QString& text : boxesWhileCheckShown) {
            QVERIFY(!text.startsWith(QStringLiteral("维护软件切换为")));
        }
        QCOMPARE(frame.StartupPortOk(), portOk);
        QCOMPARE(frame.Com1Checked(), portOk);
        QVERIFY(!frame.Com2Checked());
        if (portOk) {
            QCOMPARE(line.OpenedDevice(), frame.PortCheckDlg().Comm().DeviceName());
        } else {
            QCOMPARE(boxes.Texts().first(), QStringLiteral("串口打开失败，请重新选择串口!"));
        }
        // Menu check marks as the port pop-up would show them.
        QCOMPARE(frame.Action(CMainFrame::kCmdSelectCom1, frame.ShownMenu())->isChecked(), portOk);
    }

    // Port choice after start-up: success checks the chosen port; failure falls back to the
    // other port only when the start-up check had succeeded.
    void portSelection_data() {
        QTest::addColumn<bool>("startupOk");
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("choiceOk");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("com1");
        QTest::addColumn<bool>("com2");
        QTest::newRow("start ok, COM2 ok") << true << 2 << true << 2 << false << true;
        QTest::newRow("start ok, COM2 fails") << true << 2 << false << 1 << true << false;
        QTest::newRow("start ok, COM1 fails") << true << 1 << false << 2 << false << true;
        QTest::newRow("start fails, COM2 fails") << false << 2 << false << 2 << false << false;
        QTest::newRow("start fails, COM2 ok") << false << 2 << true << 2 << false << true;
        QTest::newRow("start fails, COM1 ok") << false << 1 << true << 1 << true << false;
    }

    void portSelection() {
        QFETCH(bool, startupOk);
        QFETCH(int, chosen);
        QFETCH(bool, choiceOk);
        QFETCH(int, port);
        QFETCH(bool, com1);
        QFETCH(bool, com2);
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        ModalCloser closer;
        CMainFrame frame;
        line.SetOpenError(startupOk ? QString() : QStringLiteral("busy"));
        frame.RunStartupTick();
        QCOMPARE(frame.StartupPortOk(), startupOk);

        line.SetOpenError(choiceOk ? QString() : QStringLiteral("busy"));
        const int opensBefore = line.OpenCount();
        if (chosen == 1) {
            frame.OnSelectCom1();
        } else {
            frame.OnSelectCom2();
        }
        QCOMPARE(closer.Closed().size(), 2);
        QCOMPARE(frame.PortCheckDlg().StatusText(), choiceOk ? CPortCheckDlg::SuccessText(chosen)
                                                             : CPortCheckDlg::FailureText(chosen));
        // A fallback port is taken without testing it.
        QCOMPARE(line.OpenCount(), opensBefore + (choiceOk ? 1 : 0));
        QCOMPARE(g_portNumber, port);
        for (int p : frame.DialogPortNumbers()) {
            QCOMPARE(p, port);
        }
        QCOMPARE(frame.Com1Checked(), com1);
        QCOMPARE(frame.Com2Checked(), com2);
        for (int menu : {0, 1}) {
            QCOMPARE(frame.Action(CMainFrame::kCmdSelectCom1, menu)->isChecked(), com1);
            QCOMPARE(frame.Action(CMainFrame::kCmdSelectCom2, menu)->isChecked(), com2);
        }
    }

    void exitClosesWindow() {
        FakeSerialLine line;
        CMainFrame frame;
        frame.show();
        QVERIFY(frame.isVisible());
        frame.Action(CMainFrame::kCmdExit, 1)->trigger();
        QVERIFY(!frame.isVisible());
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_main_frame.moc"
