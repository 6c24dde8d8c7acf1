// Both parameter dialogs end to end: the real serial control over a pseudo-terminal against
// kp650-sim.

#include <QComboBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

#include "link/exchange.h"
#include "link/ms_comm.h"
#include "link/port_names.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/sim_process.h"
#include "support/test_support.h"

namespace {

constexpr int kWaitMs = 10000;

std::unique_ptr<CParameterDlg> MakeDialog(const QString& variant) {
    if (variant == QLatin1String("A")) {
        return std::make_unique<CTransmitterParamDlg>();
    }
    return std::make_unique<CReceiverParamDlg>();
}

QLineEdit* Frequency(QDialog& dlg) {
    return dlg.findChild<QLineEdit*>(QStringLiteral("id1006"));
}

QComboBox* List(QDialog& dlg, int id) {
    return dlg.findChild<QComboBox*>(QStringLiteral("id%1").arg(id));
}

void Click(QDialog& dlg, int id) {
    dlg.findChild<QPushButton*>(QStringLiteral("id%1").arg(id))->click();
}

// A value other than the default for every visible list, by list id.
std::vector<std::pair<int, int>> Chosen(const QString& variant) {
    if (variant == QLatin1String("A")) {
        return {{1007, 0}, {1008, 1}, {1012, 2}, {1013, 3}, {1010, 9}, {1014, 0}};
    }
    return {{1009, 1}, {1008, 2}, {1014, 3}, {1012, 4}, {1015, 5},
            {1013, 6}, {1007, 0}, {1010, 3}, {1021, 0}};
}

}  // namespace

using ListIndexes = std::vector<std::pair<int, int>>;
Q_DECLARE_METATYPE(ListIndexes)

class TestE2eParameters : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writeThenRead_data();
    void writeThenRead();
    void readShowsDeviceLists_data();
    void readShowsDeviceLists();
    void badEchoIsRepeated_data();
    void badEchoIsRepeated();
    void refusal_data();
    void refusal();
    void sameDialogAfterTheLineCameBack();
};

void TestE2eParameters::writeThenRead_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QStringList>("extra");
    QTest::addColumn<QString>("frequency");
    QTest::newRow("A unpaced") << "A" << QStringList{"--baud", "0"} << "1234";
    QTest::newRow("A 9600 baud") << "A" << QStringList{} << "319999";
    QTest::newRow("A split") << "A" << QStringList{"--baud", "0", "--fault", "split"} << "2";
    QTest::newRow("B unpaced") << "B" << QStringList{"--baud", "0"} << "40";
    QTest::newRow("B 9600 baud") << "B" << QStringList{} << "81917999";
    QTest::newRow("B split") << "B" << QStringList{"--baud", "0", "--fault", "split"} << "0";
}

void TestE2eParameters::writeThenRead() {
    QFETCH(QString, variant);
    QFETCH(QStringList, extra);
    QFETCH(QString, frequency);
    SimProcess sim;
    QVERIFY2(sim.Start(QStringList{"--variant", variant} + extra), qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    auto dlg = MakeDialog(variant);
    dlg->SetPortNumber(1);
    dlg->show();
    QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join('|')));

    const std::vector<std::pair<int, int>> chosen = Chosen(variant);
    Frequency(*dlg)->setText(frequency);
    for (const auto& [id, index] : chosen) {
        List(*dlg, id)->setCurrentIndex(index);
    }
    Click(*dlg, 1011);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("配置成功!")}, kWaitMs);

    // A new showing puts the lists back to their defaults; the read brings the device's values.
    Click(*dlg, 1);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("7"));
    boxes.Clear();
    Click(*dlg, 1003);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("读取成功!")}, kWaitMs);
    QCOMPARE(Frequency(*dlg)->text(), frequency);
    for (const auto& [id, index] : chosen) {
        QCOMPARE(List(*dlg, id)->currentIndex(), index);
    }
    QVERIFY(dlg->Exchange().Idle());
    Click(*dlg, 1);
}

void TestE2eParameters::readShowsDeviceLists_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("params");  // the device's frame
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<ListIndexes>("lists");  // list id, index shown
    // 200 kHz in bytes 0-7; the list bytes 64-69 are 1007, 1008, 1012, 1013, 1010, 1014.
    QTest::newRow("A") << "A"
                       << "000000000028F5C3" + QString(112, '0') + "010203040607"
                       << "200" << ListIndexes{{1007, 1}, {1008, 2}, {1012, 3},
                                               {1013, 4}, {1010, 6}, {1014, 7}};
    // 500 kHz in bytes 0-7; bytes 8-16 are 1009, 1008, 1014, 1012, 1015, 1013, 1007, 1010, 1021.
    QTest::newRow("B") << "B"
                       << "0000000002000000"
                          "010203040506010200"
                       << "500"
                       << ListIndexes{{1009, 1}, {1008, 2}, {1014, 3}, {1012, 4}, {1015, 5},
                                      {1013, 6}, {1007, 1}, {1010, 2}, {1021, 0}};
}

void TestE2eParameters::readShowsDeviceLists() {
    QFETCH(QString, variant);
    QFETCH(QString, params);
    QFETCH(QString, frequency);
    QFETCH(ListIndexes, lists);
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", variant, "--baud", "0", "--params", params}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    auto dlg = MakeDialog(variant);
    dlg->show();
    Click(*dlg, 1003);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("读取成功!")}, kWaitMs);
    QCOMPARE(Frequency(*dlg)->text(), frequency);
    for (const auto& [id, index] : lists) {
        QCOMPARE(List(*dlg, id)->currentIndex(), index);
    }
    Click(*dlg, 1);
}

void TestE2eParameters::badEchoIsRepeated_data() {
    QTest::addColumn<QString>("variant");
    QTest::newRow("A") << "A";
    QTest::newRow("B") << "B";
}

void TestE2eParameters::badEchoIsRepeated() {
    QFETCH(QString, variant);
    SimProcess sim;
    // The first three echoes are wrong: success needs three repetitions.
    QVERIFY2(sim.Start({"--variant", variant, "--baud", "0", "--fault", "bad-echo=3"}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("321"));
    Click(*dlg, 1011);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("配置成功!")}, kWaitMs);
    boxes.Clear();
    Frequency(*dlg)->clear();
    Click(*dlg, 1003);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("读取成功!")}, kWaitMs);
    QCOMPARE(Frequency(*dlg)->text(), QStringLiteral("321"));
    Click(*dlg, 1);
}

void TestE2eParameters::refusal_data() {
    QTest::addColumn<QString>("variant");
    QTest::newRow("A") << "A";
    QTest::newRow("B") << "B";
}

void TestE2eParameters::refusal() {
    QFETCH(QString, variant);
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", variant, "--fault", "refuse=1"}), qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("600"));
    Click(*dlg, 1011);
    QTRY_COMPARE_WITH_TIMEOUT(
        boxes.Texts(), QStringList{QStringLiteral("请检查装置与维护软件连接是否正确!")}, kWaitMs);
    QVERIFY(dlg->Exchange().Idle());  // the refusal ends the request
    QVERIFY(!dlg->Busy());
    // The refusal is spent; the write goes through when given again.
    boxes.Clear();
    Click(*dlg, 1011);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("配置成功!")}, kWaitMs);
    Click(*dlg, 1);
}

// The adapter pulled in the middle of a reply and plugged in again: one message, and the next
// request in the same showing opens the port anew and is answered.
void TestE2eParameters::sameDialogAfterTheLineCameBack() {
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", "B", "--baud", "0", "--frequency", "4321", "--fault",
                        "hangup-after=5"}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    const QString firstPty = QFileInfo(sim.LinkPath()).symLinkTarget();
    MessageBoxRecorder boxes;
    auto dlg = MakeDialog(QStringLiteral("B"));
    dlg->show();
    Click(*dlg, 1003);
    QTRY_COMPARE_WITH_TIMEOUT(
        boxes.Texts(), QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")},
        kWaitMs);
    QVERIFY(!dlg->Comm().GetPortOpen());
    QVERIFY(Frequency(*dlg)->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(sim.LinkPath()).symLinkTarget() != firstPty, kWaitMs);
    boxes.Clear();
    Click(*dlg, 1003);
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("读取成功!")}, kWaitMs);
    QCOMPARE(Frequency(*dlg)->text(), QStringLiteral("4321"));
    Click(*dlg, 1);
}

QTEST_MAIN(TestE2eParameters)
#include "tst_e2e_parameters.moc"
