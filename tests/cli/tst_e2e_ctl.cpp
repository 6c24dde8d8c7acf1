// kp650ctl end to end: the built tool run as a process against kp650-sim, every command, both
// variants, with the simulator's line faults. Exit codes, JSON results field by field, files
// byte for byte against the log the simulator serves.

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QtTest>

#include "records/record_store.h"
#include "support/log_files.h"
#include "support/sim_process.h"

namespace {

constexpr int kRunMs = 120000;

struct CtlRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
    QJsonObject Json() const { return QJsonDocument::fromJson(out).object(); }
};

CtlRun RunCtl(const QString& home, const QStringList& args) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KP650_HOME"), home);
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(KP650_CTL_PATH), args);
    CtlRun run;
    if (!process.waitForFinished(kRunMs) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

// The value at a path like "fields/0/value".
QJsonValue At(QJsonValue value, const QString& path) {
    for (const QString& step : path.split(QLatin1Char('/'))) {
        bool index = false;
        const int i = step.toInt(&index);
        value = index ? value.toArray().at(i) : value.toObject().value(step);
    }
    return value;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString Letter(int variant) {
    return variant == 0 ? QStringLiteral("A") : QStringLiteral("B");
}

}  // namespace

class TestE2eCtl : public QObject {
    Q_OBJECT
private slots:
    void runsWithoutDisplay();
    void commands_data();
    void commands();
    void logRead_data();
    void logRead();
    void clearKeepsArchive_data();
    void clearKeepsArchive();
    void exactNoise_data();
    void exactNoise();
    void deviceInEarlierRead();
    void convert();
    void fileEditedByHand_data();
    void fileEditedByHand();
    void identifyToldTheOtherVariant();
};

void TestE2eCtl::runsWithoutDisplay() {
    QTemporaryDir home;
    const CtlRun help = RunCtl(home.path(), {"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains("Exit codes:"));
    QCOMPARE(RunCtl(home.path(), {"frobnicate"}).exitCode, 2);
    QCOMPARE(RunCtl(home.path(), {"--timeout", "x", "identify"}).exitCode, 2);
    QCOMPARE(RunCtl(home.path(), {"--port", home.filePath("no-such-line"), "identify"}).exitCode,
             3);
}

void TestE2eCtl::commands_data() {
    QTest::addColumn<QStringList>("sim");
    QTest::addColumn<QStringList>("ctl");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QVariantMap>("json");  // path -> value; a text ending in '*' is a prefix

    const QVariantMap idA{{"device", "KPA-650"},
                          {"variant", "A"},
                          {"version", "1.00"},
                          {"date", "2009-9-8"},
                          {"checksum", "ABCD"}};
    QVariantMap idB = idA;
    idB["device"] = "KPB-650";
    idB["variant"] = "B";
    const QStringList identify{"identify", "--json"};
    QTest::newRow("identify A") << QStringList{"--variant", "A"} << identify << 0 << idA;
    QTest::newRow("identify B") << QStringList{"--variant", "B"} << identify << 0 << idB;
    QTest::newRow("identify A garbage")
        << QStringList{"--variant", "A", "--fault", "garbage=0.5", "--seed", "3"} << identify << 0
        << idA;
    QTest::newRow("identify B garbage")
        << QStringList{"--variant", "B", "--fault", "garbage=0.5", "--seed", "4"} << identify << 0
        << idB;
    QTest::newRow("identify B split")
        << QStringList{"--variant", "B", "--fault", "split", "--seed", "1"} << identify << 0 << idB;
    QTest::newRow("identify A silent once")
        << QStringList{"--variant", "A", "--fault", "silent=1"} << identify << 0 << idA;
    QTest::newRow("identify B hang-up")
        << QStringList{"--variant", "B", "--fault", "hangup-after=4"} << identify << 0 << idB;
    QTest::newRow("identify A silent")
        << QStringList{"--variant", "A", "--fault", "silent"}
        << QStringList{"identify", "--retries", "1"} << 4 << QVariantMap();
    QTest::newRow("identify B refuse")
        << QStringList{"--variant", "B", "--fault", "refuse"} << identify << 5 << QVariantMap();
    QTest::newRow("identify B bad trailer")
        << QStringList{"--variant", "B", "--fault", "bad-trailer"} << identify << 6
        << QVariantMap();
    QTest::newRow("identify B told A")
        << QStringList{"--variant", "B"} << QStringList{"identify", "--variant", "A"} << 6
        << QVariantMap();

    const QStringList paramsRead{"params", "read", "--json"};
    QTest::newRow("params read A") << QStringList{"--variant", "A"} << paramsRead << 0
                                   << QVariantMap{{"device", "KPA-650"},
                                                  {"fields/0/name", "centre_frequency"},
                                                  {"fields/0/value", 200},
                                                  {"fields/0/unit", "kHz"},
                                                  {"fields/6/name", "pa_overload_alarm_delay"},
                                                  {"fields/6/value", 500},
                                                  {"frame", "00 00 00 00 00 28 F5 C3*"}};
    QTest::newRow("params read B garbage")
        << QStringList{"--variant", "B", "--fault", "garbage=0.3", "--seed", "5"} << paramsRead << 0
        << QVariantMap{{"device", "KPB-650"},
                       {"fields/0/value", 500},
                       {"fields/9/name", "snr_alarm_blocks_commands"},
                       {"fields/9/value", 1},
                       {"fields/9/text", "闭锁命令(默认)"}};
    QTest::newRow("params read A split")
        << QStringList{"--variant", "A", "--fault", "split", "--seed", "2"} << paramsRead << 0
        << QVariantMap{{"fields/0/value", 200}};
    QTest::newRow("params write A")
        << QStringList{"--variant", "A"}
        << QStringList{"params", "write",           "--frequency", "210",
                       "--set",  "input_delay_1=3", "--json"}
        << 0 << QVariantMap{{"verified", true}, {"frame", "00 00 00 00 00 2B 02 0C*"}};
    QTest::newRow("params write B split")
        << QStringList{"--variant", "B", "--fault", "split", "--seed", "6"}
        << QStringList{"params", "write", "--set", "work_mode=1", "--json"} << 0
        << QVariantMap{{"verified", true}};
    QTest::newRow("params write A bad echo")
        << QStringList{"--variant", "A", "--fault", "bad-echo"}
        << QStringList{"params", "write", "--frequency", "210", "--variant", "A"} << 6
        << QVariantMap();
    QTest::newRow("params write B unknown field")
        << QStringList{"--variant", "B"} << QStringList{"params", "write", "--set", "volume=3"} << 2
        << QVariantMap();
    QTest::newRow("params write A value not in list")
        << QStringList{"--variant", "A"}
        << QStringList{"params", "write", "--set", "input_delay_1=4000"} << 2 << QVariantMap();

    QTest::newRow("clock read A") << QStringList{"--variant", "A", "--clock", "2030-01-02 03:04:05"}
                                  << QStringList{"clock", "read", "--json"} << 0
                                  << QVariantMap{{"device_time", "2030-01-02T03:04:0*"}};
    QTest::newRow("clock sync B") << QStringList{"--variant", "B", "--clock", "2030-01-02 03:04:05"}
                                  << QStringList{"clock", "sync", "--json"} << 0
                                  << QVariantMap{{"verified", true}};
    QTest::newRow("clock sync A garbage")
        << QStringList{"--variant", "A", "--fault", "garbage=0.3", "--seed", "8"}
        << QStringList{"clock", "sync", "--json"} << 0 << QVariantMap{{"verified", true}};
    QTest::newRow("clock read B silent")
        << QStringList{"--variant", "B", "--fault", "silent"}
        << QStringList{"clock", "read", "--variant", "B", "--retries", "0"} << 4 << QVariantMap();

    QTest::newRow("log clear without --yes")
        << QStringList{"--variant", "A"} << QStringList{"log", "clear"} << 2 << QVariantMap();
    QTest::newRow("log clear B") << QStringList{"--variant", "B"}
                                 << QStringList{"log", "clear", "--yes", "--json"} << 0
                                 << QVariantMap{
                                        {"cleared", true}, {"archived", 0}, {"archive", ""}};
    QTest::newRow("log clear A refuse")
        << QStringList{"--variant", "A", "--fault", "refuse"}
        << QStringList{"log", "clear", "--yes", "--variant", "A"} << 5 << QVariantMap();
}

void TestE2eCtl::commands() {
    QFETCH(QStringList, sim);
    QFETCH(QStringList, ctl);
    QFETCH(int, exitCode);
    QFETCH(QVariantMap, json);
    SimProcess device;
    QVERIFY2(device.Start(sim << "--baud"
                              << "0"),
             qPrintable(device.ErrorText()));
    QTemporaryDir home;
    const CtlRun run = RunCtl(home.path(), QStringList{"--port", device.LinkPath()} + ctl);
    QVERIFY2(run.exitCode == exitCode, qPrintable(QStringLiteral("exit %1, stderr: %2")
                                                      .arg(run.exitCode)
                                                      .arg(QString::fromUtf8(run.err))));
    const QJsonObject result = run.Json();
    for (auto it = json.cbegin(); it != json.cend(); ++it) {
        const QJsonValue value = At(result, it.key());
        const QVariant expected = it.value();
        if (expected.typeId() == QMetaType::QString &&
            expected.toString().endsWith(QLatin1Char('*'))) {
            QVERIFY2(value.toString().startsWith(expected.toString().chopped(1)),
                     qPrintable(it.key() + QStringLiteral(": ") + value.toString()));
        } else {
            QCOMPARE(value.toVariant(), expected);
        }
    }
    if (ctl.contains(QStringLiteral("params")) && ctl.contains(QStringLiteral("write")) &&
        exitCode == 0) {
        // What the device holds afterwards, read by a second run.
        const CtlRun after =
            RunCtl(home.path(), {"--port", device.LinkPath(), "params", "read", "--json"});
        QCOMPARE(after.Json().value("frame"), run.Json().value("frame"));
    }
}

void TestE2eCtl::logRead_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("exitCode");

    for (int v : {0, 1}) {
        const QString l = Letter(v);
        QTest::addRow("%s text", qPrintable(l)) << v << QStringList() << "out.txt" << 0;
        QTest::addRow("%s garbage", qPrintable(l))
            << v << QStringList{"--fault", "garbage=0.3", "--seed", QString::number(11 + v)}
            << "out.txt" << 0;
        QTest::addRow("%s split", qPrintable(l))
            << v << QStringList{"--fault", "split", "--seed", QString::number(21 + v)} << "out.txt"
            << 0;
        QTest::addRow("%s silent first", qPrintable(l))
            << v << QStringList{"--fault", "silent=2"} << "out.txt" << 0;
        // The line comes back: the read starts again and ends whole.
        QTest::addRow("%s hang-up", qPrintable(l))
            << v << QStringList{"--fault", "hangup-after=200"} << "out.txt" << 0;
        QTest::addRow("%s database", qPrintable(l)) << v << QStringList() << "out.mdb" << 0;
        QTest::addRow("%s json lines", qPrintable(l)) << v << QStringList() << "out.jsonl" << 0;
        QTest::addRow("%s csv", qPrintable(l)) << v << QStringList() << "out.csv" << 0;
    }
}

void TestE2eCtl::logRead() {
    QFETCH(int, variant);
    QFETCH(QStringList, faults);
    QFETCH(QString, file);
    QFETCH(int, exitCode);
    constexpr int kRecords = 40;
    QTemporaryDir home;
    const bool noisy = faults.join(QLatin1Char(' ')).contains(QLatin1String("garbage"));
    const QByteArray log = MakeLogFile(variant, kRecords, !noisy);
    const QString logPath = home.filePath("device-log.txt");
    {
        QFile f(logPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
    }
    SimProcess device;
    QVERIFY(device.Start(
        QStringList{"--variant", Letter(variant), "--baud", "0", "--log", logPath} + faults));
    const QString out = home.filePath(file);
    const CtlRun run = RunCtl(home.path(), {"--port", device.LinkPath(), "--variant",
                                            Letter(variant), "log", "read", "-o", out, "--json"});
    QVERIFY2(run.exitCode == exitCode, run.err.constData());
    const QJsonObject result = run.Json();
    QCOMPARE(result.value("announced").toInt(), kRecords);
    const int read = result.value("read").toInt();
    QCOMPARE(result.value("complete").toBool(), exitCode == 0);
    QCOMPARE(read, exitCode == 0 ? kRecords : read);
    QVERIFY(read < kRecords || exitCode == 0);

    // The lines of the log read so far, in the program's text format.
    QList<QByteArray> lines = log.split('\n');
    lines.removeLast();
    const QByteArray expectedText = lines.mid(0, read).join('\n') + (read > 0 ? "\n" : "");

    // TEMP of the working database holds what was read.
    RecordStore store;
    QVERIFY(store.Connect(home.filePath(variant == 0 ? "KPA650.mdb" : "KPB650.mdb")));
    QCOMPARE(store.RowCount(records::kTempTable), read);
    store.Close();

    if (file.endsWith(".txt")) {
        QCOMPARE(ReadFile(out), expectedText);
    } else if (file.endsWith(".mdb")) {
        const QString back = home.filePath("back.txt");
        QCOMPARE(RunCtl(home.path(), {"convert", out, back}).exitCode, 0);
        QCOMPARE(ReadFile(back), expectedText);
    } else if (file.endsWith(".jsonl")) {
        const QList<QByteArray> jsonLines = ReadFile(out).split('\n');
        QCOMPARE(jsonLines.size(), read + 1);
        const QJsonObject first = QJsonDocument::fromJson(jsonLines.first()).object();
        // The first made-up record: 2000-1-1 00:00:00.000, event code 0.
        QCOMPARE(first.value("year").toString(), QStringLiteral("2000"));
        QCOMPARE(first.value("month").toString(), QStringLiteral("1"));
        QCOMPARE(first.value("msecond").toString(), QStringLiteral("0"));
        QVERIFY(first.contains("event"));
    } else {
        const QByteArray csv = ReadFile(out);
        QVERIFY(
            csv.startsWith("\xEF\xBB\xBF"
                           "序号,时间,年,月,日,时,分,秒,毫秒,事件\r\n"));
        QCOMPARE(csv.count("\r\n"), read + 1);
    }
}

void TestE2eCtl::clearKeepsArchive_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A") << 0;
    QTest::newRow("B") << 1;
}

void TestE2eCtl::clearKeepsArchive() {
    QFETCH(int, variant);
    QTemporaryDir home;
    const QByteArray log = MakeLogFile(variant, 12);
    const QString logPath = home.filePath("device-log.txt");
    {
        QFile f(logPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
    }
    SimProcess device;
    QVERIFY(device.Start({"--variant", Letter(variant), "--baud", "0", "--log", logPath}));
    const QStringList port{"--port", device.LinkPath()};
    QCOMPARE(RunCtl(home.path(), port + QStringList{"log", "read"}).exitCode, 0);
    const CtlRun clear = RunCtl(home.path(), port + QStringList{"log", "clear", "--yes", "--json"});
    QCOMPARE(clear.exitCode, 0);
    const QString archive = clear.Json().value("archive").toString();
    QCOMPARE(QFileInfo(archive).absolutePath(), QDir(home.filePath("archive")).absolutePath());
    QCOMPARE(clear.Json().value("archived").toInt(), 12);
    QCOMPARE(ReadFile(archive), log);
    // The device's log is empty now.
    const CtlRun after = RunCtl(home.path(), port + QStringList{"log", "read", "--json"});
    QCOMPARE(after.exitCode, 0);
    QCOMPARE(after.Json().value("announced").toInt(), 0);
}

// Noise bytes placed exactly in front of one reply at 9600 baud: the read ends with the exact log
// (started again once in doubt), the clear after a misread identification with the transmitter's
// whole log archived.
void TestE2eCtl::exactNoise_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QString>("noise");
    QTest::addColumn<bool>("clear");
    for (int v : {0, 1}) {
        const char* l = v == 0 ? "A" : "B";
        QTest::addRow("%s count 89, one byte before it", l)
            << v << MakeLogFile(v, 89, false) << "log-count:1:00" << false;
        QTest::addRow("%s record ending 0x78, two bytes before it", l)
            << v << LogWithThirdMillisecond(v, 120) << "log-record:3:1003" << false;
        QTest::addRow("%s record ending 0x58, two bytes before it", l)
            << v << LogWithThirdMillisecond(v, 88) << "log-record:3:1003" << false;
    }
    QTest::newRow("A clear, 0x56 before the identification")
        << 0 << MakeLogFile(0, 40, false) << "identification:1:56" << true;
}

void TestE2eCtl::exactNoise() {
    QFETCH(int, variant);
    QFETCH(QByteArray, log);
    QFETCH(QString, noise);
    QFETCH(bool, clear);
    QTemporaryDir home;
    const QString logPath = home.filePath("device-log.txt");
    {
        QFile f(logPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
    }
    SimProcess device;
    QVERIFY(device.Start({"--variant", Letter(variant), "--log", logPath, "--noise", noise}));
    const QString out = home.filePath("out.txt");
    const int records = int(log.count('\n'));
    if (clear) {
        const CtlRun run = RunCtl(
            home.path(), {"--port", device.LinkPath(), "log", "clear", "--yes", "--json", "-v"});
        QVERIFY2(run.exitCode == 0, run.err.constData());
        QVERIFY2(run.err.contains("detected KPA-650"), run.err.constData());
        QCOMPARE(run.Json().value("read").toInt(), records);
        QCOMPARE(ReadFile(run.Json().value("archive").toString()), log);
        const CtlRun after = RunCtl(
            home.path(), {"--port", device.LinkPath(), "--variant", "A", "log", "read", "--json"});
        QCOMPARE(after.Json().value("announced").toInt(), 0);
        return;
    }
    const CtlRun run = RunCtl(home.path(), {"--port", device.LinkPath(), "--variant",
                                            Letter(variant), "log", "read", "-o", out, "--json"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.Json().value("announced").toInt(), records);
    QCOMPARE(run.Json().value("read").toInt(), records);
    QCOMPARE(run.Json().value("starts").toInt(), 2);
    QCOMPARE(ReadFile(out), log);
}

// A receiver still in an earlier read answers the read request with its next record: that is
// never stored as a record of a count; the read takes the device to the end of the earlier read
// and starts again.
void TestE2eCtl::deviceInEarlierRead() {
    QTemporaryDir home;
    const QByteArray log = MakeLogFile(1, 6, false);
    const QString logPath = home.filePath("device-log.txt");
    {
        QFile f(logPath);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
    }
    SimProcess device;
    QVERIFY(device.Start({"--variant", "B", "--baud", "0", "--log", logPath}));
    {  // An earlier read left after the count and two records.
        QSerialPort port(device.LinkPath());
        QVERIFY(port.open(QIODevice::ReadWrite));
        for (int i = 0; i < 3; ++i) {
            port.write(QByteArray::fromHex("445358"));
            QVERIFY(port.waitForBytesWritten(1000));
            QByteArray reply;
            while (reply.size() < 11 && port.waitForReadyRead(1000)) {
                reply += port.readAll();
            }
            QCOMPARE(reply.size(), 11);
        }
    }
    const QString out = home.filePath("out.txt");
    const CtlRun run = RunCtl(home.path(), {"--port", device.LinkPath(), "--variant", "B", "log",
                                            "read", "-o", out, "--json"});
    QVERIFY2(run.exitCode == 0, run.err.constData());
    QCOMPARE(run.Json().value("read").toInt(), 6);
    QCOMPARE(ReadFile(out), log);
}

void TestE2eCtl::convert() {
    QTemporaryDir home;
    const QByteArray log = MakeLogFile(1, 30);
    const QString text = home.filePath("in.txt");
    {
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(log);
    }
    const QString db = home.filePath("kept.mdb");
    QCOMPARE(RunCtl(home.path(), {"convert", text, db}).exitCode, 0);
    const QString back = home.filePath("back.txt");
    const CtlRun run = RunCtl(home.path(), {"convert", db, back, "--json"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.Json().value("records").toInt(), 30);
    QCOMPARE(ReadFile(back), log);
    QCOMPARE(RunCtl(home.path(), {"convert", text, home.filePath("x.cfg")}).exitCode, 2);
    QCOMPARE(
        RunCtl(home.path(), {"convert", text, home.filePath("x.cfg"), "--variant", "B"}).exitCode,
        0);
    QVERIFY(QFile::exists(home.filePath("x.dat")));
    QCOMPARE(RunCtl(home.path(), {"convert", home.filePath("missing.txt"), back}).exitCode, 7);
    // No record line at all: zero bytes in lines of 1 MB.
    const QString zeros = home.filePath("zeros.txt");
    {
        QFile f(zeros);
        QVERIFY(f.open(QIODevice::WriteOnly));
        for (int i = 0; i < 3; ++i) {
            f.write(QByteArray(1 << 20, '\0') + "\r\n");
        }
    }
    const CtlRun none = RunCtl(home.path(), {"convert", zeros, home.filePath("none.csv")});
    QCOMPARE(none.exitCode, 7);
    QVERIFY2(none.err.contains("文件中没有记录行"), none.err.constData());
    QVERIFY(!QFile::exists(home.filePath("none.csv")));
}

void TestE2eCtl::fileEditedByHand_data() {
    QTest::addColumn<QString>("variant");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<QString>("held");
    QTest::newRow("A") << "A" << 350 << "200 kHz";
    QTest::newRow("B") << "B" << 450 << "500 kHz";
}

// Read to a file, edited as in an editor (frequency changed, frame left out), compared, written,
// compared again and read back; the frame put back then disagrees and is refused.
void TestE2eCtl::fileEditedByHand() {
    QFETCH(QString, variant);
    QFETCH(int, frequency);
    QFETCH(QString, held);
    SimProcess device;
    QVERIFY(device.Start({"--variant", variant, "--baud", "0"}));
    QTemporaryDir home;
    const QStringList port{"--port", device.LinkPath()};
    const QString file = home.filePath("site.json");
    QCOMPARE(RunCtl(home.path(), port + QStringList{"params", "read", "-o", file}).exitCode, 0);
    QJsonObject root = QJsonDocument::fromJson(ReadFile(file)).object();
    const QJsonValue frame = root.take("frame");
    QVERIFY(frame.isArray());
    QJsonArray fields = root.value("fields").toArray();
    QJsonObject centre = fields.at(0).toObject();
    centre["value"] = frequency;
    fields.replace(0, centre);
    root["fields"] = fields;
    const auto save = [&file](const QJsonObject& object) {
        QFile f(file);
        return f.open(QIODevice::WriteOnly) && f.write(QJsonDocument(object).toJson()) > 0;
    };
    QVERIFY(save(root));

    const CtlRun differs =
        RunCtl(home.path(), port + QStringList{"params", "diff", file, "--json"});
    QCOMPARE(differs.exitCode, 9);
    QCOMPARE(differs.Json().value("equal").toBool(true), false);
    const QJsonArray differences = differs.Json().value("differences").toArray();
    QCOMPARE(differences.size(), 1);
    QCOMPARE(At(differences, "0/name").toString(), QStringLiteral("centre_frequency"));
    QCOMPARE(At(differences, "0/device").toString(), held);
    QCOMPARE(At(differences, "0/file").toString(), QStringLiteral("%1 kHz").arg(frequency));

    QCOMPARE(RunCtl(home.path(), port + QStringList{"params", "write", file}).exitCode, 0);
    const CtlRun same = RunCtl(home.path(), port + QStringList{"params", "diff", file});
    QCOMPARE(same.exitCode, 0);
    QCOMPARE(same.out, QByteArray());
    const CtlRun read = RunCtl(home.path(), port + QStringList{"params", "read", "--json"});
    QCOMPARE(At(read.Json(), "fields/0/value").toInt(), frequency);

    root["frame"] = frame;  // the frame of the old frequency
    QVERIFY(save(root));
    const CtlRun refused = RunCtl(home.path(), port + QStringList{"params", "write", file});
    QCOMPARE(refused.exitCode, 7);
    QVERIFY2(refused.err.contains("请删除 \"frame\" 一项，按字段写入"), refused.err.constData());
}

void TestE2eCtl::identifyToldTheOtherVariant() {
    SimProcess device;
    QVERIFY(device.Start({"--variant", "B", "--baud", "0"}));
    QTemporaryDir home;
    const CtlRun run =
        RunCtl(home.path(), {"--port", device.LinkPath(), "--variant", "A", "identify"});
    QCOMPARE(run.exitCode, 6);
    QCOMPARE(QString::fromUtf8(run.err),
             QStringLiteral("应答有 KPB-650 的格式（10 字节：56 01 09 09 08 0A 0B 0C 0D 58），不是 "
                            "KPA-650 的：装置应为 KPB-650，请用 --variant B 或不指定 --variant\n"));
}

QTEST_GUILESS_MAIN(TestE2eCtl)
#include "tst_e2e_ctl.moc"
