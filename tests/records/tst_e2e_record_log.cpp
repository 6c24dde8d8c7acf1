// The event log exchange end to end: the record dialog with the real serial control over a
// pseudo-terminal against kp650-sim.

#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "common/globals.h"
#include "link/exchange.h"
#include "link/port_names.h"
#include "records/percent_progress_ctrl.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "records/record_log.h"
#include "records/record_text_file.h"
#include "support/log_files.h"
#include "support/sim_process.h"
#include "support/test_support.h"

namespace {
constexpr int kWaitMs = 60000;

std::vector<EventRecord> RecordsOf(const QByteArray& file) {
    std::vector<EventRecord> out;
    for (const QByteArray& line : file.split('\n')) {
        if (!line.trimmed().isEmpty()) {
            out.push_back(ParseRecordLine(line));
        }
    }
    return out;
}

struct Rig {
    ~Rig() {
        if (dlg) {
            dlg->reject();
        }
        dlg.reset();
        qunsetenv("KP650_HOME");
    }
    bool Start(int variant, QStringList args) {
        g_variant = variant;
        qputenv("KP650_HOME", home.path().toLocal8Bit());
        args << QStringLiteral("--variant")
             << (variant == kVariantA ? QStringLiteral("A") : QStringLiteral("B"));
        if (!sim.Start(args)) {
            qWarning("%s", qPrintable(sim.ErrorText()));
            return false;
        }
        SetPortDeviceOverride(1, sim.LinkPath());
        dlg = std::make_unique<CRecordDlg>();
        dlg->SetPortNumber(1);
        dlg->show();
        return dlg->Comm().GetPortOpen();
    }
    QString LogPath(const QByteArray& content) {
        const QString path = home.filePath(QStringLiteral("device-log.txt"));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(content);
        return path;
    }
    void Click(int id) { dlg->findChild<QPushButton*>(QStringLiteral("id%1").arg(id))->click(); }
    bool FiveEnabled() const {
        for (int id : {1011, 1012, 1003, 1026, 1027}) {
            if (!dlg->findChild<QPushButton*>(QStringLiteral("id%1").arg(id))->isEnabled()) {
                return false;
            }
        }
        return true;
    }
    QByteArray SaveText() {
        const QString path = home.filePath(QStringLiteral("saved.txt"));
        dlg->SetFileChooser([path](QWidget*, const RecordFileDialogSettings&) { return path; });
        Click(CRecordDlg::kIdSaveFile);
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    QTemporaryDir home;
    SimProcess sim;
    MessageBoxRecorder recorder{QMessageBox::Yes};
    std::unique_ptr<CRecordDlg> dlg;
};
}  // namespace

class TestE2eRecordLog : public QObject {
    Q_OBJECT
private slots:
    void read255_data();
    void read255();
    void clearThenReadNone_data();
    void clearThenReadNone();
    void hangUp_data();
    void hangUp();
};

void TestE2eRecordLog::read255_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("count");
    QTest::newRow("A unpaced") << int(kVariantA) << QStringList{"--baud", "0"} << 255;
    QTest::newRow("B unpaced") << int(kVariantB) << QStringList{"--baud", "0"} << 255;
    // Split replies pause between their pieces: a shorter log keeps the run short.
    QTest::newRow("A split") << int(kVariantA) << QStringList{"--baud", "0", "--fault", "split"}
                             << 40;
    QTest::newRow("B split") << int(kVariantB) << QStringList{"--baud", "0", "--fault", "split"}
                             << 40;
    QTest::newRow("B 9600 baud") << int(kVariantB) << QStringList{} << 255;
}

void TestE2eRecordLog::read255() {
    QFETCH(int, variant);
    QFETCH(QStringList, args);
    QFETCH(int, count);
    Rig rig;
    const QByteArray log = MakeLogFile(variant, count);
    QVERIFY(rig.Start(variant, args << QStringLiteral("--log") << rig.LogPath(log)));
    rig.Click(CRecordDlg::kIdReadLog);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.recorder.Boxes().isEmpty(), kWaitMs);
    QCOMPARE(rig.recorder.Texts(), QStringList{QStringLiteral("读取记录完毕!")});
    QVERIFY(rig.FiveEnabled());
    QCOMPARE(rig.dlg->ListModel().rowCount(), count);
    QCOMPARE(rig.dlg->Progress().Lower(), count);
    QCOMPARE(rig.dlg->Progress().Upper(), 2 * count);
    // Saved as text, the records read are the device's log byte for byte.
    QCOMPARE(rig.SaveText(), log);
}

void TestE2eRecordLog::clearThenReadNone_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A") << int(kVariantA);
    QTest::newRow("B") << int(kVariantB);
}

void TestE2eRecordLog::clearThenReadNone() {
    QFETCH(int, variant);
    Rig rig;
    QVERIFY(rig.Start(variant, {"--baud", "0", "--records", "10"}));
    rig.Click(CRecordDlg::kIdClearLog);
    QTRY_VERIFY_WITH_TIMEOUT(rig.recorder.Texts().contains(QStringLiteral("记录已经清空!")),
                             kWaitMs);
    QCOMPARE(rig.recorder.Texts(),
             (QStringList{QStringLiteral("确定要清除装置中存储的所有事件吗？"),
                          QStringLiteral("记录已经清空!")}));
    QTRY_VERIFY(!rig.dlg->RunningDown());
    rig.recorder.Clear();
    rig.Click(CRecordDlg::kIdReadLog);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.recorder.Boxes().isEmpty(), kWaitMs);
    QCOMPARE(rig.recorder.Texts(), QStringList{QStringLiteral("装置内无记录!!")});
    QVERIFY(rig.dlg->Store().ReadAll(records::kTempTable).empty());
    QVERIFY(rig.FiveEnabled());
}

void TestE2eRecordLog::hangUp_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("after");  // reply bytes before the line goes
    QTest::addColumn<int>("stored");
    QTest::addColumn<bool>("split");
    // Variant A replies are 10 bytes, variant B replies 11. Lost between two frames, every byte
    // is accounted for and the records read are kept; lost inside a frame, the bytes of it
    // might be an earlier frame's (noise would have shifted it), so nothing is kept.
    QTest::newRow("A inside the count frame") << int(kVariantA) << 4 << 0 << false;
    QTest::newRow("A inside record 4") << int(kVariantA) << 10 + 30 + 6 << 0 << false;
    QTest::newRow("A right after record 3") << int(kVariantA) << 10 + 30 << 3 << false;
    QTest::newRow("B inside record 100") << int(kVariantB) << 11 + 11 * 99 + 9 << 0 << false;
    QTest::newRow("B split, inside record 7") << int(kVariantB) << 11 + 66 + 1 << 0 << true;
    QTest::newRow("A split, after record 20") << int(kVariantA) << 10 + 200 << 20 << true;
}

void TestE2eRecordLog::hangUp() {
    QFETCH(int, variant);
    QFETCH(int, after);
    QFETCH(int, stored);
    QFETCH(bool, split);
    Rig rig;
    const QByteArray log = MakeLogFile(variant, 120);
    QStringList args = {"--baud",         "0",       "--log",
                        rig.LogPath(log), "--fault", QStringLiteral("hangup-after=%1").arg(after)};
    if (split) {
        args << QStringLiteral("--fault") << QStringLiteral("split");
    }
    const std::vector<EventRecord> all = RecordsOf(log);
    QVERIFY(rig.Start(variant, args));
    rig.Click(CRecordDlg::kIdReadLog);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.recorder.Boxes().isEmpty(), kWaitMs);
    const QString failed = QStringLiteral("连接失败！请检查连线、串口选择及装置电源！");
    const bool counted = after >= (variant == kVariantA ? 10 : 11);
    QCOMPARE(rig.recorder.Texts(),
             QStringList{
                 counted ? failed + QStringLiteral("\n已读取%1条记录，装置内共120条。").arg(stored)
                         : failed});
    QVERIFY(rig.FiveEnabled());
    // Exactly the records whose frames arrived whole, once each, in order.
    const std::vector<EventRecord> temp = rig.dlg->Store().ReadAll(records::kTempTable);
    QCOMPARE(temp.size(), std::size_t(stored));
    QVERIFY(std::equal(temp.begin(), temp.end(), all.begin()));
    QCOMPARE(rig.dlg->ListModel().rowCount(), stored);

    // The device plugged in again: a new showing reads the whole log. (A variant B device
    // cannot tell a new read from the acknowledge of the one it lost, which it goes on with
    // for some seconds, so only variant A is read again at once.)
    if (variant != kVariantA) {
        return;
    }
    // The new pty may carry the old one's number, so the link's target cannot tell.
    QTRY_VERIFY_WITH_TIMEOUT(
        rig.sim.StandardError().contains(QStringLiteral("kp650-sim: line back on")), kWaitMs);
    rig.dlg->accept();
    rig.recorder.Clear();
    rig.dlg->show();
    QVERIFY(rig.dlg->Comm().GetPortOpen());
    rig.Click(CRecordDlg::kIdReadLog);
    QTRY_VERIFY_WITH_TIMEOUT(!rig.recorder.Boxes().isEmpty(), kWaitMs);
    QCOMPARE(rig.recorder.Texts(), QStringList{QStringLiteral("读取记录完毕!")});
    QCOMPARE(rig.SaveText(), log);
}

QTEST_MAIN(TestE2eRecordLog)
#include "tst_e2e_record_log.moc"
