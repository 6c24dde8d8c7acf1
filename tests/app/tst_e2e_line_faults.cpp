// Every device dialog over a pseudo-terminal against kp650-sim with each line fault, over many
// seeds: an exchange ends with the device's true value and the success text, or with one
// failure text and nothing shown or stored as read; never a wrong value, never still waiting.

#include <QDateTime>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <set>

#include "app/about_dlg.h"
#include "common/globals.h"
#include "link/port_names.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "records/record_store.h"
#include "records/record_text_file.h"
#include "settings/device_clock_dlg.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/log_files.h"
#include "support/sim_process.h"
#include "support/test_support.h"

namespace {

constexpr int kSeeds = 20;
constexpr int kRecords = 6;
// Five tries, each of which may wait a second for a silent device, and some slack.
constexpr int kBoundMs = 8000;

const QString kFailed = QStringLiteral("连接失败！请检查连线、串口选择及装置电源！");

// What one exchange came to.
enum Verdict { kExact, kFailure, kWrong, kPending };

struct Tally {
    int runs = 0;
    int exact = 0;
    int failed = 0;
    int wrong = 0;
    int pending = 0;
};

// A device log of plausible events.
std::vector<EventRecord> DeviceLog(int variant) {
    std::vector<EventRecord> log;
    for (int i = 0; i < kRecords; ++i) {
        log.push_back({QString::number(2020 + i % 6), QString::number(1 + i % 12),
                       QString::number(1 + (3 * i) % 28), QString::number(i % 24),
                       QString::number((7 * i) % 60), QString::number((11 * i) % 60),
                       QString::number((97 * i) % 1000), EventText(i % 10, variant)});
    }
    return log;
}

QString Label(const QWidget& dlg, const char* name) {
    return dlg.findChild<QLabel*>(QString::fromLatin1(name))->text();
}

void Click(const QWidget& dlg, int id) {
    auto* button = dlg.findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
    button->click();
    button->click();  // a quick second press must not start a second request
}

}  // namespace

class TestE2eLineFaults : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qputenv("KP650_HOME", m_home.path().toLocal8Bit()); }
    void cleanupTestCase();
    void everyDialog_data();
    void everyDialog();
    void exactNoise_data();
    void exactNoise();

private:
    // Waits for the one message of an exchange, or for none when the dialog is idle again.
    template <typename Dialog>
    bool Settled(const Dialog& dlg) {
        QElapsedTimer clock;
        clock.start();
        while (dlg.Busy() && clock.elapsed() < kBoundMs) {
            QTest::qWait(10);
        }
        return !dlg.Busy();
    }
    void Count(const QString& what, const QString& fault, Verdict verdict) {
        Tally& t = m_tally[what + QLatin1Char('|') + fault];
        ++t.runs;
        t.exact += verdict == kExact;
        t.failed += verdict == kFailure;
        t.wrong += verdict == kWrong;
        t.pending += verdict == kPending;
        if (verdict == kWrong || verdict == kPending) {
            qWarning("%s with %s: %s", qPrintable(what), qPrintable(fault),
                     verdict == kWrong ? "wrong outcome" : "still waiting");
        }
    }
    // One showing of every dialog against one simulated device.
    void RunOnce(int variant, const QString& fault, const QStringList& faultArgs, int seed);

    QTemporaryDir m_home;
    std::map<QString, Tally> m_tally;
};

void TestE2eLineFaults::everyDialog_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("args");
    for (int variant : {int(kVariantA), int(kVariantB)}) {
        const char* v = variant == kVariantA ? "A" : "B";
        const auto row = [&](const char* name, QStringList args) {
            QTest::addRow("%s %s", v, name) << variant << QString::fromLatin1(name) << args;
        };
        row("garbage", {"--fault", "garbage=0.4"});
        row("split", {"--fault", "split"});
        row("bad-trailer", {"--fault", "bad-trailer=0.5"});
        row("bad-echo", {"--fault", "bad-echo=0.6"});
        row("refuse", {"--fault", "refuse=0.2"});
        row("silent", {"--fault", "silent=0.1"});
        row("hang-up", {});  // the byte count comes from the seed
    }
}

void TestE2eLineFaults::everyDialog() {
    QFETCH(int, variant);
    QFETCH(QString, fault);
    QFETCH(QStringList, args);
    for (int seed = 1; seed <= kSeeds; ++seed) {
        QStringList faultArgs = args;
        if (fault == QLatin1String("hang-up")) {
            faultArgs << QStringLiteral("--fault")
                      << QStringLiteral("hangup-after=%1").arg(5 + (seed * 37) % 260);
        }
        RunOnce(variant, fault, faultArgs, seed);
        if (QTest::currentTestFailed()) {
            qWarning("seed %d", seed);
            return;
        }
    }
}

void TestE2eLineFaults::RunOnce(int variant, const QString& fault, const QStringList& faultArgs,
                                int seed) {
    g_variant = variant;
    g_portNumber = 1;
    const std::vector<EventRecord> log = DeviceLog(variant);
    QByteArray logText;
    for (std::size_t i = 0; i < log.size(); ++i) {
        logText += FormatRecordLine(static_cast<int>(i + 1), log[i]) + "\r\n";
    }
    const QString logPath = m_home.filePath(QStringLiteral("device-log.txt"));
    {
        QFile file(logPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(logText);
    }
    SimProcess sim;
    QVERIFY2(sim.Start(QStringList{"--variant", variant == kVariantA ? "A" : "B", "--baud", "0",
                                   "--frequency", "250", "--log", logPath, "--seed",
                                   QString::number(seed)} +
                       faultArgs),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes(QMessageBox::Yes);
    const auto verdict = [&](bool settled, const QString& success, bool valueRight) {
        const QStringList texts = boxes.Texts();
        boxes.Clear();
        if (!settled) {
            return kPending;
        }
        if (texts == QStringList{success} || (success.isEmpty() && texts.isEmpty())) {
            return valueRight ? kExact : kWrong;
        }
        return texts.size() == 1 && texts.first() != success ? kFailure : kWrong;
    };

    {  // Identification: shown only when it is the device's.
        CAboutDlg about;
        about.show();
        QElapsedTimer clock;
        clock.start();
        while (!about.RequestText().isEmpty() && clock.elapsed() < kBoundMs) {
            QTest::qWait(10);
        }
        const QStringList shown{Label(about, "id1038"), Label(about, "id1039"),
                                Label(about, "id1043")};
        const bool right = shown == QStringList{"1.00", "2009-9-8", "ABCD"};
        Verdict v = verdict(about.RequestText().isEmpty(), QString(), right);
        if (v == kFailure && shown != QStringList{"", "", ""}) {
            v = kWrong;
        }
        Count(QStringLiteral("identification"), fault, v);
        about.accept();
    }
    {  // Clock read: the device runs on the PC's clock.
        CDeviceClockDlg clockDlg;
        clockDlg.SetPortNumber(1);
        clockDlg.show();
        Click(clockDlg, 1017);
        const bool settled = Settled(clockDlg);
        const QDateTime shown = QDateTime::fromString(
            Label(clockDlg, "id1018") + QLatin1Char(' ') + Label(clockDlg, "id1019"),
            QStringLiteral("yyyy-M-d HH:mm:ss"));
        const bool right = shown.isValid() && qAbs(shown.secsTo(QDateTime::currentDateTime())) <= 5;
        Verdict v = verdict(settled, QString(), right);
        if (v == kFailure && Label(clockDlg, "id1019") != QLatin1String("08:00:00")) {
            v = kWrong;
        }
        Count(QStringLiteral("clock read"), fault, v);
        clockDlg.accept();
    }
    std::unique_ptr<CParameterDlg> params;
    if (variant == kVariantA) {
        params = std::make_unique<CTransmitterParamDlg>();
    } else {
        params = std::make_unique<CReceiverParamDlg>();
    }
    params->SetPortNumber(1);
    params->show();
    auto* frequency = params->findChild<QLineEdit*>(QStringLiteral("id1006"));
    // What the device may hold: its first value, or one a write sent (a write whose echo was
    // spoilt may still have been carried out).
    std::set<QString> held{QStringLiteral("250")};
    {
        const QString value = QString::number(300 + seed);
        frequency->setText(value);
        held.insert(value);
        Click(*params, 1011);
        Count(QStringLiteral("parameter write"), fault,
              verdict(Settled(*params), QStringLiteral("配置成功!"), true));
    }
    {
        const QString before = params->FrequencyText();
        frequency->setText(QStringLiteral("1"));  // not a value any device holds
        Click(*params, 1003);
        const bool settled = Settled(*params);
        const QString shown = frequency->text();
        Verdict v = verdict(settled, QStringLiteral("读取成功!"), held.count(shown) > 0);
        if (v == kFailure && (params->FrequencyText() != before ||
                              (shown != before && shown != QLatin1String("1")))) {
            v = kWrong;  // a failed read leaves what the dialog held
        }
        Count(QStringLiteral("parameter read"), fault, v);
    }
    params->accept();
    params.reset();

    CRecordDlg records;
    records.SetPortNumber(1);
    records.show();
    {  // Log read: every stored row is the device's, in order; all of them on success.
        Click(records, 1011);
        const bool settled = Settled(records);
        const std::vector<EventRecord> temp = records.Store().ReadAll(records::kTempTable);
        const bool prefix =
            temp.size() <= log.size() && std::equal(temp.begin(), temp.end(), log.begin());
        Verdict v =
            verdict(settled, QStringLiteral("读取记录完毕!"), prefix && temp.size() == log.size());
        if (v == kFailure && !prefix) {
            v = kWrong;
        }
        Count(QStringLiteral("log read"), fault, v);
    }
    {  // Log clear: what was read goes only when the device confirms.
        const std::size_t before = records.Store().ReadAll(records::kTempTable).size();
        records.findChild<QPushButton*>(QStringLiteral("id1012"))->click();
        QVERIFY(boxes.Texts().size() == 1);  // the question
        boxes.Clear();
        const bool settled = Settled(records);
        const std::size_t after = records.Store().ReadAll(records::kTempTable).size();
        Verdict v = verdict(settled, QStringLiteral("记录已经清空!"), after == 0);
        if (v == kFailure && after != before) {
            v = kWrong;
        }
        Count(QStringLiteral("log clear"), fault, v);
    }
    records.accept();
}

// Noise bytes placed exactly in front of one reply at 9600 baud: the record dialog's read ends
// with "读取记录完毕!" and exactly the device's log (started again once in doubt).
void TestE2eLineFaults::exactNoise_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("noise");
    for (int v : {int(kVariantA), int(kVariantB)}) {
        const char* l = v == kVariantA ? "A" : "B";
        QTest::addRow("%s count 89, one byte before it", l)
            << v << MakeLogFile(v, 89, false) << "log-count:1:00";
        QTest::addRow("%s record ending 0x78, two bytes before it", l)
            << v << LogWithThirdMillisecond(v, 120) << "log-record:3:1003";
        QTest::addRow("%s record ending 0x58, two bytes before it", l)
            << v << LogWithThirdMillisecond(v, 88) << "log-record:3:1003";
    }
}

void TestE2eLineFaults::exactNoise() {
    QFETCH(int, variant);
    QFETCH(QByteArray, log);
    QFETCH(QString, noise);
    g_variant = variant;
    const QString logPath = m_home.filePath(QStringLiteral("device-log.txt"));
    {
        QFile file(logPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(log);
    }
    SimProcess sim;
    QVERIFY2(sim.Start({"--variant", variant == kVariantA ? "A" : "B", "--log", logPath, "--noise",
                        noise}),
             qPrintable(sim.ErrorText()));
    SetPortDeviceOverride(1, sim.LinkPath());
    MessageBoxRecorder boxes;
    CRecordDlg records;
    records.SetPortNumber(1);
    records.show();
    records.findChild<QPushButton*>(QStringLiteral("id1011"))->click();
    QTRY_VERIFY_WITH_TIMEOUT(!records.Busy(), 30000);
    QCOMPARE(boxes.Texts(), QStringList{QStringLiteral("读取记录完毕!")});
    QByteArray stored;
    int serial = 0;
    for (const EventRecord& r : records.Store().ReadAll(records::kTempTable)) {
        stored += FormatRecordLine(++serial, r) + "\r\n";
    }
    QCOMPARE(stored, log);
    QCOMPARE(records.ListModel().rowCount(), serial);
    records.accept();
}

void TestE2eLineFaults::cleanupTestCase() {
    qInfo("%-16s %-12s %5s %6s %8s %6s %8s", "dialog", "fault", "runs", "exact", "failure", "wrong",
          "pending");
    Tally total;
    for (const auto& [key, t] : m_tally) {
        const QStringList parts = key.split(QLatin1Char('|'));
        qInfo("%-16s %-12s %5d %6d %8d %6d %8d", qPrintable(parts[0]), qPrintable(parts[1]), t.runs,
              t.exact, t.failed, t.wrong, t.pending);
        total.runs += t.runs;
        total.exact += t.exact;
        total.failed += t.failed;
        total.wrong += t.wrong;
        total.pending += t.pending;
        QCOMPARE(t.wrong, 0);
        QCOMPARE(t.pending, 0);
    }
    qInfo("%-29s %5d %6d %8d %6d %8d", "all", total.runs, total.exact, total.failed, total.wrong,
          total.pending);
    QVERIFY(total.runs > 0);
    qunsetenv("KP650_HOME");
}

QTEST_MAIN(TestE2eLineFaults)
#include "tst_e2e_line_faults.moc"
