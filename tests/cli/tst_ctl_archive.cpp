// kp650ctl archive export: one device's events of a date range out of the fleet archive.

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/archive.h"

class TestCtlArchive : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_archive;

private Q_SLOTS:
    void initTestCase() {
        m_archive = m_dir.filePath(QStringLiteral("fleet.db"));
        archive::Archive a;
        QCOMPARE(a.Open(m_archive), QString());
        for (const char* name : {"tx1", "rx1"}) {
            archive::DeviceRow d;
            d.name = QString::fromLatin1(name);
            QVERIFY(a.SaveDevice(d).isEmpty());
        }
        archive::ReadToStore read;
        read.device = QStringLiteral("tx1");
        read.complete = true;
        // Days 1, 2, 3 and 4 of March, one record each; the last one twice (two events).
        for (int day : {1, 2, 3, 4, 4}) {
            read.records.push_back({"2024", "3", QString::number(day), "10", "0", "0", "500",
                                    QStringLiteral("命令1启动")});
        }
        QVERIFY(a.StoreRead(read).error.isEmpty());
    }

    void exports_data() {
        QTest::addColumn<QStringList>("range");
        QTest::addColumn<QString>("output");  // a .csv file's lines after the header, or stdout
        QTest::addColumn<int>("exitCode");
        QTest::newRow("days 2 to 3, CSV")
            << QStringList{"2024-03-02", "2024-03-03"}
            << "1,2024-03-02T10:00:00.500,2024,3,2,10,0,0,500,命令1启动|"
               "2,2024-03-03T10:00:00.500,2024,3,3,10,0,0,500,命令1启动"
            << 0;
        QTest::newRow("from day 4, twins kept")
            << QStringList{"2024-03-04"}
            << "1,2024-03-04T10:00:00.500,2024,3,4,10,0,0,500,命令1启动|"
               "2,2024-03-04T10:00:00.500,2024,3,4,10,0,0,500,命令1启动"
            << 0;
        QTest::newRow("all as JSON lines")
            << QStringList{"--json-lines"}
            << "{\"day\":\"1\",\"event\":\"命令1启动\",\"hour\":\"10\",\"minute\":\"0\","
               "\"month\":\"3\",\"msecond\":\"500\",\"second\":\"0\",\"year\":\"2024\"}"
            << 0;
        QTest::newRow("bad date") << QStringList{"2024-3-x"} << "" << 2;
        QTest::newRow("unknown device") << QStringList{"--device", "nope"} << "" << 1;
    }
    void exports() {
        QFETCH(QStringList, range);
        QFETCH(QString, output);
        QFETCH(int, exitCode);
        QString device = QStringLiteral("tx1");
        const bool jsonLines = range.removeAll(QStringLiteral("--json-lines")) > 0;
        if (range.value(0) == QLatin1String("--device")) {
            device = range.at(1);
            range.clear();
        }
        const QString csv = m_dir.filePath(QStringLiteral("out.csv"));
        QFile::remove(csv);
        QStringList args{QStringLiteral("archive"), QStringLiteral("export"), m_archive, device};
        args += range;
        if (!jsonLines) {
            args << QStringLiteral("-o") << csv;
        }
        QProcess ctl;
        ctl.start(QStringLiteral(KP650_CTL_PATH), args);
        QVERIFY(ctl.waitForFinished(30000));
        QCOMPARE(ctl.exitCode(), exitCode);
        if (exitCode != 0) {
            return;
        }
        QString got;
        if (jsonLines) {
            got = QString::fromUtf8(ctl.readAllStandardOutput()).section(QLatin1Char('\n'), 0, 0);
        } else {
            QFile file(csv);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QStringList lines =
                QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
            lines.removeFirst();
            got = lines.join(QLatin1Char('|'));
        }
        QCOMPARE(got, output);
    }
};

QTEST_GUILESS_MAIN(TestCtlArchive)
#include "tst_ctl_archive.moc"
