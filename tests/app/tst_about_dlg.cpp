#include <QtTest>

#include <QApplication>
#include <QLabel>
#include <QPushButton>

#include "app/about_dlg.h"
#include "app/kpb650_app.h"
#include "app/main_frame.h"
#include "common/globals.h"
#include "link/exchange.h"
#include "link/fake_serial_line.h"
#include "support/test_support.h"

using Events = QList<QByteArray>;

namespace {

QString LabelText(const QWidget& dlg, const char* name) {
    const auto* label = dlg.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

// Model, version, date, checksum as shown.
QStringList Shown(const QWidget& dlg) {
    return {LabelText(dlg, "id1051"), LabelText(dlg, "id1038"), LabelText(dlg, "id1039"),
            LabelText(dlg, "id1043")};
}

const QByteArray kDigits = Bytes({0x1, 0x9, 0x9, 0x8, 0xA, 0xB, 0xC, 0xD});
const QByteArray kReplyB = Bytes({0x56}) + kDigits + Bytes({0x58});
const QByteArray kReplyA = kDigits + Bytes({0x00});

}  // namespace

class TstAboutDlg : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void layout();
    void requestOnTheWire_data();
    void requestOnTheWire();
    void reply_data();
    void reply();
    void malformedReplyAskedAgain_data();
    void malformedReplyAskedAgain();
    void noDeviceTimesOut_data();
    void noDeviceTimesOut();
    void portCannotBeOpened();
    void staleBytesDropped();
    void appOpensAFreshDialogEachTime();
    void aboutCommandOnBothMenus();
    void parseIdentity_data();
    void parseIdentity();
};

void TstAboutDlg::init() {
    g_variant = kVariantB;
    g_portNumber = 1;
}

void TstAboutDlg::layout() {
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    QCOMPARE(dlg.objectName(), QStringLiteral("dlg100"));
    QCOMPARE(dlg.windowTitle(), QStringLiteral("关于 KPA(B)-650"));
    QCOMPARE(dlg.size(), QSize(352, 153));  // 235 by 102 units
    const auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("id1"));
    QVERIFY(ok);
    QCOMPARE(ok->text(), QStringLiteral("确定"));
    QCOMPARE(ok->geometry(), QRect(144, 121, 64, 21));
    QVERIFY(ok->isDefault());
    const auto* model = dlg.findChild<QLabel*>(QStringLiteral("id1051"));
    QVERIFY(model);
    QCOMPARE(model->geometry(), QRect(54, 67, 73, 12));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("id1038"))->geometry(), QRect(267, 67, 55, 12));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("id1043"))->geometry(), QRect(109, 91, 43, 12));
    QCOMPARE(dlg.findChild<QLabel*>(QStringLiteral("id1039"))->geometry(), QRect(249, 91, 63, 12));
    QVERIFY(dlg.findChild<CMSComm*>(QStringLiteral("id1004")));
    QStringList texts;
    for (const QLabel* label : dlg.findChildren<QLabel*>()) {
        texts << label->text();
    }
    QVERIFY(texts.contains(QStringLiteral("KPA(B)-650装置维护软件 v1.00")));
    QVERIFY(texts.contains(QStringLiteral("远方跳闸信号传输装置  v")));
    QVERIFY(texts.contains(QStringLiteral("CRC:")));
    QVERIFY(texts.contains(QStringLiteral("TIME:")));
    QVERIFY(texts.contains(CAboutDlg::NoticeText()));
}

void TstAboutDlg::requestOnTheWire_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("port");
    QTest::newRow("A on COM1") << int(kVariantA) << 1;
    QTest::newRow("B on COM2") << int(kVariantB) << 2;
}

void TstAboutDlg::requestOnTheWire() {
    QFETCH(int, variant);
    QFETCH(int, port);
    g_variant = variant;
    g_portNumber = port;
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    QCOMPARE(dlg.Comm().GetCommPort(), short(port));
    QVERIFY(line.IsOpen());
    QCOMPARE(line.Writes(), (QList<QByteArray>{"V", "X"}));
    QCOMPARE(dlg.RequestText(), QStringLiteral("56"));
    QCOMPARE(Shown(dlg), (QStringList{"KPA(B)-650/R", "", "", ""}));
    QVERIFY(boxes.Boxes().isEmpty());
    // Closing releases the port.
    dlg.accept();
    QVERIFY(!line.IsOpen());
}

void TstAboutDlg::reply_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<Events>("events");  // one entry per receive event, sent for every try
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("messages");

    const QStringList parsedB{"  KPB-650/R", "1.00", "2009-9-8", "ABCD"};
    const QStringList parsedA{"  KPA-650/R", "1.00", "2009-9-8", "ABCD"};
    const QStringList none;
    const QStringList error{QStringLiteral("接收记录出错，请重试!")};
    QTest::newRow("B in one event") << int(kVariantB) << Events{kReplyB} << parsedB << none;
    QTest::newRow("B split 4 + 6")
        << int(kVariantB) << Events{kReplyB.left(4), kReplyB.mid(4)} << parsedB << none;
    QTest::newRow("B closing byte alone")
        << int(kVariantB) << Events{kReplyB.left(9), kReplyB.mid(9)} << parsedB << none;
    QTest::newRow("B two-digit year")
        << int(kVariantB) << Events{Bytes({0x56, 2, 0xC, 0xC, 0xF, 0, 0, 0, 1, 0x58})}
        << QStringList{"  KPB-650/R", "2.00", "2012-12-15", "0001"} << none;
    QTest::newRow("B digit of 0x10: nothing shown")
        << int(kVariantB) << Events{Bytes({0x56, 0x10, 9, 9, 8, 0xA, 0xB, 0xC, 0xD, 0x58})}
        << QStringList{"  KPB-650/R", "", "", ""} << error;
    QTest::newRow("B reply one byte too long") << int(kVariantB) << Events{kReplyB + Bytes({0x58})}
                                               << QStringList{"  KPB-650/R", "", "", ""} << error;
    QTest::newRow("A in one event") << int(kVariantA) << Events{kReplyA} << parsedA << none;
    QTest::newRow("A closing byte of any value")
        << int(kVariantA) << Events{kDigits + Bytes({0xFF})} << parsedA << none;
    QTest::newRow("A split 4 + 5")
        << int(kVariantA) << Events{kReplyA.left(4), kReplyA.mid(4)} << parsedA << none;
    QTest::newRow("A digit of 0x10: nothing shown")
        << int(kVariantA) << Events{Bytes({0x10, 9, 9, 8, 0xA, 0xB, 0xC, 0xD, 0})}
        << QStringList{"  KPA-650/R", "", "", ""} << error;
    QTest::newRow("A month 0: nothing shown")
        << int(kVariantA) << Events{Bytes({1, 9, 0, 8, 0xA, 0xB, 0xC, 0xD, 0})}
        << QStringList{"  KPA-650/R", "", "", ""} << error;
    // A receiver answering a program set to the transmitter: its bytes are not the transmitter's
    // identification, whether 0x56 comes alone or with the rest.
    QTest::newRow("A meets a receiver's reply")
        << int(kVariantA) << Events{kReplyB} << QStringList{"  KPA-650/R", "", "", ""} << error;
    QTest::newRow("A meets a receiver's reply, 0x56 alone")
        << int(kVariantA) << Events{kReplyB.left(1), kReplyB.mid(1)}
        << QStringList{"  KPA-650/R", "", "", ""} << error;
}

void TstAboutDlg::reply() {
    QFETCH(int, variant);
    QFETCH(Events, events);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, messages);
    g_variant = variant;
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    // A good reply is taken at once; a malformed one is asked for again, five times in all.
    const int tries = messages.isEmpty() ? 1 : 5;
    for (int k = 0; k < tries; ++k) {
        QTRY_COMPARE(line.Written().size(), 2 * (k + 1));
        for (const QByteArray& event : events) {
            line.Deliver(event);
        }
    }
    QTRY_VERIFY(dlg.RequestText().isEmpty());
    QCOMPARE(line.Written(), QByteArray("VX").repeated(tries));
    QCOMPARE(Shown(dlg), shown);
    QCOMPARE(boxes.Texts(), messages);
}

void TstAboutDlg::malformedReplyAskedAgain_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("good");
    QTest::newRow("A") << int(kVariantA) << kReplyA;
    QTest::newRow("B") << int(kVariantB) << kReplyB;
}

void TstAboutDlg::malformedReplyAskedAgain() {
    QFETCH(int, variant);
    QFETCH(QByteArray, good);
    g_variant = variant;
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    line.Deliver(Bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA, 0xBB}));
    QTRY_COMPARE(line.Written(), QByteArray("VXVX"));
    QCOMPARE(dlg.RequestText(), QStringLiteral("56"));
    line.Deliver(good);
    QTRY_COMPARE(Shown(dlg).mid(1), (QStringList{"1.00", "2009-9-8", "ABCD"}));
    QVERIFY(boxes.Texts().isEmpty());
}

void TstAboutDlg::noDeviceTimesOut_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A") << int(kVariantA);
    QTest::newRow("B") << int(kVariantB);
}

void TstAboutDlg::noDeviceTimesOut() {
    QFETCH(int, variant);
    g_variant = variant;
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(
        boxes.Texts(), QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")},
        5000);
    QCOMPARE(Shown(dlg), (QStringList{"KPA(B)-650/R", "", "", ""}));
    QVERIFY(dlg.RequestText().isEmpty());
    // A reply after the time-out is no longer used.
    line.Deliver(variant == kVariantA ? kReplyA : kReplyB);
    QTest::qWait(100);
    QCOMPARE(Shown(dlg).mid(1), (QStringList{"", "", ""}));
}

void TstAboutDlg::portCannotBeOpened() {
    FakeSerialLine line;
    line.SetOpenError(QStringLiteral("Permission denied"));
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    QCOMPARE(boxes.Texts(), QStringList{"Permission denied"});
    QVERIFY(line.Writes().isEmpty());
    QVERIFY(dlg.RequestText().isEmpty());
    QCOMPARE(Shown(dlg), (QStringList{"KPA(B)-650/R", "", "", ""}));
}

void TstAboutDlg::staleBytesDropped() {
    FakeSerialLine line;
    line.SetWaitingAtOpen(Bytes({0x1, 0x2, 0x3}));
    g_variant = kVariantB;
    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    line.Deliver(kReplyB);
    QTRY_COMPARE(Shown(dlg).mid(1), (QStringList{"1.00", "2009-9-8", "ABCD"}));
    QVERIFY(boxes.Texts().isEmpty());
}

void TstAboutDlg::appOpensAFreshDialogEachTime() {
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CKPB650App app;
    QList<QStringList> seen;
    QList<QList<QByteArray>> writes;
    const auto answerAndClose = [&](bool answer) {
        QTimer::singleShot(0, this, [&, answer] {
            auto* dlg = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
            QVERIFY(dlg);
            seen.append(Shown(*dlg));
            writes.append(line.Writes());
            line.ClearWritten();
            if (answer) {
                line.Deliver(kReplyB);
                QTRY_VERIFY(dlg->RequestText().isEmpty());
                seen.append(Shown(*dlg));
            }
            dlg->accept();
        });
    };
    answerAndClose(true);
    app.OnAppAbout();
    QVERIFY(!line.IsOpen());
    answerAndClose(false);
    app.OnAppAbout();
    QVERIFY(!line.IsOpen());
    QCOMPARE(seen, (QList<QStringList>{{"KPA(B)-650/R", "", "", ""},
                                       {"  KPB-650/R", "1.00", "2009-9-8", "ABCD"},
                                       {"KPA(B)-650/R", "", "", ""}}));
    QCOMPARE(writes, (QList<QList<QByteArray>>{{"V", "X"}, {"V", "X"}}));
    QCOMPARE(line.OpenCount(), 2);
    QVERIFY(boxes.Texts().isEmpty());
}

void TstAboutDlg::aboutCommandOnBothMenus() {
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CMainFrame frame;
    QSignalSpy spy(&frame, &CMainFrame::AboutRequested);
    for (int menu : {0, 1}) {
        QAction* action = frame.Action(CMainFrame::kCmdAppAbout, menu);
        QVERIFY(action);
        QCOMPARE(action->objectName(), QStringLiteral("cmd57664"));
        action->trigger();
    }
    QCOMPARE(spy.count(), 2);
}

void TstAboutDlg::parseIdentity_data() {
    QTest::addColumn<QByteArray>("digits");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("checksum");
    QTest::newRow("example") << QByteArray::fromHex("01 09 09 08 0A 0B 0C 0D") << "1.00"
                             << "2009-9-8"
                             << "ABCD";
    QTest::newRow("year 0xC") << QByteArray::fromHex("03 0C 0C 01 00 0F 00 00") << "3.00"
                              << "2012-12-1"
                              << "0F00";
    QTest::newRow("year 0") << QByteArray::fromHex("00 00 01 01 0F 0F 0F 0F") << "0.00"
                            << "2000-1-1"
                            << "FFFF";
    QTest::newRow("beyond 8 ignored")
        << QByteArray::fromHex("01 09 09 08 0A 0B 0C 0D 05 08") << "1.00"
        << "2009-9-8"
        << "ABCD";
    QTest::newRow("missing count as 0") << QByteArray::fromHex("02 0A 03") << "2.00"
                                        << "2010-3-0"
                                        << "0000";
}

void TstAboutDlg::parseIdentity() {
    QFETCH(QByteArray, digits);
    QFETCH(QString, version);
    QFETCH(QString, date);
    QFETCH(QString, checksum);
    const DeviceIdentity identity = IdentityFromDigits(digits);
    QCOMPARE(identity.version, version);
    QCOMPARE(identity.date, date);
    QCOMPARE(identity.checksum, checksum);
}

QTEST_MAIN(TstAboutDlg)
#include "tst_about_dlg.moc"
