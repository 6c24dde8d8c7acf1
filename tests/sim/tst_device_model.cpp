#include <QTest>

#include <QStringEncoder>
#include <QTimeZone>

#include "model/device_model.h"
#include "model/event_log.h"
#include "model/sim_options.h"
#include "records/event_record.h"
#include "records/record_text_file.h"

using namespace sim;

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text));
}

QString Show(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

// A host clock the test moves by hand.
struct FakeClock {
    QDateTime now{QDate(2026, 12, 6), QTime(15, 30, 45)};
    DeviceModel::ClockSource Source() {
        return [this] { return now; };
    }
};

// A frame of `length` bytes full of the marker bytes, so a parser that looks for 0x58 fails.
QByteArray MarkerFrame(int length) {
    QByteArray frame;
    for (int i = 0; i < length; ++i) {
        static const char kBytes[] = {0x58, 0x56, 0x5A, 0x41, 0x78, 0x00};
        frame.append(kBytes[i % 6]);
    }
    return frame;
}

std::vector<LogRecord> ThreeRecords() {
    return {{9, 9, 25, 10, 30, 15, 500, 1},
            {9, 9, 25, 10, 30, 16, 0x58, 2},
            {9, 12, 31, 23, 59, 59, 999, 0x16}};
}

QByteArray RecordFrame(const LogRecord& r) {
    QByteArray f;
    for (std::uint8_t v : {r.year, r.month, r.day, r.hour, r.minute, r.second}) {
        f.append(static_cast<char>(v));
    }
    f.append(static_cast<char>(r.msecond >> 8));
    f.append(static_cast<char>(r.msecond & 0xFF));
    f.append(static_cast<char>(r.code));
    f.append(static_cast<char>(kRecordType));
    return f;
}

}  // namespace

class TestDeviceModel : public QObject {
    Q_OBJECT
private slots:
    void parameterFile_data();
    void parameterFile();
    void parameterSetOnExit();
    void replies_data();
    void replies();
    void chunking_data();
    void chunking();
    void parameterWriteKeepsFrameWithMarkers_data();
    void parameterWriteKeepsFrameWithMarkers();
    void garbageResync_data();
    void garbageResync();
    void idleDropsStuckRequest();
    void logRead_data();
    void logRead();
    void clearEmptiesLog_data();
    void clearEmptiesLog();
    void abandonedReadStartsAgainB();
    void clockRunsOn_data();
    void clockRunsOn();
    void impossibleClockStandsStill();
    void faults_data();
    void faults();
    void faultCountWearsOff();
    void defaultParameterWords_data();
    void defaultParameterWords();
    void generatedLog_data();
    void generatedLog();
    void recordTextFile();
    void savedLogReadsBack_data();
    void savedLogReadsBack();
    void recordTextFileErrors_data();
    void recordTextFileErrors();
    void faultSpecs_data();
    void faultSpecs();
    void commandLineErrors_data();
    void commandLineErrors();
};

void TestDeviceModel::replies_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray paramsA = DeviceModel::DefaultParameters(DeviceVariant::A, 200);
    const QByteArray paramsB = DeviceModel::DefaultParameters(DeviceVariant::B, 500);
    QTest::newRow("A identification") << 0 << Hex("5658") << Hex("010909080A0B0C0D58");
    QTest::newRow("B identification") << 1 << Hex("5658") << Hex("56010909080A0B0C0D58");
    QTest::newRow("A read parameters") << 0 << Hex("464658") << paramsA + Hex("58");
    QTest::newRow("B read parameters") << 1 << Hex("465358") << Hex("46") + paramsB + Hex("58");
    QTest::newRow("A clock read") << 0 << Hex("4258") << Hex("421A0C060F1E2D58");
    QTest::newRow("B clock read") << 1 << Hex("4258") << Hex("421A0C060F1E2D58");
    QTest::newRow("A clock write") << 0
                                   << Hex("43090919080509"
                                          "58")
                                   << Hex("43090919080509"
                                          "58");
    QTest::newRow("B clock write") << 1
                                   << Hex("43090919080509"
                                          "58")
                                   << Hex("43090919080509"
                                          "58");
    QTest::newRow("A clear") << 0 << Hex("4558") << Hex("78");
    QTest::newRow("B clear") << 1 << Hex("4558") << Hex("4558");
    QTest::newRow("A empty log") << 0 << Hex("444658") << Hex("00000000000000000059");
    QTest::newRow("B empty log") << 1 << Hex("445358") << Hex("4400000000000000000059");
    // A device stays silent on the other variant's commands, and takes them off the line whole.
    QTest::newRow("A ignores FS") << 0 << Hex("465358") << QByteArray();
    QTest::newRow("A ignores DS") << 0 << Hex("445358") << QByteArray();
    QTest::newRow("B ignores FF") << 1 << Hex("464658") << QByteArray();
    QTest::newRow("B ignores DF ack") << 1 << Hex("444678") << QByteArray();
    QTest::newRow("B ignores AF, then answers V")
        << 1 << Hex("4146") + MarkerFrame(70) + Hex("58") + Hex("5658")
        << Hex("56010909080A0B0C0D58");
    QTest::newRow("A ignores AS, then answers V")
        << 0 << Hex("4153") + MarkerFrame(17) + Hex("58") + Hex("5658")
        << Hex("010909080A0B0C0D58");
    QTest::newRow("two requests at once") << 0 << Hex("56584258")
                                          << Hex("010909080A0B0C0D58"
                                                 "421A0C060F1E2D58");
}

void TestDeviceModel::replies() {
    QFETCH(int, variant);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, reply);
    FakeClock clock;
    DeviceModel model(variant == 0 ? DeviceVariant::A : DeviceVariant::B, clock.Source());
    model.SetClock({26, 12, 6, 15, 30, 45});
    QCOMPARE(Show(model.Receive(request)), Show(reply));
    QCOMPARE(model.PendingBytes(), 0);
}

void TestDeviceModel::chunking_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("chunk");
    for (int variant : {0, 1}) {
        for (int chunk : {1, 2, 3, 7, 50, 1000}) {
            QTest::addRow("%c chunks of %d", variant == 0 ? 'A' : 'B', chunk) << variant << chunk;
        }
    }
}

void TestDeviceModel::chunking() {
    QFETCH(int, variant);
    QFETCH(int, chunk);
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    FakeClock clock;
    DeviceModel whole(v, clock.Source());
    DeviceModel pieces(v, clock.Source());
    const QByteArray frame = MarkerFrame(whole.FrameLength());
    const QByteArray write =
        (v == DeviceVariant::A ? Hex("4146") : Hex("4153")) + frame + Hex("58");
    const QByteArray read = v == DeviceVariant::A ? Hex("464658") : Hex("465358");
    const QByteArray stream =
        Hex("5658") + write + read + Hex("4358") + frame.left(5) + Hex("58") + Hex("4258");
    const QByteArray expected = whole.Receive(stream);
    QByteArray got;
    for (int at = 0; at < stream.size(); at += chunk) {
        got += pieces.Receive(stream.mid(at, chunk));
    }
    QCOMPARE(Show(got), Show(expected));
    QCOMPARE(pieces.RequestCount(), 5);
    QCOMPARE(pieces.Parameters(), frame);
}

void TestDeviceModel::parameterWriteKeepsFrameWithMarkers_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A, 70 bytes") << 0;
    QTest::newRow("B, 17 bytes") << 1;
}

void TestDeviceModel::parameterWriteKeepsFrameWithMarkers() {
    QFETCH(int, variant);
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    DeviceModel model(v);
    const QByteArray frame = MarkerFrame(model.FrameLength());
    const QByteArray leading = v == DeviceVariant::B ? Hex("41") : QByteArray();
    const QByteArray write =
        (v == DeviceVariant::A ? Hex("4146") : Hex("4153")) + frame + Hex("58");
    QCOMPARE(Show(model.Receive(write)), Show(leading + frame + Hex("58")));
    QCOMPARE(model.Parameters(), frame);
    const QByteArray readLeading = v == DeviceVariant::B ? Hex("46") : QByteArray();
    QCOMPARE(Show(model.Receive(v == DeviceVariant::A ? Hex("464658") : Hex("465358"))),
             Show(readLeading + frame + Hex("58")));
}

void TestDeviceModel::garbageResync_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("reply");
    const QByteArray id = Hex("010909080A0B0C0D58");
    QTest::newRow("noise before") << Hex("0011FF5A") + Hex("5658") << id;
    QTest::newRow("wrong end byte") << Hex("5600") + Hex("5658") << id;
    QTest::newRow("second byte not F or S") << Hex("4141") + Hex("5658") << id;
    QTest::newRow("D then V") << Hex("44") + Hex("5658") << id;
    QTest::newRow("lone end bytes") << Hex("585858") + Hex("5658") << id;
    // A clock write whose end byte is wrong: its frame held "V X", which is then found.
    QTest::newRow("bad clock frame")
        << Hex("43") + Hex("01565802030400") + Hex("4258") << id + Hex("421A0C060F1E2D58");
}

void TestDeviceModel::garbageResync() {
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, reply);
    FakeClock clock;
    DeviceModel model(DeviceVariant::A, clock.Source());
    model.SetClock({26, 12, 6, 15, 30, 45});
    QCOMPARE(Show(model.Receive(input)), Show(reply));
    QCOMPARE(model.PendingBytes(), 0);
}

void TestDeviceModel::idleDropsStuckRequest() {
    DeviceModel model(DeviceVariant::A);
    // Garbage that looks like the start of a parameter write waits for 73 bytes ...
    QCOMPARE(model.Receive(Hex("4146")), QByteArray());
    QCOMPARE(model.Receive(Hex("5658")), QByteArray());
    QCOMPARE(model.PendingBytes(), 4);
    // ... until the line goes quiet: then the request behind it is answered.
    QCOMPARE(Show(model.Idle()), Show(Hex("010909080A0B0C0D58")));
    QCOMPARE(model.PendingBytes(), 0);
    QCOMPARE(model.Parameters(), DeviceModel::DefaultParameters(DeviceVariant::A, 200));
}

void TestDeviceModel::logRead_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("records");
    for (int variant : {0, 1}) {
        for (int records : {0, 1, 3}) {
            QTest::addRow("%c, %d records", variant == 0 ? 'A' : 'B', records)
                << variant << records;
        }
    }
}

void TestDeviceModel::logRead() {
    QFETCH(int, variant);
    QFETCH(int, records);
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    DeviceModel model(v);
    std::vector<LogRecord> log = ThreeRecords();
    log.resize(static_cast<size_t>(records));
    model.SetLog(log);
    const QByteArray lead = v == DeviceVariant::B ? Hex("44") : QByteArray();
    const QByteArray read = v == DeviceVariant::A ? Hex("444658") : Hex("445358");
    const QByteArray ack = v == DeviceVariant::A ? Hex("444678") : Hex("445358");

    QByteArray count = Hex("0000000000000000") + QByteArray(1, char(records)) + Hex("59");
    QCOMPARE(Show(model.Receive(read)), Show(lead + count));
    if (records == 0) {
        QVERIFY(!model.ReadInProgress());
        return;
    }
    for (const LogRecord& r : log) {
        QCOMPARE(Show(model.Receive(ack)), Show(lead + RecordFrame(r)));
    }
    QCOMPARE(Show(model.Receive(ack)), Show(lead + Hex("00000000000000000078")));
    QVERIFY(!model.ReadInProgress());
    QCOMPARE(model.RequestCount(), records + 2);
    // The log stays in the device: a second read announces it again.
    QCOMPARE(Show(model.Receive(read)), Show(lead + count));
}

void TestDeviceModel::clearEmptiesLog_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A") << 0;
    QTest::newRow("B") << 1;
}

void TestDeviceModel::clearEmptiesLog() {
    QFETCH(int, variant);
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    DeviceModel model(v);
    model.SetLog(ThreeRecords());
    const QByteArray lead = v == DeviceVariant::B ? Hex("44") : QByteArray();
    const QByteArray read = v == DeviceVariant::A ? Hex("444658") : Hex("445358");
    model.Receive(read);
    QVERIFY(model.ReadInProgress());
    QCOMPARE(Show(model.Receive(Hex("4558"))),
             Show(v == DeviceVariant::A ? Hex("78") : Hex("4558")));
    QVERIFY(model.Log().empty());
    QVERIFY(!model.ReadInProgress());
    QCOMPARE(Show(model.Receive(read)), Show(lead + Hex("00000000000000000059")));
}

void TestDeviceModel::abandonedReadStartsAgainB() {
    FakeClock clock;
    DeviceModel model(DeviceVariant::B, clock.Source());
    model.SetLog(ThreeRecords());
    const QByteArray ds = Hex("445358");
    QCOMPARE(Show(model.Receive(ds)), Show(Hex("44") + Hex("000000000000000003") + Hex("59")));
    QCOMPARE(Show(model.Receive(ds)), Show(Hex("44") + RecordFrame(ThreeRecords()[0])));
    clock.now = clock.now.addMSecs(DeviceModel::kAbandonedReadMs - 1);
    QCOMPARE(Show(model.Receive(ds)), Show(Hex("44") + RecordFrame(ThreeRecords()[1])));
    clock.now = clock.now.addMSecs(DeviceModel::kAbandonedReadMs);
    QCOMPARE(Show(model.Receive(ds)), Show(Hex("44") + Hex("000000000000000003") + Hex("59")));
}

void TestDeviceModel::clockRunsOn_data() {
    QTest::addColumn<QByteArray>("written");
    QTest::addColumn<qint64>("elapsedMs");
    QTest::addColumn<QByteArray>("read");
    QTest::newRow("same second") << Hex("1A0C060F1E2D") << qint64(999) << Hex("1A0C060F1E2D");
    QTest::newRow("90 s later") << Hex("1A0C060F1E2D") << qint64(90000) << Hex("1A0C060F200F");
    QTest::newRow("over the new year")
        << Hex("1A0C1F173B1E") << qint64(45000) << Hex("1B010100000F");
    QTest::newRow("leap day") << Hex("1C021C173B3B") << qint64(1000) << Hex("1C021D000000");
    QTest::newRow("a day later") << Hex("090919080509") << qint64(86400000) << Hex("09091A080509");
}

void TestDeviceModel::clockRunsOn() {
    QFETCH(QByteArray, written);
    QFETCH(qint64, elapsedMs);
    QFETCH(QByteArray, read);
    FakeClock clock;
    // The host clock springs forward an hour in the middle; the device clock knows no such thing.
    const QTimeZone berlin("Europe/Berlin");
    QVERIFY(berlin.isValid());
    clock.now = QDateTime(QDate(2026, 3, 29), QTime(1, 59, 0, 500), berlin);
    DeviceModel model(DeviceVariant::A, clock.Source());
    QCOMPARE(Show(model.Receive(Hex("43") + written + Hex("58"))),
             Show(Hex("43") + written + Hex("58")));
    clock.now = clock.now.addMSecs(elapsedMs);
    QCOMPARE(Show(model.Receive(Hex("4258"))), Show(Hex("42") + read + Hex("58")));
}

void TestDeviceModel::impossibleClockStandsStill() {
    FakeClock clock;
    DeviceModel model(DeviceVariant::B, clock.Source());
    model.Receive(Hex("43") + Hex("1A0D20180000") + Hex("58"));
    clock.now = clock.now.addSecs(100);
    QCOMPARE(Show(model.Receive(Hex("4258"))), Show(Hex("42") + Hex("1A0D20180000") + Hex("58")));
}

void TestDeviceModel::faults_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("expected");  // empty: only the checks below
    QTest::addColumn<bool>("carriedOut");
    const QByteArray frameA = MarkerFrame(kFrameLengthA);
    const QByteArray writeA = Hex("4146") + frameA + Hex("58");
    QTest::newRow("refuse") << "refuse" << 0 << writeA << Hex("5A") << false;
    QTest::newRow("silent") << "silent" << 0 << writeA << QByteArray() << false;
    QTest::newRow("bad trailer") << "bad-trailer" << 0 << writeA << frameA + Hex("00") << true;
    QTest::newRow("bad trailer B id")
        << "bad-trailer" << 1 << Hex("5658") << Hex("56010909080A0B0C0D00") << false;
    QTest::newRow("bad echo") << "bad-echo" << 0 << writeA << QByteArray() << true;
    QTest::newRow("bad echo leaves reads alone")
        << "bad-echo" << 0 << Hex("464658")
        << DeviceModel::DefaultParameters(DeviceVariant::A, 200) + Hex("58") << false;
    QTest::newRow("bad trailer leaves log frames alone")
        << "bad-trailer" << 0 << Hex("444658") << Hex("00000000000000000059") << false;
}

void TestDeviceModel::faults() {
    QFETCH(QString, fault);
    QFETCH(int, variant);
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, expected);
    QFETCH(bool, carriedOut);
    SimOptions options;
    QString error;
    QVERIFY2(ParseFault(fault, &options, &error), qPrintable(error));
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    DeviceModel model(v);
    model.SetFaultPlan(options.faults);
    const QByteArray before = model.Parameters();
    const QByteArray reply = model.Receive(request);
    if (fault == QLatin1String("bad-echo") && expected.isEmpty()) {
        // Exactly one byte of the echo differs; the trailer and the stored frame are right.
        const QByteArray frame = request.mid(2, kFrameLengthA);
        QCOMPARE(reply.size(), frame.size() + 1);
        int differing = 0;
        for (int i = 0; i < frame.size(); ++i) {
            differing += reply.at(i) != frame.at(i);
        }
        QCOMPARE(differing, 1);
        QCOMPARE(reply.back(), char(kEndByte));
    } else {
        QCOMPARE(Show(reply), Show(expected));
    }
    if (request.startsWith(Hex("4146"))) {
        QCOMPARE(model.Parameters() != before, carriedOut);
    }
}

void TestDeviceModel::faultCountWearsOff() {
    SimOptions options;
    QString error;
    QVERIFY(ParseFault(QStringLiteral("refuse=2"), &options, &error));
    DeviceModel model(DeviceVariant::A);
    model.SetFaultPlan(options.faults);
    QCOMPARE(Show(model.Receive(Hex("5658"))), Show(Hex("5A")));
    QCOMPARE(Show(model.Receive(Hex("5658"))), Show(Hex("5A")));
    QCOMPARE(Show(model.Receive(Hex("5658"))), Show(Hex("010909080A0B0C0D58")));
}

void TestDeviceModel::defaultParameterWords_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("kHz");
    QTest::addColumn<QByteArray>("start");
    QTest::newRow("A 200 kHz") << 0 << 200
                               << Hex("0000000000 28F5C3"
                                      "0000000000 28E608");
    QTest::newRow("B 500 kHz") << 1 << 500 << Hex("0000000002000000 000000000000000101");
    QTest::newRow("B 40 kHz") << 1 << 40 << Hex("0000000001A1CAC1");
}

void TestDeviceModel::defaultParameterWords() {
    QFETCH(int, variant);
    QFETCH(int, kHz);
    QFETCH(QByteArray, start);
    const QByteArray frame =
        DeviceModel::DefaultParameters(variant == 0 ? DeviceVariant::A : DeviceVariant::B, kHz);
    QCOMPARE(frame.size(), variant == 0 ? kFrameLengthA : kFrameLengthB);
    QCOMPARE(Show(frame.left(start.size())), Show(start));
    if (variant == 0) {
        QCOMPARE(Show(frame.mid(64)), Show(Hex("000000000505")));
    }
}

void TestDeviceModel::generatedLog_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("count");
    for (int variant : {0, 1}) {
        for (int count : {1, 2, 7, 100, 255}) {
            QTest::addRow("%c, %d", variant == 0 ? 'A' : 'B', count) << variant << count;
        }
    }
}

void TestDeviceModel::generatedLog() {
    QFETCH(int, variant);
    QFETCH(int, count);
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    const QDateTime start(QDate(2026, 11, 30), QTime(8, 0), QTimeZone::utc());
    const std::vector<LogRecord> log = GenerateLog(v, count, 7, start);
    QCOMPARE(int(log.size()), count);
    QVERIFY(GenerateLog(v, count, 7, start) == log);
    QDateTime previous;
    int acrossMidnight = 0;
    for (size_t i = 0; i < log.size(); ++i) {
        const LogRecord& r = log[i];
        const QDateTime t(QDate(2000 + r.year, r.month, r.day),
                          QTime(r.hour, r.minute, r.second, r.msecond), QTimeZone::utc());
        QVERIFY2(t.isValid(), qPrintable(QString::number(i)));
        QVERIFY(!previous.isValid() || t > previous);
        const QString text = EventText(v, r.code);
        QVERIFY2(!text.isEmpty() && r.code < 22, qPrintable(QString::number(r.code)));
        // Even positions start something, odd positions return it, and the pair belongs together.
        const bool isReturn = text.endsWith(QStringLiteral("返回"));
        QCOMPARE(isReturn, i % 2 == 1);
        if (isReturn) {
            QString started = EventText(v, log[i - 1].code);
            if (started.endsWith(QStringLiteral("启动"))) {
                started.chop(2);
            }
            QCOMPARE(text, started + QStringLiteral("返回"));
            acrossMidnight += t.date() != previous.date();
        }
        previous = t;
    }
    if (count >= 100) {
        QVERIFY(acrossMidnight >= 5);
    }
}

void TestDeviceModel::recordTextFile() {
    // As the program saves it: serial padded to 3, GBK, CR LF; one record with an empty event.
    const QString text = QStringLiteral(
        "1    2009  9  25   10  30  15  500  命令1启动\r\n"
        "2    2009  9  25   10  30  16  5  命令1返回\r\n"
        "10   2026  12  31   23  59  59  999  功放过载告警返回\r\n"
        "100  2026  1  1   0  0  0  0  事件代码错误!\r\n"
        "101  2026  1  1   0  0  0  1  \r\n"
        "\r\n");
    QStringEncoder encode("GBK");
    const QByteArray bytes = encode(text);
    std::vector<LogRecord> records;
    QString error;
    QVERIFY2(ParseRecordText(DeviceVariant::A, bytes, &records, &error), qPrintable(error));
    const std::vector<LogRecord> expected = {{9, 9, 25, 10, 30, 15, 500, 1},
                                             {9, 9, 25, 10, 30, 16, 5, 2},
                                             {26, 12, 31, 23, 59, 59, 999, 14},
                                             {26, 1, 1, 0, 0, 0, 0, 22},
                                             {26, 1, 1, 0, 0, 0, 1, 0}};
    QVERIFY(records == expected);
    // The same texts mean other codes on a receiver.
    QVERIFY(
        ParseRecordText(DeviceVariant::B,
                        encode(QStringLiteral("1    2009  9  25   10  30  15  500  命令1返回\r\n")),
                        &records, &error));
    QCOMPARE(int(records.size()), 1);
    QCOMPARE(int(records[0].code), 0);
}

void TestDeviceModel::savedLogReadsBack_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A") << 0;
    QTest::newRow("B") << 1;
}

void TestDeviceModel::savedLogReadsBack() {
    // A log as the program saves it after a read (its own line writer) gives the device the
    // same log again.
    QFETCH(int, variant);
    const DeviceVariant v = variant == 0 ? DeviceVariant::A : DeviceVariant::B;
    const std::vector<LogRecord> log =
        GenerateLog(v, kMaxLogRecords, 3, QDateTime(QDate(2026, 1, 1), QTime(8, 0)));
    QByteArray file;
    for (size_t i = 0; i < log.size(); ++i) {
        QByteArray nine;
        const LogRecord& r = log[i];
        for (int b : {int(r.year), int(r.month), int(r.day), int(r.hour), int(r.minute),
                      int(r.second), r.msecond >> 8, r.msecond & 0xFF, int(r.code)}) {
            nine.append(static_cast<char>(b));
        }
        file += FormatRecordLine(int(i) + 1, RecordFromLogBytes(nine, variant)) + "\r\n";
    }
    std::vector<LogRecord> back;
    QString error;
    QVERIFY2(ParseRecordText(v, file, &back, &error), qPrintable(error));
    QVERIFY(back == log);
}

void TestDeviceModel::recordTextFileErrors_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("other variant's event")
        << QStringLiteral("1    2009  9  25   10  30  15  500  功放过低告警\r\n")
        << QStringLiteral("line 1");
    QTest::newRow("year out of range")
        << QStringLiteral("1    1999  9  25   10  30  15  500  命令1启动\r\n")
        << QStringLiteral("line 1");
    QTest::newRow("byte out of range")
        << QStringLiteral("x\r\n1    2009  256  25   10  30  15  500  命令1启动\r\n")
        << QStringLiteral("line 2");
    QTest::newRow("fields missing")
        << QStringLiteral("1    2009  9  25\r\n") << QStringLiteral("line 1");
}

void TestDeviceModel::recordTextFileErrors() {
    QFETCH(QString, text);
    QFETCH(QString, message);
    QStringEncoder encode("GBK");
    std::vector<LogRecord> records{{}};
    QString error;
    QVERIFY(!ParseRecordText(DeviceVariant::B, encode(text), &records, &error));
    QVERIFY2(error.startsWith(message), qPrintable(error));
    QCOMPARE(int(records.size()), 1);
}

void TestDeviceModel::faultSpecs_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<double>("probability");
    QTest::addColumn<int>("count");
    QTest::newRow("always") << "refuse" << true << 1.0 << -1;
    QTest::newRow("probability") << "refuse=0.25" << true << 0.25 << -1;
    QTest::newRow("count") << "refuse=3" << true << 0.0 << 3;
    QTest::newRow("probability above 1") << "refuse=1.5" << false << 0.0 << -1;
    QTest::newRow("negative count") << "refuse=-1" << false << 0.0 << -1;
    QTest::newRow("unknown") << "fire" << false << 0.0 << -1;
    QTest::newRow("hangup without count") << "hangup-after" << false << 0.0 << -1;
}

void TestDeviceModel::faultSpecs() {
    QFETCH(QString, fault);
    QFETCH(bool, ok);
    QFETCH(double, probability);
    QFETCH(int, count);
    SimOptions options;
    QString error;
    QCOMPARE(ParseFault(fault, &options, &error), ok);
    if (ok) {
        QCOMPARE(options.faults.refuse.probability, probability);
        QCOMPARE(options.faults.refuse.count, count);
    } else {
        QVERIFY(!error.isEmpty());
    }
}

void TestDeviceModel::commandLineErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("ok");
    QTest::newRow("defaults") << QStringList{} << true;
    QTest::newRow("everything") << QStringList{"--variant", "b",     "--link",    "/tmp/x",
                                               "--records", "255",   "--baud",    "0",
                                               "--fault",   "split", "--fault",   "hangup-after=40",
                                               "--seed",    "9",     "--id-date", "2012-12-15"}
                                << true;
    QTest::newRow("256 records") << QStringList{"--records", "256"} << false;
    QTest::newRow("variant C") << QStringList{"--variant", "C"} << false;
    QTest::newRow("records and log") << QStringList{"--records", "3", "--log", "x.txt"} << false;
    QTest::newRow("day needs two digits") << QStringList{"--id-date", "2009-9-25"} << false;
    QTest::newRow("short parameter frame") << QStringList{"--params", "0011"} << false;
    QTest::newRow("stray argument") << QStringList{"extra"} << false;
    QTest::newRow("negative baud") << QStringList{"--baud", "-1"} << false;
    QTest::newRow("parameter file and save")
        << QStringList{"--params-file", "a.json", "--save-params", "b.json"} << true;
    QTest::newRow("parameter file and frame")
        << QStringList{"--params-file", "a.json", "--params", QString(34, '0')} << false;
    QTest::newRow("parameter file and frequency")
        << QStringList{"--params-file", "a.json", "--frequency", "200"} << false;
}

void TestDeviceModel::commandLineErrors() {
    QFETCH(QStringList, args);
    QFETCH(bool, ok);
    SimOptions options;
    QString message;
    const ParseOutcome outcome = ParseSimOptions(args, &options, &message);
    QCOMPARE(outcome == ParseOutcome::Run, ok);
    if (!ok) {
        QVERIFY(!message.isEmpty());
    }
}

void TestDeviceModel::parameterFile_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("fileVariant");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QByteArray>("frame");  // the device's frame; empty after an error
    const QByteArray b500 =
        Hex("0000000002000000"
            "000000000000000101");
    const QByteArray a200 =
        Hex("000000000028F5C3000000000028E608000000000029057D0000000000291538"
            "000000000028D64D000000000028C69300000000002924F2000000000028B6D8000000000505");
    QTest::newRow("receiver file picks the variant") << QStringList{} << 1 << QString() << b500;
    QTest::newRow("transmitter file picks the variant") << QStringList{} << 0 << QString() << a200;
    QTest::newRow("receiver file, variant B")
        << QStringList{"--variant", "B"} << 1 << QString() << b500;
    QTest::newRow("receiver file, variant A")
        << QStringList{"--variant", "A"} << 1
        << "字段 \"device\" 为 \"KPB-650\"：这是 KPB-650 的参数，不能用于 KPA-650" << QByteArray();
}

void TestDeviceModel::parameterFile() {
    QFETCH(QStringList, args);
    QFETCH(int, fileVariant);
    QFETCH(QString, error);
    QFETCH(QByteArray, frame);
    SimOptions options;
    QString message;
    QCOMPARE(ParseSimOptions(args + QStringList{"--params-file", "x.json"}, &options, &message),
             ParseOutcome::Run);
    QCOMPARE(options.paramsFile, QStringLiteral("x.json"));
    const QByteArray file =
        ParameterSetToFile(ParameterSetFromValues(fileVariant, fileVariant == 0 ? "200" : "500",
                                                  fileVariant == 0
                                                      ? std::vector<int>{0, 0, 0, 0, 5, 5}
                                                      : std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1, 1})
                               .set)
            .bytes;
    const bool ok = ApplyParameterFile(file, &options, &message);
    QCOMPARE(ok, error.isEmpty());
    if (!ok) {
        QCOMPARE(message, error);
        return;
    }
    QCOMPARE(options.variant, fileVariant == 0 ? DeviceVariant::A : DeviceVariant::B);
    DeviceModel model(options.variant);
    QVERIFY(model.SetParameters(options.parameters));
    // The device answers a read with the file's frame.
    const QByteArray reply = model.Receive(fileVariant == 0 ? Hex("464658") : Hex("465358"));
    QCOMPARE(Show(reply), Show((fileVariant == 0 ? QByteArray() : Hex("46")) + frame + Hex("58")));
}

// What --save-params writes: the frame last written, and where it came from.
void TestDeviceModel::parameterSetOnExit() {
    DeviceModel model(DeviceVariant::B);
    const QByteArray frame =
        Hex("0000000001A1CAC1"
            "0102030405"
            "0A010300");
    model.Receive(Hex("4153") + frame + Hex("58"));
    const QDateTime at(QDate(2024, 5, 1), QTime(10, 30), QTimeZone(8 * 3600));
    const ParameterSet set = DeviceParameterSet(model, at);
    QCOMPARE(set.frame, frame);
    QCOMPARE(set.frequencyText, QStringLiteral("40"));
    QCOMPARE(set.provenance.readAt, at);
    QCOMPARE(set.provenance.deviceIdentification, QStringLiteral("01 09 09 08 0A 0B 0C 0D"));
    QCOMPARE(set.provenance.program, QStringLiteral("kp650-sim 1.0"));
    const ParameterFileBytes file = ParameterSetToFile(set);
    QVERIFY2(file.error.isEmpty(), qPrintable(file.error));
    QVERIFY(file.bytes.contains("\"device_identification\": \"01 09 09 08 0A 0B 0C 0D\""));
    QVERIFY(file.bytes.contains("\"read_from_device_at\": \"2024-05-01T10:30:00+08:00\""));
}

QTEST_GUILESS_MAIN(TestDeviceModel)
#include "tst_device_model.moc"
