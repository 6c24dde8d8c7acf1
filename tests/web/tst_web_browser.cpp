// The fleet and device pages in Debian's headless Chromium, served by kp650-web from an archive
// kp650-collector filled from simulators.
#include <QImage>
#include <QJsonDocument>
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

#include "web/collected_fleet.h"
#include "web/devtools.h"

namespace {

// Strips of the device page's canvas: 40 pixels each, the high level 10 below a strip's top,
// the traces from 110 pixels on.
constexpr int kStripHeight = 40;
constexpr int kHighLevel = 10;
constexpr int kLabelWidth = 110;

}  // namespace

class TestWebBrowser : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void fleetTable();
    void deviceTraces_data();
    void deviceTraces();
    void zoomAndPan();
    void downloadsMatchKp650ctl_data();
    void downloadsMatchKp650ctl();
    void cleanupTestCase();

private:
    QImage Screenshot();
    QPoint CanvasOrigin();

    CollectedFleet m_fleet;
    QProcess m_web;
    QString m_base;
    HeadlessBrowser m_browser;
};

void TestWebBrowser::initTestCase() {
    const std::vector<SimulatedDevice> devices = {
        {"tx-1",
         "变电站甲",
         "线路1",
         "A",
         LogOf({{2024, 3, 5, 10, 0, 0, 500, "命令1启动"},
                {2024, 3, 5, 10, 0, 1, 250, "命令1返回"},
                {2024, 3, 5, 23, 59, 59, 999, "命令2启动"},
                {2024, 3, 6, 0, 0, 2, 0, "命令2返回"},
                {2024, 3, 9, 12, 0, 0, 0, "功放过载告警"},
                {2024, 3, 9, 12, 0, 3, 0, "功放过载告警返回"}}),
         {}},
        {"rx-1",
         "变电站乙",
         "线路1",
         "B",
         LogOf(
             {{2024, 3, 5, 10, 0, 0, 520, "命令1启动"}, {2024, 3, 5, 10, 0, 1, 270, "命令1返回"}}),
         {}},
        {"tx-2",
         "变电站丙",
         "线路2",
         "A",
         LogOf({{2024, 3, 5, 9, 0, 0, 0, "命令3启动"}}),
         {"--fault", "silent"}},
    };
    QString error;
    QVERIFY2(m_fleet.Collect(devices, &error), qPrintable(error));
    m_web.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_web.start(KP650_WEB_PATH, {"--archive", m_fleet.ArchivePath(), "--port", "0"});
    QVERIFY(m_web.waitForReadyRead(20000));
    const QString line = QString::fromUtf8(m_web.readLine()).trimmed();
    QVERIFY2(line.startsWith("kp650-web: serving http://127.0.0.1:"), qPrintable(line));
    m_base = line.mid(line.indexOf("http://")).chopped(1);
    QVERIFY2(m_browser.Start(1280, 900, &error), qPrintable(error));
}

void TestWebBrowser::cleanupTestCase() {
    m_web.terminate();
    m_web.waitForFinished(5000);
}

QImage TestWebBrowser::Screenshot() {
    const auto shot = m_browser.Call("Page.captureScreenshot", {{"format", "png"}});
    if (!shot) {
        return {};
    }
    return QImage::fromData(QByteArray::fromBase64(shot->value("data").toString().toLatin1()),
                            "PNG")
        .convertToFormat(QImage::Format_RGB32);
}

QPoint TestWebBrowser::CanvasOrigin() {
    const QJsonArray r =
        QJsonDocument::fromJson(m_browser
                                    .Evaluate("(r => [Math.round(r.left), Math.round(r.top)])("
                                              "document.getElementById('traces')"
                                              ".getBoundingClientRect())")
                                    .toUtf8())
            .array();
    return {r.at(0).toInt(), r.at(1).toInt()};
}

void TestWebBrowser::fleetTable() {
    QVERIFY2(m_browser.Open(m_base + "/", "document.body.dataset.loaded === 'fleet'"),
             qPrintable(m_browser.Error()));
    // Class, device, station, channel, variant, records archived, state.
    QCOMPARE(m_browser.Evaluate("[...document.querySelectorAll('#fleet tbody tr')].map(r =>"
                                " [r.className, ...[...r.cells].map(c => c.textContent)]"
                                ".filter((_, i) => [0, 1, 2, 3, 4, 7, 9].includes(i)))"),
             QString(R"([["","rx-1","变电站乙","线路1","KPB-650","2","正常"],)"
                     R"(["","tx-1","变电站甲","线路1","KPA-650","6","正常"],)"
                     R"(["missed","tx-2","变电站丙","线路2","KPA-650","0","未应答"]])"));
    // The device that did not answer stands out in red.
    QCOMPARE(m_browser.Evaluate("getComputedStyle(document.querySelector('tr.missed td'))"
                                ".backgroundColor"),
             QString(R"x("rgb(255, 217, 214)")x"));
}

void TestWebBrowser::deviceTraces_data() {
    QTest::addColumn<QString>("range");
    QTest::addColumn<QString>("events");
    QTest::addColumn<QList<int>>("highPixels");  // > 0: some, 0: none, per strip
    QTest::newRow("two days") << "&from=2024-03-05&to=2024-03-06"
                              << R"(["命令1启动","命令1返回","命令2启动","命令2返回"])"
                              << QList<int>{1, 1, 0, 0, 0};
    QTest::newRow("the alarm's day")
        << "&from=2024-03-09&to=2024-03-09"
        << R"(["功放过载告警","功放过载告警返回"])" << QList<int>{0, 0, 0, 1, 0};
}

void TestWebBrowser::deviceTraces() {
    QFETCH(QString, range);
    QFETCH(QList<int>, highPixels);
    QVERIFY2(m_browser.Open(m_base + "/device.html?device=tx-1" + range,
                            "document.body.dataset.loaded === 'device'"),
             qPrintable(m_browser.Error()));
    QTEST(
        m_browser.Evaluate(
            "[...document.querySelectorAll('#events tbody tr')].map(r => r.cells[8].textContent)"),
        "events");
    const QImage shot = Screenshot();
    QVERIFY(!shot.isNull());
    const QPoint origin = CanvasOrigin();
    // The page's own trace colours: cyan, green, purple, blue, violet.
    const QList<QRgb> colours = {qRgb(0, 255, 255), qRgb(0, 255, 0), qRgb(153, 50, 204),
                                 qRgb(0, 0, 255), qRgb(132, 122, 255)};
    for (int s = 0; s < colours.size(); ++s) {
        const int y = origin.y() + s * kStripHeight + kHighLevel;
        int count = 0;
        for (int x = origin.x() + kLabelWidth; x < shot.width(); ++x) {
            count += shot.pixel(x, y) == colours[s] ? 1 : 0;
        }
        QVERIFY2((count > 0) == (highPixels[s] > 0),
                 qPrintable(QString("strip %1: %2 pixels high").arg(s).arg(count)));
    }
}

void TestWebBrowser::zoomAndPan() {
    QVERIFY2(m_browser.Open(m_base + "/device.html?device=tx-1&from=2024-03-05&to=2024-03-06",
                            "document.body.dataset.loaded === 'device'"),
             qPrintable(m_browser.Error()));
    const QString highRuns = "document.getElementById('traces').dataset.highRuns";
    QCOMPARE(m_browser.Evaluate(highRuns), QString(R"("1,1,0,0,0")"));
    const QPoint origin = CanvasOrigin();
    const int x = origin.x() + kLabelWidth + 1;
    const int y = origin.y() + 20;
    // Six steps in at the left edge: only command 1's high period is left in view.
    for (int i = 0; i < 6; ++i) {
        QVERIFY(m_browser.Call(
            "Input.dispatchMouseEvent",
            {{"type", "mouseWheel"}, {"x", x}, {"y", y}, {"deltaX", 0}, {"deltaY", -100}}));
    }
    QCOMPARE(m_browser.Evaluate(highRuns), QString(R"("1,0,0,0,0")"));
    // Dragged twice 600 pixels to the left: command 1's goes out of view, command 2's comes in.
    const auto mouse = [&](const char* type, int at) {
        return m_browser.Call("Input.dispatchMouseEvent", {{"type", type},
                                                           {"x", at},
                                                           {"y", y},
                                                           {"button", "left"},
                                                           {"buttons", 1},
                                                           {"clickCount", 1}});
    };
    for (int drag = 0; drag < 2; ++drag) {
        QVERIFY(mouse("mousePressed", x + 700));
        QVERIFY(mouse("mouseMoved", x + 400));
        QVERIFY(mouse("mouseMoved", x + 100));
        QVERIFY(mouse("mouseReleased", x + 100));
    }
    QCOMPARE(m_browser.Evaluate(highRuns), QString(R"("0,1,0,0,0")"));
}

void TestWebBrowser::downloadsMatchKp650ctl_data() {
    QTest::addColumn<QString>("link");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("CSV") << "csv" << QStringList{"tx-1.csv"};
    QTest::newRow("COMTRADE") << "cfg" << QStringList{"tx-1.cfg", "tx-1.dat"};
}

void TestWebBrowser::downloadsMatchKp650ctl() {
    QFETCH(QString, link);
    QFETCH(QStringList, files);
    QVERIFY2(m_browser.Call("Browser.setDownloadBehavior",
                            {{"behavior", "allow"},
                             {"downloadPath", m_browser.DownloadFolder()},
                             {"eventsEnabled", true}},
                            false),
             qPrintable(m_browser.Error()));
    QVERIFY2(m_browser.Open(m_base + "/device.html?device=tx-1",
                            "document.body.dataset.loaded === 'device'"),
             qPrintable(m_browser.Error()));
    // The .dat beside the .cfg is the second link of the pair.
    QStringList links{link};
    if (link == "cfg") {
        links << "dat";
    }
    for (const QString& id : links) {
        QCOMPARE(
            m_browser.Evaluate(QString("(document.getElementById('%1').click(), true)").arg(id)),
            QString("true"));
        for (;;) {
            const auto progress = m_browser.WaitForEvent("Browser.downloadProgress", 20000);
            QVERIFY2(progress, "no download");
            const QString state = progress->value("state").toString();
            QVERIFY(state != "canceled");
            if (state == "completed") {
                break;
            }
        }
    }
    // The same log read from the device by kp650ctl into the same kind of file.
    QTemporaryDir home;
    QProcess ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("KP650_HOME", home.path());
    ctl.setProcessEnvironment(env);
    ctl.start(KP650_CTL_PATH, {"--port", m_fleet.Address("tx-1"), "--variant", "A", "-q", "log",
                               "read", "--no-store", "-o", home.filePath(files.first())});
    QVERIFY(ctl.waitForFinished(60000));
    QCOMPARE(ctl.exitCode(), 0);
    for (const QString& name : files) {
        QFile downloaded(m_browser.DownloadFolder() + "/" + name);
        QFile exported(home.filePath(name));
        QVERIFY2(downloaded.open(QIODevice::ReadOnly), qPrintable(downloaded.fileName()));
        QVERIFY(exported.open(QIODevice::ReadOnly));
        const QByteArray bytes = downloaded.readAll();
        QVERIFY(bytes.size() > 100);
        QCOMPARE(bytes, exported.readAll());
    }
}

QTEST_GUILESS_MAIN(TestWebBrowser)
#include "tst_web_browser.moc"
