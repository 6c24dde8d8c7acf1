#include <QtTest>

#include "records/channel_pairing.h"

namespace {

// "2024 3 5 10 0 0 250 命令1启动": the eight fields of a record, blank-separated.
std::vector<EventRecord> Log(const QStringList& lines) {
    std::vector<EventRecord> log;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char(' '));
        log.push_back(EventRecord{f.value(0), f.value(1), f.value(2), f.value(3), f.value(4),
                                  f.value(5), f.value(6), f.value(7)});
    }
    return log;
}

QString Spread(const ChannelSpread& s) {
    return s.count == 0
               ? QStringLiteral("-")
               : QStringLiteral("%1/%2/%3/%4").arg(s.min).arg(s.median).arg(s.p95).arg(s.max);
}

// The report in one line: offset, drift, rejected records, per command sent/received/paired
// with the delay spread, then the losses with their times and alarms.
QString Summary(const ChannelReport& r) {
    QStringList parts;
    parts << QStringLiteral("offset %1%2 drift %3 rejected %4/%5")
                 .arg(r.offsetMs)
                 .arg(r.offsetEstimated ? QStringLiteral(" est") : QString())
                 .arg(r.driftMsPerHour, 0, 'f', 1)
                 .arg(r.transmitterRejected)
                 .arg(r.receiverRejected);
    for (const ChannelCommandReport& c : r.commands) {
        if (c.sent + c.received > 0) {
            parts << QStringLiteral("c%1 %2/%3/%4 d %5 x %6")
                         .arg(c.command)
                         .arg(c.sent)
                         .arg(c.received)
                         .arg(c.paired)
                         .arg(Spread(c.delay), Spread(c.durationExcess));
        }
    }
    for (const ChannelLoss& l : r.missing) {
        QString text = QStringLiteral("missing c%1 %2").arg(l.command).arg(ChannelTimeText(l.at));
        for (const ChannelAlarm& a : l.alarms) {
            text += QLatin1Char(' ') + a.name;
        }
        parts << text;
    }
    for (const ChannelLoss& l : r.unwanted) {
        QString text = QStringLiteral("unwanted c%1 %2").arg(l.command).arg(ChannelTimeText(l.at));
        for (const ChannelAlarm& a : l.alarms) {
            text += QLatin1Char(' ') + a.name;
        }
        parts << text;
    }
    return parts.join(QStringLiteral(" | "));
}

// A long log with a clock that runs 90 ms an hour fast at the receiver: a command every half
// hour for ten hours, received 20 ms later.
void DriftLogs(QStringList* tx, QStringList* rx) {
    for (int k = 0; k < 20; ++k) {
        const qint64 t = 30LL * 60000 * k;
        const qint64 r = t + 20 + (90 * t) / 3600000;
        const auto line = [](qint64 ms, const char* event) {
            return QStringLiteral("2024 3 5 %1 %2 %3 %4 %5")
                .arg(ms / 3600000)
                .arg(ms / 60000 % 60)
                .arg(ms / 1000 % 60)
                .arg(ms % 1000)
                .arg(QString::fromUtf8(event));
        };
        *tx << line(t, "命令2启动") << line(t + 100, "命令2返回");
        *rx << line(r, "命令2启动") << line(r + 150, "命令2返回");
    }
}

}  // namespace

class TestChannelPairing : public QObject {
    Q_OBJECT
private slots:
    void pairing_data();
    void pairing();
    void spread_data();
    void spread();
    void reportFormats();
};

void TestChannelPairing::pairing_data() {
    QTest::addColumn<QStringList>("tx");
    QTest::addColumn<QStringList>("rx");
    QTest::addColumn<qint64>("offset");  // -1: estimated
    QTest::addColumn<QString>("summary");

    const QStringList cleanTx = {"2024 3 5 10 0 0 0 命令1启动", "2024 3 5 10 0 0 100 命令1返回",
                                 "2024 3 5 10 0 5 0 命令1启动", "2024 3 5 10 0 5 200 命令1返回"};
    QTest::newRow("clean pairs, clocks equal")
        << cleanTx
        << QStringList{"2024 3 5 10 0 0 20 命令1启动", "2024 3 5 10 0 0 170 命令1返回",
                       "2024 3 5 10 0 5 25 命令1启动", "2024 3 5 10 0 5 275 命令1返回"}
        << qint64(0) << "offset 0 drift 0.0 rejected 0/0 | c1 2/2/2 d 20/20/25/25 x 50/50/50/50";
    QTest::newRow("a missing command, a channel fault at the receiver over it")
        << (cleanTx + QStringList{"2024 3 5 10 0 9 0 命令1启动", "2024 3 5 10 0 9 100 命令1返回"})
        << QStringList{"2024 3 5 10 0 0 20 命令1启动", "2024 3 5 10 0 8 500 通道故障告警",
                       "2024 3 5 10 0 9 800 通道故障告警返回", "2024 3 5 10 0 5 20 命令1启动"}
        << qint64(0)
        << "offset 0 drift 0.0 rejected 0/0 | c1 3/2/2 d 20/20/20/20 x - | missing c1 "
           "2024-03-05 10:00:09.000 通道故障告警";
    QTest::newRow("an unwanted command")
        << cleanTx
        << QStringList{"2024 3 5 10 0 0 20 命令1启动", "2024 3 5 10 0 3 0 命令3启动",
                       "2024 3 5 10 0 3 40 命令3返回", "2024 3 5 10 0 5 20 命令1启动"}
        << qint64(0)
        << "offset 0 drift 0.0 rejected 0/0 | c1 2/2/2 d 20/20/20/20 x - | c3 0/1/0 d - x - | "
           "unwanted c3 2024-03-05 10:00:03.000";
    QTest::newRow("receiver 5 s ahead, estimated")
        << QStringList{"2024 3 5 10 0 0 0 命令2启动", "2024 3 5 10 0 1 0 命令2启动",
                       "2024 3 5 10 0 2 0 命令2启动", "2024 3 5 10 0 3 0 命令2启动"}
        << QStringList{"2024 3 5 10 0 5 20 命令2启动", "2024 3 5 10 0 6 25 命令2启动",
                       "2024 3 5 10 0 7 15 命令2启动", "2024 3 5 10 0 8 20 命令2启动"}
        << qint64(-1) << "offset 5020 est drift 0.0 rejected 0/0 | c2 4/4/4 d -5/0/5/5 x -";
    QTest::newRow("receiver 7 s behind, estimated, across midnight")
        << QStringList{"2024 3 5 23 59 59 0 命令3启动", "2024 3 6 0 0 3 0 命令3启动",
                       "2024 3 6 0 0 9 0 命令3启动"}
        << QStringList{"2024 3 5 23 59 52 30 命令3启动", "2024 3 5 23 59 56 30 命令3启动",
                       "2024 3 6 0 0 2 30 命令3启动"}
        << qint64(-1) << "offset -6970 est drift 0.0 rejected 0/0 | c3 3/3/3 d 0/0/0/0 x -";
    QStringList driftTx;
    QStringList driftRx;
    DriftLogs(&driftTx, &driftRx);
    QTest::newRow("clock drift across ten hours")
        << driftTx << driftRx << qint64(-1)
        << "offset 20 est drift 90.0 rejected 0/0 | c2 20/20/20 d 0/0/0/0 x 50/50/50/50";
    QTest::newRow("overlapping commands keep their own partners")
        << QStringList{"2024 3 5 10 0 0 0 命令1启动", "2024 3 5 10 0 0 100 命令2启动",
                       "2024 3 5 10 0 0 200 命令1返回", "2024 3 5 10 0 0 300 命令2返回"}
        << QStringList{"2024 3 5 10 0 0 30 命令1启动", "2024 3 5 10 0 0 110 命令2启动",
                       "2024 3 5 10 0 0 330 命令2返回", "2024 3 5 10 0 0 400 命令1返回"}
        << qint64(0)
        << "offset 0 drift 0.0 rejected 0/0 | c1 1/1/1 d 30/30/30/30 x 170/170/170/170 | c2 "
           "1/1/1 d 10/10/10/10 x 20/20/20/20";
    QTest::newRow("records with impossible fields are left out")
        << QStringList{"2024 13 5 10 0 0 0 命令1启动", "2024 3 5 1x 0 0 0 命令1启动",
                       "2024 3 5 10 0 1 0 命令1启动"}
        << QStringList{"2024 2 30 10 0 0 20 命令1启动", "2024 3 5 10 0 1 20 命令1启动"} << qint64(0)
        << "offset 0 drift 0.0 rejected 2/1 | c1 1/1/1 d 20/20/20/20 x -";
    QTest::newRow("a year's last and next year's first millisecond")
        << QStringList{"2023 12 31 23 59 59 990 命令1启动", "2024 1 1 0 0 0 90 命令1返回"}
        << QStringList{"2024 1 1 0 0 0 10 命令1启动", "2024 1 1 0 0 0 160 命令1返回"} << qint64(0)
        << "offset 0 drift 0.0 rejected 0/0 | c1 1/1/1 d 20/20/20/20 x 50/50/50/50";
    QTest::newRow("a receipt outside the window is missing and unwanted")
        << QStringList{"2024 3 5 10 0 0 0 命令1启动"}
        << QStringList{"2024 3 5 10 0 1 500 命令1启动"} << qint64(0)
        << "offset 0 drift 0.0 rejected 0/0 | c1 1/1/0 d - x - | missing c1 2024-03-05 "
           "10:00:00.000 | unwanted c1 2024-03-05 10:00:01.500";
}

void TestChannelPairing::pairing() {
    QFETCH(QStringList, tx);
    QFETCH(QStringList, rx);
    QFETCH(qint64, offset);
    QFETCH(QString, summary);
    ChannelOptions options;
    if (offset >= 0) {
        options.offsetMs = offset;
    }
    const ChannelReport report = PairChannel(Log(tx), Log(rx), options);
    QCOMPARE(Summary(report), summary);
    QCOMPARE(report.Faulty(), summary.contains(QStringLiteral("missing")) ||
                                  summary.contains(QStringLiteral("unwanted")));
}

void TestChannelPairing::spread_data() {
    QTest::addColumn<QList<qint64>>("values");
    QTest::addColumn<QString>("spread");
    QTest::newRow("none") << QList<qint64>{} << "-";
    QTest::newRow("one") << QList<qint64>{7} << "7/7/7/7";
    QTest::newRow("even count: lower median") << QList<qint64>{4, 1, 3, 2} << "1/2/4/4";
    QList<qint64> twenty;
    for (qint64 v = 1; v <= 20; ++v) {
        twenty << v * 10;
    }
    QTest::newRow("p95 by nearest rank") << twenty << "10/100/190/200";
}

void TestChannelPairing::spread() {
    QFETCH(QList<qint64>, values);
    QFETCH(QString, spread);
    QCOMPARE(Spread(SpreadOf(std::vector<qint64>(values.begin(), values.end()))), spread);
}

void TestChannelPairing::reportFormats() {
    ChannelOptions options;
    options.offsetMs = 0;
    options.wideningMs = 40;
    const ChannelReport r =
        PairChannel(Log({"2024 3 5 10 0 0 0 命令1启动", "2024 3 5 10 0 0 100 命令1返回",
                         "2024 3 5 10 0 4 0 命令2启动"}),
                    Log({"2024 3 5 10 0 0 20 命令1启动", "2024 3 5 10 0 0 170 命令1返回",
                         "2024 3 5 10 0 3 900 信号过低告警"}),
                    options);
    const QByteArray csv = ChannelReportCsv(r);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    QCOMPARE(QString::fromUtf8(csv.mid(3)),
             QStringLiteral("类别,命令,发出时间,收到时间,传输时间(毫秒),发出持续(毫秒),"
                            "收到持续(毫秒),告警\r\n"
                            "配对,1,2024-03-05T10:00:00.000,2024-03-05T10:00:00.020,20,100,150,\r\n"
                            "丢失,2,2024-03-05T10:00:04.000,,,,,收信端信号过低告警 2024-03-05 "
                            "10:00:03.900—未返回\r\n"));
    const QJsonObject json = QJsonDocument::fromJson(ChannelReportJson(r)).object();
    QCOMPARE(json.value(QStringLiteral("faulty")).toBool(), true);
    QCOMPARE(json.value(QStringLiteral("commands"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("duration_excess_ms")),
             QJsonValue(
                 QJsonObject{{"count", 1}, {"min", 10}, {"median", 10}, {"p95", 10}, {"max", 10}}));
    QCOMPARE(json.value(QStringLiteral("missing"))
                 .toArray()
                 .at(0)
                 .toObject()
                 .value(QStringLiteral("at")),
             QJsonValue(QStringLiteral("2024-03-05T10:00:04.000")));
    const QString text = ChannelReportText(r);
    QVERIFY2(text.contains(QStringLiteral("命令2：发出 1，收到 0，配对 0，丢失 1，误收 0")),
             qPrintable(text));
    QVERIFY(text.endsWith(QStringLiteral("结论：有丢失或误收的命令\n")));
}

QTEST_GUILESS_MAIN(TestChannelPairing)
#include "tst_channel_pairing.moc"
