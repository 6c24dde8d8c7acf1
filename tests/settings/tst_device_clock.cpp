#include <QtTest>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>

#include "app/main_frame.h"
#include "common/globals.h"
#include "link/fake_serial_line.h"
#include "link/port_names.h"
#include "settings/device_clock_dlg.h"
#include "settings/time_frame.h"
#include "support/test_support.h"

using Writes = QList<QByteArray>;

namespace {

QDateTime At(int year, int month, int day, int hour, int minute, int second) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second));
}

QString Text(const QWidget& dlg, const char* name) {
    const auto* label = dlg.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

void Click(const QWidget& dlg, const char* name) {
    auto* button = dlg.findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    button->click();
}

const QByteArray kLeading = Bytes({0x42});
const QByteArray kGoodData = Bytes({0x09, 0x09, 0x19, 0x08, 0x05, 0x09});

// A shown clock dialog on a fake line, with its PC clock fixed.
struct Shown {
    explicit Shown(const QDateTime& now = At(2026, 12, 6, 15, 30, 45)) {
        dlg.SetClock([this] { return clock; });
        clock = now;
        dlg.show();
    }
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CDeviceClockDlg dlg;
    QDateTime clock;
};

}  // namespace

class TstDeviceClock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Pure time frame code.
    void frameOfPcTime();
    void texts();
    void readRanges_data();
    void readRanges();
    void writableYear_data();
    void writableYear();

    // The dialog.
    void opening();
    void staticTexts();
    void portCannotBeOpened();
    void refreshShowsPcClock();
    void writeOnTheWire();
    void writeYear_data();
    void writeYear();
    void read_data();
    void read();
    void wrongTrailerAskedAgain();
    void partialAnswerThenSilenceEnds();
    void oldAnswerNeverCountsForTheNext();
    void clockCommandOnBothMenus();
};

void TstDeviceClock::frameOfPcTime() {
    const DeviceTime t = DeviceTimeFrom(At(2026, 12, 6, 15, 30, 45));
    QCOMPARE(BuildTimeFrame(t), Bytes({0x1A, 0x0C, 0x06, 0x0F, 0x1E, 0x2D}));
    QCOMPARE(BuildTimeFrame(DeviceTimeFrom(At(2000, 1, 1, 0, 0, 0))),
             Bytes({0x00, 0x01, 0x01, 0x00, 0x00, 0x00}));
    QCOMPARE(DeviceTimeFrom(At(1999, 3, 4, 5, 6, 7)).year, 99);
}

void TstDeviceClock::texts() {
    QCOMPARE(TimeFrameDateText(26, 12, 6), QStringLiteral("2026-12-6"));
    QCOMPARE(TimeFrameDateText(9, 9, 25), QStringLiteral("2009-9-25"));
    QCOMPARE(TimeFrameDateText(99, 1, 1), QStringLiteral("2099-1-1"));
    QCOMPARE(TimeFrameTimeText(8, 5, 9), QStringLiteral("08:05:09"));
    QCOMPARE(TimeFrameTimeText(23, 59, 0), QStringLiteral("23:59:00"));
    const auto values = ClockReplyValues(Bytes({0x42, 0x09, 0x09, 0x19, 0x08, 0x05, 0xFF, 0x58}));
    QVERIFY(values);
    QCOMPARE(*values, (std::array<int, 6>{9, 9, 25, 8, 5, 255}));
    QVERIFY(!ClockReplyValues(Bytes({0x42, 9, 9, 25, 8, 5, 9, 0x59})));        // trailer
    QVERIFY(!ClockReplyValues(Bytes({0x42, 9, 9, 25, 8, 5, 9, 0x58, 0x58})));  // too long
}

void TstDeviceClock::readRanges_data() {
    QTest::addColumn<QList<int>>("values");
    QTest::addColumn<QString>("message");  // empty: all fields pass
    QTest::newRow("all in range") << QList<int>{9, 9, 25, 8, 5, 9} << QString();
    QTest::newRow("lowest") << QList<int>{0, 1, 1, 0, 0, 0} << QString();
    QTest::newRow("highest") << QList<int>{37, 12, 31, 23, 59, 59} << QString();
    QTest::newRow("year 38") << QList<int>{38, 1, 1, 0, 0, 0} << "接收时间“年”错误!";
    QTest::newRow("month 0") << QList<int>{9, 0, 1, 0, 0, 0} << "接收时间“月”错误!";
    QTest::newRow("month 13") << QList<int>{9, 13, 1, 0, 0, 0} << "接收时间“月”错误!";
    QTest::newRow("day 0") << QList<int>{9, 1, 0, 0, 0, 0} << "接收时间“日”错误!";
    QTest::newRow("day 32") << QList<int>{9, 1, 32, 0, 0, 0} << "接收时间“日”错误!";
    QTest::newRow("hour 24") << QList<int>{9, 1, 1, 24, 0, 0} << "接收时间“小时”错误!";
    QTest::newRow("minute 60") << QList<int>{9, 1, 1, 0, 60, 0} << "接收时间“分”错误!";
    QTest::newRow("second 60") << QList<int>{9, 1, 1, 0, 0, 60} << "接收时间“秒”错误!";
    QTest::newRow("first in frame order") << QList<int>{9, 13, 1, 24, 0, 60} << "接收时间“月”错误!";
}

void TstDeviceClock::readRanges() {
    QFETCH(QList<int>, values);
    QFETCH(QString, message);
    std::array<int, 6> v{};
    std::copy(values.begin(), values.end(), v.begin());
    const std::optional<TimeField> bad = FirstBadTimeField(v);
    QCOMPARE(bad ? TimeFieldErrorText(*bad) : QString(), message);
}

void TstDeviceClock::writableYear_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<bool>("writable");
    QTest::newRow("2000") << 2000 << true;
    QTest::newRow("2036") << 2036 << true;
    QTest::newRow("2037") << 2037 << false;
    QTest::newRow("1999") << 1999 << false;
    QTest::newRow("2100") << 2100 << true;  // only the last two digits travel
}

void TstDeviceClock::writableYear() {
    QFETCH(int, year);
    QFETCH(bool, writable);
    QCOMPARE(WritableYear(DeviceTimeFrom(At(year, 6, 1, 0, 0, 0)).year), writable);
}

void TstDeviceClock::opening() {
    g_portNumber = 2;
    Shown s;
    QCOMPARE(s.dlg.objectName(), QStringLiteral("dlg135"));
    QCOMPARE(s.dlg.windowTitle(), QStringLiteral("时间"));
    QVERIFY(s.line.IsOpen());
    QCOMPARE(s.dlg.Comm().GetCommPort(), short(1));  // its own port number, not g_portNumber
    QVERIFY(s.line.Writes().isEmpty());
    // Empty PC fields in the first second, device fields at their defaults.
    QCOMPARE(Text(s.dlg, "id1041"), QString());
    QCOMPARE(Text(s.dlg, "id1042"), QString());
    QCOMPARE(Text(s.dlg, "id1018"), QStringLiteral("2000-1-1"));
    QCOMPARE(Text(s.dlg, "id1019"), QStringLiteral("08:00:00"));
    const auto* timer = s.dlg.findChild<QTimer*>(QStringLiteral("refreshTimer"));
    QVERIFY(timer && timer->isActive());
    QCOMPARE(timer->interval(), 1000);
    QVERIFY(s.dlg.findChild<CMSComm*>(QStringLiteral("id1004")));
    QCOMPARE(s.dlg.findChild<QPushButton*>(QStringLiteral("id1011"))->text(),
             QStringLiteral("写入"));
    QCOMPARE(s.dlg.findChild<QPushButton*>(QStringLiteral("id1017"))->text(),
             QStringLiteral("读出"));
    QVERIFY(s.dlg.findChild<QPushButton*>(QStringLiteral("id1"))->isDefault());
    QVERIFY(s.boxes.Texts().isEmpty());

    s.dlg.accept();
    QVERIFY(!s.line.IsOpen());
    QVERIFY(!timer->isActive());
    g_portNumber = 1;
}

void TstDeviceClock::staticTexts() {
    Shown s;
    const auto* group = s.dlg.findChild<QGroupBox*>();
    QVERIFY(group);
    QCOMPARE(group->title(), QStringLiteral("配置日期及时间"));
    QStringList captions;
    for (const QLabel* label : s.dlg.findChildren<QLabel*>()) {
        if (label->objectName().isEmpty()) {
            captions << label->text();
        }
    }
    QCOMPARE(captions, (QStringList{"系统日期：", "系统时间：", "装置日期：", "装置时间："}));
    QCOMPARE(s.dlg.findChild<QPushButton*>(QStringLiteral("id1"))->text(), QStringLiteral("退出"));
}

void TstDeviceClock::portCannotBeOpened() {
    FakeSerialLine line;
    line.SetOpenError(QStringLiteral("No such file or directory"));
    MessageBoxRecorder boxes;
    CDeviceClockDlg dlg;
    dlg.show();
    QCOMPARE(boxes.Texts(), QStringList{"No such file or directory"});
    QVERIFY(!dlg.findChild<QTimer*>(QStringLiteral("refreshTimer"))->isActive());
    QCOMPARE(Text(dlg, "id1018"), QString());
    QCOMPARE(Text(dlg, "id1019"), QString());
}

void TstDeviceClock::refreshShowsPcClock() {
    Shown s(At(1999, 3, 4, 5, 6, 7));
    QTRY_COMPARE_WITH_TIMEOUT(Text(s.dlg, "id1041"), QStringLiteral("2099-3-4"), 5000);
    QCOMPARE(Text(s.dlg, "id1042"), QStringLiteral("05:06:07"));
    s.clock = At(2026, 12, 6, 15, 30, 45);
    QTRY_COMPARE_WITH_TIMEOUT(Text(s.dlg, "id1042"), QStringLiteral("15:30:45"), 5000);
    QCOMPARE(Text(s.dlg, "id1041"), QStringLiteral("2026-12-6"));
}

void TstDeviceClock::writeOnTheWire() {
    Shown s;
    Click(s.dlg, "id1011");
    QCOMPARE(s.line.Writes(), (Writes{"C", "\x1a", "\x0c", "\x06", "\x0f", "\x1e", "\x2d", "X"}));
    QCOMPARE(s.dlg.Exchange().pending, QStringLiteral("43"));
    QCOMPARE(s.dlg.Exchange().frame, QStringLiteral("1A 0C 06 0F 1E 2D "));
    // A second press while the answer is awaited sends nothing.
    Click(s.dlg, "id1011");
    Click(s.dlg, "id1017");
    QCOMPARE(s.line.Writes().size(), 8);
    // The answer's six bytes and its last byte are not examined.
    s.line.Deliver(kLeading + Bytes({1, 2, 3, 4, 5, 6, 0x77}));
    QTRY_VERIFY(s.dlg.Exchange().pending.isEmpty());
    QVERIFY(s.boxes.Texts().isEmpty());
    QCOMPARE(Text(s.dlg, "id1018"), QStringLiteral("2000-1-1"));
    QCOMPARE(Text(s.dlg, "id1019"), QStringLiteral("08:00:00"));
}

void TstDeviceClock::writeYear_data() {
    QTest::addColumn<int>("year");
    QTest::addColumn<bool>("sent");
    QTest::newRow("2036") << 2036 << true;
    QTest::newRow("2037") << 2037 << false;
    QTest::newRow("1999") << 1999 << false;
}

void TstDeviceClock::writeYear() {
    QFETCH(int, year);
    QFETCH(bool, sent);
    Shown s(At(year, 1, 2, 3, 4, 5));
    Click(s.dlg, "id1011");
    if (sent) {
        QCOMPARE(s.dlg.Exchange().pending, QStringLiteral("43"));
        QVERIFY(s.boxes.Texts().isEmpty());
        QCOMPARE(s.line.Writes().size(), 8);
        QCOMPARE(s.line.Writes().at(1), QByteArray("\x24"));
    } else {
        QCOMPARE(s.boxes.Texts(), QStringList{QStringLiteral("写入年错误，请重新写入!")});
        QVERIFY(s.line.Writes().isEmpty());
        QVERIFY(s.dlg.Exchange().frame.isEmpty());
        QVERIFY(s.dlg.Exchange().Idle());
    }
}

void TstDeviceClock::read_data() {
    QTest::addColumn<QList<QByteArray>>("events");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QStringList>("messages");

    const QString dflDate = QStringLiteral("2000-1-1");
    const QString dflTime = QStringLiteral("08:00:00");
    const auto reply = [](const QByteArray& data) { return kLeading + data + "X"; };
    QTest::newRow("in one event") << QList<QByteArray>{reply(kGoodData)} << "2009-9-25"
                                  << "08:05:09" << QStringList();
    QTest::newRow("leading byte alone")
        << QList<QByteArray>{kLeading, kGoodData + "X"} << "2009-9-25"
        << "08:05:09" << QStringList();
    QTest::newRow("split inside the data")
        << QList<QByteArray>{kLeading + kGoodData.left(2), kGoodData.mid(2), "X"} << "2009-9-25"
        << "08:05:09" << QStringList();
    QTest::newRow("year 37 shows 2037")
        << QList<QByteArray>{reply(Bytes({0x25, 1, 2, 3, 4, 5}))} << "2037-1-2"
        << "03:04:05" << QStringList();
    // A device that keeps telling an impossible time gets the field's message after every try.
    QTest::newRow("year 38") << QList<QByteArray>{reply(Bytes({0x26, 1, 2, 3, 4, 5}))} << dflDate
                             << dflTime << QStringList{"接收时间“年”错误!"};
    QTest::newRow("month 13") << QList<QByteArray>{reply(Bytes({9, 13, 2, 3, 4, 5}))} << dflDate
                              << dflTime << QStringList{"接收时间“月”错误!"};
    QTest::newRow("day 0 leaves both fields")
        << QList<QByteArray>{reply(Bytes({9, 9, 0, 8, 5, 9}))} << dflDate << dflTime
        << QStringList{"接收时间“日”错误!"};
    QTest::newRow("hour 24 after the date is shown")
        << QList<QByteArray>{reply(Bytes({9, 9, 25, 24, 5, 9}))} << "2009-9-25" << dflTime
        << QStringList{"接收时间“小时”错误!"};
    QTest::newRow("minute 60") << QList<QByteArray>{reply(Bytes({9, 9, 25, 8, 60, 9}))}
                               << "2009-9-25" << dflTime << QStringList{"接收时间“分”错误!"};
    QTest::newRow("second 60") << QList<QByteArray>{reply(Bytes({9, 9, 25, 8, 5, 60}))}
                               << "2009-9-25" << dflTime << QStringList{"接收时间“秒”错误!"};
    QTest::newRow("first bad field in frame order")
        << QList<QByteArray>{reply(Bytes({9, 0, 0, 99, 99, 99}))} << dflDate << dflTime
        << QStringList{"接收时间“月”错误!"};
    QTest::newRow("wrong trailer every time")
        << QList<QByteArray>{kLeading + kGoodData + Bytes({0x59})} << dflDate << dflTime
        << QStringList{"连接失败！请检查连线、串口选择及装置电源！"};
}

void TstDeviceClock::read() {
    QFETCH(QList<QByteArray>, events);
    QFETCH(QString, date);
    QFETCH(QString, time);
    QFETCH(QStringList, messages);
    Shown s;
    Click(s.dlg, "id1017");
    QCOMPARE(s.line.Writes(), (Writes{"B", "X"}));
    QCOMPARE(s.dlg.Exchange().pending, QStringLiteral("42"));
    // A good reply is taken at once; a bad one is asked for again, five times in all.
    const int tries = messages.isEmpty() ? 1 : 5;
    for (int k = 0; k < tries; ++k) {
        QTRY_COMPARE(s.line.Writes().size(), 2 * (k + 1));
        for (const QByteArray& event : events) {
            s.line.Deliver(event);
        }
    }
    QTRY_VERIFY(!s.dlg.Busy());
    QCOMPARE(s.line.Writes().size(), 2 * tries);
    QCOMPARE(Text(s.dlg, "id1018"), date);
    QCOMPARE(Text(s.dlg, "id1019"), time);
    QCOMPARE(s.boxes.Texts(), messages);
    QVERIFY(s.dlg.Exchange().Idle());

    // The next reply is judged on its own.
    Click(s.dlg, "id1017");
    s.line.Deliver(kLeading + Bytes({0x11, 2, 3, 4, 5, 6}) + "X");
    QTRY_COMPARE(Text(s.dlg, "id1018"), QStringLiteral("2017-2-3"));
    QCOMPARE(Text(s.dlg, "id1019"), QStringLiteral("04:05:06"));
}

void TstDeviceClock::wrongTrailerAskedAgain() {
    Shown s;
    Click(s.dlg, "id1017");
    s.line.Deliver(kLeading + kGoodData + Bytes({0x59}));
    QTRY_COMPARE(s.line.Writes().size(), 4);
    QVERIFY(s.boxes.Texts().isEmpty());
    QCOMPARE(Text(s.dlg, "id1018"), QStringLiteral("2000-1-1"));
    s.line.Deliver(kLeading + kGoodData + "X");
    QTRY_COMPARE(Text(s.dlg, "id1018"), QStringLiteral("2009-9-25"));
    QCOMPARE(Text(s.dlg, "id1019"), QStringLiteral("08:05:09"));
}

void TstDeviceClock::partialAnswerThenSilenceEnds() {
    Shown s;
    Click(s.dlg, "id1017");
    s.line.Deliver(kLeading + kGoodData.left(3));
    // A second of silence: the request goes out again, and when that meets silence too the
    // operator is told.
    QTRY_COMPARE_WITH_TIMEOUT(s.line.Writes().size(), 4, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(s.boxes.Texts(),
                              QStringList{"连接失败！请检查连线、串口选择及装置电源！"}, 5000);
    QVERIFY(s.dlg.Exchange().Idle());
    QCOMPARE(Text(s.dlg, "id1019"), QStringLiteral("08:00:00"));
}

void TstDeviceClock::oldAnswerNeverCountsForTheNext() {
    Shown s;
    Click(s.dlg, "id1017");
    s.line.Deliver(kLeading + kGoodData.left(3));  // cut short by the end of the showing
    s.dlg.accept();
    QVERIFY(!s.line.IsOpen());
    s.dlg.show();
    QCOMPARE(s.line.OpenCount(), 2);
    QVERIFY(s.dlg.Exchange().Idle());
    s.line.Deliver(kGoodData.mid(3) + "X");  // the rest arrives while nothing is asked
    Click(s.dlg, "id1017");
    s.line.Deliver(kLeading + Bytes({0x11, 2, 3, 4, 5, 6}) + "X");
    QTRY_COMPARE(Text(s.dlg, "id1018"), QStringLiteral("2017-2-3"));
    QCOMPARE(Text(s.dlg, "id1019"), QStringLiteral("04:05:06"));
    QVERIFY(s.boxes.Texts().isEmpty());
}

void TstDeviceClock::clockCommandOnBothMenus() {
    QTemporaryDir home;
    QVERIFY(home.isValid());
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    FakeSerialLine line;
    MessageBoxRecorder boxes;
    CMainFrame frame;
    // Run the start-up port check now, so its timer cannot fire inside the clock dialog.
    QTimer::singleShot(0, this, [] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            modal->accept();
        }
    });
    frame.RunStartupTick();
    boxes.Clear();  // the variant switch reports itself
    QCOMPARE(frame.ClockDlg().PortNumber(), 1);
    // Choosing COM2 reaches the clock dialog with every other dialog.
    QTimer::singleShot(0, this, [] {
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            modal->accept();
        }
    });
    frame.OnSelectCom2();
    QCOMPARE(frame.ClockDlg().PortNumber(), 2);
    QCOMPARE(frame.DialogPortNumbers(), std::vector<int>(frame.DialogPortNumbers().size(), 2));
    QStringList opened;
    for (int menu : {0, 1}) {
        QAction* action = frame.Action(CMainFrame::kCmdClockSettings, menu);
        QVERIFY(action);
        QTimer::singleShot(0, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            opened << (modal ? modal->objectName() : QStringLiteral("none"));
            if (modal) {
                opened << QString::number(line.IsOpen()) << line.OpenedDevice();
                static_cast<QDialog*>(modal)->accept();
            }
        });
        action->trigger();
        QVERIFY(!line.IsOpen());
    }
    const QString com2 = PortDeviceName(2);
    QCOMPARE(opened, (QStringList{"dlg135", "1", com2, "dlg135", "1", com2}));
    QCOMPARE(boxes.Texts(), QStringList());
    qunsetenv("KP650_HOME");
}

QTEST_MAIN(TstDeviceClock)
#include "tst_device_clock.moc"
