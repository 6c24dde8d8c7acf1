#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QtTest>

#include <memory>

#include "app/main_frame.h"
#include "common/globals.h"
#include "link/exchange.h"
#include "link/fake_serial_line.h"
#include "link/hex_text.h"
#include "link/ms_comm.h"
#include "link/open_port.h"
#include "settings/receiver_codec.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_codec.h"
#include "settings/transmitter_param_dlg.h"
#include "support/test_support.h"

namespace {

QByteArray Bytes(const QString& hexText) {
    QByteArray bytes;
    for (const QByteArray& one : HexTextWrites(hexText)) {
        bytes += one;
    }
    return bytes;
}

const QByteArray kEnd("X");

QLineEdit* Frequency(QDialog& dlg) {
    return dlg.findChild<QLineEdit*>(QStringLiteral("id1006"));
}

QComboBox* List(QDialog& dlg, int id) {
    return dlg.findChild<QComboBox*>(QStringLiteral("id%1").arg(id));
}

void Click(QDialog& dlg, int id) {
    auto* button = dlg.findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
    QVERIFY(button);
    button->click();
}

// Where each list's index travels: list id and byte of the frame, in frame order.
using ListBytes = std::vector<std::pair<int, int>>;
const ListBytes kTransmitterListBytes{{1007, 64}, {1008, 65}, {1012, 66},
                                      {1013, 67}, {1010, 68}, {1014, 69}};
const ListBytes kReceiverListBytes{{1009, 8},  {1008, 9},  {1014, 10}, {1012, 11}, {1015, 12},
                                   {1013, 13}, {1007, 14}, {1010, 15}, {1021, 16}};

const ListBytes& ListBytesOf(int variant) {
    return variant == 0 ? kTransmitterListBytes : kReceiverListBytes;
}

// The frame a write of `text` with the dialog's default lists sends.
QString DefaultFrame(const ParameterCodec& codec, const QString& text) {
    const std::vector<int> defaults = codec.frameBytes == 70
                                          ? std::vector<int>{0, 0, 0, 0, 5, 5}
                                          : std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1, 1};
    return codec.buildFrame(text, defaults).frame;
}

// A frame's byte as received text.
QString ByteText(int value) {
    return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
}

// The reply of a device: the receiver's starts with a leading byte.
QByteArray Reply(const ParameterCodec& codec, const QString& frame, char trailer = 'X') {
    QByteArray reply = codec.leadingByte ? QByteArray(1, '\x06') : QByteArray();
    return reply + Bytes(frame) + QByteArray(1, trailer);
}

std::unique_ptr<CParameterDlg> MakeDialog(int variant) {
    if (variant == 0) {
        return std::make_unique<CTransmitterParamDlg>();
    }
    return std::make_unique<CReceiverParamDlg>();
}

}  // namespace

class TestParameterDlg : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void controls_data();
    void controls();
    void everyItemTextFits_data();
    void everyItemTextFits();
    void fileRowHasTheDialogsMargins_data();
    void fileRowHasTheDialogsMargins();
    void toolTips_data();
    void toolTips();
    void labels_data();
    void labels();
    void writeSendsCommandFrameEndByte_data();
    void writeSendsCommandFrameEndByte();
    void refusedTextsSendNothing_data();
    void refusedTextsSendNothing();
    void goodEchoConfigures_data();
    void goodEchoConfigures();
    void badReplyIsRepeatedAtOnce_data();
    void badReplyIsRepeatedAtOnce();
    void listsTravelAtTheirBytes_data();
    void listsTravelAtTheirBytes();
    void readShowsValues_data();
    void readShowsValues();
    void readWithBadTrailerIsRepeated_data();
    void readWithBadTrailerIsRepeated();
    void readBeyondListIsNoReading_data();
    void readBeyondListIsNoReading();
    void refusalAloneVersusInsideReply_data();
    void refusalAloneVersusInsideReply();
    void lone5AInTheMiddleOfAReplyIsData();
    void receiverLeadingByteAlone();
    void staleBytesAreNotTakenForTheReply();
    void timeOutRestoresFrequency_data();
    void timeOutRestoresFrequency();
    void eachShowingReinitialises();
    void closeAndEscapeReleasePort();
    void openFailureIsReported();
    void mainFrameOpensDialogByVariant_data();
    void mainFrameOpensDialogByVariant();

private:
    std::unique_ptr<FakeSerialLine> m_line;
    std::unique_ptr<MessageBoxRecorder> m_boxes;
};

void TestParameterDlg::init() {
    m_line = std::make_unique<FakeSerialLine>();
    m_boxes = std::make_unique<MessageBoxRecorder>();
}

void TestParameterDlg::cleanup() {
    m_boxes.reset();
    m_line.reset();
}

void TestParameterDlg::controls_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("items");
    QTest::addColumn<int>("selected");
    const QStringList alarmA{"0ms",   "100ms", "200ms", "300ms", "400ms", "500ms(默认)",
                             "600ms", "700ms", "800ms", "900ms", "1000ms"};
    const QStringList input{"0ms(默认)", "1ms", "2ms", "3ms", "4ms", "5ms",
                            "6ms",       "7ms", "8ms", "9ms", "10ms"};
    const QStringList widening{"0ms(默认)", "10ms", "20ms", "30ms", "40ms", "50ms",
                               "60ms",      "70ms", "80ms", "90ms", "100ms"};
    QTest::newRow("A 1007") << 0 << 1007 << QStringList{"FSK方式：", "编码方式："} << 0;
    QTest::newRow("A 1010") << 0 << 1010 << alarmA << 5;
    QTest::newRow("A 1014") << 0 << 1014 << alarmA << 5;
    QTest::newRow("A 1008") << 0 << 1008 << input << 0;
    QTest::newRow("A 1013") << 0 << 1013 << input << 0;
    QTest::newRow("B 1007") << 1 << 1007 << QStringList{"FSK方式", "编码方式"} << 0;
    QTest::newRow("B 1010") << 1 << 1010 << QStringList{"0ms", "500ms(默认)", "1s", "2s"} << 1;
    QTest::newRow("B 1021") << 1 << 1021 << QStringList{"不闭锁命令", "闭锁命令(默认)"} << 1;
    QTest::newRow("B 1015") << 1 << 1015 << input << 0;
    QTest::newRow("B 1012") << 1 << 1012 << widening << 0;
}

void TestParameterDlg::controls() {
    QFETCH(int, variant);
    QFETCH(int, id);
    QFETCH(QStringList, items);
    QFETCH(int, selected);
    auto dlg = MakeDialog(variant);
    dlg->show();
    QCOMPARE(dlg->objectName(), variant == 0 ? QStringLiteral("dlg134") : QStringLiteral("dlg142"));
    QCOMPARE(dlg->windowTitle(),
             variant == 0 ? QStringLiteral("KPA-650参数") : QStringLiteral("KPB-650参数"));
    QComboBox* list = List(*dlg, id);
    QVERIFY(list);
    QStringList shown;
    for (int i = 0; i < list->count(); ++i) {
        shown << list->itemText(i);
    }
    QCOMPARE(shown, items);
    QCOMPARE(list->currentIndex(), selected);
    QCOMPARE(list->isVisible(), id != 1007);  // the work mode stays hidden
    QVERIFY(dlg->findChild<CMSComm*>(QStringLiteral("id1004")));
    QVERIFY(Frequency(*dlg)->toolTip().contains(variant == 0 ? "DDS" : "DSP"));
}

void TestParameterDlg::everyItemTextFits_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("id");
    QTest::addColumn<QRect>("geometry");
    // The lists' rectangles in pixels: dialog units times 1.5 (the dialog font's 6 by 12).
    const std::vector<std::pair<int, QRect>> a{
        {1007, {300, 25, 75, 18}}, {1010, {87, 87, 108, 18}},  {1014, {267, 87, 108, 18}},
        {1008, {87, 165, 90, 18}}, {1012, {186, 165, 90, 18}}, {1013, {285, 165, 90, 18}}};
    const std::vector<std::pair<int, QRect>> b{
        {1007, {300, 22, 90, 18}}, {1010, {87, 79, 108, 18}},  {1021, {282, 79, 108, 18}},
        {1009, {87, 147, 90, 18}}, {1014, {189, 147, 90, 18}}, {1015, {291, 147, 90, 18}},
        {1008, {87, 174, 90, 18}}, {1012, {189, 174, 90, 18}}, {1013, {291, 174, 90, 18}}};
    for (const auto& [id, rect] : a) {
        QTest::addRow("A %d", id) << 0 << id << rect;
    }
    for (const auto& [id, rect] : b) {
        QTest::addRow("B %d", id) << 1 << id << rect;
    }
}

void TestParameterDlg::fileRowHasTheDialogsMargins_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("top");     // pixels: the gap above as between groups and buttons
    QTest::addColumn<int>("height");  // ... and the margin below as below the buttons
    QTest::newRow("A") << 0 << 238 << 271;
    QTest::newRow("B") << 1 << 244 << 274;
}

// The added row keeps clear of the edges and each text of its button's border.
void TestParameterDlg::fileRowHasTheDialogsMargins() {
    QFETCH(int, variant);
    QFETCH(int, top);
    QFETCH(int, height);
    auto dlg = MakeDialog(variant);
    dlg->show();
    QCOMPARE(dlg->height(), height);
    int right = 0;
    for (const char* name : {"buttonSaveParameters", "buttonLoadParameters", "buttonCompareShown",
                             "buttonCompareFile"}) {
        auto* button = dlg->findChild<QPushButton*>(QLatin1String(name));
        QVERIFY2(button, name);
        QCOMPARE(button->y(), top);
        QCOMPARE(button->height(), 21);
        QVERIFY(button->x() > right);
        right = button->geometry().right();
        QStyleOptionButton option;
        option.initFrom(button);
        const QRect contents =
            button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        QVERIFY2(contents.width() >= button->fontMetrics().horizontalAdvance(button->text()) + 6,
                 qPrintable(button->text()));
    }
    QVERIFY(right <= dlg->width() - 10);
}

// At the lists' own sizes the closed list shows each item whole: the label is drawn in the
// style's edit field less a pixel either side.
void TestParameterDlg::everyItemTextFits() {
    QFETCH(int, variant);
    QFETCH(int, id);
    QFETCH(QRect, geometry);
    auto dlg = MakeDialog(variant);
    dlg->show();
    QComboBox* list = List(*dlg, id);
    QVERIFY(list);
    QCOMPARE(list->geometry(), geometry);  // neither moved nor resized
    QStyleOptionComboBox option;
    option.initFrom(list);
    option.frame = true;
    const QRect field = list->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                      QStyle::SC_ComboBoxEditField, list);
    QVERIFY(list->count() > 0);
    for (int i = 0; i < list->count(); ++i) {
        const int needed = list->fontMetrics().horizontalAdvance(list->itemText(i));
        QVERIFY2(
            needed <= field.width() - 2,
            qPrintable(
                QString("%1: %2 > %3").arg(list->itemText(i)).arg(needed).arg(field.width() - 2)));
    }
}

void TestParameterDlg::toolTips_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("tip");
    const QString inputDelay = QStringLiteral(
        "设置输入延时将会消除命令输入的抖动，但是该设置会增加命令的传输时间，默认设置为：0ms");
    for (const int id : {1008, 1012, 1013}) {
        QTest::addRow("A %d", id) << 0 << id << inputDelay;
    }
    QTest::newRow("A 1006") << 0 << 1006
                            << QStringLiteral(
                                   "该项设置可以改变DDS插件的工作频率，"
                                   "注：该设置不能修改整机的工作频率！");
    QTest::newRow("A 1010") << 0 << 1010
                            << QStringLiteral(
                                   "设置功放过低告警延时的时间会使该告警信号延时输出，"
                                   "默认设置为：0ms");
    QTest::newRow("A 1014") << 0 << 1014
                            << QStringLiteral(
                                   "设置功放过载告警延时的时间会使该告警信号延时输出，"
                                   "默认设置为：0ms");
    const QString discrimination = QStringLiteral(
        "设置判别时间将会消除命令输出的抖动，但是该设置会增加命令的传输时间，默认设置为：0ms");
    for (const int id : {1009, 1014, 1015}) {
        QTest::addRow("B %d", id) << 1 << id << discrimination;
    }
    const QString widening =
        QStringLiteral("设置输出展宽的时间会使命令输出时间加长， 默认设置为：0ms");
    for (const int id : {1008, 1012, 1013}) {
        QTest::addRow("B %d", id) << 1 << id << widening;
    }
    QTest::newRow("B 1010") << 1 << 1010
                            << QStringLiteral(
                                   "设置通道故障告警延时的时间会使该告警信号延时输出，"
                                   "默认设置为：0ms");
    QTest::newRow("B 1021") << 1 << 1021
                            << QStringLiteral(
                                   "当设置为“信噪比告警闭锁命令输出”时：在信噪比告警时，"
                                   "命令输出将被闭锁。默认设置为：不闭锁命令输出。");
    QTest::newRow("B 1006") << 1 << 1006
                            << QStringLiteral(
                                   "该项设置可以改变DSP插件的工作频率，"
                                   "注：该设置不能修改整机的工作频率！");
    QTest::newRow("A 1007 none") << 0 << 1007 << QString();
    QTest::newRow("B 1007 none") << 1 << 1007 << QString();
}

void TestParameterDlg::toolTips() {
    QFETCH(int, variant);
    QFETCH(int, id);
    QFETCH(QString, tip);
    auto dlg = MakeDialog(variant);
    dlg->show();
    auto* control = dlg->findChild<QWidget*>(QStringLiteral("id%1").arg(id));
    QVERIFY(control);
    QCOMPARE(control->toolTip(), tip);
}

// Every static text, blanks and full- or half-width colons as the operator sees them; the work
// mode's label stays hidden with its list.
void TestParameterDlg::labels_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("visible");
    QTest::addColumn<QStringList>("hidden");
    QTest::addColumn<QStringList>("buttons");
    const QStringList buttons{"写入", "读出", "取消"};
    QTest::newRow("A") << 0
                       << QStringList{"中心频率:", "kHz",     "功放过低", "告警延时:", "功放过载",
                                      "告警延时:", "命令1：", "命令2：",  "命令3：",   "输入延时:"}
                       << QStringList{"工作方式："} << buttons;
    QTest::newRow("B") << 1 << QStringList{"中心频率:",  "kHz",      "告警延时:", "信噪比告警 ",
                                           "闭锁命令：", "命令1：",  "命令2：",   "命令3：",
                                           "判别时间:",  "输出展宽:"}
                       << QStringList{"工作方式:"} << buttons;
}

void TestParameterDlg::labels() {
    QFETCH(int, variant);
    QFETCH(QStringList, visible);
    QFETCH(QStringList, hidden);
    QFETCH(QStringList, buttons);
    auto dlg = MakeDialog(variant);
    dlg->show();
    QStringList shown;
    QStringList notShown;
    for (const QLabel* label : dlg->findChildren<QLabel*>()) {
        (label->isVisible() ? shown : notShown) << label->text();
    }
    shown.sort();
    visible.sort();
    QCOMPARE(shown, visible);
    QCOMPARE(notShown, hidden);
    for (int i = 0; i < buttons.size(); ++i) {
        auto* button = dlg->findChild<QPushButton*>(
            QStringLiteral("id%1").arg(std::array<int, 3>{kIdWrite, kIdRead, kIdClose}[i]));
        QVERIFY(button);
        QCOMPARE(button->text(), buttons[i]);
    }
    QVERIFY(dlg->findChild<QPushButton*>(QStringLiteral("id1"))->isDefault());
}

void TestParameterDlg::writeSendsCommandFrameEndByte_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("frame");
    QTest::newRow("A 200 kHz") << 0 << "200"
                               << "00 00 00 00 00 28 F5 C3 00 00 00 00 00 28 E6 08 ";
    QTest::newRow("A 0200 kHz") << 0 << "0200"
                                << "00 00 00 00 00 28 F5 C3 00 00 00 00 00 28 E6 08 ";
    QTest::newRow("B 500 kHz") << 1 << "500"
                               << "00 00 00 00 02 00 00 00 00 00 00 00 00 00 00 01 01 ";
    QTest::newRow("B 40 kHz") << 1 << "40"
                              << "00 00 00 00 01 A1 CA C1 00 00 00 00 00 00 00 01 01 ";
}

void TestParameterDlg::writeSendsCommandFrameEndByte() {
    QFETCH(int, variant);
    QFETCH(QString, text);
    QFETCH(QString, frame);
    auto dlg = MakeDialog(variant);
    dlg->show();
    QVERIFY(m_line->IsOpen());
    Frequency(*dlg)->setText(text);
    Click(*dlg, 1011);
    const QByteArray command = variant == 0 ? QByteArray("AF") : QByteArray("AS");
    const QByteArray written = m_line->Written();
    const int frameBytes = dlg->Codec().frameBytes;
    QCOMPARE(written.size(), 2 + frameBytes + 1);
    QCOMPARE(m_line->Writes().size(), written.size());  // one write per byte
    QVERIFY(written.startsWith(command));
    QVERIFY(written.endsWith(kEnd));
    QVERIFY(written.mid(2, frameBytes).startsWith(Bytes(frame)));
    if (variant == 0) {
        QCOMPARE(written.mid(2 + 64, 6), QByteArray::fromHex("000000000505"));
    }
    QCOMPARE(dlg->Exchange().pending, QString::fromLatin1(command.toHex(' ').toUpper()));
    QVERIFY(dlg->Busy());
    // While the reply is awaited a second press sends nothing.
    Click(*dlg, 1011);
    Click(*dlg, 1003);
    QCOMPARE(m_line->Written(), written);
    QVERIFY(m_boxes->Texts().isEmpty());
}

void TestParameterDlg::refusedTextsSendNothing_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("A empty") << 0 << "" << QStringLiteral("中心频率值不能为空!");
    QTest::newRow("A letters") << 0 << "20O" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("A 0 kHz") << 0 << "0" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("A 1 kHz") << 0 << "1" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("A 320000") << 0 << "320000" << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("A forty digits")
        << 0 << QString(40, '7') << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("B empty") << 1 << "" << QStringLiteral("中心频率值不能为空!");
    QTest::newRow("B space") << 1 << "5 00" << QStringLiteral("请输入正确的中心频率值!");
    QTest::newRow("B 81918000") << 1 << "81918000"
                                << QStringLiteral("中心频率植超过上限，请重新输入!");
    QTest::newRow("B forty digits")
        << 1 << QString(40, '9') << QStringLiteral("中心频率植超过上限，请重新输入!");
}

void TestParameterDlg::refusedTextsSendNothing() {
    QFETCH(int, variant);
    QFETCH(QString, text);
    QFETCH(QString, message);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(text);
    Click(*dlg, 1011);
    QCOMPARE(m_boxes->Texts(), QStringList{message});
    QVERIFY(m_line->Written().isEmpty());
    QVERIFY(!dlg->Busy());
    QCOMPARE(dlg->FrequencyText(), text);  // taken from the box all the same
}

void TestParameterDlg::goodEchoConfigures_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("chunk");  // bytes per receive event
    QTest::newRow("A 319999 whole") << 0 << "319999" << 1000;
    QTest::newRow("A 200 byte by byte") << 0 << "200" << 1;
    QTest::newRow("A 200 in sevens") << 0 << "200" << 7;
    QTest::newRow("B 500 whole") << 1 << "500" << 1000;
    QTest::newRow("B 81917999 byte by byte") << 1 << "81917999" << 1;
    QTest::newRow("B 0 in fives") << 1 << "0" << 5;
}

void TestParameterDlg::goodEchoConfigures() {
    QFETCH(int, variant);
    QFETCH(QString, text);
    QFETCH(int, chunk);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(text);
    Click(*dlg, 1011);
    const QByteArray reply = Reply(dlg->Codec(), dlg->Exchange().frame);
    for (int i = 0; i < reply.size(); i += chunk) {
        QVERIFY(m_boxes->Texts().isEmpty());
        m_line->Deliver(reply.mid(i, chunk));
    }
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("配置成功!")});
    QVERIFY(dlg->Exchange().Idle());
    QVERIFY(!dlg->Busy());
    QCOMPARE(m_line->Written().size(), 2 + dlg->Codec().frameBytes + 1);  // sent once
}

void TestParameterDlg::badReplyIsRepeatedAtOnce_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("wrongByte");   // -1: wrong trailer instead
    QTest::addColumn<int>("badReplies");  // 5 or more: the write is given up
    QTest::newRow("A first byte") << 0 << 0 << 3;
    QTest::newRow("A last byte") << 0 << 69 << 1;
    QTest::newRow("A trailer") << 0 << -1 << 4;
    QTest::newRow("A echo never right") << 0 << 5 << 5;
    QTest::newRow("B word byte") << 1 << 7 << 2;
    QTest::newRow("B last byte") << 1 << 16 << 4;
    QTest::newRow("B trailer") << 1 << -1 << 1;
    QTest::newRow("B trailer never right") << 1 << -1 << 5;
}

void TestParameterDlg::badReplyIsRepeatedAtOnce() {
    QFETCH(int, variant);
    QFETCH(int, wrongByte);
    QFETCH(int, badReplies);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("300"));
    Click(*dlg, 1011);
    const QByteArray request = m_line->Written();
    const QString frame = dlg->Exchange().frame;
    QByteArray bad = Reply(dlg->Codec(), frame, wrongByte < 0 ? 'Y' : 'X');
    if (wrongByte >= 0) {
        const int at = (dlg->Codec().leadingByte ? 1 : 0) + wrongByte;
        bad[at] = static_cast<char>(bad[at] ^ 0x01);
    }
    for (int round = 1; round <= badReplies && round < 5; ++round) {
        m_line->ClearWritten();
        m_line->Deliver(bad);
        QTRY_COMPARE(m_line->Written(), request);  // the whole request again
        QVERIFY(m_boxes->Texts().isEmpty());
        QVERIFY(!dlg->Exchange().Idle());
    }
    m_line->ClearWritten();
    if (badReplies >= 5) {
        // Five tries in all, then the operator is told and nothing counts as written.
        m_line->Deliver(bad);
        QTRY_COMPARE(m_boxes->Texts(),
                     QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")});
        QVERIFY(m_line->Written().isEmpty());
        QVERIFY(dlg->Exchange().Idle());
        return;
    }
    m_line->Deliver(Reply(dlg->Codec(), frame));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("配置成功!")});
    QVERIFY(m_line->Written().isEmpty());
}

void TestParameterDlg::listsTravelAtTheirBytes_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<std::vector<int>>("indexes");  // per list, in the order of ListBytesOf
    QTest::newRow("A") << 0 << std::vector<int>{1, 2, 3, 4, 6, 7};
    QTest::newRow("B") << 1 << std::vector<int>{1, 2, 3, 4, 5, 6, 1, 2, 0};
}

// Each list, found by its id, sends its index in its own byte and shows the index read from it.
void TestParameterDlg::listsTravelAtTheirBytes() {
    QFETCH(int, variant);
    QFETCH(std::vector<int>, indexes);
    const ListBytes& lists = ListBytesOf(variant);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("300"));
    for (std::size_t i = 0; i < lists.size(); ++i) {
        List(*dlg, lists[i].first)->setCurrentIndex(indexes[i]);
    }
    Click(*dlg, 1011);
    const QByteArray written = m_line->Written();
    for (std::size_t i = 0; i < lists.size(); ++i) {
        QCOMPARE(int(written.at(2 + lists[i].second)), indexes[i]);
    }

    // A new showing: the lists are back at their defaults until the read brings the values.
    Click(*dlg, 1);
    dlg->show();
    Click(*dlg, 1003);
    QString frame = DefaultFrame(dlg->Codec(), QStringLiteral("300"));
    for (std::size_t i = 0; i < lists.size(); ++i) {
        frame.replace(3 * lists[i].second, 2, ByteText(indexes[i]));
    }
    m_line->Deliver(Reply(dlg->Codec(), frame));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    for (std::size_t i = 0; i < lists.size(); ++i) {
        QCOMPARE(List(*dlg, lists[i].first)->currentIndex(), indexes[i]);
    }
}

void TestParameterDlg::readShowsValues_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("text");
    QTest::addColumn<std::vector<int>>("selections");
    QTest::newRow("A 200") << 0 << "200" << std::vector<int>{1, 3, 10, 0, 2, 9};
    QTest::newRow("A 319999") << 0 << "319999" << std::vector<int>{0, 0, 0, 0, 5, 5};
    QTest::newRow("B 40") << 1 << "40" << std::vector<int>{1, 2, 3, 4, 5, 10, 1, 3, 0};
    QTest::newRow("B 0") << 1 << "0" << std::vector<int>{0, 0, 0, 0, 0, 0, 0, 1, 1};
}

void TestParameterDlg::readShowsValues() {
    QFETCH(int, variant);
    QFETCH(QString, text);
    QFETCH(std::vector<int>, selections);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Click(*dlg, 1003);
    QCOMPARE(m_line->Written(), variant == 0 ? QByteArray("FFX") : QByteArray("FSX"));
    QVERIFY(dlg->Busy());
    const QString frame = dlg->Codec().buildFrame(text, selections).frame;
    m_line->Deliver(Reply(dlg->Codec(), frame));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    QCOMPARE(Frequency(*dlg)->text(), text);
    QCOMPARE(dlg->FrequencyText(), text);
    const ListBytes& lists = ListBytesOf(variant);
    QCOMPARE(selections.size(), lists.size());
    for (std::size_t i = 0; i < selections.size(); ++i) {
        QCOMPARE(List(*dlg, lists[i].first)->currentIndex(), selections[i]);
    }
    QVERIFY(dlg->Exchange().Idle());
    QVERIFY(!dlg->Busy());
    // Writing straight back sends what was read.
    m_line->ClearWritten();
    Click(*dlg, 1011);
    QCOMPARE(m_line->Written().mid(2, dlg->Codec().frameBytes), Bytes(frame));
}

void TestParameterDlg::readWithBadTrailerIsRepeated_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("A") << 0;
    QTest::newRow("B") << 1;
}

void TestParameterDlg::readWithBadTrailerIsRepeated() {
    QFETCH(int, variant);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Click(*dlg, 1003);
    const QByteArray request = m_line->Written();
    m_line->ClearWritten();
    const QString frame = DefaultFrame(dlg->Codec(), QStringLiteral("700"));
    m_line->Deliver(Reply(dlg->Codec(), frame, 'Z'));
    QTRY_COMPARE(m_line->Written(), request);
    QVERIFY(m_boxes->Texts().isEmpty());
    QVERIFY(Frequency(*dlg)->text().isEmpty());
    m_line->Deliver(Reply(dlg->Codec(), frame));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    QCOMPARE(Frequency(*dlg)->text(), QStringLiteral("700"));
}

void TestParameterDlg::readBeyondListIsNoReading_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("id");
    QTest::addColumn<int>("at");  // byte of the frame
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("defaultIndex");
    QTest::newRow("A 1008 gets 11") << 0 << 1008 << 65 << 11 << 0;
    QTest::newRow("A 1010 gets 200") << 0 << 1010 << 68 << 200 << 5;
    QTest::newRow("B 1021 gets 2") << 1 << 1021 << 16 << 2 << 1;
    QTest::newRow("B 1007 gets 255") << 1 << 1007 << 14 << 255 << 0;
    QTest::newRow("B 1010 gets 4") << 1 << 1010 << 15 << 4 << 1;
}

void TestParameterDlg::readBeyondListIsNoReading() {
    QFETCH(int, variant);
    QFETCH(int, id);
    QFETCH(int, at);
    QFETCH(int, value);
    QFETCH(int, defaultIndex);
    auto dlg = MakeDialog(variant);
    dlg->show();
    const ParameterCodec& codec = dlg->Codec();
    QComboBox* list = List(*dlg, id);
    list->setCurrentIndex(defaultIndex == 0 ? 1 : 0);  // neither what arrives nor the default
    Click(*dlg, 1003);
    QString frame = DefaultFrame(codec, QStringLiteral("250"));
    frame.replace(3 * at, 2, ByteText(value));
    // No device holds such a byte: every try brings the impossible value, and nothing of it
    // reaches the controls.
    for (int round = 0; round < 5; ++round) {
        QTRY_COMPARE(m_line->Written().size(), 3 * (round + 1));
        m_line->Deliver(Reply(codec, frame));
    }
    QTRY_COMPARE(m_boxes->Texts(),
                 QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")});
    QCOMPARE(list->currentIndex(), defaultIndex == 0 ? 1 : 0);
    QVERIFY(Frequency(*dlg)->text().isEmpty());
}

void TestParameterDlg::refusalAloneVersusInsideReply_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<bool>("write");
    QTest::newRow("A write") << 0 << true;
    QTest::newRow("A read") << 0 << false;
    QTest::newRow("B write") << 1 << true;
    QTest::newRow("B read") << 1 << false;
}

void TestParameterDlg::refusalAloneVersusInsideReply() {
    QFETCH(int, variant);
    QFETCH(bool, write);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("400"));
    Click(*dlg, write ? 1011 : 1003);
    const QString pending = dlg->Exchange().pending;
    m_line->ClearWritten();

    m_line->Deliver(QByteArray("Z"));
    QTRY_COMPARE(m_boxes->Texts(),
                 QStringList{QStringLiteral("请检查装置与维护软件连接是否正确!")});
    QVERIFY(!pending.isEmpty());
    QVERIFY(dlg->Exchange().Idle());  // the request has ended: the buttons work again
    QVERIFY(!dlg->Busy());
    QVERIFY(m_line->Written().isEmpty());

    // Inside a reply 0x5A is data: a reply starting with it is judged as a reply.
    m_boxes->Clear();
    Click(*dlg, write ? 1011 : 1003);
    m_line->ClearWritten();
    QByteArray reply = Reply(dlg->Codec(), DefaultFrame(dlg->Codec(), QStringLiteral("400")));
    reply[0] = 'Z';
    m_line->Deliver(reply);
    if (variant == 1) {
        // The receiver's leading byte is never examined.
        QTRY_COMPARE(m_boxes->Texts(), QStringList{write ? QStringLiteral("配置成功!")
                                                         : QStringLiteral("读取成功!")});
    } else {
        // A wrong echo, or a frequency far beyond the limit: asked again, nothing shown.
        QTRY_COMPARE(m_line->Written().left(2), write ? QByteArray("AF") : QByteArray("FF"));
        QVERIFY(m_boxes->Texts().isEmpty());
        QCOMPARE(Frequency(*dlg)->text(), QStringLiteral("400"));
    }
}

void TestParameterDlg::lone5AInTheMiddleOfAReplyIsData() {
    CTransmitterParamDlg dlg;
    dlg.show();
    Click(dlg, 1003);
    // 0x5A in the third word (byte 20): it arrives alone, between the other bytes.
    QString frame = DefaultFrame(dlg.Codec(), QStringLiteral("123"));
    frame.replace(3 * 20, 2, QStringLiteral("5A"));
    const QByteArray reply = Reply(dlg.Codec(), frame);
    for (const char b : reply) {
        m_line->Deliver(QByteArray(1, b));
    }
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    QCOMPARE(Frequency(dlg)->text(), QStringLiteral("123"));
    QCOMPARE(List(dlg, 1010)->currentIndex(), 5);
}

void TestParameterDlg::receiverLeadingByteAlone() {
    CReceiverParamDlg dlg;
    dlg.show();
    Frequency(dlg)->setText(QStringLiteral("500"));
    Click(dlg, 1011);
    const QByteArray request = m_line->Written();
    const QByteArray reply = Reply(dlg.Codec(), dlg.Exchange().frame);
    m_line->ClearWritten();
    m_line->Deliver(reply.left(1));
    m_line->Deliver(reply.mid(1));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("配置成功!")});
    QVERIFY(m_line->Written().isEmpty());

    // The same for a read, and the next reply starts afresh.
    m_boxes->Clear();
    Click(dlg, 1003);
    const QString frame = DefaultFrame(dlg.Codec(), QStringLiteral("77"));
    const QByteArray readReply = Reply(dlg.Codec(), frame);
    m_line->Deliver(readReply.left(1));
    m_line->Deliver(readReply.mid(1, 9));
    m_line->Deliver(readReply.mid(10));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    QCOMPARE(Frequency(dlg)->text(), QStringLiteral("77"));
    Q_UNUSED(request);
}

void TestParameterDlg::staleBytesAreNotTakenForTheReply() {
    CTransmitterParamDlg dlg;
    dlg.show();
    // A whole read reply arrives while nothing is pending (a late answer, say).
    m_line->Deliver(Reply(dlg.Codec(), DefaultFrame(dlg.Codec(), QStringLiteral("999"))));
    QVERIFY(m_boxes->Texts().isEmpty());
    Click(dlg, 1003);
    m_line->Deliver(QByteArray(1, '\0'));  // first byte of the real reply
    QVERIFY(m_boxes->Texts().isEmpty());
    QVERIFY(Frequency(dlg)->text().isEmpty());
    const QByteArray reply = Reply(dlg.Codec(), DefaultFrame(dlg.Codec(), QStringLiteral("555")));
    m_line->Deliver(reply.mid(1));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("读取成功!")});
    QCOMPARE(Frequency(dlg)->text(), QStringLiteral("555"));
}

void TestParameterDlg::timeOutRestoresFrequency_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<bool>("write");
    QTest::newRow("A write") << 0 << true;
    QTest::newRow("B read") << 1 << false;
}

void TestParameterDlg::timeOutRestoresFrequency() {
    QFETCH(int, variant);
    QFETCH(bool, write);
    auto dlg = MakeDialog(variant);
    dlg->show();
    Frequency(*dlg)->setText(QStringLiteral("210"));
    Click(*dlg, 1011);
    m_line->Deliver(Reply(dlg->Codec(), dlg->Exchange().frame));
    QTRY_COMPARE(m_boxes->Texts(), QStringList{QStringLiteral("配置成功!")});
    m_boxes->Clear();

    Frequency(*dlg)->setText(QStringLiteral("999"));
    if (write) {
        Click(*dlg, 1011);
    } else {
        Click(*dlg, 1003);
    }
    QVERIFY(dlg->Busy());
    QTRY_COMPARE_WITH_TIMEOUT(
        m_boxes->Texts(), QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")},
        5000);
    QVERIFY(dlg->Exchange().Idle());
    // A write took 999 into the dialog; a read did not, so the box goes back to 210.
    QCOMPARE(Frequency(*dlg)->text(), write ? QStringLiteral("999") : QStringLiteral("210"));
}

void TestParameterDlg::eachShowingReinitialises() {
    CReceiverParamDlg dlg;
    dlg.show();
    QCOMPARE(m_line->OpenCount(), 1);
    Frequency(dlg)->setText(QStringLiteral("123"));
    Click(dlg, 1011);
    List(dlg, 1021)->setCurrentIndex(0);
    List(dlg, 1009)->setCurrentIndex(7);
    Frequency(dlg)->setText(QStringLiteral("456"));  // typed, never taken
    Click(dlg, 1);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!m_line->IsOpen());
    QVERIFY(dlg.Exchange().Idle());

    dlg.show();
    QCOMPARE(m_line->OpenCount(), 2);
    QVERIFY(m_line->IsOpen());
    QCOMPARE(Frequency(dlg)->text(), QStringLiteral("123"));
    QCOMPARE(List(dlg, 1021)->currentIndex(), 1);
    QCOMPARE(List(dlg, 1009)->currentIndex(), 0);
    QVERIFY(m_boxes->Texts().isEmpty());
}

void TestParameterDlg::closeAndEscapeReleasePort() {
    CTransmitterParamDlg dlg;
    dlg.show();
    Click(dlg, 1003);
    QVERIFY(dlg.Busy());
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!m_line->IsOpen());
    QVERIFY(!dlg.Busy());  // no time-out message after the dialog has gone
    dlg.show();
    QVERIFY(m_line->IsOpen());
    Click(dlg, 1);
    QVERIFY(!m_line->IsOpen());
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
}

void TestParameterDlg::openFailureIsReported() {
    m_line->SetOpenError(QStringLiteral("busy"));
    CTransmitterParamDlg dlg;
    dlg.SetPortNumber(2);
    dlg.show();
    // The dialog's own text first, then the system's reason.
    QCOMPARE(m_boxes->Texts(), QStringList{QStringLiteral("串口打开失败，请重新选择串口!\nbusy")});
    QVERIFY(!m_line->IsOpen());
    QCOMPARE(dlg.Comm().GetCommPort(), short(2));
    // The dialog stays usable: a write sends nothing.
    m_boxes->Clear();
    Frequency(dlg)->setText(QStringLiteral("200"));
    Click(dlg, 1011);
    QVERIFY(m_line->Written().isEmpty());
    // The next request tries the port again and says why it still cannot open it.
    QTRY_COMPARE(m_boxes->Texts(),
                 QStringList{QStringLiteral("串口打开失败，请重新选择串口!\nbusy")});
}

void TestParameterDlg::mainFrameOpensDialogByVariant_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("name");
    QTest::newRow("A") << 0 << "dlg134";
    QTest::newRow("B") << 1 << "dlg142";
}

void TestParameterDlg::mainFrameOpensDialogByVariant() {
    QFETCH(int, variant);
    QFETCH(QString, name);
    CMainFrame frame;
    const std::vector<int> ports = frame.DialogPortNumbers();
    QVERIFY(ports.size() >= 3);  // the port check and both parameter dialogs at least
    for (const int port : ports) {
        QCOMPARE(port, 1);
    }
    g_variant = variant;
    QString shown;
    bool portOpen = false;
    QTimer::singleShot(0, this, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal) {
            shown = modal->objectName();
            portOpen = m_line->IsOpen();
            modal->findChild<QPushButton*>(QStringLiteral("id1"))->click();
        }
    });
    frame.OnParameters();
    QCOMPARE(shown, name);
    QVERIFY(portOpen);
    QVERIFY(!m_line->IsOpen());
}

QTEST_MAIN(TestParameterDlg)
#include "tst_parameter_dlg.moc"
