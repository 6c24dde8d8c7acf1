// The journal file and its reading: outcomes and details of a write's end, the changes a write
// shows, the filter, the parameter history, append-only tables, the schema version, CSV.

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "app/journal_dlg.h"
#include "journal/journal.h"
#include "journal/journal_model.h"
#include "journal/journal_report.h"
#include "journal/write_recorder.h"

using journal::Fields;

Q_DECLARE_METATYPE(ExchangeOutcome)
Q_DECLARE_METATYPE(journal::Fields)

namespace {

const QDateTime kAt(QDate(2026, 3, 5), QTime(10, 0, 0, 500), Qt::UTC);

journal::PlannedWrite Write(const QString& device, Fields sent, Fields before = {}) {
    journal::PlannedWrite w;
    w.port = QStringLiteral("/dev/ttyUSB0");
    w.device = device;
    w.sent = std::move(sent);
    w.before = std::move(before);
    w.sentBytes = QStringLiteral("41 46 58");
    return w;
}

}  // namespace

class TestJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void outcomes_data();
    void outcomes();
    void changes_data();
    void changes();
    void filter();
    void historyKeepsChangedSets();
    void appendOnlyAndVersioned();
    void csv();

private:
    QTemporaryDir m_dir;
};

void TestJournal::outcomes_data() {
    QTest::addColumn<ExchangeOutcome>("exchange");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("detail");
    QTest::newRow("echo") << ExchangeOutcome::Success << ""
                          << "confirmed"
                          << "";
    QTest::newRow("refusal") << ExchangeOutcome::Refused << ""
                             << "refused"
                             << "refused by the device";
    QTest::newRow("port") << ExchangeOutcome::PortError << "Permission denied"
                          << "failed"
                          << "port not opened, nothing sent: Permission denied";
    QTest::newRow("bad reply") << ExchangeOutcome::BadReply << ""
                               << "unknown"
                               << "malformed reply";
    QTest::newRow("silence") << ExchangeOutcome::TimedOut << ""
                             << "unknown"
                             << "no reply";
    QTest::newRow("lost") << ExchangeOutcome::LineLost << "gone"
                          << "unknown"
                          << "line lost: gone";
}

void TestJournal::outcomes() {
    QFETCH(ExchangeOutcome, exchange);
    QFETCH(QString, error);
    QFETCH(QString, outcome);
    QFETCH(QString, detail);
    const QString path = m_dir.filePath(
        QStringLiteral("%1.sqlite").arg(QString::fromLatin1(QTest::currentDataTag())));
    journal::WriteRecorder recorder(QStringLiteral("tst"));
    recorder.SetPath(path);
    QCOMPARE(recorder.Begin(Write("KPA-650 @ x", {{"device_time", "2026-3-5 10:00:00"}})),
             QString());
    QVERIFY(recorder.Pending());
    QCOMPARE(recorder.Complete({exchange, {}, error, 1}), QString());
    QVERIFY(!recorder.Pending());

    journal::Journal file;
    QCOMPARE(file.Open(path, false), QString());
    const std::vector<journal::Entry> entries = file.Entries({});
    QCOMPARE(entries.size(), std::size_t(1));
    QCOMPARE(journal::OutcomeName(entries[0].outcome), outcome);
    QCOMPARE(entries[0].detail, detail);
    QCOMPARE(entries[0].origin.program, QStringLiteral("tst 1.0"));
    QCOMPARE(entries[0].write.sent, (Fields{{"device_time", "2026-3-5 10:00:00"}}));
}

void TestJournal::changes_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<Fields>("sent");
    QTest::addColumn<Fields>("before");
    QTest::addColumn<Fields>("after");
    QTest::addColumn<QStringList>("lines");
    const Fields sent{{"centre_frequency", "210 kHz"}, {"input_delay_1", "3ms"}};
    QTest::newRow("one field changed")
        << 0 << sent << Fields{{"centre_frequency", "200 kHz"}, {"input_delay_1", "3ms"}}
        << Fields() << QStringList{"centre_frequency: 200 kHz -> 210 kHz"};
    QTest::newRow("nothing held known")
        << 0 << sent << Fields() << Fields()
        << QStringList{"centre_frequency: ? -> 210 kHz", "input_delay_1: ? -> 3ms"};
    QTest::newRow("same as held") << 0 << sent << sent << sent << QStringList();
    QTest::newRow("read back otherwise")
        << 0 << sent << sent << Fields{{"centre_frequency", "210 kHz"}, {"input_delay_1", "0ms"}}
        << QStringList{"input_delay_1: read back 0ms"};
    QTest::newRow("clock") << 1 << Fields{{"device_time", "2030-1-2 03:04:05"}}
                           << Fields{{"device_time", "2000-1-1 08:00:00"}}
                           << Fields{{"device_time", "2030-1-2 03:04:06"}}
                           << QStringList{"device_time: 2000-1-1 08:00:00 -> 2030-1-2 03:04:05"};
    QTest::newRow("clear") << 2 << Fields{{"log", "cleared"}, {"archived_records", "37"}}
                           << Fields() << Fields()
                           << QStringList{"log: cleared", "archive: /a/KPA650-1.txt (37 records)"};
}

void TestJournal::changes() {
    QFETCH(int, kind);
    QFETCH(Fields, sent);
    QFETCH(Fields, before);
    QFETCH(Fields, after);
    QFETCH(QStringList, lines);
    journal::Entry e;
    e.write = Write("d", sent, before);
    e.write.kind = static_cast<journal::WriteKind>(kind);
    e.write.archiveFile = QStringLiteral("/a/KPA650-1.txt");
    e.after = after;
    QCOMPARE(journal::DifferenceLines(e), lines);
}

void TestJournal::filter() {
    journal::Journal file;
    QCOMPARE(file.Open(m_dir.filePath("filter.sqlite")), QString());
    const journal::Origin who{"op", "pc", "tst 1.0"};
    QString error;
    const struct {
        const char* device;
        int day;
    } writes[] = {{"KPA-650 @ /dev/ttyS1", 1},
                  {"KPB-650 @ tcp://10.0.0.5:4001", 2},
                  {"KPA-650 @ /dev/ttyS10", 3},
                  {"KPA-650 @ /dev/ttyS1", 4}};
    for (const auto& w : writes) {
        QVERIFY(file.Begin(Write(w.device, {}), who, &error, kAt.addDays(w.day)) > 0);
    }
    const auto ids = [&](const journal::Filter& f) {
        QList<qint64> list;
        for (const journal::Entry& e : file.Entries(f)) {
            list << e.id;
        }
        return list;
    };
    QCOMPARE(ids({}), (QList<qint64>{4, 3, 2, 1}));
    QCOMPARE(ids({QStringLiteral("ttys1"), {}, {}}), (QList<qint64>{4, 3, 1}));
    QCOMPARE(ids({QStringLiteral("10.0.0.5"), {}, {}}), (QList<qint64>{2}));
    QCOMPARE(ids({{}, kAt.addDays(2), kAt.addDays(4)}), (QList<qint64>{3, 2}));
    QCOMPARE(file.Devices(), (QStringList{"KPA-650 @ /dev/ttyS1", "KPA-650 @ /dev/ttyS10",
                                          "KPB-650 @ tcp://10.0.0.5:4001"}));
    // The dialog: one device exactly (not ttyS10), days in local time, both ends included.
    CJournalDlg dlg(file.Path());
    dlg.SetFilter("KPA-650 @ /dev/ttyS1", kAt.addDays(1).toLocalTime().date(),
                  kAt.addDays(4).toLocalTime().date());
    QCOMPARE(dlg.Model().rowCount(), 2);
    QCOMPARE(dlg.Model().Entries()[0].id, 4);
    dlg.SetFilter({}, kAt.addDays(2).toLocalTime().date(), kAt.addDays(3).toLocalTime().date());
    QCOMPARE(dlg.Model().rowCount(), 2);
    QCOMPARE(dlg.Model().index(1, JournalModel::kDevice).data().toString(),
             QStringLiteral("KPB-650 @ tcp://10.0.0.5:4001"));
}

void TestJournal::historyKeepsChangedSets() {
    journal::Journal file;
    QCOMPARE(file.Open(m_dir.filePath("history.sqlite")), QString());
    const journal::Origin who{"op", "pc", "tst 1.0"};
    QString error;
    // Receiver frames: a tuning word, then nine list indexes.
    const QByteArray f500 = QByteArray::fromHex("0000000002000000 000000000000000101");
    const QByteArray f510 = QByteArray::fromHex("0000000002020C4A 010000000000000101");
    const QString dev = QStringLiteral("KPB-650 @ /dev/ttyUSB0");
    QCOMPARE(file.KeepParameterSet(dev, 1, f500, "read", who, &error), 1);
    QCOMPARE(file.KeepParameterSet(dev, 1, f500, "read", who, &error), 0);
    QCOMPARE(file.KeepParameterSet("KPB-650 @ other", 1, f510, "read", who, &error), 2);
    QCOMPARE(file.KeepParameterSet(dev, 1, f510, "write", who, &error), 3);
    QCOMPARE(file.KeepParameterSet(dev, 1, f510, "read", who, &error), 0);
    QCOMPARE(file.KeepParameterSet(dev, 1, f500, "write", who, &error), 4);
    const std::vector<journal::KeptSet> sets = file.History(dev);
    QCOMPARE(sets.size(), std::size_t(3));
    QCOMPARE(sets[1].source, QStringLiteral("write"));
    QCOMPARE(sets[1].frameHex,
             QStringLiteral("00 00 00 00 02 02 0C 4A 01 00 00 00 00 00 00 01 01"));
    QCOMPARE(journal::CompareKeptSets(sets[0], sets[1]),
             (QStringList{"centre_frequency: 500 kHz -> 510 kHz",
                          "discrimination_time_1: 0ms(默认) -> 1ms"}));
    QCOMPARE(journal::CompareKeptSets(sets[0], sets[2]), QStringList());
}

void TestJournal::appendOnlyAndVersioned() {
    const QString path = m_dir.filePath("versions.sqlite");
    {
        journal::Journal file;
        QCOMPARE(file.Open(path), QString());
        QString error;
        QCOMPARE(file.Begin(Write("d", {}), {}, &error), 1);
        QCOMPARE(file.KeepParameterSet("d", 0, QByteArray(70, 0), "read", {}, &error), 1);
        QCOMPARE(file.Complete(1, journal::WriteOutcome::Confirmed, {}, {}), QString());
        // An entry is completed once.
        QVERIFY(!file.Complete(1, journal::WriteOutcome::Failed, {}, {}).isEmpty());
    }
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "raw");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA user_version") && q.next());
        QCOMPARE(q.value(0).toInt(), 1);
        for (const char* change : {"UPDATE entry SET device = 'x'", "DELETE FROM entry",
                                   "UPDATE completion SET outcome = 'failed'",
                                   "DELETE FROM completion", "DELETE FROM parameter_set"}) {
            QVERIFY2(!q.exec(QString::fromLatin1(change)), change);
            QVERIFY(q.lastError().text().contains("append-only"));
        }
        QVERIFY(q.exec("PRAGMA user_version = 2"));
    }
    QSqlDatabase::removeDatabase("raw");
    journal::Journal later;
    QCOMPARE(later.Open(path),
             QStringLiteral("the journal was written by a later program (schema 2)"));
    QCOMPARE(later.Open(path, false), QString());  // still read
    QCOMPARE(later.Entries({}).size(), std::size_t(1));
}

void TestJournal::csv() {
    journal::Entry e;
    e.id = 7;
    e.utc = kAt;
    e.local = QStringLiteral("2026-03-05T18:00:00.500+08:00");
    e.origin = {"wang", "pc-1", "kp650 1.0"};
    e.write = Write("KPA-650 @ /dev/ttyUSB0", {{"input_delay_1", "3ms"}},
                    {{"input_delay_1", "0ms(默认)"}});
    e.write.identification = QStringLiteral("v1.00 2009-9-8 ABCD");
    e.outcome = journal::WriteOutcome::Unknown;
    e.detail = QStringLiteral("line lost: \"ttyUSB0\", gone");
    QCOMPARE(journal::EntriesToCsv({e}),
             QByteArray("\xEF\xBB\xBF"
                        "id,utc,local,user,host,program,port,device,identification,kind,outcome,"
                        "completed_utc,changes,sent_bytes,archive_file,detail\r\n"
                        "7,2026-03-05T10:00:00.500Z,2026-03-05T18:00:00.500+08:00,wang,pc-1,"
                        "kp650 1.0,/dev/ttyUSB0,KPA-650 @ /dev/ttyUSB0,v1.00 2009-9-8 ABCD,"
                        "parameter_write,unknown,,input_delay_1: 0ms(\xE9\xBB\x98\xE8\xAE\xA4)"
                        " -> 3ms,41 46 58,,\"line lost: \"\"ttyUSB0\"\", gone\"\r\n"));
}

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
