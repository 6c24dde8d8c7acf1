// Parameter files end to end: the real serial control over a pseudo-terminal against kp650-sim.
// A file goes into the dialog, out to the device, back by a read and into a file again; the
// simulator starts from a file and saves what it holds on exit; comparisons write nothing.

#include <QComboBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "link/port_names.h"
#include "settings/parameter_dlg.h"
#include "settings/parameter_file.h"
#include "support/parameter_dialogs.h"
#include "support/sim_process.h"
#include "support/test_support.h"

namespace {

constexpr int kWaitMs = 10000;

// How many items each list has, in frame order.
const std::vector<int> kSizesA{2, 11, 11, 11, 11, 11};
const std::vector<int> kSizesB{11, 11, 11, 11, 11, 11, 2, 4, 2};

QString WriteSet(const QString& path, int variant, const QString& frequency,
                 const std::vector<int>& selections) {
    const ParameterSetResult set = ParameterSetFromValues(variant, frequency, selections);
    if (!set.Ok()) {
        return set.error;
    }
    return WriteParameterSetFile(path, set.set);
}

// Same fields and frame; provenance aside.
bool SameSet(const ParameterSet& a, const ParameterSet& b) {
    return a.variant == b.variant && a.frequencyText == b.frequencyText &&
           a.listValues == b.listValues && a.frame == b.frame;
}

}  // namespace

class TestE2eParameterFiles : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void roundTrip_data();
    void roundTrip();
    void deviceFromFileAndComparisons_data();
    void deviceFromFileAndComparisons();
};

// Eleven rows per variant: row r selects item (r + i) mod size in list i, so every item of
// every list travels at least once, over a spread of frequencies up to each variant's limit.
void TestE2eParameterFiles::roundTrip_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::addColumn<QStringList>("line");
    const QStringList unpaced{"--baud", "0"};
    const QStringList frequenciesA{"2",     "3",     "150",    "200",    "999",   "1234",
                                   "40000", "99999", "200001", "319998", "319999"};
    const QStringList frequenciesB{"0",    "1",     "40",      "500",      "1999",    "2000",
                                   "2001", "65535", "1000000", "81917998", "81917999"};
    for (int variant = 0; variant < 2; ++variant) {
        const std::vector<int>& sizes = variant == 0 ? kSizesA : kSizesB;
        for (int r = 0; r < 11; ++r) {
            std::vector<int> selections;
            for (std::size_t i = 0; i < sizes.size(); ++i) {
                selections.push_back((r + static_cast<int>(i)) % sizes[i]);
            }
            QStringList line = unpaced;
            if (r == 3) {
                line = QStringList{};  // 9600 baud, as a device
            } else if (r == 7) {
                line << "--fault"
                     << "split";
            }
            QTest::addRow("%s %s kHz", variant == 0 ? "A" : "B",
                          qPrintable((variant == 0 ? frequenciesA : frequenciesB)[r]))
                << variant << (variant == 0 ? frequenciesA : frequenciesB)[r] << selections << line;
        }
    }
}

void TestE2eParameterFiles::roundTrip() {
    QFETCH(int, variant);
    QFETCH(QString, frequency);
    QFETCH(std::vector<int>, selections);
    QFETCH(QStringList, line);
    QTemporaryDir dir;
    const QString original = dir.filePath(QStringLiteral("original.json"));
    const QString readBack = dir.filePath(QStringLiteral("read-back.json"));
    const QString onExit = dir.filePath(QStringLiteral("on-exit.json"));
    QCOMPARE(WriteSet(original, variant, frequency, selections), QString());
    const ParameterSetResult expected = ReadParameterSetFile(original, variant);
    QVERIFY2(expected.Ok(), qPrintable(expected.error));

    SimProcess sim;
    QVERIFY2(sim.Start(QStringList{"--variant", variant == 0 ? "A" : "B", "--save-params", onExit} +
                       line),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    auto dlg = MakeParameterDialog(variant);
    dlg->SetPortNumber(1);
    dlg->SetFileChooser(
        [&](QWidget*, bool save, const QString&) { return save ? readBack : original; });
    dlg->show();
    QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join('|')));

    // File -> dialog -> frame -> device.
    ClickButton(*dlg, QStringLiteral("buttonLoadParameters"));
    QCOMPARE(FrequencyBox(*dlg)->text(), frequency);
    QCOMPARE(ShownLists(*dlg, variant), selections);
    ClickButton(*dlg, QStringLiteral("id1011"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("配置成功!")}, kWaitMs);

    // A new showing starts from the defaults; the read brings the device's values back.
    ClickButton(*dlg, QStringLiteral("id1"));
    dlg->show();
    FrequencyBox(*dlg)->clear();
    boxes.Clear();
    ClickButton(*dlg, QStringLiteral("id1003"));
    QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{QStringLiteral("读取成功!")}, kWaitMs);
    QCOMPARE(FrequencyBox(*dlg)->text(), frequency);
    QCOMPARE(ShownLists(*dlg, variant), selections);

    // -> file: the same set, marked as read from the device.
    ClickButton(*dlg, QStringLiteral("buttonSaveParameters"));
    QCOMPARE(boxes.Texts(), QStringList{QStringLiteral("读取成功!")});
    const ParameterSetResult read = ReadParameterSetFile(readBack, variant);
    QVERIFY2(read.Ok(), qPrintable(read.error));
    QVERIFY(SameSet(read.set, expected.set));
    QVERIFY(read.set.provenance.readAt.isValid());
    ClickButton(*dlg, QStringLiteral("id1"));

    // The device saves what it holds when it stops.
    sim.Stop();
    const ParameterSetResult saved = ReadParameterSetFile(onExit, variant);
    QVERIFY2(saved.Ok(), qPrintable(saved.error));
    QVERIFY(SameSet(saved.set, expected.set));
    QCOMPARE(saved.set.provenance.deviceIdentification, QStringLiteral("01 09 09 08 0A 0B 0C 0D"));
}

void TestE2eParameterFiles::deviceFromFileAndComparisons_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::addColumn<std::vector<int>>("changed");  // the second file's lists
    QTest::addColumn<QStringList>("rows");          // device against the second file
    QTest::addColumn<int>("shownList");             // changed in the dialog by hand
    QTest::addColumn<QString>("shownRow");          // device against the dialog
    QTest::newRow("A") << 0 << "1234" << std::vector<int>{0, 1, 2, 3, 4, 6}
                       << std::vector<int>{0, 1, 9, 3, 4, 0}
                       << QStringList{"命令2输入延时|2ms|9ms", "功放过载告警延时|600ms|0ms"} << 1010
                       << "功放过低告警延时|400ms|0ms";
    QTest::newRow("B") << 1 << "65000" << std::vector<int>{10, 9, 8, 7, 6, 5, 1, 2, 0}
                       << std::vector<int>{10, 9, 8, 7, 6, 1, 1, 2, 1}
                       << QStringList{"命令3输出展宽|50ms|10ms",
                                      "信噪比告警闭锁命令|不闭锁命令|闭锁命令(默认)"}
                       << 1010 << "告警延时|1s|0ms";
}

void TestE2eParameterFiles::deviceFromFileAndComparisons() {
    QFETCH(int, variant);
    QFETCH(QString, frequency);
    QFETCH(std::vector<int>, selections);
    QFETCH(std::vector<int>, changed);
    QFETCH(QStringList, rows);
    QFETCH(int, shownList);
    QFETCH(QString, shownRow);
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site.json"));
    const QString planned = dir.filePath(QStringLiteral("planned.json"));
    const QString onExit = dir.filePath(QStringLiteral("on-exit.json"));
    QCOMPARE(WriteSet(site, variant, frequency, selections), QString());
    QCOMPARE(WriteSet(planned, variant, frequency, changed), QString());

    // No --variant: the file says which device this is.
    SimProcess sim;
    QVERIFY2(sim.Start({"--params-file", site, "--baud", "0", "--save-params", onExit}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    auto dlg = MakeParameterDialog(variant);
    QString chosen = site;
    dlg->SetFileChooser([&](QWidget*, bool, const QString&) { return chosen; });
    dlg->show();
    QVERIFY2(boxes.Texts().isEmpty(), qPrintable(boxes.Texts().join('|')));

    ClickButton(*dlg, QStringLiteral("buttonCompareFile"));
    QTRY_COMPARE_WITH_TIMEOUT(
        boxes.Texts(), QStringList{QStringLiteral("装置参数与文件 site.json 一致!")}, kWaitMs);
    QVERIFY(FrequencyBox(*dlg)->text().isEmpty());  // the dialog keeps what it showed

    ComparisonCloser closer;
    chosen = planned;
    ClickButton(*dlg, QStringLiteral("buttonCompareFile"));
    QTRY_COMPARE_WITH_TIMEOUT(closer.Lists().size(), 1, kWaitMs);
    QCOMPARE(closer.Lists()[0].rows, rows);

    // The dialog with the site's values, one list changed by hand.
    chosen = site;
    ClickButton(*dlg, QStringLiteral("buttonLoadParameters"));
    dlg->findChild<QComboBox*>(QStringLiteral("id%1").arg(shownList))->setCurrentIndex(0);
    ClickButton(*dlg, QStringLiteral("buttonCompareShown"));
    QTRY_COMPARE_WITH_TIMEOUT(closer.Lists().size(), 2, kWaitMs);
    QCOMPARE(closer.Lists()[1].rows, QStringList{shownRow});
    QVERIFY(dlg->Exchange().Idle());
    ClickButton(*dlg, QStringLiteral("id1"));

    // Nothing was written: the device still holds the site's file.
    sim.Stop();
    const ParameterSetResult saved = ReadParameterSetFile(onExit, variant);
    QVERIFY2(saved.Ok(), qPrintable(saved.error));
    QVERIFY(SameSet(saved.set, ReadParameterSetFile(site, variant).set));
}

QTEST_MAIN(TestE2eParameterFiles)
#include "tst_e2e_parameter_files.moc"
