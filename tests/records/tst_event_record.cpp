#include <QBuffer>
#include <QtTest>

#include "records/event_record.h"
#include "records/record_text_file.h"

class TestEventRecord : public QObject {
    Q_OBJECT

private slots:
    void eventText_data();
    void eventText();
    void fromLogBytes_data();
    void fromLogBytes();
    void fieldTexts();
    void formatLine_data();
    void formatLine();
    void parseLine_data();
    void parseLine();
    void everyTableTextRoundTrips();
    void lineReaderAcrossBlocks();
};

void TestEventRecord::eventText_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    // Every code of both variants, 0 to 21 ("|" between texts): a swap of two entries must show.
    const QStringList a = QStringLiteral(
                              "|命令1启动|命令1返回|命令2启动|命令2返回|命令3启动|命令3返回|||||"
                              "功放过低告警|功放过低告警返回|功放过载告警|功放过载告警返回|||||||")
                              .split('|');
    const QStringList b = QStringLiteral(
                              "命令1返回|命令1启动|命令2返回|命令2启动|命令3返回|命令3启动||||||||"
                              "|信噪比告警返回|信噪比告警|信号过高告警返回|信号过高告警|"
                              "通道故障告警返回|通道故障告警|信号过低告警返回|信号过低告警")
                              .split('|');
    QCOMPARE(a.size(), 22);
    QCOMPARE(b.size(), 22);
    for (int code = 0; code < 22; ++code) {
        QTest::addRow("A %d", code) << 0 << code << a[code];
        QTest::addRow("B %d", code) << 1 << code << b[code];
    }
    const QString error = QStringLiteral("事件代码错误!");
    for (int code : {22, 23, 128, 255}) {
        QTest::addRow("A %d", code) << 0 << code << error;
        QTest::addRow("B %d", code) << 1 << code << error;
    }
}

void TestEventRecord::eventText() {
    QFETCH(int, variant);
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(EventText(code, variant), text);
}

void TestEventRecord::fromLogBytes_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("fields");

    QTest::newRow("example") << 0 << QByteArray::fromHex("09 09 19 0a 1e 0f 01 f4 01")
                             << QStringList{"2009", "9",  "25",  "10",
                                            "30",   "15", "500", QStringLiteral("命令1启动")};
    QTest::newRow("year 2000, ms 999")
        << 1 << QByteArray::fromHex("00 01 01 00 00 00 03 e7 00")
        << QStringList{"2000", "1", "1", "0", "0", "0", "999", QStringLiteral("命令1返回")};
    QTest::newRow("all 0xFF") << 0 << QByteArray::fromHex("ff ff ff ff ff ff ff ff ff")
                              << QStringList{
                                     "2255", "255", "255",   "255",
                                     "255",  "255", "65535", QStringLiteral("事件代码错误!")};
    QTest::newRow("month 13, ms 5 unchecked")
        << 1 << QByteArray::fromHex("0a 0d 20 18 3c 3c 00 05 06")
        << QStringList{"2010", "13", "32", "24", "60", "60", "5", ""};
    QTest::newRow("code 0 variant A empty")
        << 0 << QByteArray::fromHex("0a 01 01 01 01 01 00 00 00")
        << QStringList{"2010", "1", "1", "1", "1", "1", "0", ""};
    QTest::newRow("short array") << 0 << QByteArray::fromHex("05 02")
                                 << QStringList{"2005", "2", "0", "0", "0", "0", "0", ""};
}

void TestEventRecord::fromLogBytes() {
    QFETCH(int, variant);
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, fields);
    QCOMPARE(RecordFromLogBytes(bytes, variant).FieldTexts(), fields);
}

void TestEventRecord::fieldTexts() {
    EventRecord record{"1", "2", "3", "4", "5", "6", "7", "e"};
    QCOMPARE(record.FieldTexts(), (QStringList{"1", "2", "3", "4", "5", "6", "7", "e"}));
    for (int i = 0; i < records::kRecordFieldCount; ++i) {
        QCOMPARE(record.Field(i), record.FieldTexts().at(i));
    }
}

namespace {

const QByteArray kStartGbk = QByteArray::fromHex("c3fcc1ee31c6f4b6af");  // 命令1启动

EventRecord Example() {
    return {"2009", "9", "25", "10", "30", "15", "500", QStringLiteral("命令1启动")};
}

}  // namespace

void TestEventRecord::formatLine_data() {
    QTest::addColumn<int>("serial");
    QTest::addColumn<QByteArray>("line");

    const QByteArray rest = "2009  9  25   10  30  15  500  " + kStartGbk;
    QTest::newRow("1") << 1 << "1    " + rest;
    QTest::newRow("10") << 10 << "10   " + rest;
    QTest::newRow("100") << 100 << "100  " + rest;
    QTest::newRow("1000") << 1000 << "1000  " + rest;
}

void TestEventRecord::formatLine() {
    QFETCH(int, serial);
    QFETCH(QByteArray, line);
    QCOMPARE(FormatRecordLine(serial, Example()), line);
}

void TestEventRecord::parseLine_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("fields");

    const QStringList example = Example().FieldTexts();
    const QByteArray rest = "2009  9  25   10  30  15  500  " + kStartGbk;
    QTest::newRow("serial 1") << "1    " + rest << example;
    QTest::newRow("serial 100, CR LF") << "100  " + rest + "\r\n" << example;
    QTest::newRow("serial 100000") << "100000  " + rest << example;
    QTest::newRow("blank line") << QByteArray() << QStringList(8, QString());
    QTest::newRow("five bytes") << QByteArray("12345\r\n") << QStringList(8, QString());
    QTest::newRow("fewer fields") << QByteArray("7    2011  3")
                                  << QStringList{"2011", "3", "", "", "", "", "", ""};
    QTest::newRow("empty event") << QByteArray("2    2009  9  25   10  30  15  500  ")
                                 << QStringList{"2009", "9", "25", "10", "30", "15", "500", ""};
    // The event, like every field, is a run of non-blank bytes: trailing blanks are no part of it.
    QTest::newRow("event with trailing blanks")
        << "5    2009  9  25   10  30  15  500  " + kStartGbk + "   \r\n"
        << example;
    QTest::newRow("event ends at a blank") << QByteArray("3    1  2  3  4  5  6  7  a b \r")
                                           << QStringList{"1", "2", "3", "4", "5", "6", "7", "a"};
    QTest::newRow("invalid GBK") << "4    1  2  3  4  5  6  7  " + kStartGbk.left(2) + "\x81"
                                 << QStringList{"1", "2", "3", "4",
                                                "5", "6", "7", QStringLiteral("命\uFFFD")};
}

void TestEventRecord::parseLine() {
    QFETCH(QByteArray, line);
    QFETCH(QStringList, fields);
    QCOMPARE(ParseRecordLine(line).FieldTexts(), fields);
}

void TestEventRecord::everyTableTextRoundTrips() {
    for (int variant = 0; variant < 2; ++variant) {
        for (int code = 0; code < 23; ++code) {
            EventRecord record = RecordFromLogValues(2024, 2, 29, 23, 59, 59, 999, code, variant);
            QCOMPARE(ParseRecordLine(FormatRecordLine(code + 1, record)), record);
        }
    }
}

void TestEventRecord::lineReaderAcrossBlocks() {
    // Lines of every length up to some hundreds of bytes, CR LF or LF, a line too long for the
    // reader and one with a zero byte (both skipped) and a last line without a line end: well over
    // a megabyte, so that lines cross the reader's block boundaries wherever they fall.
    QByteArray content;
    QList<QByteArray> expected;
    for (int i = 0; i < 20000; ++i) {
        QByteArray line = QByteArray::number(i) + ' ' + QByteArray(i % 300, char('a' + i % 26));
        expected << line;
        content += line + (i % 3 == 0 ? "\n" : "\r\n");
        if (i == 7000) {
            content += QByteArray(200000, 'x') + "\r\n";
        }
        if (i == 9000) {
            content += QByteArray("1    2024  5  1   10  0  0  0  AB\0CD\r\n", 38);  // skipped
        }
    }
    content += "last";
    expected << "last";
    QBuffer buffer(&content);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    RecordLineReader reader(buffer);
    QList<QByteArray> lines;
    QByteArrayView line;
    while (reader.Next(&line)) {
        lines << line.toByteArray();
    }
    QVERIFY(!reader.Failed());
    QCOMPARE(reader.Consumed(), qint64(content.size()));
    QCOMPARE(lines.size(), expected.size());
    QCOMPARE(lines, expected);
}

QTEST_GUILESS_MAIN(TestEventRecord)
#include "tst_event_record.moc"
