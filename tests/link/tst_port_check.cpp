#include <QLabel>
#include <QtTest>

#include "link/fake_serial_line.h"
#include "link/port_check_dlg.h"
#include "support/test_support.h"

class TestPortCheck : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void statusLines_data() {
        QTest::addColumn<int>("port");
        QTest::addColumn<QString>("openError");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("failed");
        QTest::addColumn<QStringList>("boxes");
        QTest::newRow("port 1 opens")
            << 1 << QString() << QStringLiteral("                  串口1打开成功!") << 0
            << QStringList();
        QTest::newRow("port 2 opens")
            << 2 << QString() << QStringLiteral("                  串口2打开成功!") << 0
            << QStringList();
        QTest::newRow("port 2 missing")
            << 2 << QStringLiteral("No such file or directory")
            << QStringLiteral("   串口2打开失败，请重新选择串口!") << 1
            << QStringList{QStringLiteral("串口打开失败，请重新选择串口!")};
        QTest::newRow("port 1 busy")
            << 1 << QStringLiteral("Device or resource busy")
            << QStringLiteral("   串口1打开失败，请重新选择串口!") << 1
            << QStringList{QStringLiteral("串口打开失败，请重新选择串口!")};
    }

    void statusLines() {
        QFETCH(int, port);
        QFETCH(QString, openError);
        QFETCH(QString, status);
        QFETCH(int, failed);
        QFETCH(QStringList, boxes);
        FakeSerialLine line;
        line.SetOpenError(openError);
        MessageBoxRecorder recorder;
        CPortCheckDlg dlg;
        dlg.SetPortNumber(port);
        dlg.show();
        QCOMPARE(dlg.Failed(), failed);
        QCOMPARE(dlg.StatusText(), status);
        QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("id1029"))->text(), status);
        QCOMPARE(recorder.Texts(), boxes);
        QCOMPARE(dlg.windowTitle(), QStringLiteral("KPA(B)-650"));
        // The port is held while the dialog shows and released when it closes; nothing is sent.
        QCOMPARE(line.IsOpen(), failed == 0);
        dlg.accept();
        QVERIFY(!line.IsOpen());
        QVERIFY(line.Written().isEmpty());
    }

    void portThatWillNotCloseIsReported() {
        FakeSerialLine line;
        MessageBoxRecorder recorder;
        CPortCheckDlg dlg;
        dlg.show();
        QCOMPARE(dlg.Failed(), 0);
        line.SetCloseIgnored(true);
        dlg.accept();
        dlg.show();
        QCOMPARE(recorder.Texts(), QStringList{QStringLiteral("打开串口失败!")});
        QCOMPARE(dlg.Failed(), 1);
        QCOMPARE(dlg.StatusText(), QStringLiteral("   串口1打开失败，请重新选择串口!"));
        line.SetCloseIgnored(false);
        dlg.accept();
    }

    void statusSetAfreshEachShowing() {
        FakeSerialLine line;
        MessageBoxRecorder recorder;
        CPortCheckDlg dlg;
        dlg.SetPortNumber(2);
        dlg.show();
        QCOMPARE(dlg.Failed(), 0);
        dlg.accept();
        line.SetOpenError(QStringLiteral("gone"));
        dlg.show();
        QCOMPARE(dlg.Failed(), 1);
        QCOMPARE(dlg.PortNumber(), 2);
        QCOMPARE(dlg.StatusText(), QStringLiteral("   串口2打开失败，请重新选择串口!"));
        dlg.accept();
    }
};

QTEST_MAIN(TestPortCheck)
#include "tst_port_check.moc"
