// What a start brings beyond the switch by setting.ini: the command line (also without a
// display), what earlier runs remembered, the status bar, the window's place and the keyboard.

#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QtTest>

#include "app/command_line.h"
#include "app/kpb650_app.h"
#include "app/main_frame.h"
#include "common/file_dialog_folder.h"
#include "common/globals.h"
#include "common/user_settings.h"
#include "link/fake_serial_line.h"
#include "link/port_names.h"
#include "support/test_support.h"

namespace {

QString Label(const QWidget& frame, const char* name) {
    const auto* label = frame.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// Answers the port chooser as the operator would: a device typed in, then a port's button.
void ChooseInChooser(ModalCloser& closer, const QString& device, const QString& button) {
    closer.SetOnClose([device, button](const QString& name) {
        if (name != QLatin1String("dlgPortChooser")) {
            return;
        }
        QWidget* dlg = QApplication::activeModalWidget();
        dlg->findChild<QLineEdit*>(QStringLiteral("portDevice"))->setText(device);
        dlg->findChild<QPushButton*>(button)->click();
    });
}

}  // namespace

class TestStartOptions : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_config;
    QTemporaryDir m_home;

    QString SettingFile() const { return m_home.filePath(QStringLiteral("setting.ini")); }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(m_config.isValid() && m_home.isValid());
        // Before the first QSettings: the user's own settings are never touched.
        qputenv("XDG_CONFIG_HOME", m_config.path().toLocal8Bit());
        qputenv("KP650_HOME", m_home.path().toLocal8Bit());
        qunsetenv("KP650_COM1");
        qunsetenv("KP650_COM2");
    }

    void init() {
        g_variant = 0;
        g_portNumber = 0;
        for (int port : {1, 2}) {
            SetPortDeviceOverride(port, QString());
            SetRememberedPortDevice(port, QString());
        }
    }

    void commandLine_data() {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<bool>("qtOptionsPresent");
        QTest::addColumn<int>("action");
        QTest::addColumn<QString>("text");  // the start of it
        QTest::addColumn<QString>("com1");
        QTest::addColumn<int>("variant");  // -1: not fixed
        using A = app::CommandLine::Action;
        QTest::newRow("help") << QStringList{"/usr/bin/kp650", "--help"} << true << int(A::Help)
                              << "Usage: kp650 [options]"
                              << "" << -1;
        QTest::newRow("-h among Qt options") << QStringList{"kp650", "-platform", "xcb", "-h"}
                                             << true << int(A::Help) << "Usage: kp650"
                                             << "" << -1;
        QTest::newRow("version") << QStringList{"kp650", "--version"} << true << int(A::Version)
                                 << "kp650 1.0\n"
                                 << "" << -1;
        QTest::newRow("variant and device server")
            << QStringList{"kp650", "--variant", "b", "--com1", "tcp://127.0.0.1:4001"} << false
            << int(A::Run) << ""
            << "tcp://127.0.0.1:4001" << 1;
        QTest::newRow("variant A")
            << QStringList{"kp650", "--variant=A"} << false << int(A::Run) << ""
            << "" << 0;
        QTest::newRow("bad variant") << QStringList{"kp650", "--variant", "C"} << true
                                     << int(A::Error) << "--variant must be A or B"
                                     << "" << -1;
        QTest::newRow("Qt's options left to Qt")
            << QStringList{"kp650", "-platform", "offscreen", "--com1", "/dev/ttyUSB0"} << true
            << int(A::Run) << ""
            << "/dev/ttyUSB0" << -1;
        QTest::newRow("unknown option once Qt's are gone")
            << QStringList{"kp650", "--colour"} << false << int(A::Error) << "Unknown option"
            << "" << -1;
        QTest::newRow("stray argument")
            << QStringList{"kp650", "COM1"} << false << int(A::Error) << "unexpected argument: COM1"
            << "" << -1;
    }

    void commandLine() {
        QFETCH(QStringList, args);
        QFETCH(bool, qtOptionsPresent);
        QFETCH(int, action);
        QFETCH(QString, text);
        QFETCH(QString, com1);
        QFETCH(int, variant);
        const app::CommandLine line = app::ParseCommandLine(args, qtOptionsPresent);
        QCOMPARE(int(line.action), action);
        QVERIFY2(text.isEmpty() ? line.text.isEmpty() : line.text.startsWith(text),
                 qPrintable(line.text));
        QCOMPARE(line.com1, com1);
        QCOMPARE(line.variant.value_or(-1), variant);
    }

    // Help and version come from the program itself with no display to connect to.
    void helpWithoutDisplay_data() {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QString>("output");
        QTest::newRow("help") << "--help"
                              << "--variant <A|B>";
        QTest::newRow("version") << "--version"
                                 << "kp650 1.0";
    }

    void helpWithoutDisplay() {
        QFETCH(QString, option);
        QFETCH(QString, output);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
            env.remove(QString::fromLatin1(name));
        }
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(KP650_PATH), {option});
        QVERIFY(process.waitForFinished(30000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(process.exitCode(), 0);
        QVERIFY2(process.readAllStandardOutput().contains(output.toUtf8()),
                 process.readAllStandardError().constData());
    }

    // A device chosen and opened is the port's device at the next start; one that failed is
    // not remembered. The environment still wins over what was remembered.
    void choiceRememberedAcrossStarts() {
        {
            FakeSerialLine line;
            MessageBoxRecorder boxes;
            ModalCloser closer;
            CMainFrame frame;
            frame.RunStartupTick();
            ChooseInChooser(closer, QStringLiteral("/dev/ttyUSB7"), QStringLiteral("assignCom1"));
            frame.Action(CMainFrame::kCmdChoosePort, frame.ShownMenu())->trigger();
            QCOMPARE(closer.Closed().mid(1),
                     (QStringList{QStringLiteral("dlgPortChooser"), QStringLiteral("dlg138")}));
            QCOMPARE(line.OpenedDevice(), QStringLiteral("/dev/ttyUSB7"));
            QVERIFY(frame.Com1Checked());

            line.SetOpenError(QStringLiteral("No such file or directory"));
            ChooseInChooser(closer, QStringLiteral("/dev/ttyUSB8"), QStringLiteral("assignCom2"));
            frame.OnChoosePort();
            QCOMPARE(PortDeviceName(2), QStringLiteral("/dev/ttyUSB8"));  // for this run
            QCOMPARE(g_portNumber, 1);  // the fallback to the port that worked
        }
        // The next start.
        for (int port : {1, 2}) {
            SetPortDeviceOverride(port, QString());
        }
        app::RestoreRememberedPorts();
        QCOMPARE(PortDeviceName(1), QStringLiteral("/dev/ttyUSB7"));
        QCOMPARE(PortDeviceName(2), QStringLiteral("/dev/ttyS1"));
        qputenv("KP650_COM1", "/dev/ttyACM0");
        QCOMPARE(PortDeviceName(1), QStringLiteral("/dev/ttyACM0"));
        qunsetenv("KP650_COM1");
    }

    // Each kind of file dialog opens where it was last left.
    void folderRememberedAcrossStarts() {
        QTemporaryDir records;
        QFile file(records.filePath(QStringLiteral("saved.mdb")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        {
            QFileDialog dialog;
            dialog.setOption(QFileDialog::DontUseNativeDialog);
            dialog.setFileMode(QFileDialog::ExistingFile);
            common::UseRememberedFolder(dialog, QStringLiteral("records-open"));
            dialog.setDirectory(records.path());
            dialog.selectFile(file.fileName());
            static_cast<QDialog&>(dialog).accept();  // as the Open button would
        }
        QFileDialog again;
        again.setOption(QFileDialog::DontUseNativeDialog);
        again.setDirectory(m_home.path());
        common::UseRememberedFolder(again, QStringLiteral("records-open"));
        QCOMPARE(QDir(again.directory()).canonicalPath(), QDir(records.path()).canonicalPath());
        QFileDialog other;
        other.setDirectory(m_home.path());
        common::UseRememberedFolder(other, QStringLiteral("graph-import"));
        QCOMPARE(other.directory().canonicalPath(), QDir(m_home.path()).canonicalPath());
        // A folder that has gone is not proposed.
        const QString gone = records.path();
        records.remove();
        QCOMPARE(common::RememberedFolder(QStringLiteral("records-open")), QString());
        QVERIFY(!gone.isEmpty());
    }

    // --variant fixes the start-up variant with its message and leaves setting.ini as it is; a
    // later switch goes to the other variant and makes the file match.
    void startupVariantFixed_data() {
        QTest::addColumn<int>("variant");
        QTest::addColumn<bool>("filePresent");
        QTest::newRow("A, file present") << 0 << true;
        QTest::newRow("A, no file") << 0 << false;
        QTest::newRow("B, file present") << 1 << true;
        QTest::newRow("B, no file") << 1 << false;
    }

    void startupVariantFixed() {
        QFETCH(int, variant);
        QFETCH(bool, filePresent);
        QFile::remove(SettingFile());
        if (filePresent) {
            QFile f(SettingFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        ModalCloser closer;
        CMainFrame frame;
        frame.SetStartupVariant(variant);
        frame.RunStartupTick();
        const QString a = QStringLiteral("维护软件切换为KPA-650界面!");
        const QString b = QStringLiteral("维护软件切换为KPB-650界面!");
        QCOMPARE(g_variant, variant);
        QCOMPARE(frame.ShownMenu(), variant);
        QCOMPARE(boxes.Texts(), QStringList{variant == 0 ? a : b});
        QCOMPARE(QFile::exists(SettingFile()), filePresent);
        QCOMPARE(Label(frame, "statusVariant"), variant == 0 ? QStringLiteral("KPA-650 发送端")
                                                             : QStringLiteral("KPB-650 接收端"));

        frame.OnSwitchVariant();
        QCOMPARE(g_variant, 1 - variant);
        QCOMPARE(boxes.Texts().last(), variant == 0 ? b : a);
        QCOMPARE(QFile::exists(SettingFile()), variant == 0);
        frame.OnSwitchVariant();  // and from then on by the file
        QCOMPARE(g_variant, variant);
        QCOMPARE(QFile::exists(SettingFile()), variant == 1);
    }

    // The status bar: the port in use with its device, and whether that device answers.
    void statusBar() {
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        ModalCloser closer;
        SetPortDeviceOverride(1, QStringLiteral("tcp://127.0.0.1:4001"));
        CMainFrame frame;
        QCOMPARE(Label(frame, "statusPort"), QStringLiteral("串口一: tcp://127.0.0.1:4001"));
        QCOMPARE(Label(frame, "statusDevice"), QStringLiteral("装置: 尚未通信"));
        frame.RunStartupTick();
        QCOMPARE(Label(frame, "statusPort"),
                 QStringLiteral("串口一: tcp://127.0.0.1:4001 (可以打开)"));

        // What the record dialog's link hears shows in the status bar.
        DeviceLink& link = frame.RecordDlg().Link();
        emit link.Answered(QStringLiteral("tcp://127.0.0.1:4001"));
        QVERIFY(Label(frame, "statusDevice").startsWith(QStringLiteral("装置: 有应答 ")));
        emit link.NoAnswer(QStringLiteral("tcp://127.0.0.1:4001"), QStringLiteral("超时"));
        QVERIFY(Label(frame, "statusDevice").startsWith(QStringLiteral("装置: 无应答 ")));
        QVERIFY(Label(frame, "statusDevice").endsWith(QStringLiteral(" (超时)")));
        // News of another device does not change what this one did.
        emit link.Answered(QStringLiteral("/dev/ttyS1"));
        QVERIFY(Label(frame, "statusDevice").startsWith(QStringLiteral("装置: 无应答 ")));

        line.SetOpenError(QStringLiteral("busy"));
        frame.OnSelectCom2();  // fails and falls back to port 1, untested
        QCOMPARE(Label(frame, "statusPort"), QStringLiteral("串口一: tcp://127.0.0.1:4001"));
        line.SetOpenError(QString());
        frame.OnSelectCom2();
        QCOMPARE(Label(frame, "statusPort"), QStringLiteral("串口二: /dev/ttyS1 (可以打开)"));
        QCOMPARE(Label(frame, "statusDevice"), QStringLiteral("装置: 尚未通信"));
    }

    // The outer frame, decorations included, is the fixed 550 by 400 at (150, 100); the port
    // check is centred on the screen.
    void placement() {
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        ModalCloser closer;
        QPoint checkCentre;
        closer.SetOnClose([&](const QString& name) {
            if (name == QLatin1String("dlg138")) {
                checkCentre = QApplication::activeModalWidget()->frameGeometry().center();
            }
        });
        CMainFrame frame;
        frame.show();
        QTRY_COMPARE(frame.frameGeometry(), QRect(150, 100, 550, 400));
        QTRY_COMPARE(closer.Closed().value(0), QStringLiteral("dlg138"));
        const QPoint screenCentre = frame.screen()->availableGeometry().center();
        QVERIFY2((checkCentre - screenCentre).manhattanLength() <= 4,
                 qPrintable(QStringLiteral("%1,%2").arg(checkCentre.x()).arg(checkCentre.y())));
        QCOMPARE(frame.frameGeometry(), QRect(150, 100, 550, 400));
    }

    // Alt and a letter open the menus whose titles carry no access key.
    void accessKeys_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("command");  // an item of the menu that should open
        QTest::newRow("Alt+K") << int(Qt::Key_K) << int(CMainFrame::kCmdParameters);
        QTest::newRow("Alt+C") << int(Qt::Key_C) << int(CMainFrame::kCmdSelectCom1);
        QTest::newRow("Alt+H") << int(Qt::Key_H) << int(CMainFrame::kCmdAppAbout);
    }

    void accessKeys() {
        QFETCH(int, key);
        QFETCH(int, command);
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        CMainFrame frame;
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QMenu* menu = nullptr;
        for (QObject* o : frame.Action(command, 0)->associatedObjects()) {
            menu = menu ? menu : qobject_cast<QMenu*>(o);
        }
        QVERIFY(menu);
        QTest::keyClick(&frame, Qt::Key(key), Qt::AltModifier);
        QTRY_VERIFY(menu->isVisible());
        menu->close();
    }

    void accessKeySwitches() {
        FakeSerialLine line;
        MessageBoxRecorder boxes;
        CMainFrame frame;
        frame.show();
        frame.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&frame));
        QTest::keyClick(&frame, Qt::Key_Q, Qt::AltModifier);
        QCOMPARE(boxes.Texts().value(0).left(7), QStringLiteral("维护软件切换为"));
        QFile::remove(SettingFile());
    }
};

QTEST_MAIN(TestStartOptions)
#include "tst_start_options.moc"
