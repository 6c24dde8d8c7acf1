// The about and clock dialogs end to end: the real serial control over a pseudo-terminal
// against kp650-sim.

#include <QtTest>

#include <QLabel>
#include <QPushButton>

#include "app/about_dlg.h"
#include "common/globals.h"
#include "link/port_names.h"
#include "settings/device_clock_dlg.h"
#include "support/sim_process.h"
#include "support/test_support.h"

namespace {

QString Text(const QWidget& dlg, const char* name) {
    const auto* label = dlg.findChild<QLabel*>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing %1>").arg(QLatin1String(name));
}

void Click(const QWidget& dlg, const char* name) {
    auto* button = dlg.findChild<QPushButton*>(QString::fromLatin1(name));
    QVERIFY(button);
    button->click();
}

}  // namespace

class TstE2eAboutClock : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void cleanup();
    void identification_data();
    void identification();
    void clockWrittenThenRead_data();
    void clockWrittenThenRead();
};

void TstE2eAboutClock::cleanup() {
    SetPortDeviceOverride(1, QString());
}

void TstE2eAboutClock::identification_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("line");  // simulator options for the line
    const QStringList paced;
    const QStringList unpaced{"--baud", "0"};
    const QStringList split{"--baud", "0", "--fault", "split"};
    QTest::newRow("A at 9600 baud") << int(kVariantA) << paced;
    QTest::newRow("B at 9600 baud") << int(kVariantB) << paced;
    QTest::newRow("A unpaced") << int(kVariantA) << unpaced;
    QTest::newRow("B unpaced") << int(kVariantB) << unpaced;
    QTest::newRow("A split") << int(kVariantA) << split;
    QTest::newRow("B split") << int(kVariantB) << split;
}

void TstE2eAboutClock::identification() {
    QFETCH(int, variant);
    QFETCH(QStringList, line);
    SimProcess sim;
    QVERIFY2(sim.Start(QStringList{"--variant", variant == kVariantA ? "A" : "B", "--id-version",
                                   "2", "--id-date", "2012-12-15", "--id-checksum", "1f2e"} +
                       line),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    g_variant = variant;
    g_portNumber = 1;

    MessageBoxRecorder boxes;
    CAboutDlg dlg;
    dlg.show();
    QTRY_COMPARE_WITH_TIMEOUT(Text(dlg, "id1043"), QStringLiteral("1F2E"), 5000);
    QCOMPARE(Text(dlg, "id1038"), QStringLiteral("2.00"));
    QCOMPARE(Text(dlg, "id1039"), QStringLiteral("2012-12-15"));
    QCOMPARE(Text(dlg, "id1051"),
             variant == kVariantA ? QStringLiteral("  KPA-650/R") : QStringLiteral("  KPB-650/R"));
    QVERIFY(dlg.RequestText().isEmpty());
    QCOMPARE(boxes.Texts(), QStringList());
    dlg.accept();
}

void TstE2eAboutClock::clockWrittenThenRead_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QStringList>("line");
    QTest::newRow("A at 9600 baud") << "A" << QStringList();
    QTest::newRow("B at 9600 baud") << "B" << QStringList();
    QTest::newRow("B split") << "B" << QStringList{"--fault", "split"};
}

void TstE2eAboutClock::clockWrittenThenRead() {
    QFETCH(QString, variant);
    QFETCH(QStringList, line);
    SimProcess sim;
    QVERIFY2(sim.Start(QStringList{"--variant", variant, "--clock", "2010-01-02T03:04:05"} + line),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());

    MessageBoxRecorder boxes;
    CDeviceClockDlg dlg;
    dlg.SetPortNumber(1);
    dlg.show();
    QVERIFY(dlg.Comm().GetPortOpen());

    // The device's own clock first, so the write below is seen to change it.
    Click(dlg, "id1017");
    QTRY_VERIFY_WITH_TIMEOUT(dlg.Exchange().Idle(), 5000);
    QCOMPARE(Text(dlg, "id1018"), QStringLiteral("2010-1-2"));

    Click(dlg, "id1011");
    QTRY_VERIFY_WITH_TIMEOUT(dlg.Exchange().Idle(), 5000);
    Click(dlg, "id1017");
    QTRY_VERIFY_WITH_TIMEOUT(dlg.Exchange().Idle(), 5000);
    const QDateTime now = QDateTime::currentDateTime();
    QCOMPARE(boxes.Texts(), QStringList());

    const QDateTime device(QDate::fromString(Text(dlg, "id1018"), QStringLiteral("yyyy-M-d")),
                           QTime::fromString(Text(dlg, "id1019"), QStringLiteral("HH:mm:ss")));
    QVERIFY2(device.isValid(),
             qPrintable(Text(dlg, "id1018") + QLatin1Char(' ') + Text(dlg, "id1019")));
    // The device keeps whole seconds: within a second of the PC clock.
    const qint64 apart = device.secsTo(now);
    QVERIFY2(qAbs(apart) <= 1, qPrintable(QString::number(apart)));
    dlg.accept();
    QVERIFY(!dlg.Comm().GetPortOpen());
}

QTEST_MAIN(TstE2eAboutClock)
#include "tst_e2e_about_clock.moc"
