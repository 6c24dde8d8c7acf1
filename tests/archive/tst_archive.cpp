// The archive on SQLite and on a private PostgreSQL server: records stored once, twins kept, log
// generations, leases, migrations, parameter sets, paged reading.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "support/pg_server.h"

using archive::Archive;

namespace {

// Letters stand for distinct records; two equal letters are two identical events.
EventRecord Rec(QChar letter) {
    const int n = letter.unicode() - 'A';
    return EventRecord{QStringLiteral("2024"),   QString::number(1 + n % 12),
                       QStringLiteral("5"),      QString::number(n),
                       QStringLiteral("30"),     QStringLiteral("0"),
                       QString::number(100 * n), QStringLiteral("事件") + letter};
}

archive::ReadToStore ReadOf(const QString& device, const QString& letters) {
    archive::ReadToStore read;
    read.device = device;
    read.collector = QStringLiteral("c1");
    read.host = QStringLiteral("h");
    read.started = read.finished = QDateTime::currentDateTimeUtc();
    read.outcome = QStringLiteral("ok");
    read.complete = !letters.endsWith(QLatin1Char('-'));
    for (const QChar c : letters) {
        if (c != QLatin1Char('-')) {
            read.records.push_back(Rec(c));
            read.codes.push_back(c.unicode() - 'A');
        }
    }
    return read;
}

// "0:AB 1:C": each generation's records in log order.
QString Summary(const Archive& a, const QString& device) {
    QStringList parts;
    int generation = -1;
    for (const archive::EventRow& e : a.Events(device, {}, {}, 0, 1000)) {
        if (e.generation != generation) {
            generation = e.generation;
            parts << QString::number(generation) + QLatin1Char(':');
        }
        parts.last() += e.record.event.right(1);
    }
    return parts.join(QLatin1Char(' '));
}

}  // namespace

class TestArchive : public QObject {
    Q_OBJECT
public:
    TestArchive(QString backend, PgServer* pg) : m_backend(std::move(backend)), m_pg(pg) {}

private:
    // A fresh, empty archive for each test.
    QString FreshLocation() {
        if (m_backend == QLatin1String("sqlite")) {
            return m_dir.filePath(QStringLiteral("a%1.db").arg(++m_count));
        }
        const QString name = QStringLiteral("t%1").arg(++m_count);
        archive::Location loc;
        QString error;
        archive::ParseLocation(m_pg->Url(), &loc, &error);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
            db.setHostName(loc.host);
            db.setUserName(loc.user);
            db.setDatabaseName(loc.database);
            if (db.open()) {
                QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE ") + name);
            }
        }
        QSqlDatabase::removeDatabase(name);
        return QStringLiteral("postgresql://kp650@/%1?host=%2").arg(name, loc.host);
    }

    QString m_backend;
    PgServer* m_pg;
    QTemporaryDir m_dir;
    int m_count = 0;

private Q_SLOTS:
    void initTestCase() { qInfo() << "backend:" << m_backend; }

    void storesEachRecordOnce_data() {
        QTest::addColumn<QStringList>("reads");  // "!" marks a clear by the collector
        QTest::addColumn<QString>("archived");
        QTest::addColumn<QList<int>>("added");
        QTest::newRow("twins in one log both kept") << QStringList{"AA"} << "0:AA" << QList<int>{2};
        QTest::newRow("read again stored once")
            << QStringList{"AB", "AB"} << "0:AB" << QList<int>{2, 0};
        QTest::newRow("grown log adds only the new")
            << QStringList{"AB", "ABAB"} << "0:ABAB" << QList<int>{2, 2};
        QTest::newRow("cleared by hand, new log differs")
            << QStringList{"AB", "CA"} << "0:AB 1:CA" << QList<int>{2, 2};
        QTest::newRow("cleared by hand, shorter like log")
            << QStringList{"AAB", "A"} << "0:AAB 1:A" << QList<int>{3, 1};
        QTest::newRow("broken-off read adds nothing twice")
            << QStringList{"AB", "A-", "ABC-"} << "0:ABC" << QList<int>{2, 0, 1};
        QTest::newRow("cleared by the collector")
            << QStringList{"AB", "!", "AB", "ABB"} << "0:AB 1:ABB" << QList<int>{2, 2, 1};
        QTest::newRow("empty log after a clear")
            << QStringList{"AB", "", "B"} << "0:AB 1:B" << QList<int>{2, 0, 1};
    }
    void storesEachRecordOnce() {
        QFETCH(QStringList, reads);
        QFETCH(QString, archived);
        QFETCH(QList<int>, added);
        Archive a;
        QCOMPARE(a.Open(FreshLocation()), QString());
        archive::DeviceRow d;
        d.name = QStringLiteral("tx1");
        QCOMPARE(a.SaveDevice(d), QString());
        QList<int> got;
        for (const QString& r : reads) {
            if (r == QLatin1String("!")) {
                QCOMPARE(a.MarkCleared(QStringLiteral("tx1")), QString());
                continue;
            }
            const archive::StoreResult s = a.StoreRead(ReadOf(QStringLiteral("tx1"), r));
            QCOMPARE(s.error, QString());
            got << s.newRecords;
        }
        QCOMPARE(got, added);
        QCOMPARE(Summary(a, QStringLiteral("tx1")), archived);
        QCOMPARE(a.IntegrityProblems(), QStringList());
    }

    // A batch: one commit for several writes, each still atomic on its own (a failing one
    // undoes only itself), nothing visible to another connection before the commit.
    void batchCommitsOnceAndKeepsGoodCalls() {
        const QString where = FreshLocation();
        Archive a;
        Archive other;
        QCOMPARE(a.Open(where), QString());
        QCOMPARE(other.Open(where), QString());
        QCOMPARE(a.BeginBatch(), QString());
        archive::DeviceRow d;
        d.name = QStringLiteral("tx1");
        QCOMPARE(a.SaveDevice(d), QString());
        QVERIFY(
            !a.StoreRead(ReadOf(QStringLiteral("nobody"), QStringLiteral("AB"))).error.isEmpty());
        QCOMPARE(a.StoreRead(ReadOf(QStringLiteral("tx1"), QStringLiteral("AB"))).error, QString());
        QCOMPARE(other.Devices().size(), std::size_t(0));
        QCOMPARE(a.CommitBatch(), QString());
        QCOMPARE(Summary(other, QStringLiteral("tx1")), QStringLiteral("0:AB"));
        QCOMPARE(other.IntegrityProblems(), QStringList());
    }

    // The writer's thread: answers in the order the work was posted, each only once its work
    // is visible to another connection; a failing piece of work undoes only itself; what is
    // still queued when the writer goes is written all the same.
    void writerAnswersOnceCommitted() {
        const QString where = FreshLocation();
        Archive other;
        QCOMPARE(other.Open(where), QString());
        QStringList answered;
        {
            archive::ArchiveWriter writer;
            QCOMPARE(writer.Open(where), QString());
            for (int i = 0; i < 12; ++i) {
                const QString name = QStringLiteral("d%1").arg(i);
                writer.Post([&, name, i](Archive& a) -> archive::ArchiveWriter::Then {
                    archive::DeviceRow d;
                    d.name = name;
                    QString error = a.SaveDevice(d);
                    if (i == 5) {
                        error = a.StoreRead(ReadOf(QStringLiteral("nobody"), QStringLiteral("A")))
                                    .error;
                    }
                    return [&, name, error](const QString& committed) {
                        const bool seen = other.Device(name).has_value();
                        answered << name +
                                        (seen ? QStringLiteral(" seen")
                                              : QStringLiteral(" unseen")) +
                                        (error.isEmpty() ? QString() : QStringLiteral(" refused")) +
                                        committed;
                    };
                });
            }
            QTRY_COMPARE(writer.Pending(), 0);
            writer.Post([](Archive& a) -> archive::ArchiveWriter::Then {
                archive::DeviceRow d;
                d.name = QStringLiteral("last");
                a.SaveDevice(d);
                return {};
            });
        }
        QStringList expected;
        for (int i = 0; i < 12; ++i) {
            expected << QStringLiteral("d%1 seen%2").arg(i).arg(i == 5 ? " refused" : "");
        }
        QCOMPARE(answered, expected);
        QVERIFY(other.Device(QStringLiteral("last")).has_value());
        QCOMPARE(other.IntegrityProblems(), QStringList());
    }

    void leasesGiveEachDeviceToOneCollector() {
        Archive a;
        QCOMPARE(a.Open(FreshLocation()), QString());
        archive::DeviceRow d;
        d.name = QStringLiteral("rx1");
        QCOMPARE(a.SaveDevice(d), QString());
        QVERIFY(a.AcquireLease(QStringLiteral("rx1"), QStringLiteral("c1"), 60000).held);
        const archive::LeaseResult other =
            a.AcquireLease(QStringLiteral("rx1"), QStringLiteral("c2"), 60000);
        QVERIFY(!other.held);
        QCOMPARE(other.holder, QStringLiteral("c1"));
        QVERIFY(a.AcquireLease(QStringLiteral("rx1"), QStringLiteral("c1"), -1000).held);
        // Expired: the other collector takes it, and the first may no longer store.
        QVERIFY(a.AcquireLease(QStringLiteral("rx1"), QStringLiteral("c2"), 60000).held);
        archive::ReadToStore late = ReadOf(QStringLiteral("rx1"), QStringLiteral("A"));
        late.leaseMs = 60000;
        QCOMPARE(a.StoreRead(late).error,
                 QStringLiteral("rx1: the lease was lost; nothing stored"));
        late.collector = QStringLiteral("c2");
        QCOMPARE(a.StoreRead(late).newRecords, 1);
        QCOMPARE(a.Reads(QStringLiteral("rx1"), 0, 10).size(), std::size_t(1));
        QCOMPARE(a.ReleaseLease(QStringLiteral("rx1"), QStringLiteral("c2")), QString());
        QVERIFY(a.AcquireLease(QStringLiteral("rx1"), QStringLiteral("c1"), 60000).held);
    }

    void migratesAnOlderSchema() {
        const QString where = FreshLocation();
        {
            Archive old;
            QCOMPARE(old.OpenAtVersion(where, 1), QString());
            QCOMPARE(old.SchemaVersion(), 1);
            archive::DeviceRow d;
            d.name = QStringLiteral("tx9");
            QVERIFY(old.SaveDevice(d).isEmpty());
            QVERIFY(
                old.StoreRead(ReadOf(QStringLiteral("tx9"), QStringLiteral("AB"))).error.isEmpty());
        }
        Archive a;
        QCOMPARE(a.Open(where), QString());
        QCOMPARE(a.SchemaVersion(), 3);
        QCOMPARE(Summary(a, QStringLiteral("tx9")), QStringLiteral("0:AB"));
        QCOMPARE(a.SaveStatus(QStringLiteral("tx9"), QStringLiteral("c1"), std::nullopt,
                              QStringLiteral("无应答"),
                              QDateTime(QDate(2026, 12, 7), QTime(10, 0, 0, 250), Qt::UTC)),
                 QString());
        const std::vector<archive::DeviceRow> devices = a.Devices();
        QCOMPARE(devices.size(), std::size_t(1));
        QCOMPARE(devices[0].lastError, QStringLiteral("无应答"));
        QCOMPARE(devices[0].nextPoll.toString(Qt::ISODateWithMs),
                 QStringLiteral("2026-12-07T10:00:00.250Z"));
        QCOMPARE(devices[0].records, 2);
    }

    void keepsChangedParameterSetsOnly() {
        Archive a;
        QCOMPARE(a.Open(FreshLocation()), QString());
        archive::DeviceRow d;
        d.name = QStringLiteral("tx1");
        QVERIFY(a.SaveDevice(d).isEmpty());
        QList<bool> stored;
        for (const char* frame : {"01 02", "01 02", "01 03", "01 02"}) {
            bool s = false;
            QCOMPARE(a.SaveParameterSet(QStringLiteral("tx1"), QString::fromLatin1(frame),
                                        QDateTime::currentDateTimeUtc(), &s),
                     QString());
            stored << s;
        }
        QCOMPARE(stored, (QList<bool>{true, false, true, true}));
        QCOMPARE(a.ParameterSets(QStringLiteral("tx1")).size(), std::size_t(3));
    }

    void readsEventsByDateRangeInPages() {
        Archive a;
        QCOMPARE(a.Open(FreshLocation()), QString());
        archive::DeviceRow d;
        d.name = QStringLiteral("tx1");
        QVERIFY(a.SaveDevice(d).isEmpty());
        // Months 1..5 (A..E) and a record with no calendar date.
        archive::ReadToStore read = ReadOf(QStringLiteral("tx1"), QStringLiteral("ABCDE"));
        read.records.push_back(Rec(QLatin1Char('F')));
        read.records.back().month = QStringLiteral("13");
        QVERIFY(a.StoreRead(read).error.isEmpty());
        const QDateTime from(QDate(2024, 2, 5), QTime(1, 30));
        const QDateTime to(QDate(2024, 5, 1), QTime(0, 0));
        QStringList pages;
        for (int offset = 0; offset < 4; offset += 2) {
            QString page;
            for (const archive::EventRow& e :
                 a.Events(QStringLiteral("tx1"), from, to, offset, 2)) {
                page += e.record.event.right(1);
            }
            pages << page;
        }
        QCOMPARE(pages, (QStringList{"BC", "D"}));
        QCOMPARE(a.Events(QStringLiteral("tx1"), {}, {}, 0, 100).size(), std::size_t(6));
        QCOMPARE(a.Events(QStringLiteral("tx1"), {}, {}, 0, 1).at(0).code, 0);
    }

    // Every event of a range once, in time order, each page entered at the key before it.
    void pagesInTimeOrderFromKeys_data() {
        QTest::addColumn<QDateTime>("from");
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<int>("every");
        QTest::addColumn<QString>("positions");
        QTest::newRow("open, key every 2") << QDateTime() << QDateTime() << 2 << "5 1 3 2 0 4";
        QTest::newRow("open, key on each") << QDateTime() << QDateTime() << 1 << "5 1 3 2 0 4";
        QTest::newRow("from February")
            << QDateTime(QDate(2024, 2, 5), QTime(0, 0)) << QDateTime() << 2 << "2 0 4";
        QTest::newRow("February only") << QDateTime(QDate(2024, 2, 5), QTime(0, 0))
                                       << QDateTime(QDate(2024, 3, 1), QTime(0, 0)) << 1 << "2";
    }
    void pagesInTimeOrderFromKeys() {
        QFETCH(QDateTime, from);
        QFETCH(QDateTime, to);
        QFETCH(int, every);
        QFETCH(QString, positions);
        Archive a;
        QCOMPARE(a.Open(FreshLocation()), QString());
        archive::DeviceRow d;
        d.name = QStringLiteral("tx1");
        QVERIFY(a.SaveDevice(d).isEmpty());
        // Twins of A and of C tie in time; the last record has no calendar time.
        archive::ReadToStore read = ReadOf(QStringLiteral("tx1"), QStringLiteral("CABACA"));
        read.records.back().month = QStringLiteral("13");
        QVERIFY(a.StoreRead(read).error.isEmpty());
        archive::EventQuery q;
        q.device = QStringLiteral("tx1");
        q.from = from;
        q.to = to;
        q.order = archive::EventOrder::Time;
        const std::optional<archive::EventIndex> index = a.IndexEvents(q, every);
        QVERIFY(index);
        QStringList got;
        for (qint64 offset = 0; offset < index->count; ++offset) {
            const std::size_t k = static_cast<std::size_t>(offset / every);
            q.start = k > 0 ? std::optional<archive::EventKey>(index->keys.at(k)) : std::nullopt;
            q.offset = offset - static_cast<qint64>(k) * every;
            q.limit = 1;
            for (const archive::EventRow& e : a.Events(q)) {
                got << QString::number(e.position);
            }
        }
        QCOMPARE(got.join(QLatin1Char(' ')), positions);
    }
};

class TestLocation : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parses_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("parsed");  // dialect|path|host|port|user|database, or error
        QTest::newRow("plain file") << "fleet.db"
                                    << "S|fleet.db||-1||";
        QTest::newRow("sqlite prefix") << "sqlite:/var/lib/a.db"
                                       << "S|/var/lib/a.db||-1||";
        QTest::newRow("server") << "postgresql://col:pw@db1:5433/fleet"
                                << "P||db1|5433|col|fleet";
        QTest::newRow("socket folder") << "postgresql://col@/fleet?host=/run/postgresql"
                                       << "P||/run/postgresql|-1|col|fleet";
        QTest::newRow("no database") << "postgresql://db1/"
                                     << "postgresql://db1/: the address names no database";
    }
    void parses() {
        QFETCH(QString, text);
        QFETCH(QString, parsed);
        archive::Location loc;
        QString error;
        if (!archive::ParseLocation(text, &loc, &error)) {
            QCOMPARE(error, parsed);
            return;
        }
        QCOMPARE(QStringList({loc.dialect == archive::Dialect::Sqlite ? "S" : "P", loc.path,
                              loc.host, QString::number(loc.port), loc.user, loc.database})
                     .join(QLatin1Char('|')),
                 parsed);
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    int failures = 0;
    {
        TestLocation location;
        failures += QTest::qExec(&location, argc, argv);
    }
    {
        TestArchive sqlite(QStringLiteral("sqlite"), nullptr);
        failures += QTest::qExec(&sqlite, argc, argv);
    }
    PgServer pg;
    if (!pg.Start()) {
        qCritical("%s", qPrintable(pg.ErrorText()));
        return failures + 1;
    }
    TestArchive postgres(QStringLiteral("postgresql"), &pg);
    failures += QTest::qExec(&postgres, argc, argv);
    return failures;
}

#include "tst_archive.moc"
