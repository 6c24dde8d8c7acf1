// The JSON API and /metrics against an archive kp650-collector filled from simulators.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include "archive/archive.h"
#include "support/archive_fill.h"
#include "support/log_files.h"
#include "support/pg_server.h"
#include "web/collected_fleet.h"
#include "web/web_api.h"
#include "web/web_options.h"
#include "web/web_server.h"

namespace {

web::WebRequest Get(const QString& target, const QByteArray& authorization = {}) {
    web::WebRequest r;
    const QUrl url(target);
    r.path = url.path();
    r.query = QUrlQuery(url).queryItems(QUrl::FullyDecoded);
    r.authorization = authorization;
    return r;
}

QJsonObject Json(const web::WebAnswer& a) {
    return QJsonDocument::fromJson(a.body).object();
}

}  // namespace

class TestWebApi : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fleet_data();
    void fleet();
    void eventsExact();
    void badParameters_data();
    void badParameters();
    void pagingCoversEveryEventOnce_data();
    void pagingCoversEveryEventOnce();
    void traces();
    void metrics();
    void access_data();
    void access();
    void options_data();
    void options();
    void missingArchiveIsNotCreated();
    void postgresArchive();
    void httpResponse();

private:
    CollectedFleet m_fleet;
    archive::Archive m_reader;
    std::unique_ptr<web::WebApi> m_api;
};

void TestWebApi::initTestCase() {
    const std::vector<SimulatedDevice> devices = {
        {"tx-1",
         "变电站甲",
         "线路1",
         "A",
         LogOf({{2024, 3, 5, 10, 0, 0, 500, "命令1启动"},
                {2024, 3, 5, 10, 0, 1, 250, "命令1返回"},
                {2024, 3, 5, 23, 59, 59, 999, "命令2启动"},
                {2024, 3, 6, 0, 0, 2, 0, "命令2返回"}}),
         {}},
        {"rx-1",
         "变电站乙",
         "线路1",
         "B",
         LogOf({{2024, 3, 5, 10, 0, 0, 520, "命令1启动"},
                {2024, 3, 5, 10, 0, 1, 270, "命令1返回"},
                {2024, 3, 7, 8, 0, 0, 0, "信噪比告警"}}),
         {}},
        {"tx-2",
         "变电站丙",
         "线路2",
         "A",
         LogOf({{2024, 3, 5, 9, 0, 0, 0, "命令3启动"}}),
         {"--fault", "silent"}},
        {"rx-big", "变电站丁", "线路2", "B", MakeLogFile(1, 250), {}},
    };
    QString error;
    QVERIFY2(m_fleet.Collect(devices, &error), qPrintable(error));
    QCOMPARE(m_reader.OpenReadOnly(m_fleet.ArchivePath()), QString());
    m_api = std::make_unique<web::WebApi>(m_reader);
    m_api->SetReuseMs(0);
}

void TestWebApi::fleet_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("station");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("missed");
    QTest::addColumn<bool>("hasError");
    QTest::addColumn<bool>("hasOffset");
    // By name.
    QTest::newRow("receiver") << 0 << "rx-1"
                              << "变电站乙"
                              << "B" << 3 << false << false << true;
    QTest::newRow("long log") << 1 << "rx-big"
                              << "变电站丁"
                              << "B" << 250 << false << false << true;
    QTest::newRow("transmitter") << 2 << "tx-1"
                                 << "变电站甲"
                                 << "A" << 4 << false << false << true;
    QTest::newRow("silent") << 3 << "tx-2"
                            << "变电站丙"
                            << "A" << 0 << true << true << false;
}

void TestWebApi::fleet() {
    QFETCH(int, row);
    const web::WebAnswer a = m_api->Answer(Get("/api/devices"));
    QCOMPARE(a.status, 200);
    const QJsonArray devices = Json(a).value("devices").toArray();
    QCOMPARE(devices.size(), 4);
    const QJsonObject d = devices.at(row).toObject();
    QTEST(d.value("name").toString(), "name");
    QTEST(d.value("station").toString(), "station");
    QTEST(d.value("variant").toString(), "variant");
    QTEST(d.value("records").toInt(), "records");
    QTEST(d.value("missed").toBool(), "missed");
    QTEST(!d.value("lastError").isNull(), "hasError");
    QTEST(d.value("clockOffsetMs").isDouble(), "hasOffset");
}

void TestWebApi::eventsExact() {
    const web::WebAnswer a =
        m_api->Answer(Get("/api/events?device=tx-1&from=2024-03-05&to=2024-03-06"));
    QCOMPARE(a.status, 200);
    QCOMPARE(a.contentType, QByteArray("application/json; charset=utf-8"));
    // The read's number depends on which simulator answered first.
    const QString body =
        QString::fromUtf8(a.body).replace(QRegularExpression("\"read\":\\d+"), "\"read\":R");
    QCOMPARE(
        body,
        QString::fromUtf8(
            R"({"device":"tx-1","events":[)"
            R"({"code":1,"day":"5","event":"命令1启动","generation":0,"hour":"10","minute":"0",)"
            R"("month":"3","msecond":"500","position":0,"read":R,"second":"0",)"
            R"("time":"2024-03-05T10:00:00.500","year":"2024"},)"
            R"({"code":2,"day":"5","event":"命令1返回","generation":0,"hour":"10","minute":"0",)"
            R"("month":"3","msecond":"250","position":1,"read":R,"second":"1",)"
            R"("time":"2024-03-05T10:00:01.250","year":"2024"},)"
            R"({"code":3,"day":"5","event":"命令2启动","generation":0,"hour":"23",)"
            R"("minute":"59","month":"3","msecond":"999","position":2,"read":R,)"
            R"("second":"59","time":"2024-03-05T23:59:59.999","year":"2024"}],)"
            R"("from":"2024-03-05T00:00:00.000","limit":100,"offset":0,)"
            R"("to":"2024-03-06T00:00:00.000","total":3,"variant":"A"})"));
}

void TestWebApi::badParameters_data() {
    QTest::addColumn<QString>("target");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("error");
    QTest::newRow("limit 0") << "/api/events?device=tx-1&limit=0" << 400
                             << "参数 limit 应为 1 到 1000 的整数";
    QTest::newRow("limit too big")
        << "/api/reads?device=tx-1&limit=1001" << 400 << "参数 limit 应为 1 到 1000 的整数";
    QTest::newRow("offset negative")
        << "/api/events?device=tx-1&offset=-1" << 400 << "参数 offset 应为 0 到 1000000000 的整数";
    QTest::newRow("offset text") << "/api/events?device=tx-1&offset=1e3" << 400
                                 << "参数 offset 应为 0 到 1000000000 的整数";
    QTest::newRow("month 13") << "/api/events?device=tx-1&from=2024-13-01" << 400
                              << "参数 from 应为日期 (yyyy-MM-dd) 或日期时间 (yyyy-MM-ddTHH:mm:ss)";
    QTest::newRow("hour 25") << "/api/traces?device=tx-1&to=2024-03-05T25:00" << 400
                             << "参数 to 应为日期 (yyyy-MM-dd) 或日期时间 (yyyy-MM-ddTHH:mm:ss)";
    QTest::newRow("SQL in a date")
        << "/api/events?device=tx-1&from=2024-03-05' OR 1=1" << 400
        << "参数 from 应为日期 (yyyy-MM-dd) 或日期时间 (yyyy-MM-ddTHH:mm:ss)";
    QTest::newRow("range backwards")
        << "/api/events?device=tx-1&from=2024-03-06&to=2024-03-05" << 400 << "起始时间晚于结束时间";
    QTest::newRow("unknown parameter")
        << "/api/events?device=tx-1&sort=time" << 400 << "未知参数 sort";
    QTest::newRow("twice") << "/api/events?device=tx-1&device=rx-1" << 400 << "参数 device 重复";
    QTest::newRow("no device") << "/api/events?from=2024-03-05" << 400 << "缺少参数 device";
    QTest::newRow("unknown device") << "/api/events?device=tx-9" << 404 << "档案库中没有装置 tx-9";
    QTest::newRow("variant C") << "/api/event-texts?variant=C" << 400 << "参数 variant 应为 A 或 B";
    QTest::newRow("traces take no page")
        << "/api/traces?device=tx-1&limit=5" << 400 << "未知参数 limit";
    QTest::newRow("devices take none") << "/api/devices?all=1" << 400 << "未知参数 all";
    QTest::newRow("download too long")
        << "/api/events.csv?device=tx-1&limit=50001" << 400 << "参数 limit 应为 1 到 50000 的整数";
    QTest::newRow("no such page") << "/api/nothing" << 404 << "没有这个页面";
    QTest::newRow("a file's path") << "/../../etc/passwd" << 404 << "没有这个页面";
    QTest::newRow("a resource's path") << "/:/web/index.html" << 404 << "没有这个页面";
}

void TestWebApi::badParameters() {
    QFETCH(QString, target);
    const web::WebAnswer a = m_api->Answer(Get(target));
    QTEST(a.status, "status");
    QTEST(Json(a).value("error").toString(), "error");
    QVERIFY(!Json(a).value("message").toString().isEmpty());
}

void TestWebApi::pagingCoversEveryEventOnce_data() {
    QTest::addColumn<QString>("range");
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("total");
    // 37 of the 250 records have no calendar time: listed only with both bounds open.
    QTest::newRow("whole log") << "" << 7 << 250;
    QTest::newRow("forty years") << "&from=2030-01-01&to=2070-01-01" << 9 << 80;
    QTest::newRow("one page") << "&from=2000-01-01&to=2100-01-01" << 1000 << 213;
    QTest::newRow("empty day") << "&from=2050-06-01&to=2050-06-02" << 5 << 0;
}

void TestWebApi::pagingCoversEveryEventOnce() {
    QFETCH(QString, range);
    QFETCH(int, limit);
    QFETCH(int, total);
    QSet<QString> seen;
    QString lastTime;
    for (int offset = 0;; offset += limit) {
        const web::WebAnswer a =
            m_api->Answer(Get(QString("/api/events?device=rx-big%1&offset=%2&limit=%3")
                                  .arg(range)
                                  .arg(offset)
                                  .arg(limit)));
        QCOMPARE(a.status, 200);
        const QJsonObject page = Json(a);
        QCOMPARE(page.value("total").toInt(), total);
        const QJsonArray events = page.value("events").toArray();
        for (const QJsonValue& v : events) {
            const QJsonObject e = v.toObject();
            const QString key = QString("%1/%2")
                                    .arg(e.value("generation").toInt())
                                    .arg(e.value("position").toInt());
            QVERIFY2(!seen.contains(key), qPrintable(key));
            seen.insert(key);
            const QString time = e.value("time").toString();
            QVERIFY(time >= lastTime);
            lastTime = time;
        }
        if (events.size() < limit) {
            break;
        }
    }
    QCOMPARE(seen.size(), total);
}

void TestWebApi::traces() {
    const web::WebAnswer a = m_api->Answer(Get("/api/traces?device=rx-1"));
    QCOMPARE(a.status, 200);
    const QJsonObject t = Json(a);
    QCOMPARE(t.value("records").toInt(), 3);
    QStringList labels;
    for (const QJsonValue& s : t.value("signals").toArray()) {
        labels << s.toObject().value("label").toString();
    }
    QCOMPARE(labels, QStringList({"命令1", "命令2", "命令3", "信噪比告警", "信号过高告警",
                                  "通道故障告警", "信号过低告警"}));
    // Command 1 high for the 750 ms between its start and its return, after the 20 ms lead-in;
    // the S/N alarm that never returns is a marker where the clock jumps two days on.
    QCOMPARE(QJsonDocument(t.value("traces").toArray()).toJson(QJsonDocument::Compact),
             QByteArray(R"([{"markers":[],"runs":[20,750,60]},{"markers":[],"runs":[830]},)"
                        R"({"markers":[],"runs":[830]},{"markers":[790],"runs":[830]},)"
                        R"({"markers":[],"runs":[830]},{"markers":[],"runs":[830]},)"
                        R"({"markers":[],"runs":[830]}])"));
    // 2024-03-05 10:00:00.500 and 2024-03-07 08:00:00.000 of the device clock.
    QCOMPARE(QJsonDocument(t.value("anchors").toArray()).toJson(QJsonDocument::Compact),
             QByteArray("[[0,1709632800500],[790,1709798400000]]"));
    QCOMPARE(t.value("end").toInt(), 830);
}

void TestWebApi::metrics() {
    const web::WebAnswer a = m_api->Answer(Get("/metrics"));
    QCOMPARE(a.status, 200);
    QCOMPARE(a.contentType, QByteArray("text/plain; version=0.0.4; charset=utf-8"));
    const QStringList lines = QString::fromUtf8(a.body).split('\n');
    for (const char* expected :
         {"kp650_devices 4", "kp650_records_archived 257",
          R"(kp650_device_records_archived{device="tx-1",station="变电站甲",channel="线路1"} 4)",
          R"(kp650_device_reads_total{device="rx-big",station="变电站丁",channel="线路2"} 1)",
          R"(kp650_device_read_failures_total{device="rx-1",station="变电站乙",channel="线路1"} 0)",
          R"(kp650_device_missed_poll{device="tx-2",station="变电站丙",channel="线路2"} 1)",
          R"(kp650_device_missed_poll{device="tx-1",station="变电站甲",channel="线路1"} 0)",
          "# TYPE kp650_device_reads_total counter"}) {
        QVERIFY2(lines.contains(QString::fromUtf8(expected)), expected);
    }
    QCOMPARE(lines.filter("kp650_device_last_success_timestamp_seconds{").size(), 3);
    // Only the silent device has failed.
    const QStringList failed = lines.filter("kp650_device_last_error_timestamp_seconds{");
    QCOMPARE(failed.size(), 1);
    QVERIFY(failed.first().startsWith(
        R"(kp650_device_last_error_timestamp_seconds{device="tx-2",station="变电站丙",channel="线路2"} )"));
}

void TestWebApi::access_data() {
    QTest::addColumn<QByteArray>("authorization");
    QTest::addColumn<int>("status");
    QTest::newRow("none") << QByteArray() << 401;
    QTest::newRow("right token") << QByteArray("Bearer s3cret-token") << 200;
    QTest::newRow("wrong token") << QByteArray("Bearer s3cret-tokem") << 401;
    QTest::newRow("token's prefix") << QByteArray("Bearer s3cret") << 401;
    // "ops:pa:ss" in base64
    QTest::newRow("right user") << QByteArray("Basic b3BzOnBhOnNz") << 200;
    // "ops:pa:sx"
    QTest::newRow("wrong password") << QByteArray("Basic b3BzOnBhOnN4") << 401;
}

void TestWebApi::access() {
    QFETCH(QByteArray, authorization);
    web::WebApi api(m_reader, {"s3cret-token", "ops", "pa:ss"});
    for (const char* target : {"/", "/api/devices", "/metrics"}) {
        const web::WebAnswer a = api.Answer(Get(target, authorization));
        QTEST(a.status, "status");
        const bool challenged =
            a.headers.contains({"WWW-Authenticate", "Basic realm=\"kp650\", charset=\"UTF-8\""});
        QCOMPARE(challenged, a.status == 401);
    }
}

void TestWebApi::options_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("token");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("listen");
    QTest::addColumn<int>("port");
    QTest::newRow("defaults") << QStringList{"--archive", "a.db"} << ""
                              << ""
                              << "127.0.0.1" << 8650;
    QTest::newRow("port 0") << QStringList{"--archive", "a.db", "--port", "0"} << ""
                            << ""
                            << "127.0.0.1" << 0;
    QTest::newRow("no archive") << QStringList{"--port", "80"} << ""
                                << "--archive LOCATION is required"
                                << "127.0.0.1" << 80;
    QTest::newRow("port too big") << QStringList{"--archive", "a.db", "--port", "65536"} << ""
                                  << "--port must be a number from 0 to 65535"
                                  << "127.0.0.1" << 8650;
    QTest::newRow("open to all") << QStringList{"--archive", "a.db", "--listen", "0.0.0.0"} << ""
                                 << "listening on 0.0.0.0 needs --token-file, --user-file or "
                                    "KP650_WEB_TOKEN (only the loopback address may go without)"
                                 << "0.0.0.0" << 8650;
    QTest::newRow("open with a token")
        << QStringList{"--archive", "a.db", "--listen", "::"} << "t0k"
        << ""
        << "::" << 8650;
    QTest::newRow("loopback v6") << QStringList{"--archive", "a.db", "--listen", "::1"} << ""
                                 << ""
                                 << "::1" << 8650;
    QTest::newRow("no workers") << QStringList{"--archive", "a.db", "--threads", "0"} << ""
                                << "--threads must be a number from 1 to 16"
                                << "127.0.0.1" << 8650;
    QTest::newRow("a name") << QStringList{"--archive", "a.db", "--listen", "example.org"} << ""
                            << "example.org: not an IP address"
                            << "example.org" << 8650;
}

void TestWebApi::options() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, token);
    const web::ParsedWebOptions parsed =
        web::ParseWebOptions(QStringList{"kp650-web"} + arguments, token);
    QTEST(parsed.error, "error");
    if (parsed.error.isEmpty()) {
        QTEST(parsed.options.listen, "listen");
        QTEST(parsed.options.port, "port");
    }
}

void TestWebApi::missingArchiveIsNotCreated() {
    QTemporaryDir dir;
    const QString path = dir.filePath("none.db");
    QProcess web;
    web.start(KP650_WEB_PATH, {"--archive", path, "--port", "0"});
    QVERIFY(web.waitForFinished(20000));
    QCOMPARE(web.exitCode(), 7);
    QCOMPARE(QString::fromUtf8(web.readAllStandardError()),
             QString("kp650-web: %1: %1: no such archive file\n").arg(path));
    QVERIFY(!QFile::exists(path));
}

void TestWebApi::postgresArchive() {
    PgServer pg;
    QVERIFY2(pg.Start(), qPrintable(pg.ErrorText()));
    QCOMPARE(FillArchive(pg.Url(), 2, 5), QString());
    archive::Archive reader;
    QCOMPARE(reader.OpenReadOnly(pg.Url()), QString());
    web::WebApi api(reader);
    const QJsonArray devices = Json(api.Answer(Get("/api/devices"))).value("devices").toArray();
    QCOMPARE(devices.size(), 2);
    QCOMPARE(devices.at(1).toObject().value("records").toInt(), 5);
    QCOMPARE(devices.at(1).toObject().value("clockOffsetMs").toInt(), 250);
    const QJsonObject page =
        Json(api.Answer(Get("/api/events?device=dev-02&from=2026-01-01T00:01&offset=1&limit=1")));
    QCOMPARE(page.value("total").toInt(), 3);
    const QJsonObject e = page.value("events").toArray().at(0).toObject();
    QCOMPARE(e.value("time").toString(), QString("2026-01-01T00:01:02.508"));
    QCOMPARE(e.value("event").toString(), QString("命令2返回"));
    QCOMPARE(e.value("position").toInt(), 3);
}

void TestWebApi::httpResponse() {
    web::WebAnswer a;
    a.status = 413;
    a.contentType = "application/json; charset=utf-8";
    a.body = "{}";
    a.headers.append(qMakePair(QByteArray("Cache-Control"), QByteArray("no-store")));
    QCOMPARE(web::HttpResponse(a), QByteArray("HTTP/1.1 413 Payload Too Large\r\n"
                                              "Content-Type: application/json; charset=utf-8\r\n"
                                              "Cache-Control: no-store\r\n"
                                              "Content-Length: 2\r\n\r\n{}"));
}

QTEST_GUILESS_MAIN(TestWebApi)
#include "tst_web_api.moc"
