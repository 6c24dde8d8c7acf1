// The journal of writes end to end: kp650ctl run as a process and the dialogs over a
// pseudo-terminal against kp650-sim. Each write leaves exactly one entry, read back through
// `kp650ctl journal --json`, with literal fields; a lost line leaves "unknown"; a tool killed
// between the two commits leaves a readable journal; a journal that cannot be written stops the
// tool (exit 10) unless --no-journal, and is told once in a dialog without stopping the write.
// `kp650ctl journal push` copies each entry and each completion into the fleet archive once.

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/archive.h"
#include "journal/journal.h"
#include "link/port_names.h"
#include "records/record_dlg.h"
#include "records/record_store.h"
#include "settings/device_clock_dlg.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/pg_server.h"
#include "support/sim_process.h"
#include "support/test_support.h"

namespace {

constexpr int kWaitMs = 15000;

struct CtlRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

QProcessEnvironment CtlEnvironment(const QString& home) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KP650_HOME"), home);
    env.remove(QStringLiteral("DISPLAY"));
    return env;
}

CtlRun RunCtl(const QString& home, const QStringList& args) {
    QProcess process;
    process.setProcessEnvironment(CtlEnvironment(home));
    process.start(QStringLiteral(KP650_CTL_PATH), args);
    CtlRun run;
    if (process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
        run.out = process.readAllStandardOutput();
        run.err = process.readAllStandardError();
    }
    return run;
}

QJsonArray JournalJson(const QString& home) {
    return QJsonDocument::fromJson(RunCtl(home, {"journal", "--json"}).out).array();
}

QStringList Texts(const QJsonValue& array) {
    QStringList texts;
    for (const QJsonValue& v : array.toArray()) {
        texts << v.toString();
    }
    return texts;
}

void Click(QDialog& dlg, const QString& name) {
    dlg.findChild<QPushButton*>(name)->click();
}

enum Action { kReadThenWrite, kWrite, kClockWrite, kClear };

}  // namespace

class TestE2eJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void toolWrites_data();
    void toolWrites();
    void dialogWrites_data();
    void dialogWrites();
    void killedBetweenCommits();
    void unwritableJournal();
    void pushCopiesEachEntryOnce_data();
    void pushCopiesEachEntryOnce();

private:
    std::unique_ptr<QTemporaryDir> m_home;
};

void TestE2eJournal::init() {
    m_home = std::make_unique<QTemporaryDir>();
    qputenv("KP650_HOME", m_home->path().toLocal8Bit());
}

void TestE2eJournal::cleanup() {
    qunsetenv("KP650_HOME");
    m_home.reset();
}

void TestE2eJournal::toolWrites_data() {
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<QStringList>("before");  // a tool run before the write
    QTest::addColumn<QStringList>("ctl");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("identification");
    QTest::addColumn<QStringList>("changes");  // '*' stands for any text
    QTest::addColumn<QString>("bytes");        // prefix

    QTest::newRow("params write A")
        << QStringList{"--variant", "A"} << QStringList()
        << QStringList{"--variant",   "A",   "params", "write",
                       "--frequency", "210", "--set",  "input_delay_1=3"}
        << 0 << "parameter_write"
        << "confirmed"
        << ""
        << QStringList{"centre_frequency: 200 kHz -> 210 kHz", "input_delay_1: 0ms(默认) -> 3ms"}
        << "41 46 00 00 00 00 00 2B 02 0C 00";
    QTest::newRow("params write B, identified")
        << QStringList{"--variant", "B"} << QStringList()
        << QStringList{"params", "write", "--set", "work_mode=1"} << 0 << "parameter_write"
        << "confirmed"
        << "v1.00 2009-9-8 ABCD" << QStringList{"work_mode: FSK方式 -> 编码方式"}
        << "41 53 00 00 00";
    QTest::newRow("params write A, line lost in the echo")
        << QStringList{"--variant", "A", "--fault", "hangup-after=80"} << QStringList()
        << QStringList{"--variant", "A", "--retries", "0", "params", "write", "--frequency", "210"}
        << 4 << "parameter_write"
        << "unknown"
        << "" << QStringList{"centre_frequency: 200 kHz -> 210 kHz"} << "41 46";
    QTest::newRow("clock sync B") << QStringList{"--variant", "B", "--clock", "2030-01-02T03:04:05"}
                                  << QStringList() << QStringList{"--variant", "B", "clock", "sync"}
                                  << 0 << "clock_set"
                                  << "confirmed"
                                  << "" << QStringList{"device_time: 2030-1-2 03:04:0* -> 20*"}
                                  << "43 ";
    QTest::newRow("clock sync A refused")
        << QStringList{"--variant", "A", "--fault", "refuse"} << QStringList()
        << QStringList{"--variant", "A", "clock", "sync"} << 5 << "clock_set"
        << "refused"
        << "" << QStringList{"device_time: ? -> 20*"} << "43 ";
    QTest::newRow("log clear A, archive kept")
        << QStringList{"--variant", "A", "--records", "3"}
        << QStringList{"--variant", "A", "log", "read"}
        << QStringList{"--variant", "A", "log", "clear", "--yes"} << 0 << "log_clear"
        << "confirmed"
        << "" << QStringList{"log: cleared", "archive: *"} << "45 58";
}

void TestE2eJournal::toolWrites() {
    QFETCH(QStringList, sim);
    QFETCH(QStringList, before);
    QFETCH(QStringList, ctl);
    QFETCH(int, exitCode);
    QFETCH(QString, kind);
    QFETCH(QString, outcome);
    QFETCH(QString, identification);
    QFETCH(QStringList, changes);
    QFETCH(QString, bytes);
    SimProcess device;
    QVERIFY2(device.Start(sim << "--baud"
                              << "0"),
             qPrintable(device.ErrorText()));
    const QString home = m_home->path();
    const QStringList port{"--port", device.LinkPath()};
    if (!before.isEmpty()) {
        QCOMPARE(RunCtl(home, port + before).exitCode, 0);
    }
    const CtlRun run = RunCtl(home, port + ctl);
    QVERIFY2(run.exitCode == exitCode, run.err.constData());

    const QJsonArray entries = JournalJson(home);
    QCOMPARE(entries.size(), 1);
    const QJsonObject e = entries.at(0).toObject();
    QCOMPARE(e.value("kind").toString(), kind);
    QCOMPARE(e.value("outcome").toString(), outcome);
    QCOMPARE(e.value("identification").toString(), identification);
    QCOMPARE(e.value("port").toString(), device.LinkPath());
    QCOMPARE(e.value("device").toString(),
             (sim.contains("B") ? "KPB-650 @ " : "KPA-650 @ ") + device.LinkPath());
    QVERIFY(e.value("program").toString().startsWith("kp650ctl "));
    QVERIFY(!e.value("host").toString().isEmpty());
    QVERIFY(e.value("sent_bytes").toString().startsWith(bytes));
    QVERIFY(e.value("sent_bytes").toString().endsWith("58"));
    const QStringList got = Texts(e.value("changes"));
    QCOMPARE(got.size(), changes.size());
    for (int i = 0; i < changes.size(); ++i) {
        const QString& want = changes[i];
        const QRegularExpression pattern(
            '^' + QRegularExpression::escape(want).replace(QStringLiteral("\\*"), ".*") + '$');
        QVERIFY2(pattern.match(got[i]).hasMatch(), qPrintable(got[i]));
    }
    if (kind == "log_clear") {
        QVERIFY(got[1].endsWith(" (3 records)"));
        QVERIFY(QFile::exists(e.value("archive_file").toString()));
    }
    if (outcome == "unknown") {
        QVERIFY(e.value("detail").toString().startsWith("line lost: "));
    }
}

void TestE2eJournal::dialogWrites_data() {
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("box");  // the dialog's last message
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QStringList>("changes");  // the first lines
    QTest::addColumn<int>("changeCount");
    QTest::addColumn<QString>("bytes");  // prefix
    QTest::addColumn<int>("setsKept");

    QTest::newRow("parameters A, read then write")
        << QStringList{"--variant", "A"} << int(kReadThenWrite) << "配置成功!"
        << "parameter_write"
        << "confirmed" << QStringList{"centre_frequency: 200 kHz -> 210 kHz"} << 1
        << "41 46 00 00 00 00 00 2B 02 0C" << 2;
    QTest::newRow("parameters B, line lost mid-way")
        << QStringList{"--variant", "B", "--fault", "hangup-after=5"} << int(kWrite)
        << "连接失败！请检查连线、串口选择及装置电源！"
        << "parameter_write"
        << "unknown"
        << QStringList{"centre_frequency: ? -> 210 kHz", "discrimination_time_1: ? -> 0ms(默认)"}
        << 10 << "41 53 00 00 00 00 01 C4 9B A6 00" << 0;
    QTest::newRow("clock") << QStringList{"--variant", "A"} << int(kClockWrite) << ""
                           << "clock_set"
                           << "confirmed" << QStringList{"device_time: ? -> 2030-1-2 03:04:05"} << 1
                           << "43 1E 01 02 03 04 05 58" << 0;
    QTest::newRow("record dialog clear")
        << QStringList{"--variant", "A"} << int(kClear) << "记录已经清空!"
        << "log_clear"
        << "confirmed" << QStringList{"log: cleared"} << 1 << "45 58" << 0;
}

void TestE2eJournal::dialogWrites() {
    QFETCH(QStringList, sim);
    QFETCH(int, action);
    QFETCH(QString, box);
    QFETCH(QString, kind);
    QFETCH(QString, outcome);
    QFETCH(QStringList, changes);
    QFETCH(int, changeCount);
    QFETCH(QString, bytes);
    QFETCH(int, setsKept);
    SimProcess device;
    QVERIFY2(device.Start(sim << "--baud"
                              << "0"),
             qPrintable(device.ErrorText()));
    SetPortDeviceOverride(1, device.LinkPath());
    MessageBoxRecorder boxes(QMessageBox::Yes);
    const bool b = sim.contains("B");

    if (action == kClockWrite) {
        CDeviceClockDlg dlg;
        dlg.SetClock([] { return QDateTime(QDate(2030, 1, 2), QTime(3, 4, 5)); });
        dlg.show();
        Click(dlg, "id1011");
        QTRY_VERIFY_WITH_TIMEOUT(!dlg.Busy(), kWaitMs);
        dlg.reject();
    } else if (action == kClear) {
        CRecordDlg dlg;
        dlg.show();
        dlg.OnClearLog();
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts().value(boxes.Texts().size() - 1), box, kWaitMs);
        dlg.reject();
    } else {
        std::unique_ptr<CParameterDlg> dlg;
        if (b) {
            dlg = std::make_unique<CReceiverParamDlg>();
        } else {
            dlg = std::make_unique<CTransmitterParamDlg>();
        }
        dlg->show();
        if (action == kReadThenWrite) {
            Click(*dlg, "id1003");
            QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts(), QStringList{"读取成功!"}, kWaitMs);
        }
        dlg->findChild<QLineEdit*>("id1006")->setText("210");
        Click(*dlg, "id1011");
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts().value(boxes.Texts().size() - 1), box, kWaitMs);
        dlg->reject();
    }

    const QJsonArray entries = JournalJson(m_home->path());
    QCOMPARE(entries.size(), 1);
    const QJsonObject e = entries.at(0).toObject();
    QCOMPARE(e.value("kind").toString(), kind);
    QCOMPARE(e.value("outcome").toString(), outcome);
    QCOMPARE(e.value("device").toString(), (b ? "KPB-650 @ " : "KPA-650 @ ") + device.LinkPath());
    QVERIFY(e.value("program").toString().startsWith("kp650 "));
    QVERIFY2(e.value("sent_bytes").toString().startsWith(bytes),
             qPrintable(e.value("sent_bytes").toString()));
    const QStringList got = Texts(e.value("changes"));
    QCOMPARE(got.size(), changeCount);
    QCOMPARE(got.mid(0, changes.size()), changes);
    if (outcome == "unknown") {
        QVERIFY(e.value("detail").toString().startsWith("line lost: "));
    }
    // The history: the set read and the set written, as two sets that differ.
    const QJsonArray sets =
        QJsonDocument::fromJson(
            RunCtl(m_home->path(), {"history", "--device", device.LinkPath(), "--json"}).out)
            .array();
    QCOMPARE(sets.size(), setsKept);
    if (setsKept == 2) {
        QCOMPARE(sets.at(0)["source"].toString(), "read");
        QCOMPARE(sets.at(1)["source"].toString(), "write");
        const CtlRun diff =
            RunCtl(m_home->path(), {"history", "--device", device.LinkPath(), "--diff",
                                    QString::number(sets.at(0)["id"].toInteger()),
                                    QString::number(sets.at(1)["id"].toInteger())});
        QCOMPARE(diff.out, QByteArray("centre_frequency: 200 kHz -> 210 kHz\n"));
    }
}

void TestE2eJournal::killedBetweenCommits() {
    // A device that never answers, a tool that waits a minute for it: killed while it waits.
    SimProcess device;
    QVERIFY2(device.Start({"--variant", "A", "--baud", "0", "--fault", "silent"}),
             qPrintable(device.ErrorText()));
    QProcess tool;
    tool.setProcessEnvironment(CtlEnvironment(m_home->path()));
    tool.start(QStringLiteral(KP650_CTL_PATH),
               {"--port", device.LinkPath(), "--variant", "A", "--timeout", "60000", "--retries",
                "0", "log", "clear", "--yes", "--no-read"});
    QVERIFY(tool.waitForStarted());
    const QString path = m_home->filePath("journal.sqlite");
    // The entry is committed before the request goes out.
    QTRY_VERIFY_WITH_TIMEOUT(RunCtl(m_home->path(), {"journal", "--json"}).out.startsWith("[{"),
                             kWaitMs);
    tool.kill();  // SIGKILL
    QVERIFY(tool.waitForFinished());
    QCOMPARE(tool.exitStatus(), QProcess::CrashExit);

    journal::Journal file;
    QCOMPARE(file.Open(path), QString());
    const std::vector<journal::Entry> entries = file.Entries({});
    QCOMPARE(entries.size(), std::size_t(1));
    QCOMPARE(entries[0].outcome, journal::WriteOutcome::Unknown);
    QVERIFY(!entries[0].completedUtc.isValid());
    QCOMPARE(entries[0].write.sentBytes, QStringLiteral("45 58"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "check");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA integrity_check") && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
    }
    QSqlDatabase::removeDatabase("check");
}

void TestE2eJournal::unwritableJournal() {
    // A folder where the file should be: no disk full needed to make it unwritable, even for root.
    QVERIFY(QDir(m_home->path()).mkdir("journal.sqlite"));
    SimProcess device;
    QVERIFY2(device.Start({"--variant", "A", "--baud", "0"}), qPrintable(device.ErrorText()));
    const QStringList write{"--port", device.LinkPath(), "--variant",   "A",
                            "params", "write",           "--frequency", "300"};
    const CtlRun refused = RunCtl(m_home->path(), write);
    QCOMPARE(refused.exitCode, 10);
    QVERIFY(refused.err.contains("nothing was sent"));
    const QStringList read{"--port", device.LinkPath(), "--variant", "A", "params",
                           "read",   "--json"};
    QVERIFY(RunCtl(m_home->path(), read).out.contains("\"shown\":\"200 kHz\""));
    QCOMPARE(RunCtl(m_home->path(), QStringList{"--no-journal"} + write).exitCode, 0);
    QVERIFY(RunCtl(m_home->path(), read).out.contains("\"shown\":\"300 kHz\""));

    // The dialog tells once per showing and writes all the same.
    SetPortDeviceOverride(1, device.LinkPath());
    MessageBoxRecorder boxes;
    CTransmitterParamDlg dlg;
    int writes = 0;
    for (const QString frequency : {"310", "320", "330"}) {
        if (frequency != "320") {
            dlg.show();
        }
        dlg.findChild<QLineEdit*>("id1006")->setText(frequency);
        Click(dlg, "id1011");
        ++writes;
        QTRY_COMPARE_WITH_TIMEOUT(boxes.Texts().count(QStringLiteral("配置成功!")), writes,
                                  kWaitMs);
        if (frequency != "310") {
            dlg.reject();
        }
    }
    const QString told = boxes.Texts().at(0);
    QVERIFY2(told.startsWith("本次写入无法记入操作日志（") && told.endsWith("），写入照常进行。"),
             qPrintable(told));
    QCOMPARE(boxes.Texts().count(told), 2);  // the first and the third write, not the second
    QCOMPARE(boxes.Texts().size(), 5);
}

void TestE2eJournal::pushCopiesEachEntryOnce_data() {
    QTest::addColumn<bool>("postgres");
    QTest::newRow("sqlite") << false;
    QTest::newRow("postgresql") << true;
}

void TestE2eJournal::pushCopiesEachEntryOnce() {
    QFETCH(bool, postgres);
    PgServer pg;
    QString where = m_home->filePath(QStringLiteral("fleet.db"));
    if (postgres) {
        QVERIFY2(pg.Start(), qPrintable(pg.ErrorText()));
        where = pg.Url();
    } else {
        // No archive yet: the push makes none.
        const CtlRun missing = RunCtl(m_home->path(), {"journal", "push", where});
        QCOMPARE(missing.exitCode, 7);
        QCOMPARE(missing.err, QByteArray("kp650ctl: " + where.toUtf8() + ": no such archive\n"));
    }
    {
        archive::Archive collectors;  // made by the collector
        QCOMPARE(collectors.Open(where), QString());
    }
    // Two computers' journals: this one wrote twice (the clock set's outcome not known yet at
    // the first push), the other cleared a log once.
    const QDateTime at(QDate(2026, 3, 5), QTime(10, 0, 0, 500), Qt::UTC);
    QTemporaryDir other;
    QString error;
    qint64 pending = 0;
    {
        journal::Journal file;
        QCOMPARE(file.Open(m_home->filePath(QStringLiteral("journal.sqlite"))), QString());
        const journal::Origin ops{"ops", "host-a", "kp650 1.0"};
        journal::PlannedWrite w;
        w.port = QStringLiteral("/dev/ttyUSB0");
        w.device = QStringLiteral("KPA-650 @ /dev/ttyUSB0");
        w.sent = {{"centre_frequency", "200"}};
        w.sentBytes = QStringLiteral("41 46 58");
        const qint64 id = file.Begin(w, ops, &error, at);
        QCOMPARE(file.Complete(id, journal::WriteOutcome::Confirmed, {{"centre_frequency", "200"}},
                               {}, at.addSecs(1)),
                 QString());
        w.kind = journal::WriteKind::ClockSet;
        w.sent = {{"device_time", "2026-3-5 18:01:00"}};
        pending = file.Begin(w, ops, &error, at.addSecs(60));
    }
    {
        journal::Journal file;
        QCOMPARE(file.Open(other.filePath(QStringLiteral("journal.sqlite"))), QString());
        journal::PlannedWrite w;
        w.kind = journal::WriteKind::LogClear;
        w.port = QStringLiteral("tcp://10.0.0.5:4001");
        w.device = QStringLiteral("KPB-650 @ tcp://10.0.0.5:4001");
        const qint64 id = file.Begin(w, {"tech", "host-b", "kp650ctl 1.0"}, &error, at.addSecs(30));
        QCOMPARE(file.Complete(id, journal::WriteOutcome::Refused, {}, {}, at.addSecs(31)),
                 QString());
    }
    const QStringList push{"journal", "push", where, "--json"};
    const auto pushed = [&push](const QString& home) { return RunCtl(home, push).out; };
    QCOMPARE(pushed(m_home->path()),
             QByteArray("{\"completions\":1,\"entries\":2,\"journal\":2}\n"));
    QCOMPARE(pushed(m_home->path()),
             QByteArray("{\"completions\":0,\"entries\":0,\"journal\":2}\n"));
    QCOMPARE(pushed(other.path()), QByteArray("{\"completions\":1,\"entries\":1,\"journal\":1}\n"));
    {
        journal::Journal file;
        QCOMPARE(file.Open(m_home->filePath(QStringLiteral("journal.sqlite"))), QString());
        QCOMPARE(
            file.Complete(pending, journal::WriteOutcome::Unknown, {}, "no reply", at.addSecs(61)),
            QString());
    }
    // The late outcome comes with the next push, once.
    QCOMPARE(pushed(m_home->path()),
             QByteArray("{\"completions\":1,\"entries\":0,\"journal\":2}\n"));
    QCOMPARE(pushed(m_home->path()),
             QByteArray("{\"completions\":0,\"entries\":0,\"journal\":2}\n"));
    archive::Archive check;
    QCOMPARE(check.OpenReadOnly(where), QString());
    QStringList got;
    for (const journal::Entry& e : check.JournalEntries(&error)) {
        got << QStringList{e.utc.toString(Qt::ISODateWithMs),
                           e.origin.user + QLatin1Char('@') + e.origin.host,
                           e.origin.program,
                           journal::KindName(e.write.kind),
                           e.write.device,
                           journal::FieldsText(e.write.sent),
                           journal::OutcomeName(e.outcome),
                           e.completedUtc.toString(Qt::ISODateWithMs),
                           e.detail,
                           journal::FieldsText(e.after)}
                   .join(QStringLiteral(" | "));
    }
    QCOMPARE(error, QString());
    QCOMPARE(
        got,
        (QStringList{"2026-03-05T10:00:00.500Z | ops@host-a | kp650 1.0 | parameter_write | "
                     "KPA-650 @ /dev/ttyUSB0 | [[\"centre_frequency\",\"200\"]] | confirmed | "
                     "2026-03-05T10:00:01.500Z |  | [[\"centre_frequency\",\"200\"]]",
                     "2026-03-05T10:00:30.500Z | tech@host-b | kp650ctl 1.0 | log_clear | "
                     "KPB-650 @ tcp://10.0.0.5:4001 | [] | refused | 2026-03-05T10:00:31.500Z |  | "
                     "[]",
                     "2026-03-05T10:01:00.500Z | ops@host-a | kp650 1.0 | clock_set | "
                     "KPA-650 @ /dev/ttyUSB0 | [[\"device_time\",\"2026-3-5 18:01:00\"]] | "
                     "unknown | 2026-03-05T10:01:01.500Z | no reply | []"}));
}

QTEST_MAIN(TestE2eJournal)
#include "tst_e2e_journal.moc"
