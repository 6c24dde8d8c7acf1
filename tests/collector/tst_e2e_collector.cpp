// kp650-collector against 16 simulated devices over tcp:// (both variants, faults mixed), into
// SQLite and into a private PostgreSQL server: logs archived exactly and once, grown and cleared
// logs, kill -9 at random points, two collectors sharing one archive, SIGTERM, bad fleet files.

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <map>

#include "archive/archive.h"
#include "journal/journal.h"
#include "support/pg_server.h"
#include "support/sim_fleet.h"

namespace {

const QString kCollector = QStringLiteral(KP650_COLLECTOR_PATH);

// Sixteen devices: both variants, faults mixed, two cleared after each archived read, two whose
// variant is told by their identification reply.
std::vector<SimFleet::Setup> SixteenDevices() {
    std::vector<SimFleet::Setup> setups;
    const QStringList faults[8] = {{},
                                   {"--fault", "split=0.5"},
                                   {"--fault", "garbage=0.05"},
                                   {"--fault", "refuse=1"},
                                   {"--fault", "silent=1"},
                                   {"--fault", "bad-trailer=2"},
                                   {"--baud", "115200"},
                                   {}};
    for (int i = 0; i < 16; ++i) {
        SimFleet::Setup s;
        s.variant = i % 2;
        s.name = QStringLiteral("%1%2").arg(s.variant == 0 ? "tx" : "rx").arg(i, 2, 10, QChar('0'));
        s.records = 20 + 13 * i;
        s.extra = faults[i / 2];
        s.giveVariant = i != 14 && i != 15;
        if (i == 12 || i == 13) {
            s.fleetFields = QStringLiteral("\"clear_after_archive\": true");
        }
        setups.push_back(s);
    }
    return setups;
}

struct Run {
    int exitCode = -1;
    QString err;
};

Run Collect(const QString& fleetFile, const QStringList& extra, int timeoutMs = 60000) {
    QProcess p;
    p.start(kCollector, QStringList(extra) << fleetFile);
    Run r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        r.err = QStringLiteral("timed out");
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Every device's archived events, all generations in order, as one text per device.
std::map<QString, QStringList> Archived(archive::Archive& a) {
    std::map<QString, QStringList> out;
    for (const archive::DeviceRow& d : a.Devices()) {
        for (const archive::EventRow& e : a.Events(d.name, {}, {}, 0, 100000)) {
            out[d.name] << QString::number(e.generation) + QLatin1Char(':') +
                               e.record.FieldTexts().join(QLatin1Char(','));
        }
    }
    return out;
}

QStringList Of(const std::map<QString, QStringList>& archived, const QString& device) {
    const auto it = archived.find(device);
    return it == archived.end() ? QStringList() : it->second;
}

QStringList Expected(const std::vector<EventRecord>& log, int generation) {
    QStringList out;
    for (const EventRecord& r : log) {
        out << QString::number(generation) + QLatin1Char(':') +
                   r.FieldTexts().join(QLatin1Char(','));
    }
    return out;
}

// For each device, reads by different collectors never overlap in time.
QString Overlaps(archive::Archive& a) {
    std::map<QString, std::vector<archive::ReadRow>> byDevice;
    for (const archive::ReadRow& r : a.Reads(QString(), 0, 1000000)) {
        byDevice[r.device].push_back(r);
    }
    for (auto& [device, reads] : byDevice) {
        for (std::size_t i = 0; i < reads.size(); ++i) {
            for (std::size_t j = 0; j < reads.size(); ++j) {
                if (reads[i].collector != reads[j].collector &&
                    reads[i].started < reads[j].finished && reads[j].started < reads[i].finished) {
                    return device + QStringLiteral(": read by ") + reads[i].collector +
                           QStringLiteral(" and ") + reads[j].collector +
                           QStringLiteral(" at once");
                }
            }
        }
    }
    return {};
}

}  // namespace

class TestCollector : public QObject {
    Q_OBJECT
private:
    PgServer m_pg;
    QTemporaryDir m_dir;

    QString Where(const QString& backend, const QString& name) {
        if (backend == QLatin1String("sqlite")) {
            return m_dir.filePath(name + QStringLiteral(".db"));
        }
        // A database per case, made from the one the server starts with.
        const QString socket = m_pg.Url().section(QStringLiteral("host="), 1);
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(socket);
        db.setUserName(QStringLiteral("kp650"));
        db.setDatabaseName(QStringLiteral("kp650"));
        if (db.open()) {
            QSqlQuery(db).exec(QStringLiteral("CREATE DATABASE ") + name);
            db.close();
        }
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
        return QStringLiteral("postgresql://kp650@/%1?host=%2").arg(name, socket);
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(m_pg.Start(), qPrintable(m_pg.ErrorText()));
        // The collectors' journal of writes and copies of cleared logs stay in the test's folder.
        qputenv("KP650_HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
    }

    void collectsSixteenDevices_data() {
        QTest::addColumn<QString>("backend");
        QTest::newRow("sqlite") << "sqlite";
        QTest::newRow("postgresql") << "postgresql";
    }
    void collectsSixteenDevices() {
        QFETCH(QString, backend);
        SimFleet fleet;
        QVERIFY2(fleet.Start(SixteenDevices()), qPrintable(fleet.ErrorText()));
        const QString where = Where(backend, QStringLiteral("sixteen_") + backend);
        const QString file = m_dir.filePath(QStringLiteral("fleet-%1.json").arg(backend));
        QVERIFY(WriteFile(file, fleet.FleetJson(where, 0.2)));
        // First rounds: devices with a fault on their first request fail once, then succeed.
        Run run = Collect(file, {QStringLiteral("--rounds"), QStringLiteral("3")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("tx06: refused")), qPrintable(run.err));
        QProcess status;
        status.start(kCollector, {QStringLiteral("status"), QStringLiteral("--json"), file});
        QVERIFY(status.waitForFinished(30000));
        QCOMPARE(status.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(status.readAllStandardOutput()).array();
        QCOMPARE(rows.size(), 16);
        const QJsonObject tx06 = rows.at(6).toObject();
        QCOMPARE(tx06.value(QStringLiteral("name")).toString(), QStringLiteral("tx06"));
        QCOMPARE(tx06.value(QStringLiteral("records")).toInt(), 98);
        QCOMPARE(tx06.value(QStringLiteral("last_error")).toString(),
                 QStringLiteral("请检查装置与维护软件连接是否正确!"));
        QVERIFY(!tx06.value(QStringLiteral("last_success")).toString().isEmpty());
        std::vector<std::vector<EventRecord>> first;
        for (int i = 0; i < fleet.Size(); ++i) {
            first.push_back(fleet.Log(i));
        }
        // Between rounds: two logs grow, the two cleared devices log anew.
        QVERIFY(fleet.Restart(0, 20 + 7));
        QVERIFY(fleet.Restart(5, 85 + 40));
        QVERIFY(fleet.Restart(12, 9));
        QVERIFY(fleet.Restart(13, 3));
        run = Collect(file, {QStringLiteral("--rounds"), QStringLiteral("1")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        QVERIFY2(run.err.contains(QStringLiteral("tx00: 27 records read, 7 new archived")),
                 qPrintable(run.err));

        archive::Archive a;
        QCOMPARE(a.Open(where), QString());
        const std::map<QString, QStringList> archived = Archived(a);
        for (int i = 0; i < fleet.Size(); ++i) {
            QStringList want;
            if (i == 12 || i == 13) {
                // The cleared device's first log is kept; the new one starts generation 1.
                want = Expected(first[static_cast<std::size_t>(i)], 0) + Expected(fleet.Log(i), 1);
            } else {
                want = Expected(fleet.Log(i), 0);
            }
            QCOMPARE(Of(archived, fleet.At(i).name), want);
        }
        QCOMPARE(a.IntegrityProblems(), QStringList());
        // Read at every poll, kept once while unchanged.
        QCOMPARE(a.ParameterSets(QStringLiteral("rx01")).size(), std::size_t(1));
        // Told by its identification reply.
        int detected = -1;
        for (const archive::DeviceRow& d : a.Devices()) {
            if (d.name == QLatin1String("rx15")) {
                detected = d.variant;
            }
        }
        QCOMPARE(detected, 1);
    }

    // kill -9 at random points of a collection, ten times, then a whole round: nothing lost,
    // nothing twice, the archive sound.
    void survivesKills() {
        std::vector<SimFleet::Setup> setups;
        for (int i = 0; i < 8; ++i) {
            setups.push_back({QStringLiteral("d%1").arg(i),
                              i % 2,
                              120 + 16 * i,
                              {QStringLiteral("--baud"), QStringLiteral("38400")},
                              {},
                              true});
        }
        setups[7].fleetFields = QStringLiteral("\"clear_after_archive\": true");
        SimFleet fleet;
        QVERIFY2(fleet.Start(setups), qPrintable(fleet.ErrorText()));
        const QString where = m_dir.filePath(QStringLiteral("kills.db"));
        const QString file = m_dir.filePath(QStringLiteral("kills.json"));
        QVERIFY(WriteFile(file, fleet.FleetJson(where, 0.1)));
        QRandomGenerator random(650);
        for (int kill = 0; kill < 10; ++kill) {
            QProcess p;
            p.start(kCollector, {file});
            QVERIFY(p.waitForStarted());
            QTest::qWait(random.bounded(100, 1200));
            p.kill();
            QVERIFY(p.waitForFinished());
            if (kill == 4) {
                QVERIFY(fleet.Restart(3, 120 + 48 + 30));  // a log grows meanwhile
            }
        }
        const std::vector<EventRecord> lastLog7 = fleet.Log(7);
        Run run = Collect(file, {QStringLiteral("--rounds"), QStringLiteral("1")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        archive::Archive a;
        QCOMPARE(a.Open(where), QString());
        QCOMPARE(a.IntegrityProblems(), QStringList());
        const std::map<QString, QStringList> archived = Archived(a);
        for (int i = 0; i < 7; ++i) {
            QCOMPARE(Of(archived, fleet.At(i).name), Expected(fleet.Log(i), 0));
        }
        // The device cleared after its archived read: its log archived once, whichever kill
        // fell between the commit and the clear.
        QCOMPARE(Of(archived, QStringLiteral("d7")).size(), qsizetype(lastLog7.size()));
    }

    // Two collectors on one PostgreSQL archive: no device polled by both; one killed, its
    // devices taken over once its leases expire; SIGTERM ends the other cleanly.
    void sharesDevicesByLease() {
        SimFleet fleet;
        std::vector<SimFleet::Setup> setups = SixteenDevices();
        for (SimFleet::Setup& s : setups) {
            s.extra.clear();
            s.fleetFields.clear();
        }
        QVERIFY2(fleet.Start(setups), qPrintable(fleet.ErrorText()));
        const QString where = Where(QStringLiteral("postgresql"), QStringLiteral("shared"));
        const QString file = m_dir.filePath(QStringLiteral("shared.json"));
        QVERIFY(WriteFile(file, fleet.FleetJson(where, 0.2, QStringLiteral("\"lease\": 1.5"))));
        QProcess first;
        QProcess second;
        // East takes the devices first; west finds them leased until east is gone.
        first.start(kCollector, {QStringLiteral("--id"), QStringLiteral("east"), file});
        QVERIFY(first.waitForStarted());
        QTest::qWait(1000);
        second.start(kCollector, {QStringLiteral("--id"), QStringLiteral("west"), file});
        QVERIFY(second.waitForStarted());
        QTest::qWait(1500);
        first.kill();
        QVERIFY(first.waitForFinished());
        const QDateTime killed = QDateTime::currentDateTimeUtc();
        archive::Archive a;
        QCOMPARE(a.Open(where), QString());
        // Within the lease and a few intervals, west reads every device.
        QStringList missing;
        for (int wait = 0; wait < 60; ++wait) {
            QTest::qWait(250);
            missing.clear();
            for (int i = 0; i < fleet.Size(); ++i) {
                missing << fleet.At(i).name;
            }
            for (const archive::ReadRow& r : a.Reads(QString(), 0, 1000000)) {
                if (r.collector == QLatin1String("west") && r.started > killed) {
                    missing.removeAll(r.device);
                }
            }
            if (missing.isEmpty()) {
                break;
            }
        }
        QCOMPARE(missing, QStringList());
        second.terminate();
        QVERIFY(second.waitForFinished(10000));
        QCOMPARE(second.exitCode(), 0);
        QVERIFY(QString::fromUtf8(second.readAllStandardError())
                    .contains(QStringLiteral("collector west: stopped")));
        QCOMPARE(Overlaps(a), QString());
        QStringList byEast;
        for (const archive::ReadRow& r : a.Reads(QString(), 0, 1000000)) {
            if (r.collector == QLatin1String("east") && !byEast.contains(r.device)) {
                byEast << r.device;
            }
        }
        QVERIFY2(!byEast.isEmpty(), "east polled nothing before it was killed");
        QCOMPARE(Archived(a).size(), std::size_t(16));
        QCOMPARE(a.IntegrityProblems(), QStringList());
    }

    // A device whose clock is off and whose log is cleared after archiving: the clock set and
    // the clear each leave one journal entry; the clear goes out only once the log's copy is
    // written, and a copy that cannot be written keeps the log in the device.
    void clearCopiedAndJournalled_data() {
        QTest::addColumn<bool>("copyWritable");
        QTest::newRow("copy written") << true;
        QTest::newRow("copy folder not writable") << false;
    }
    void clearCopiedAndJournalled() {
        QFETCH(bool, copyWritable);
        QTemporaryDir dir;
        qputenv("KP650_HOME", dir.path().toLocal8Bit());
        SimFleet::Setup setup{QStringLiteral("L1 tx"),
                              0,
                              6,
                              {QStringLiteral("--clock"), QStringLiteral("2020-01-01T00:00:00")},
                              QStringLiteral("\"clock_sync\": 2, \"clear_after_archive\": true")};
        SimFleet fleet;
        QVERIFY2(fleet.Start({setup}), qPrintable(fleet.ErrorText()));
        // A file where the folder should be: the copy cannot be made.
        QVERIFY(WriteFile(dir.filePath(QStringLiteral("blocked")), "x"));
        const QString copies = copyWritable ? QStringLiteral("copies") : QStringLiteral("blocked");
        const QString file = dir.filePath(QStringLiteral("fleet.json"));
        QVERIFY(WriteFile(file,
                          fleet.FleetJson(dir.filePath(QStringLiteral("fleet.db")), 60,
                                          QStringLiteral("\"clear_copies\": \"%1\"").arg(copies))));
        const std::vector<EventRecord> log = fleet.Log(0);
        const Run run = Collect(file, {QStringLiteral("--rounds"), QStringLiteral("1")});
        QVERIFY2(run.exitCode == 0, qPrintable(run.err));
        // Told at the start; check refuses such a fleet file, the collector collects on.
        const QString warning = QStringLiteral("blocked\" cannot be written");
        QCOMPARE(run.err.contains(warning), !copyWritable);
        if (!copyWritable) {
            const Run check = Collect(file, {QStringLiteral("check")});
            QCOMPARE(check.exitCode, 3);
            QVERIFY2(check.err.contains(warning), qPrintable(check.err));
        }

        journal::Journal j;
        QCOMPARE(j.Open(dir.filePath(QStringLiteral("journal.sqlite")), false), QString());
        const std::vector<journal::Entry> entries = j.Entries({});
        QCOMPARE(entries.size(), std::size_t(copyWritable ? 2 : 1));
        const journal::Entry& clock = entries.back();  // newest first
        QCOMPARE(clock.write.kind, journal::WriteKind::ClockSet);
        QCOMPARE(clock.origin.program, QStringLiteral("kp650-collector 1.0"));
        QCOMPARE(clock.write.port, fleet.Port(0));
        QCOMPARE(clock.write.identification, QStringLiteral("v1.00 2009-9-8 ABCD"));
        QCOMPARE(clock.write.sent.size(), std::size_t(1));
        QCOMPARE(clock.write.sent[0].first, QStringLiteral("device_time"));
        QVERIFY2(QRegularExpression(QStringLiteral("^43( [0-9A-F]{2}){6} 58$"))
                     .match(clock.write.sentBytes)
                     .hasMatch(),
                 qPrintable(clock.write.sentBytes));
        QCOMPARE(clock.write.before.size(), std::size_t(1));
        QVERIFY2(clock.write.before[0].second.startsWith(QStringLiteral("2020-1-1 00:00:0")),
                 qPrintable(clock.write.before[0].second));
        QCOMPARE(clock.outcome, journal::WriteOutcome::Confirmed);

        const QStringList copied = QDir(dir.filePath(QStringLiteral("copies")))
                                       .entryList({QStringLiteral("L1_tx-KPA650-*.txt")});
        archive::Archive a;
        QCOMPARE(a.Open(dir.filePath(QStringLiteral("fleet.db"))), QString());
        if (!copyWritable) {
            QVERIFY2(run.err.contains(QStringLiteral("L1 tx: not cleared: copy of the log not "
                                                     "written: ")),
                     qPrintable(run.err));
            QCOMPARE(copied, QStringList());
            QCOMPARE(a.Devices().front().generation, 0);
            return;
        }
        const journal::Entry& clear = entries.front();
        QCOMPARE(clear.write.kind, journal::WriteKind::LogClear);
        QCOMPARE(clear.write.port, fleet.Port(0));
        QCOMPARE(clear.write.identification, QStringLiteral("v1.00 2009-9-8 ABCD"));
        QCOMPARE(clear.write.sentBytes, QStringLiteral("45 58"));
        QCOMPARE(clear.write.sent,
                 (journal::Fields{{QStringLiteral("log"), QStringLiteral("cleared")},
                                  {QStringLiteral("archived_records"), QStringLiteral("6")}}));
        QCOMPARE(clear.outcome, journal::WriteOutcome::Confirmed);
        QCOMPARE(copied.size(), 1);
        QCOMPARE(clear.write.archiveFile,
                 QDir(dir.filePath(QStringLiteral("copies"))).filePath(copied.front()));
        QFile copy(clear.write.archiveFile);
        QVERIFY(copy.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = copy.readAll().split('\n');
        QCOMPARE(lines.size(), 7);  // six lines, each ended by CR LF
        QVERIFY(lines.front().startsWith("1    20"));
        QVERIFY2(a.Devices().front().generation == 1, qPrintable(run.err));
    }

    void refusesBadFleetFiles_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QByteArray device = "{\"name\": \"tx1\", \"port\": \"tcp://127.0.0.1:1\"}";
        QTest::newRow("syntax") << QByteArray("{\"archive\": \"a.db\",\n \"devices\": [}") << 3
                                << "bad.json: line 2, column 14: ";
        QTest::newRow("unknown field")
            << QByteArray(
                   "{\"archive\": \"a.db\", \"devices\": [{\"name\": \"tx1\", \"port\": "
                   "\"/dev/x\", "
                   "\"intervall\": 5}]}")
            << 3
            << "bad.json: devices[0] (\"tx1\"): unknown field \"intervall\" (known: name, station, "
               "channel, port, variant, interval, clock_sync, clear_after_archive)";
        QTest::newRow("duplicate name")
            << QByteArray("{\"archive\": \"a.db\", \"devices\": [" + device +
                          ", {\"name\": \"tx1\", \"port\": \"/dev/ttyUSB1\"}]}")
            << 3 << "bad.json: devices[1]: name \"tx1\" is already used by devices[0]";
        QTest::newRow("duplicate port")
            << QByteArray("{\"archive\": \"a.db\", \"devices\": [" + device +
                          ", {\"name\": \"rx1\", \"port\": \"TCP://127.0.0.1:1\"}]}")
            << 3
            << "bad.json: devices[1] (\"rx1\"): port \"TCP://127.0.0.1:1\" is already used by "
               "devices[0]";
        QTest::newRow("unreachable archive")
            << QByteArray(
                   "{\"archive\": \"postgresql://kp650@/none?host=/nonexistent\", "
                   "\"devices\": [" +
                   device + "]}")
            << 4
            << "bad.json: archive \"postgresql://kp650@/none?host=/nonexistent\" cannot be reached";
        QTest::newRow("archive folder missing")
            << QByteArray("{\"archive\": \"no/such/folder/a.db\", \"devices\": [" + device + "]}")
            << 4 << "/no/such/folder/a.db: cannot be written";
    }
    void refusesBadFleetFiles() {
        QFETCH(QByteArray, json);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString file = dir.filePath(QStringLiteral("bad.json"));
        QVERIFY(WriteFile(file, json));
        QVERIFY(QDir::setCurrent(dir.path()));
        const Run run = Collect(QStringLiteral("bad.json"), {});
        QCOMPARE(run.exitCode, exitCode);
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
        // Nothing written: the folder holds the fleet file alone.
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
                 QStringList{"bad.json"});
    }
};

QTEST_GUILESS_MAIN(TestCollector)
#include "tst_e2e_collector.moc"
