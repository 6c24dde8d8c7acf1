// Parameter-set files: the format as written, every kind of bad file refused with a message that
// names the field (by the loader and, controls untouched, by both dialogs), comparison of sets,
// and the dialogs' save, load and compare against a pretend line.

#include <QComboBox>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "link/fake_serial_line.h"
#include "settings/parameter_file.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/parameter_dialogs.h"
#include "support/test_support.h"

namespace {

// 200 kHz with the transmitter's lists at their defaults, read from a device.
const char kFileA[] = R"json({
    "format": "kp650-parameter-set",
    "format_version": 1,
    "device": "KPA-650",
    "fields": [
        {"name": "centre_frequency", "value": 200, "unit": "kHz"},
        {"name": "work_mode", "value": 0, "unit": "", "text": "FSK方式："},
        {"name": "input_delay_1", "value": 0, "unit": "ms", "text": "0ms(默认)"},
        {"name": "input_delay_2", "value": 0, "unit": "ms", "text": "0ms(默认)"},
        {"name": "input_delay_3", "value": 0, "unit": "ms", "text": "0ms(默认)"},
        {"name": "pa_low_alarm_delay", "value": 500, "unit": "ms", "text": "500ms(默认)"},
        {"name": "pa_overload_alarm_delay", "value": 500, "unit": "ms", "text": "500ms(默认)"}
    ],
    "frame": [
        "00 00 00 00 00 28 F5 C3",
        "00 00 00 00 00 28 E6 08",
        "00 00 00 00 00 29 05 7D",
        "00 00 00 00 00 29 15 38",
        "00 00 00 00 00 28 D6 4D",
        "00 00 00 00 00 28 C6 93",
        "00 00 00 00 00 29 24 F2",
        "00 00 00 00 00 28 B6 D8",
        "00 00 00 00 05 05"
    ],
    "provenance": {
        "read_from_device_at": "2024-05-01T10:30:00+08:00",
        "program": "kp650 1.0"
    }
}
)json";

// 40 kHz on a receiver, every list away from its default, made in the office.
const char kFileB[] = R"json({
    "format": "kp650-parameter-set",
    "format_version": 1,
    "device": "KPB-650",
    "fields": [
        {"name": "centre_frequency", "value": 40, "unit": "kHz"},
        {"name": "discrimination_time_1", "value": 1, "unit": "ms", "text": "1ms"},
        {"name": "output_widening_1", "value": 20, "unit": "ms", "text": "20ms"},
        {"name": "discrimination_time_2", "value": 3, "unit": "ms", "text": "3ms"},
        {"name": "output_widening_2", "value": 40, "unit": "ms", "text": "40ms"},
        {"name": "discrimination_time_3", "value": 5, "unit": "ms", "text": "5ms"},
        {"name": "output_widening_3", "value": 100, "unit": "ms", "text": "100ms"},
        {"name": "work_mode", "value": 1, "unit": "", "text": "编码方式"},
        {"name": "channel_fault_alarm_delay", "value": 2000, "unit": "ms", "text": "2s"},
        {"name": "snr_alarm_blocks_commands", "value": 0, "unit": "", "text": "不闭锁命令"}
    ],
    "frame": [
        "00 00 00 00 01 A1 CA C1",
        "01 02 03 04 05 0A 01 03",
        "00"
    ]
}
)json";

const std::vector<int> kSelectionsA{0, 0, 0, 0, 5, 5};
const std::vector<int> kSelectionsB{1, 2, 3, 4, 5, 10, 1, 3, 0};

QByteArray Edit(const char* text, const char* from, const char* to) {
    QByteArray edited(text);
    const QByteArray what(from);
    return edited.contains(what) ? edited.replace(what, to) : QByteArray("edit not applied");
}

QByteArray Without(const char* text, const char* key) {
    QJsonObject root = QJsonDocument::fromJson(text).object();
    root.remove(QString::fromUtf8(key));
    return QJsonDocument(root).toJson();
}

// What a refusal of a frame that disagrees with its fields adds.
QString Advice(const char* field) {
    return QStringLiteral(
               "。若字段是有意修改的，请删除 \"frame\" 一项，按字段写入；否则请把字段 \"%1\" "
               "改回与 \"frame\" 相符的值")
        .arg(QLatin1String(field));
}

QComboBox* List(QDialog& dlg, int id) {
    return dlg.findChild<QComboBox*>(QStringLiteral("id%1").arg(id));
}

}  // namespace

class TestParameterFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void writesTheFormat_data();
    void writesTheFormat();
    void badFileIsRefused_data();
    void badFileIsRefused();
    void deviceFramesTheDialogCannotWrite_data();
    void deviceFramesTheDialogCannotWrite();

    void loadFillsControlsAndSendsNothing_data();
    void loadFillsControlsAndSendsNothing();
    void saveWritesWhatIsShown();
    void compareWithDialogReadsAndWritesNothing_data();
    void compareWithDialogReadsAndWritesNothing();
    void compareWithFile();
    void readAfterUnansweredComparisonShowsTheReading();
    void lastFolderIsRemembered();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<FakeSerialLine> m_line;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
    QString WriteFile(const QString& name, const QByteArray& content);
};

void TestParameterFile::initTestCase() {
    // Remembered folders go to a scratch settings file, not the user's.
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_dir.isValid());
}

void TestParameterFile::init() {
    m_line = std::make_unique<FakeSerialLine>();
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void TestParameterFile::cleanup() {
    m_boxes.reset();
    m_line.reset();
}

QString TestParameterFile::WriteFile(const QString& name, const QByteArray& content) {
    const QString path = m_dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()) {
        return QString();
    }
    return path;
}

void TestParameterFile::writesTheFormat_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::addColumn<bool>("read");
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("A read") << 0 << "200" << kSelectionsA << true << QByteArray(kFileA);
    QTest::newRow("A leading zero") << 0 << "0200" << kSelectionsA << true << QByteArray(kFileA);
    QTest::newRow("B office") << 1 << "40" << kSelectionsB << false << QByteArray(kFileB);
}

void TestParameterFile::writesTheFormat() {
    QFETCH(int, variant);
    QFETCH(QString, frequency);
    QFETCH(std::vector<int>, selections);
    QFETCH(bool, read);
    QFETCH(QByteArray, file);
    const QDateTime readAt = QDateTime::fromString("2024-05-01T10:30:00+08:00", Qt::ISODate);
    ParameterSetResult made = ParameterSetFromValues(variant, frequency, selections);
    QVERIFY2(made.Ok(), qPrintable(made.error));
    if (read) {
        made.set.provenance.readAt = readAt;
        made.set.provenance.program = QStringLiteral("kp650 1.0");
    }
    const ParameterFileBytes written = ParameterSetToFile(made.set);
    QVERIFY2(written.error.isEmpty(), qPrintable(written.error));
    QCOMPARE(QString::fromUtf8(written.bytes), QString::fromUtf8(file));

    // And back: the same fields, frame and provenance.
    const ParameterSetResult loaded = ParameterSetFromFile(file, variant);
    QVERIFY2(loaded.Ok(), qPrintable(loaded.error));
    QCOMPARE(loaded.set.frequencyText, QString::number(frequency.toInt()));
    QCOMPARE(ParameterSelections(loaded.set), selections);
    QCOMPARE(loaded.set.frame, made.set.frame);
    QCOMPARE(loaded.set.provenance.readAt, read ? readAt : QDateTime());
    QCOMPARE(loaded.set.provenance.program, read ? QStringLiteral("kp650 1.0") : QString());
    QVERIFY(CompareParameterSets(loaded.set, made.set).empty());
    // Either variant's loader takes the file when told to take any; a byte order mark is no harm.
    QCOMPARE(ParameterSetFromFile(file, -1).set.variant, variant);
    QCOMPARE(ParameterSetFromFile("\xEF\xBB\xBF" + file, variant).set.frame, made.set.frame);
}

void TestParameterFile::badFileIsRefused_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("message");
    QTest::newRow("not JSON") << 0 << QByteArray("{\"format\": ")
                              << "参数文件不是有效的 JSON（第 11 字节附近）";
    QTest::newRow("an array") << 0 << QByteArray("[1, 2]") << "参数文件的内容应为一个 JSON 对象";
    QTest::newRow("another format")
        << 0 << Edit(kFileA, "kp650-parameter-set", "kp650-records")
        << "这不是参数文件：字段 \"format\" 应为 \"kp650-parameter-set\"";
    QTest::newRow("later version")
        << 0 << Edit(kFileA, "\"format_version\": 1", "\"format_version\": 2")
        << "字段 \"format_version\" 为 2，本程序只能读取第 1 版";
    QTest::newRow("receiver file for a transmitter")
        << 0 << QByteArray(kFileB)
        << "字段 \"device\" 为 \"KPB-650\"：这是 KPB-650 的参数，不能用于 KPA-650";
    QTest::newRow("unknown device") << 0 << Edit(kFileA, "KPA-650\",", "KPC-650\",")
                                    << "字段 \"device\" 应为 \"KPA-650\" 或 \"KPB-650\"";
    QTest::newRow("unknown top-level field")
        << 0 << Edit(kFileA, "\"fields\": [", "\"comment\": \"x\", \"fields\": [")
        << "未知字段 \"comment\"";
    QTest::newRow("no fields") << 0 << Without(kFileA, "fields") << "缺少字段 \"fields\"";
    QTest::newRow("key twice at the top")
        << 0
        << Edit(kFileA, "\"device\": \"KPA-650\",",
                "\"device\": \"KPA-650\", \"dev\\u0069ce\": \"KPA-650\",")
        << "字段 \"device\" 出现了两次";
    QTest::newRow("key twice in a field")
        << 0 << Edit(kFileA, "\"value\": 200,", "\"value\": 350, \"value\": 200,")
        << "字段 \"value\" 出现了两次";
    QTest::newRow("unknown field")
        << 0 << Edit(kFileA, "input_delay_2", "input_delay_4") << "未知字段 \"input_delay_4\"";
    QTest::newRow("missing field")
        << 0
        << Edit(kFileA,
                "        {\"name\": \"input_delay_3\", \"value\": 0, \"unit\": \"ms\", \"text\": "
                "\"0ms(默认)\"},\n",
                "")
        << "缺少字段 \"input_delay_3\"";
    QTest::newRow("field twice") << 0 << Edit(kFileA, "input_delay_3", "input_delay_2")
                                 << "字段 \"input_delay_2\" 出现了两次";
    QTest::newRow("frequency over the limit")
        << 0 << Edit(kFileA, "\"value\": 200,", "\"value\": 320000,")
        << "字段 \"centre_frequency\"：中心频率植超过上限，请重新输入!";
    QTest::newRow("frequency below the lowest")
        << 0 << Edit(kFileA, "\"value\": 200,", "\"value\": 1,")
        << "字段 \"centre_frequency\"：请输入正确的中心频率值!";
    QTest::newRow("negative frequency") << 1 << Edit(kFileB, "\"value\": 40,", "\"value\": -40,")
                                        << "字段 \"centre_frequency\"：请输入正确的中心频率值!";
    QTest::newRow("frequency as text")
        << 0 << Edit(kFileA, "\"value\": 200,", "\"value\": \"200\",")
        << "字段 \"centre_frequency\" 的 \"value\" 应为数字";
    QTest::newRow("frequency in Hz") << 0 << Edit(kFileA, "\"unit\": \"kHz\"", "\"unit\": \"Hz\"")
                                     << "字段 \"centre_frequency\" 的单位应为 \"kHz\"，不是 \"Hz\"";
    QTest::newRow("delay beyond its list")
        << 0
        << Edit(kFileA,
                "\"input_delay_1\", \"value\": 0, \"unit\": \"ms\", \"text\": \"0ms(默认)\"",
                "\"input_delay_1\", \"value\": 11, \"unit\": \"ms\", \"text\": \"11ms\"")
        << "字段 \"input_delay_1\"：值 11 不在列表中（可选值：0、1、2、3、4、5、6、7、8、9、10 "
           "ms）";
    QTest::newRow("alarm delay between items")
        << 0
        << Edit(kFileA, "\"pa_low_alarm_delay\", \"value\": 500,",
                "\"pa_low_alarm_delay\", \"value\": 550,")
        << "字段 \"pa_low_alarm_delay\"：值 550 不在列表中（可选值：0、100、200、300、400、500、"
           "600、700、800、900、1000 ms）";
    QTest::newRow("text not the value's")
        << 0
        << Edit(kFileA,
                "\"input_delay_1\", \"value\": 0, \"unit\": \"ms\", \"text\": \"0ms(默认)\"",
                "\"input_delay_1\", \"value\": 0, \"unit\": \"ms\", \"text\": \"1ms\"")
        << "字段 \"input_delay_1\"：文字 \"1ms\" 与值 0 不符，应为 \"0ms(默认)\"";
    QTest::newRow("unknown item in a field")
        << 0
        << Edit(kFileA, "\"text\": \"FSK方式：\"}", "\"text\": \"FSK方式：\", \"label\": \"x\"}")
        << "字段 \"work_mode\" 中有未知项 \"label\"";
    QTest::newRow("list without its text") << 0 << Edit(kFileA, ", \"text\": \"FSK方式：\"}", "}")
                                           << "字段 \"work_mode\" 缺少 \"text\"";
    QTest::newRow("frame not hex")
        << 0 << Edit(kFileA, "28 F5 C3", "28 F5 CG")
        << "字段 \"frame\" 应为十六进制字节的文字，每字节两位数字，以空格分隔";
    QTest::newRow("frame a byte short")
        << 0 << Edit(kFileA, "\"00 00 00 00 05 05\"", "\"00 00 00 00 05\"")
        << "字段 \"frame\" 应有 70 字节，文件中有 69 字节";
    QTest::newRow("frame disagrees with a delay")
        << 0 << Edit(kFileA, "\"00 00 00 00 05 05\"", "\"00 03 00 00 05 05\"")
        << "字段 \"frame\" 的字节 65 为 03，与字段 \"input_delay_1\" 不符，应为 00" +
               Advice("input_delay_1");
    QTest::newRow("frame disagrees in a derived word")
        << 0 << Edit(kFileA, "28 E6 08", "28 E6 09")
        << "字段 \"frame\" 的字节 15 为 09，与字段 \"centre_frequency\" 不符，应为 08" +
               Advice("centre_frequency");
    QTest::newRow("frequency changed, frame not")
        << 0 << Edit(kFileA, "\"value\": 200,", "\"value\": 201,")
        << "字段 \"frame\" 的字节 5 为 28，与字段 \"centre_frequency\" 不符，应为 "
           "29。若字段是有意修改的，"
           "请删除 \"frame\" 一项，按字段写入；否则请把字段 \"centre_frequency\" 改回与 \"frame\" "
           "相符的值";
    QTest::newRow("time that is none")
        << 0 << Edit(kFileA, "2024-05-01T10:30:00+08:00", "yesterday")
        << "字段 \"provenance\" 的 \"read_from_device_at\" 不是有效的时间，应如 "
           "2024-05-01T10:30:00+08:00";
    QTest::newRow("unknown provenance") << 0 << Edit(kFileA, "\"program\"", "\"operator\"")
                                        << "字段 \"provenance\" 中有未知项 \"operator\"";
}

void TestParameterFile::badFileIsRefused() {
    QFETCH(int, variant);
    QFETCH(QByteArray, file);
    QFETCH(QString, message);
    const ParameterSetResult loaded = ParameterSetFromFile(file, variant);
    QCOMPARE(loaded.error, message);

    // The dialog shows the message and keeps what it showed.
    auto dlg = MakeParameterDialog(variant);
    dlg->show();
    const QString path = WriteFile(QStringLiteral("bad.json"), file);
    QVERIFY(!path.isEmpty());
    dlg->SetFileChooser([path](QWidget*, bool, const QString&) { return path; });
    FrequencyBox(*dlg)->setText(QStringLiteral("777"));
    std::vector<int> before = ShownLists(*dlg, variant);
    before[1] = 2;  // away from the default
    SetLists(*dlg, variant, before);
    ClickButton(*dlg, QStringLiteral("buttonLoadParameters"));
    QCOMPARE(m_boxes->Texts(),
             QStringList{QStringLiteral("参数文件 bad.json 未能载入：\n") + message});
    QCOMPARE(FrequencyBox(*dlg)->text(), QStringLiteral("777"));
    QCOMPARE(ShownLists(*dlg, variant), before);
    QVERIFY(m_line->Written().isEmpty());
}

// What a device may hold that no dialog writes: it reads and compares, but is no file.
void TestParameterFile::deviceFramesTheDialogCannotWrite_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");  // the odd field as the comparison shows it
    const QByteArray a = QByteArray::fromHex(
        "000000000028F5C3"
        "000000000028E608"
        "000000000029057D"
        "0000000000291538"
        "000000000028D64D"
        "000000000028C693"
        "00000000002924F2"
        "000000000028B6D8"
        "000B00000505");
    QTest::newRow("A delay byte 11")
        << 0 << a << "字段 \"input_delay_1\"：字节 11 超出列表（列表有 11 项）"
        << "11（超出列表）";
    QTest::newRow("B word below 0 kHz") << 1
                                        << QByteArray::fromHex(
                                               "0000000000000000"
                                               "0000000000000001"
                                               "01")
                                        << "字段 \"centre_frequency\"：请输入正确的中心频率值!"
                                        << "-1999 kHz";
}

void TestParameterFile::deviceFramesTheDialogCannotWrite() {
    QFETCH(int, variant);
    QFETCH(QByteArray, frame);
    QFETCH(QString, message);
    QFETCH(QString, shown);
    const ParameterSetResult device = ParameterSetFromFrame(variant, frame);
    QVERIFY2(device.Ok(), qPrintable(device.error));
    QCOMPARE(CheckParameterSet(device.set), message);
    QCOMPARE(ParameterSetToFile(device.set).error, message);
    QVERIFY(ParameterSetToFile(device.set).bytes.isEmpty());
    bool found = false;
    for (std::size_t f = 0; f < ParameterFields(variant).size(); ++f) {
        found = found || FieldValueText(device.set, f) == shown;
    }
    QVERIFY2(found, qPrintable(shown));
    QCOMPARE(ParameterSetFromFrame(variant, frame.left(frame.size() - 1)).error,
             variant == 0 ? QStringLiteral("KPA-650 的参数帧应有 70 字节，实有 69 字节")
                          : QStringLiteral("KPB-650 的参数帧应有 17 字节，实有 16 字节"));
}

void TestParameterFile::loadFillsControlsAndSendsNothing_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("A") << 0 << QByteArray(kFileA) << "200" << kSelectionsA
                       << QByteArray::fromHex(
                              "000000000028F5C3000000000028E608000000000029057D0000000000291538"
                              "000000000028D64D000000000028C69300000000002924F2000000000028B6D8"
                              "000000000505");
    QTest::newRow("B") << 1 << QByteArray(kFileB) << "40" << kSelectionsB
                       << QByteArray::fromHex(
                              "00000000"
                              "01A1CAC1"
                              "0102030405"
                              "0A010300");
    // Edited by hand: no frame, so the fields are written.
    QTest::newRow("A edited, no frame")
        << 0 << Edit(Without(kFileA, "frame").constData(), "200", "350") << "350" << kSelectionsA
        << QByteArray::fromHex("000000000047AE14");
}

void TestParameterFile::loadFillsControlsAndSendsNothing() {
    QFETCH(int, variant);
    QFETCH(QByteArray, file);
    QFETCH(QString, frequency);
    QFETCH(std::vector<int>, selections);
    QFETCH(QByteArray, frame);
    auto dlg = MakeParameterDialog(variant);
    dlg->show();
    const QString path = WriteFile(QStringLiteral("load.json"), file);
    dlg->SetFileChooser(
        [path](QWidget*, bool save, const QString&) { return save ? QString() : path; });
    ClickButton(*dlg, QStringLiteral("buttonLoadParameters"));
    QVERIFY2(m_boxes->Texts().isEmpty(), qPrintable(m_boxes->Texts().join('|')));
    QCOMPARE(FrequencyBox(*dlg)->text(), frequency);
    QCOMPARE(ShownLists(*dlg, variant), selections);
    QVERIFY(m_line->Written().isEmpty());
    // 写入 sends the file's frame.
    ClickButton(*dlg, QStringLiteral("id1011"));
    QCOMPARE(m_line->Written().mid(2, frame.size()), frame);
}

void TestParameterFile::saveWritesWhatIsShown() {
    CReceiverParamDlg dlg;
    dlg.show();
    QString chosen = m_dir.filePath(QStringLiteral("saved.json"));
    dlg.SetFileChooser(
        [&chosen](QWidget*, bool save, const QString&) { return save ? chosen : QString(); });
    // The write's own check refuses the text, and no file is made.
    FrequencyBox(dlg)->setText(QStringLiteral("4O"));
    ClickButton(dlg, QStringLiteral("buttonSaveParameters"));
    QCOMPARE(m_boxes->Texts(), QStringList{QStringLiteral("请输入正确的中心频率值!")});
    QVERIFY(!QFile::exists(chosen));
    m_boxes->Clear();

    FrequencyBox(dlg)->setText(QStringLiteral("40"));
    SetLists(dlg, 1, kSelectionsB);
    ClickButton(dlg, QStringLiteral("buttonSaveParameters"));
    QVERIFY2(m_boxes->Texts().isEmpty(), qPrintable(m_boxes->Texts().join('|')));
    QVERIFY(m_line->Written().isEmpty());
    QFile saved(chosen);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    const QByteArray content = saved.readAll();
    // The office file above plus the program that wrote it; nothing was read from a device.
    QCOMPARE(QString::fromUtf8(content),
             QString::fromUtf8(kFileB).replace(
                 QStringLiteral("        \"00\"\n    ]\n}"),
                 QStringLiteral("        \"00\"\n    ],\n    \"provenance\": {\n"
                                "        \"program\": \"kp650 1.0\"\n    }\n}")));

    // Once read from the device, a save of the same values says when.
    ClickButton(dlg, QStringLiteral("id1003"));
    m_line->Deliver(QByteArray(1, '\x46') +
                    QByteArray::fromHex("0000000001A1CAC1010203040"
                                        "50A010300") +
                    QByteArray("X"));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    chosen = m_dir.filePath(QStringLiteral("read.json"));
    ClickButton(dlg, QStringLiteral("buttonSaveParameters"));
    const ParameterSetResult read = ReadParameterSetFile(chosen, 1);
    QVERIFY2(read.Ok(), qPrintable(read.error));
    QVERIFY(read.set.provenance.readAt.isValid());
    QVERIFY(qAbs(read.set.provenance.readAt.secsTo(QDateTime::currentDateTime())) < 600);
    // A value changed since: no longer what the device held.
    List(dlg, 1021)->setCurrentIndex(1);
    chosen = m_dir.filePath(QStringLiteral("changed.json"));
    ClickButton(dlg, QStringLiteral("buttonSaveParameters"));
    QVERIFY(!ReadParameterSetFile(chosen, 1).set.provenance.readAt.isValid());
    // A file that cannot be written: a message, and the old file stays.
    chosen = m_dir.filePath(QStringLiteral("no/such/folder/x.json"));
    m_boxes->Clear();
    ClickButton(dlg, QStringLiteral("buttonSaveParameters"));
    QCOMPARE(m_boxes->Texts().size(), 1);
    QVERIFY(m_boxes->Texts().front().startsWith(
        QStringLiteral("参数文件 x.json 未能保存：\n无法写入参数文件：")));
}

void TestParameterFile::compareWithDialogReadsAndWritesNothing_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QByteArray>("reply");  // the device's read reply
    QTest::addColumn<QStringList>("rows");  // caption|device|dialog; none: the same
    // The dialog shows 200 kHz with the defaults (kFileA).
    const QByteArray wordsA = QByteArray::fromHex(
        "000000000028F5C3000000000028E608000000000029057D0000000000291538"
        "000000000028D64D000000000028C69300000000002924F2000000000028B6D8");
    QTest::newRow("A same") << 0 << wordsA + QByteArray::fromHex("000000000505") + "X"
                            << QStringList{};
    QTest::newRow("A two delays") << 0 << wordsA + QByteArray::fromHex("000300000509") + "X"
                                  << QStringList{"命令1输入延时|3ms|0ms(默认)",
                                                 "功放过载告警延时|900ms|500ms(默认)"};
    QTest::newRow("A derived word only")
        << 0
        << QByteArray::fromHex("000000000028F5C3000000000028E609") + wordsA.mid(16) +
               QByteArray::fromHex("000000000505") + "X"
        << QStringList{"原始帧|字节 15：09|字节 15：08"};
    // The dialog shows 40 kHz and kSelectionsB (kFileB).
    QTest::newRow("B frequency and blocking")
        << 1
        << QByteArray::fromHex(
               "46"
               "0000000002000000"
               "0102030405"
               "0A010301") +
               "X"
        << QStringList{"中心频率|500 kHz|40 kHz", "信噪比告警闭锁命令|闭锁命令(默认)|不闭锁命令"};
}

void TestParameterFile::compareWithDialogReadsAndWritesNothing() {
    QFETCH(int, variant);
    QFETCH(QByteArray, reply);
    QFETCH(QStringList, rows);
    auto dlg = MakeParameterDialog(variant);
    dlg->show();
    FrequencyBox(*dlg)->setText(variant == 0 ? QStringLiteral("200") : QStringLiteral("40"));
    SetLists(*dlg, variant, variant == 0 ? kSelectionsA : kSelectionsB);
    ClickButton(*dlg, QStringLiteral("buttonCompareShown"));
    QCOMPARE(m_line->Written(), variant == 0 ? QByteArray("FFX") : QByteArray("FSX"));
    QVERIFY(dlg->ComparisonPending());

    ComparisonCloser closer;
    m_line->Deliver(reply);
    if (rows.isEmpty()) {
        QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("装置参数与对话框所示一致!")});
        QVERIFY(closer.Lists().isEmpty());
    } else {
        QTRY_COMPARE(closer.Lists().size(), 1);
        QVERIFY(m_boxes->Texts().isEmpty());
        QCOMPARE(closer.Lists()[0].rows, rows);
        QCOMPARE(closer.Lists()[0].heading, QStringLiteral("装置参数与对话框所示不同的项："));
        QCOMPARE(closer.Lists()[0].otherTitle, QStringLiteral("对话框"));
    }
    // The dialog still shows its own values; nothing but the read went out.
    QCOMPARE(FrequencyBox(*dlg)->text(),
             variant == 0 ? QStringLiteral("200") : QStringLiteral("40"));
    QCOMPARE(ShownLists(*dlg, variant), variant == 0 ? kSelectionsA : kSelectionsB);
    QCOMPARE(m_line->Written(), variant == 0 ? QByteArray("FFX") : QByteArray("FSX"));
    QVERIFY(dlg->Exchange().Idle());
    QVERIFY(!dlg->ComparisonPending());
}

void TestParameterFile::compareWithFile() {
    CTransmitterParamDlg dlg;
    dlg.show();
    const QString path = WriteFile(QStringLiteral("site.json"), kFileA);
    dlg.SetFileChooser([path](QWidget*, bool, const QString&) { return path; });
    FrequencyBox(dlg)->setText(QStringLiteral("5"));
    ClickButton(dlg, QStringLiteral("buttonCompareFile"));
    QCOMPARE(m_line->Written(), QByteArray("FFX"));
    ComparisonCloser closer;
    // The device is at 1234 kHz with input delay 1 at 3 ms.
    m_line->Deliver(QByteArray::fromHex("0000000000FCB9240000000000FCA9690000000000FCC8DE"
                                        "0000000000FCD8990000000000FC99AF0000000000FC89F4"
                                        "0000000000FCE8530000000000FC7A3A000300000505") +
                    "X");
    QTRY_COMPARE(closer.Lists().size(), 1);
    QCOMPARE(closer.Lists()[0].rows,
             (QStringList{"中心频率|1234 kHz|200 kHz", "命令1输入延时|3ms|0ms(默认)"}));
    QCOMPARE(closer.Lists()[0].heading, QStringLiteral("装置参数与文件 site.json 不同的项："));
    QCOMPARE(closer.Lists()[0].otherTitle, QStringLiteral("文件"));
    QCOMPARE(FrequencyBox(dlg)->text(), QStringLiteral("5"));
    QVERIFY(m_boxes->Texts().isEmpty());

    // A bad file: its message, and nothing is read.
    const QString bad = WriteFile(QStringLiteral("site-b.json"), kFileB);
    dlg.SetFileChooser([bad](QWidget*, bool, const QString&) { return bad; });
    m_line->ClearWritten();
    ClickButton(dlg, QStringLiteral("buttonCompareFile"));
    QCOMPARE(m_boxes->Texts(),
             QStringList{QStringLiteral("参数文件 site-b.json 未能载入：\n字段 \"device\" 为 "
                                        "\"KPB-650\"：这是 KPB-650 的参数，不能用于 KPA-650")});
    QVERIFY(m_line->Written().isEmpty());
    QVERIFY(!dlg.ComparisonPending());
}

void TestParameterFile::readAfterUnansweredComparisonShowsTheReading() {
    CReceiverParamDlg dlg;
    dlg.show();
    FrequencyBox(dlg)->setText(QStringLiteral("40"));
    ClickButton(dlg, QStringLiteral("buttonCompareShown"));
    QVERIFY(dlg.ComparisonPending());
    // No answer: the comparison ends with the request. The next read is a reading.
    QTRY_COMPARE_WITH_TIMEOUT(
        m_boxes->Texts(), QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")},
        5000);
    QVERIFY(!dlg.ComparisonPending());
    m_boxes->Clear();
    ClickButton(dlg, QStringLiteral("id1003"));
    m_line->Deliver(QByteArray::fromHex("46"
                                        "0000000002000000"
                                        "0000000000000001"
                                        "01") +
                    "X");
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    QCOMPARE(FrequencyBox(dlg)->text(), QStringLiteral("500"));

    // Closing the dialog also ends a comparison that got no reply.
    ClickButton(dlg, QStringLiteral("buttonCompareShown"));
    QVERIFY(dlg.ComparisonPending());
    ClickButton(dlg, QStringLiteral("id1"));
    QVERIFY(!dlg.ComparisonPending());
}

void TestParameterFile::lastFolderIsRemembered() {
    QTemporaryDir first;
    QTemporaryDir second;
    QStringList starts;
    QString answer = first.filePath(QStringLiteral("one.json"));
    {
        CTransmitterParamDlg dlg;
        dlg.show();
        dlg.SetFileChooser([&](QWidget*, bool, const QString& start) {
            starts << start;
            return answer;
        });
        FrequencyBox(dlg)->setText(QStringLiteral("200"));
        ClickButton(dlg, QStringLiteral("buttonSaveParameters"));
        answer = second.filePath(QStringLiteral("one.json"));
        QFile::copy(first.filePath(QStringLiteral("one.json")), answer);
        ClickButton(dlg, QStringLiteral("buttonLoadParameters"));
    }
    // Another dialog, later: it starts where the last file was chosen.
    CReceiverParamDlg other;
    other.show();
    FrequencyBox(other)->setText(QStringLiteral("40"));
    other.SetFileChooser([&](QWidget*, bool, const QString& start) {
        starts << start;
        return QString();
    });
    ClickButton(other, QStringLiteral("buttonCompareFile"));
    ClickButton(other, QStringLiteral("buttonSaveParameters"));
    QCOMPARE(starts.size(), 4);
    QCOMPARE(starts[1], first.path());
    QCOMPARE(starts[2], second.path());
    QCOMPARE(QFileInfo(starts[3]).absolutePath(), second.path());
    QCOMPARE(QFileInfo(starts[3]).fileName(),
             QStringLiteral("KPB-650参数-%1.json").arg(QDate::currentDate().toString(Qt::ISODate)));
    QVERIFY(m_line->Written().isEmpty());
}

QTEST_MAIN(TestParameterFile)
#include "tst_parameter_file.moc"
