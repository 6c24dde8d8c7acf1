// The fleet file: fields and their defaults, and the place named in each refusal.

#include <QtTest>

#include "collector/fleet_file.h"

class TestFleetFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parses_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QString>("parsed");  // archive|collector|lease|copies; then per device
        QTest::newRow("defaults")
            << QByteArray(
                   "{\"archive\": \"a.db\", \"devices\": [{\"name\": \"tx1\", "
                   "\"port\": \"/dev/ttyUSB0\"}]}")
            << "/etc/kp650/a.db||60000|; tx1,,,/dev/ttyUSB0,-1,300000,-,0";
        QTest::newRow("every field")
            << QByteArray(
                   "{\"archive\": \"postgresql://c@db/fleet\", \"collector\": \"n1\", "
                   "\"lease\": 2.5, \"clear_copies\": \"../copies\", \"devices\": [{\"name\": \" "
                   "rx1 \", \"station\": "
                   "\"South\", \"channel\": \"L1\", \"port\": \"tcp://10.0.0.1:4001\", "
                   "\"variant\": \"B\", \"interval\": 0.25, \"clock_sync\": 1.5, "
                   "\"clear_after_archive\": true}]}")
            << "postgresql://c@db/fleet|n1|2500|/etc/copies; "
               "rx1,South,L1,tcp://10.0.0.1:4001,1,250,1500,1";
        QTest::newRow("interval zero")
            << QByteArray(
                   "{\"archive\": \"a.db\", \"devices\": [{\"name\": \"tx1\", "
                   "\"port\": \"/dev/x\", \"interval\": 0}]}")
            << "fleet.json: devices[0] (\"tx1\"): \"interval\": must be a number of seconds "
               "above 0";
        QTest::newRow("no devices") << QByteArray("{\"archive\": \"a.db\", \"devices\": []}")
                                    << "fleet.json: \"devices\" must be a list of at least one "
                                       "device";
        QTest::newRow("unknown top field") << QByteArray("{\"archive\": \"a.db\", \"device\": []}")
                                           << "fleet.json: unknown field \"device\" (known: "
                                              "archive, collector, lease, clear_copies, devices)";
        QTest::newRow("port missing")
            << QByteArray("{\"archive\": \"a.db\", \"devices\": [{\"name\": \"tx1\"}]}")
            << "fleet.json: devices[0] (\"tx1\"): \"port\" must be a non-empty text";
        QTest::newRow("clear not a truth value")
            << QByteArray(
                   "{\"archive\": \"a.db\", \"devices\": [{\"name\": \"tx1\", "
                   "\"port\": \"/dev/x\", \"clear_after_archive\": \"yes\"}]}")
            << "fleet.json: devices[0] (\"tx1\"): \"clear_after_archive\" must be true or false";
        QTest::newRow("bad variant")
            << QByteArray(
                   "{\"archive\": \"a.db\", \"devices\": [{\"name\": \"tx1\", "
                   "\"port\": \"/dev/x\", \"variant\": \"C\"}]}")
            << "fleet.json: devices[0] (\"tx1\"): \"variant\" must be \"A\", \"B\" or \"detect\"";
        QTest::newRow("syntax, line and column")
            << QByteArray("{\n  \"archive\": \"a.db\"\n  \"devices\": []}")
            << "fleet.json: line 3, column 3: unterminated object";
    }
    void parses() {
        QFETCH(QByteArray, json);
        QFETCH(QString, parsed);
        collector::Fleet f;
        QString error;
        if (!collector::ParseFleet(json, QStringLiteral("fleet.json"), QStringLiteral("/etc/kp650"),
                                   &f, &error)) {
            QCOMPARE(error, parsed);
            return;
        }
        QString got = QStringLiteral("%1|%2|%3|%4")
                          .arg(f.archive, f.collector)
                          .arg(f.leaseMs)
                          .arg(f.clearCopies);
        for (const collector::FleetDevice& d : f.devices) {
            got += QStringLiteral("; %1,%2,%3,%4,%5,%6,%7,%8")
                       .arg(d.name, d.station, d.channel, d.port)
                       .arg(d.variant)
                       .arg(d.intervalMs)
                       .arg(d.clockSyncMs ? QString::number(*d.clockSyncMs) : QStringLiteral("-"))
                       .arg(d.clearAfterArchive ? 1 : 0);
        }
        QCOMPARE(got, parsed);
    }
};

QTEST_GUILESS_MAIN(TestFleetFile)
#include "tst_fleet_file.moc"
