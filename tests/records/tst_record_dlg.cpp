#include <QDir>
#include <QHeaderView>
#include <QScrollBar>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "common/globals.h"
#include "link/exchange.h"
#include "link/fake_serial_line.h"
#include "records/bitmap_face_button.h"
#include "records/percent_progress_ctrl.h"
#include "records/record_dlg.h"
#include "records/record_file_dialog.h"
#include "records/record_list_model.h"
#include "records/record_log.h"
#include "records/record_text_file.h"
#include "support/test_support.h"

namespace {
// One reply of the device: variant B puts a leading byte in front.
QByteArray Reply(int variant, const QByteArray& nine, int type) {
    QByteArray out;
    if (variant == kVariantB) {
        out.append(static_cast<char>(0xA5));
    }
    out += nine;
    out.append(static_cast<char>(type));
    return out;
}

QByteArray CountFrame(int variant, int count) {
    return Reply(variant, Bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x01, count}), 0x59);
}

QByteArray EndFrame(int variant) {
    return Reply(variant, QByteArray(9, '\x00'), 0x78);
}

// Nine log bytes of record i; record 0 is 25 Sep 2009 10:30:15.500, code 1.
QByteArray LogBytes(int i) {
    if (i == 0) {
        return Bytes({0x09, 0x09, 0x19, 0x0A, 0x1E, 0x0F, 0x01, 0xF4, 0x01});
    }
    return Bytes({i % 100, 1 + i % 12, 1 + i % 28, i % 24, i % 60, (7 * i) % 60, i % 3,
                  (13 * i) & 0xFF, i % 22});
}

QByteArray RecordFrame(int variant, int i, int type = 0x58) {
    return Reply(variant, LogBytes(i), type);
}

QByteArray ReadRequest(int variant) {
    return variant == kVariantA ? QByteArray("DF") : QByteArray("DS");
}

QByteArray Acknowledge(int variant) {
    return ReadRequest(variant) + (variant == kVariantA ? QByteArray("x") : QByteArray("X"));
}

// One dialog over a fake line with its own program directory.
struct Bench {
    explicit Bench(int variant) {
        g_variant = variant;
        qputenv("KP650_HOME", home.path().toLocal8Bit());
        dlg = std::make_unique<CRecordDlg>();
        dlg->show();
    }
    ~Bench() {
        dlg->reject();
        dlg.reset();
        qunsetenv("KP650_HOME");
    }
    QPushButton* Button(int id) const {
        return dlg->findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
    }
    bool FiveEnabled(bool enabled) const {
        for (int id : {1011, 1012, 1003, 1026, 1027}) {
            if (Button(id)->isEnabled() != enabled) {
                return false;
            }
        }
        return true;
    }
    std::vector<EventRecord> Temp() const { return dlg->Store().ReadAll(records::kTempTable); }
    // Reads a log of `count` records, checking each request on the wire and the bar's text.
    void ReadLog(int variant, int count, QStringList* texts = nullptr) {
        line.ClearWritten();
        QTest::mouseClick(Button(1011), Qt::LeftButton);
        QCOMPARE(line.Written(), ReadRequest(variant) + "X");
        QVERIFY(FiveEnabled(false));
        QVERIFY(Button(1)->isEnabled());
        line.ClearWritten();
        line.Deliver(CountFrame(variant, count));
        if (count == 0) {
            QCOMPARE(line.Written(), QByteArray());
            QTRY_VERIFY(!dlg->Busy());  // a count of 0 counts once the line stayed quiet
            return;
        }
        QCOMPARE(line.Written(), Acknowledge(variant));
        QCOMPARE(dlg->Progress().Lower(), count);
        QCOMPARE(dlg->Progress().Upper(), 2 * count);
        for (int i = 0; i < count; ++i) {
            line.ClearWritten();
            line.Deliver(RecordFrame(variant, i));
            QCOMPARE(line.Written(), Acknowledge(variant));
            if (texts) {
                texts->append(dlg->Progress().DisplayText());
            }
        }
        QCOMPARE(recorder.Boxes().size(), 0);
        line.ClearWritten();
        line.Deliver(EndFrame(variant));
        QCOMPARE(line.Written(), QByteArray());
        QTRY_VERIFY(!dlg->Busy());  // the end counts once the line stayed quiet
    }

    QTemporaryDir home;
    FakeSerialLine line;
    MessageBoxRecorder recorder;
    std::unique_ptr<CRecordDlg> dlg;
};
}  // namespace

class TestRecordDlg : public QObject {
    Q_OBJECT
private slots:
    void setUp();
    void openFailureSkipsDatabase();
    void readLog_data();
    void readLog();
    void progressTextsOfThree();
    void fourthRecordAfterCountOfThree();
    void badEventCode();
    void loneEndByteBeforeDataIsData();
    void variantBLeadingByteAlone();
    void splitFrames_data();
    void splitFrames();
    void refusalDuringRead();
    void refusalWithOtherBytesIsData();
    void timeoutEnablesButtons();
    void lineLostKeepsRecords();
    void readStartsFromZeroPercent();
    void clearLog_data();
    void clearLog();
    void clearDeclined();
    void archiveBeforeClear_data();
    void archiveBeforeClear();
    void selectingNeverScrollsSideways();
    void fillListFromThreeRows();
    void fillListFromEmptyTable();
    void saveAndOpenFiles();
    void cancelledFileDialogs();
    void graphHook();
    void fileDialogSettings();
    void lineLostDuringClear();
    void longTextFileOpensInSlices();
    void refusedRowsDuringSlicedOpening();
    void storeFailureBoxes_data();
    void storeFailureBoxes();
    void listKeepsRowsAsFilled();
};

void TestRecordDlg::setUp() {
    Bench b(kVariantA);
    QCOMPARE(b.dlg->objectName(), QStringLiteral("dlg132"));
    QCOMPARE(b.dlg->windowTitle(), QStringLiteral("记录查询"));
    QVERIFY(b.line.IsOpen());
    QVERIFY(b.dlg->findChild<CMSComm*>(QStringLiteral("id1004")));
    QVERIFY(b.dlg->Store().IsConnected());
    QVERIFY(b.FiveEnabled(true));
    QVERIFY(!b.dlg->Progress().ShowsText());
    QCOMPARE(b.dlg->Progress().DisplayText(), QString());
    QCOMPARE(b.dlg->findChild<CPercentProgressCtrl*>(QStringLiteral("id1040")), &b.dlg->Progress());

    auto* list = b.dlg->findChild<QTableView*>(QStringLiteral("id1005"));
    QVERIFY(list);
    QCOMPARE(list->model()->rowCount(), 0);
    QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(list->selectionMode(), QAbstractItemView::SingleSelection);
    const QStringList headings = {
        "序号", "  年", "月", "日", "时", "分", "秒", "毫秒", "             事    件"};
    const QList<int> widths = {50, 50, 30, 30, 30, 30, 30, 50, 186};
    QCOMPARE(list->model()->columnCount(), 9);
    for (int c = 0; c < 9; ++c) {
        QCOMPARE(list->model()->headerData(c, Qt::Horizontal).toString(), headings[c]);
        QCOMPARE(list->columnWidth(c), widths[c]);
    }

    const QList<QPair<int, QString>> tips = {{1011, "读取装置内记录"},
                                             {1026, "打开存储在硬盘上的记录文件( *.mdb;*.txt)"},
                                             {1027, "将读出的记录另存为(*.mdb;*.txt)文件"},
                                             {1012, "删除装置内全部记录"},
                                             {1003, "以图形方式显示记录信息"}};
    for (const auto& [id, tip] : tips) {
        QCOMPARE(b.Button(id)->toolTip(), tip);
        QVERIFY(qobject_cast<CBitmapFaceButton*>(b.Button(id)));
    }
    // Buttons sit inside their frames: 38x13 units at System 10 are 76x26 pixels.
    QCOMPARE(b.Button(1011)->geometry(), QRect(222, 330, 76, 26));
    QCOMPARE(b.Button(1)->text(), QStringLiteral("退出"));

    // A second showing: the list starts empty whatever TEMP holds.
    b.ReadLog(kVariantA, 1);
    QCOMPARE(b.dlg->ListModel().rowCount(), 1);
    b.dlg->accept();
    QVERIFY(!b.line.IsOpen());
    b.dlg->show();
    QVERIFY(b.line.IsOpen());
    QCOMPARE(b.dlg->ListModel().rowCount(), 0);
    QCOMPARE(b.Temp().size(), std::size_t(1));
}

void TestRecordDlg::openFailureSkipsDatabase() {
    g_variant = kVariantA;
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    FakeSerialLine line;
    line.SetOpenError(QStringLiteral("Permission denied"));
    MessageBoxRecorder recorder;
    CRecordDlg dlg;
    dlg.show();
    QCOMPARE(recorder.Texts(), QStringList{QStringLiteral("Permission denied")});
    QVERIFY(!dlg.Store().IsConnected());
    dlg.reject();
    qunsetenv("KP650_HOME");
}

void TestRecordDlg::readLog_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("count");
    for (int variant : {kVariantA, kVariantB}) {
        for (int count : {0, 1, 3, 255}) {
            QTest::addRow("%s, %d records", variant == kVariantA ? "A" : "B", count)
                << variant << count;
        }
    }
}

void TestRecordDlg::readLog() {
    QFETCH(int, variant);
    QFETCH(int, count);
    Bench b(variant);
    // Stale rows of an earlier read must go.
    b.dlg->Store().Append(records::kTempTable, EventRecord{"1", "2", "3", "4", "5", "6", "7", "x"});
    b.ReadLog(variant, count);

    const QString done =
        count == 0 ? QStringLiteral("装置内无记录!!") : QStringLiteral("读取记录完毕!");
    QCOMPARE(b.recorder.Texts(), QStringList{done});
    QCOMPARE(b.recorder.Boxes().first().caption, QStringLiteral("KPA(B)-650"));
    QVERIFY(b.FiveEnabled(true));
    QVERIFY(b.dlg->Exchange().Idle());
    QVERIFY(!b.dlg->Progress().ShowsText());
    for (const QByteArray& write : b.line.Writes()) {
        QCOMPARE(write.size(), 1);  // every byte its own write
    }

    const std::vector<EventRecord> temp = b.Temp();
    QCOMPARE(temp.size(), std::size_t(count));
    for (int i = 0; i < count; ++i) {
        QCOMPARE(temp[std::size_t(i)], RecordFromLogBytes(LogBytes(i), variant));
    }
    if (count > 0) {
        QCOMPARE(temp[0], (EventRecord{"2009", "9", "25", "10", "30", "15", "500", "命令1启动"}));
    }
    QCOMPARE(b.dlg->ListModel().rowCount(), count);
    if (count > 0) {
        const QModelIndex last = b.dlg->ListModel().index(count - 1, 0);
        QCOMPARE(last.data().toString(), QString::number(count));
        QCOMPARE(b.dlg->List().currentIndex().row(), 0);
    }
}

void TestRecordDlg::progressTextsOfThree() {
    for (int variant : {kVariantA, kVariantB}) {
        Bench b(variant);
        QStringList texts;
        b.ReadLog(variant, 3, &texts);
        QCOMPARE(texts, (QStringList{"33%", "66%", "100%"}));
    }
}

void TestRecordDlg::fourthRecordAfterCountOfThree() {
    Bench b(kVariantA);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    b.line.Deliver(CountFrame(kVariantA, 3));
    // Between the count frame and the first record the bar reads 0%, never below.
    QCOMPARE(b.dlg->Progress().DisplayText(), QStringLiteral("0%"));
    for (int i = 0; i < 3; ++i) {
        b.line.Deliver(RecordFrame(kVariantA, i));
    }
    QCOMPARE(b.dlg->Progress().DisplayText(), QStringLiteral("100%"));
    // A fourth record after a count of three: the read cannot be trusted; nothing of it is kept
    // and it starts again from the count.
    b.line.ClearWritten();
    b.line.Deliver(RecordFrame(kVariantA, 3));
    QCOMPARE(b.Temp().size(), std::size_t(0));
    QTRY_COMPARE(b.line.Written(), ReadRequest(kVariantA) + "X");
    QVERIFY(b.FiveEnabled(false));
    QVERIFY(b.recorder.Boxes().isEmpty());
}

void TestRecordDlg::badEventCode() {
    for (int variant : {kVariantA, kVariantB}) {
        Bench b(variant);
        QTest::mouseClick(b.Button(1011), Qt::LeftButton);
        b.line.Deliver(CountFrame(variant, 1));
        b.line.Deliver(Reply(variant, Bytes({9, 9, 25, 10, 30, 15, 1, 0xF4, 0x16}), 0x58));
        QCOMPARE(b.Temp().size(), std::size_t(1));
        QCOMPARE(b.Temp()[0].event, QStringLiteral("事件代码错误!"));
    }
}

void TestRecordDlg::loneEndByteBeforeDataIsData() {
    Bench b(kVariantA);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    b.line.Deliver(CountFrame(kVariantA, 1));
    b.line.ClearWritten();
    b.line.Deliver(Bytes({9, 9, 25, 10, 30, 15, 1}));
    b.line.Deliver(Bytes({0x78}));  // a data byte alone, not the end of the log
    QVERIFY(b.recorder.Boxes().isEmpty());
    QCOMPARE(b.line.Written(), QByteArray());
    b.line.Deliver(Bytes({1, 0x58}));
    QCOMPARE(b.line.Written(), Acknowledge(kVariantA));
    QCOMPARE(b.Temp().size(), std::size_t(1));
    QCOMPARE(b.Temp()[0].msecond, QStringLiteral("376"));
    QVERIFY(b.FiveEnabled(false));
}

void TestRecordDlg::variantBLeadingByteAlone() {
    Bench b(kVariantB);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    b.line.ClearWritten();
    // The leading byte in an event of its own stays the leading byte: the frame is not shifted.
    b.line.Deliver(Bytes({0xA5}));
    b.line.Deliver(Bytes({0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x01, 0x03, 0x59}));
    QCOMPARE(b.line.Written(), Acknowledge(kVariantB));
    QCOMPARE(b.dlg->RecordCounter(), 3);
    QCOMPARE(b.dlg->Progress().Upper(), 6);
    // A record frame in three pieces, the leading byte again alone.
    b.line.ClearWritten();
    const QByteArray frame = RecordFrame(kVariantB, 0);
    b.line.Deliver(frame.left(1));
    b.line.Deliver(frame.mid(1, 4));
    QCOMPARE(b.line.Written(), QByteArray());
    b.line.Deliver(frame.mid(5));
    QCOMPARE(b.line.Written(), Acknowledge(kVariantB));
    QCOMPARE(b.Temp().size(), std::size_t(1));
    QCOMPARE(b.Temp()[0], (EventRecord{"2009", "9", "25", "10", "30", "15", "500", "命令1启动"}));
}

void TestRecordDlg::splitFrames_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<int>("piece");  // bytes per receive event
    for (int variant : {kVariantA, kVariantB}) {
        for (int piece : {1, 2, 3, 7}) {
            QTest::addRow("%s, %d-byte pieces", variant == kVariantA ? "A" : "B", piece)
                << variant << piece;
        }
    }
}

void TestRecordDlg::splitFrames() {
    QFETCH(int, variant);
    QFETCH(int, piece);
    Bench b(variant);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    auto deliverInPieces = [&](const QByteArray& reply) {
        for (int at = 0; at < reply.size(); at += piece) {
            b.line.Deliver(reply.mid(at, piece));
        }
    };
    deliverInPieces(CountFrame(variant, 2));
    // 0x5A and 0x78 inside a frame are data, even alone in their event. (A lone 0x5A at the
    // very start of a variant A reply is a refusal, whatever might follow.)
    const QByteArray nine = Bytes({0x1A, 3, 9, 10, 30, 15, 0x01, 0x5A, 0x78});
    b.line.ClearWritten();
    deliverInPieces(Reply(variant, nine, 0x58));
    deliverInPieces(RecordFrame(variant, 0));
    QCOMPARE(b.line.Written(), Acknowledge(variant).repeated(2));
    deliverInPieces(EndFrame(variant));
    QTRY_COMPARE(b.recorder.Texts(), QStringList{QStringLiteral("读取记录完毕!")});
    const std::vector<EventRecord> temp = b.Temp();
    QCOMPARE(temp.size(), std::size_t(2));
    QCOMPARE(temp[0], RecordFromLogBytes(nine, variant));
    QCOMPARE(temp[0].msecond, QStringLiteral("346"));
    QCOMPARE(temp[0].event, QStringLiteral("事件代码错误!"));
    QCOMPARE(temp[1], RecordFromLogBytes(LogBytes(0), variant));
}

void TestRecordDlg::refusalDuringRead() {
    for (int variant : {kVariantA, kVariantB}) {
        Bench b(variant);
        QTest::mouseClick(b.Button(1011), Qt::LeftButton);
        b.line.Deliver(CountFrame(variant, 2));
        b.line.Deliver(RecordFrame(variant, 0));
        b.line.ClearWritten();
        b.line.Deliver(Bytes({0x5A}));
        QTRY_COMPARE(b.recorder.Texts(),
                     QStringList{QStringLiteral("请检查装置与维护软件连接是否正确!\n"
                                                "已读取1条记录，装置内共2条。")});
        QCOMPARE(b.line.Written(), QByteArray());
        QVERIFY(!b.dlg->Progress().ShowsText());
        QVERIFY(b.FiveEnabled(true));
        QCOMPARE(b.Temp().size(), std::size_t(1));
        QCOMPARE(b.dlg->ListModel().rowCount(), 1);  // what was read is listed
        QVERIFY(b.dlg->Exchange().Idle());
    }
}

void TestRecordDlg::refusalWithOtherBytesIsData() {
    Bench b(kVariantA);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    b.line.Deliver(CountFrame(kVariantA, 1));
    b.line.ClearWritten();
    b.line.Deliver(Bytes({0x5A, 0x01}));
    b.line.Deliver(Bytes({0x02, 0x03, 0x04, 0x05, 0x00, 0x07, 0x01, 0x58}));
    QTRY_COMPARE(b.line.Written(), QByteArray("DFx"));  // stored and acknowledged
    QVERIFY(b.recorder.Boxes().isEmpty());
    QCOMPARE(b.Temp().size(), std::size_t(1));
    QCOMPARE(b.Temp()[0].year, QStringLiteral("2090"));
}

void TestRecordDlg::timeoutEnablesButtons() {
    Bench b(kVariantA);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    QVERIFY(b.FiveEnabled(false));
    QTRY_COMPARE_WITH_TIMEOUT(
        b.recorder.Texts(),
        QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")}, 5000);
    QVERIFY(b.FiveEnabled(true));
    QVERIFY(b.dlg->Exchange().Idle());
    QVERIFY(!b.dlg->Progress().ShowsText());
}

void TestRecordDlg::lineLostKeepsRecords() {
    // Lost between two frames, every byte is accounted for: the records read are kept. Lost
    // part-way through a frame, those bytes might belong to an earlier frame: nothing is kept.
    for (int variant : {kVariantA, kVariantB}) {
        for (int partial : {0, 4}) {
            Bench b(variant);
            QTest::mouseClick(b.Button(1011), Qt::LeftButton);
            b.line.Deliver(CountFrame(variant, 5));
            b.line.Deliver(RecordFrame(variant, 0));
            b.line.Deliver(RecordFrame(variant, 1));
            b.line.Deliver(RecordFrame(variant, 2).left(partial));
            b.line.HangUp(QStringLiteral("No such device"));
            const int kept = partial == 0 ? 2 : 0;
            QCOMPARE(b.recorder.Texts(),
                     QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！\n"
                                                "已读取%1条记录，装置内共5条。")
                                     .arg(kept)});
            QVERIFY(b.FiveEnabled(true));
            QVERIFY(b.dlg->Exchange().Idle());
            QCOMPARE(b.Temp().size(), std::size_t(kept));
            QCOMPARE(b.dlg->ListModel().rowCount(), kept);
            // No late time-out box follows.
            QTest::qWait(1200);
            QCOMPARE(b.recorder.Boxes().size(), 1);
        }
    }
}

void TestRecordDlg::readStartsFromZeroPercent() {
    Bench b(kVariantA);
    b.ReadLog(kVariantA, 3);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    QCOMPARE(b.dlg->Progress().DisplayText(), QStringLiteral("0%"));
    QCOMPARE(b.dlg->Progress().Lower(), 0);
    QCOMPARE(b.dlg->Progress().Upper(), 100);
}

void TestRecordDlg::clearLog_data() {
    using Answer = QList<QByteArray>;  // one receive event each
    QTest::addColumn<int>("variant");
    QTest::addColumn<QList<Answer>>("answers");  // one per clear request sent
    QTest::addColumn<int>("requests");           // clear requests sent in all
    QTest::addColumn<bool>("cleared");
    QTest::newRow("A lone 78") << int(kVariantA) << QList<Answer>{{Bytes({0x78})}} << 1 << true;
    QTest::newRow("A 78 with another byte, then lone 78")
        << int(kVariantA) << QList<Answer>{{Bytes({0x78, 0x00})}, {Bytes({0x78})}} << 2 << true;
    QTest::newRow("A 78 with another byte, then silence")
        << int(kVariantA) << QList<Answer>{{Bytes({0x00, 0x78})}} << 2 << false;
    QTest::newRow("A lone 58, then silence")
        << int(kVariantA) << QList<Answer>{{Bytes({0x58})}} << 2 << false;
    QTest::newRow("B leading byte and 58")
        << int(kVariantB) << QList<Answer>{{Bytes({0x13, 0x58})}} << 1 << true;
    QTest::newRow("B leading byte alone, then 58")
        << int(kVariantB) << QList<Answer>{{Bytes({0x13}), Bytes({0x58})}} << 1 << true;
    QTest::newRow("B leading byte and 00, then silence")
        << int(kVariantB) << QList<Answer>{{Bytes({0x13, 0x00})}} << 2 << false;
    QTest::newRow("B three bytes, then two")
        << int(kVariantB) << QList<Answer>{{Bytes({0x13, 0x00, 0x58})}, {Bytes({0x13, 0x58})}} << 2
        << true;
}

void TestRecordDlg::clearLog() {
    QFETCH(int, variant);
    QFETCH(QList<QList<QByteArray>>, answers);
    QFETCH(int, requests);
    QFETCH(bool, cleared);
    Bench b(variant);
    b.recorder.SetAnswer(QMessageBox::Yes);
    b.ReadLog(variant, 2);
    b.recorder.Clear();
    b.line.ClearWritten();

    QTest::mouseClick(b.Button(1012), Qt::LeftButton);
    QCOMPARE(b.recorder.Boxes().size(), 1);
    const MessageBoxRecorder::Box question = b.recorder.Boxes().first();
    QCOMPARE(question.text, QStringLiteral("确定要清除装置中存储的所有事件吗？"));
    QCOMPARE(question.caption, QStringLiteral("提示"));
    QCOMPARE(question.buttons, QMessageBox::Yes | QMessageBox::No);
    QCOMPARE(question.icon, QMessageBox::Question);
    QCOMPARE(b.line.Written(), QByteArray("EX"));
    QCOMPARE(b.Temp().size(), std::size_t(2));  // kept until the device confirms
    QVERIFY(b.FiveEnabled(false));
    b.recorder.Clear();

    const int paintsBefore = b.dlg->Progress().PaintCount();
    for (int k = 0; k < answers.size(); ++k) {
        QTRY_COMPARE(b.line.Written().size(), 2 * (k + 1));
        for (const QByteArray& piece : answers[k]) {
            b.line.Deliver(piece);
        }
    }
    if (!cleared) {
        QTRY_COMPARE_WITH_TIMEOUT(
            b.recorder.Texts(),
            QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")}, 5000);
        QCOMPARE(b.line.Written(), QByteArray("EX").repeated(requests));
        QCOMPARE(b.Temp().size(), std::size_t(2));  // what was read is not lost
        QVERIFY(b.FiveEnabled(true));
        QVERIFY(b.dlg->Exchange().Idle());
        return;
    }
    QTRY_COMPARE(b.recorder.Texts(), QStringList{QStringLiteral("记录已经清空!")});
    QCOMPARE(b.line.Written(), QByteArray("EX").repeated(requests));
    QVERIFY(b.dlg->Exchange().Idle());
    QVERIFY(b.Temp().empty());
    QVERIFY(b.FiveEnabled(true));
    QCOMPARE(b.dlg->ListModel().rowCount(), 0);
    // The bar runs from full to empty after the handler has returned, in a few repaints.
    QCOMPARE(b.dlg->Progress().Lower(), 100000);
    QCOMPARE(b.dlg->Progress().Upper(), 200000);
    QTRY_VERIFY(!b.dlg->RunningDown());
    QCOMPARE(b.dlg->Progress().Pos(), 100001);
    QVERIFY(b.dlg->Progress().PaintCount() - paintsBefore <= 40);
}

void TestRecordDlg::clearDeclined() {
    Bench b(kVariantB);
    b.ReadLog(kVariantB, 1);
    b.line.ClearWritten();
    b.recorder.SetAnswer(QMessageBox::No);
    QTest::mouseClick(b.Button(1012), Qt::LeftButton);
    QCOMPARE(b.line.Written(), QByteArray());
    QCOMPARE(b.Temp().size(), std::size_t(1));
}

void TestRecordDlg::archiveBeforeClear_data() {
    QTest::addColumn<bool>("blocked");  // a file where the archive folder should be
    QTest::newRow("archive written") << false;
    QTest::newRow("archive cannot be written") << true;
}

void TestRecordDlg::archiveBeforeClear() {
    QFETCH(bool, blocked);
    Bench b(kVariantA);
    b.ReadLog(kVariantA, 2);
    const QString archive = b.home.filePath(QStringLiteral("archive"));
    if (blocked) {
        QFile file(archive);
        QVERIFY(file.open(QIODevice::WriteOnly));
    }
    b.recorder.SetAnswer(QMessageBox::Yes);
    b.recorder.Clear();
    b.line.ClearWritten();
    // What the archive folder holds when the request leaves.
    QStringList archived;
    QByteArray archivedBytes;
    b.line.SetResponder([&](const QByteArray&) {
        archived = QDir(archive).entryList(QDir::Files);
        if (!archived.isEmpty()) {
            QFile f(QDir(archive).filePath(archived.first()));
            archivedBytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }
    });
    QTest::mouseClick(b.Button(1012), Qt::LeftButton);
    if (blocked) {
        QCOMPARE(b.line.Written(), QByteArray());
        QCOMPARE(b.recorder.Boxes().size(), 2);  // the question, then why nothing was cleared
        QCOMPARE(b.Temp().size(), std::size_t(2));
        return;
    }
    QCOMPARE(b.line.Written(), QByteArray("EX"));
    QCOMPARE(archived.size(), 1);
    QVERIFY2(archived.first().startsWith(QStringLiteral("KPA650-")), qPrintable(archived.first()));
    QCOMPARE(archivedBytes.count("\r\n"), 2);
    QVERIFY(archivedBytes.startsWith("1    2009  9  25   10  30  15  500  "));
}

void TestRecordDlg::selectingNeverScrollsSideways() {
    Bench b(kVariantB);
    b.ReadLog(kVariantB, 30);
    QTableView& list = b.dlg->List();
    QScrollBar* sideways = list.horizontalScrollBar();
    QVERIFY(sideways->maximum() > 0);  // the columns are wider than the list
    const int events = 8;
    for (const int row : {3, 0, 25}) {
        list.scrollTo(list.model()->index(row, 0));
        const QRect cell = list.visualRect(list.model()->index(row, events));
        const QPoint at(std::min(cell.center().x(), list.viewport()->width() - 2),
                        cell.center().y());
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(list.currentIndex().row(), row);
        QCOMPARE(sideways->value(), 0);
    }
    QTest::keyClick(&list, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(sideways->value(), 0);
}

void TestRecordDlg::fillListFromThreeRows() {
    Bench b(kVariantA);
    for (const char* event : {"命令1启动", "命令1返回", ""}) {
        b.dlg->Store().Append(records::kKpb650Table,
                              EventRecord{"2009", "9", "25", "10", "30", "15", "500", event});
    }
    b.dlg->FillListFromTable(false);
    const RecordListModel& model = b.dlg->ListModel();
    QCOMPARE(model.rowCount(), 3);
    for (int r = 0; r < 3; ++r) {
        QCOMPARE(model.index(r, 0).data().toString(), QString::number(r + 1));
    }
    QCOMPARE(model.index(1, 8).data().toString(), QStringLiteral("命令1返回"));
    QCOMPARE(model.index(0, 7).data().toString(), QStringLiteral("500"));
    QCOMPARE(b.dlg->List().currentIndex().row(), 0);
    const QModelIndexList selected = b.dlg->List().selectionModel()->selectedRows();
    QCOMPARE(selected.size(), 1);
    QCOMPARE(selected.first().row(), 0);
}

void TestRecordDlg::fillListFromEmptyTable() {
    Bench b(kVariantA);
    b.dlg->Progress().SetShowText(true);
    b.dlg->FillListFromTable(true);
    QCOMPARE(b.dlg->ListModel().rowCount(), 0);
    QVERIFY(!b.dlg->List().selectionModel()->hasSelection());
    QVERIFY(!b.dlg->Progress().ShowsText());
}

void TestRecordDlg::saveAndOpenFiles() {
    Bench b(kVariantB);
    QList<RecordFileDialogSettings> asked;
    QString answer;
    b.dlg->SetFileChooser([&](QWidget*, const RecordFileDialogSettings& s) {
        asked.append(s);
        return answer;
    });
    b.ReadLog(kVariantB, 3);

    answer = b.home.filePath(QStringLiteral("saved.txt"));
    QTest::mouseClick(b.Button(1027), Qt::LeftButton);
    QCOMPARE(asked.size(), 1);
    QVERIFY(asked[0].save);
    QCOMPARE(asked[0].title, QStringLiteral("选择保存文件"));
    QCOMPARE(asked[0].nameFilters,
             (QStringList{QStringLiteral("mdb 文件(*.mdb)"), QStringLiteral("txt 文件(*.txt)")}));
    QCOMPARE(asked[0].defaultSuffix, QStringLiteral("mdb"));
    QVERIFY(asked[0].initialName.startsWith(QStringLiteral("KPB650(")));
    QVERIFY(QFile::exists(answer));

    answer = b.home.filePath(QStringLiteral("saved.mdb"));
    QTest::mouseClick(b.Button(1027), Qt::LeftButton);
    QVERIFY(QFile::exists(answer));

    // Open the database file: the list shows its three records from KPB650.
    b.dlg->FillListFromTable(true);
    b.dlg->Store().EmptyTable(records::kTempTable);
    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    QCOMPARE(asked.size(), 3);
    QVERIFY(!asked[2].save);
    QCOMPARE(asked[2].title, QStringLiteral("选择读取文件"));
    QCOMPARE(asked[2].initialName, QString());
    QCOMPARE(b.dlg->ListModel().rowCount(), 3);
    QCOMPARE(b.dlg->Store().ReadAll(records::kKpb650Table)[2],
             RecordFromLogBytes(LogBytes(2), kVariantB));
    QCOMPARE(b.recorder.Texts(), QStringList{QStringLiteral("读取记录完毕!")});
}

void TestRecordDlg::cancelledFileDialogs() {
    Bench b(kVariantA);
    int asked = 0;
    b.dlg->SetFileChooser([&](QWidget*, const RecordFileDialogSettings&) {
        ++asked;
        return QString();
    });
    const QStringList before = QDir(b.home.path()).entryList(QDir::Files);
    QTest::mouseClick(b.Button(1027), Qt::LeftButton);
    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    QCOMPARE(asked, 2);
    QCOMPARE(QDir(b.home.path()).entryList(QDir::Files), before);
    QVERIFY(b.recorder.Boxes().isEmpty());
    QCOMPARE(b.dlg->ListModel().rowCount(), 0);
}

void TestRecordDlg::graphHook() {
    Bench b(kVariantA);
    QTest::mouseClick(b.Button(1003), Qt::LeftButton);  // no graph yet: nothing happens
    QVERIFY(b.dlg->Store().IsConnected());
    QVERIFY(b.recorder.Boxes().isEmpty());

    int calls = 0;
    bool connectedDuring = true;
    b.dlg->SetGraphHandler([&](QWidget* parent) {
        ++calls;
        QCOMPARE(parent, b.dlg.get());
        connectedDuring = b.dlg->Store().IsConnected();
    });
    QTest::mouseClick(b.Button(1003), Qt::LeftButton);
    QCOMPARE(calls, 1);
    QVERIFY(!connectedDuring);
    QVERIFY(b.dlg->Store().IsConnected());
}

void TestRecordDlg::fileDialogSettings() {
    const RecordFileDialogSettings open = OpenRecordsDialogSettings();
    QVERIFY(!open.save);
    QCOMPARE(open.title, QStringLiteral("选择读取文件"));
    QCOMPARE(open.initialName, QString());
    QCOMPARE(open.defaultSuffix, QStringLiteral("mdb"));
    const RecordFileDialogSettings saveA = SaveRecordsDialogSettings(kVariantA, QDate(2026, 9, 7));
    QVERIFY(saveA.save);
    QCOMPARE(saveA.initialName, QStringLiteral("KPA650(2026- 9- 7)"));
    QCOMPARE(SaveRecordsDialogSettings(kVariantB, QDate(2009, 12, 25)).initialName,
             QStringLiteral("KPB650(2009-12-25)"));
    QCOMPARE(saveA.nameFilters, open.nameFilters);
}

void TestRecordDlg::lineLostDuringClear() {
    Bench b(kVariantB);
    b.recorder.SetAnswer(QMessageBox::Yes);
    QTest::mouseClick(b.Button(1012), Qt::LeftButton);
    b.recorder.Clear();
    b.line.Deliver(Bytes({0x13}));
    b.line.HangUp();
    QCOMPARE(b.recorder.Texts(),
             QStringList{QStringLiteral("连接失败！请检查连线、串口选择及装置电源！")});
    QVERIFY(b.dlg->Exchange().Idle());
    QVERIFY(b.FiveEnabled(true));
}

void TestRecordDlg::longTextFileOpensInSlices() {
    Bench b(kVariantA);
    auto writeLines = [&](const QString& name, int count) {
        QFile file(b.home.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < count; ++i) {
            const EventRecord r{QString::number(2000 + i % 30), "1",        "2", "3", "4", "5",
                                QString::number(i % 1000),      "命令1启动"};
            file.write(FormatRecordLine(i + 1, r) + "\r\n");
        }
    };
    writeLines(QStringLiteral("long.txt"), 12000);
    writeLines(QStringLiteral("other.txt"), 11000);
    QString answer = b.home.filePath(QStringLiteral("long.txt"));
    b.dlg->SetFileChooser([&](QWidget*, const RecordFileDialogSettings&) { return answer; });

    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    // Still reading when the click returns: the window goes on, the bar shows how far.
    QVERIFY(b.dlg->OpeningFile());
    QVERIFY(b.FiveEnabled(false));
    QVERIFY(b.Button(1)->isEnabled());
    QVERIFY(b.dlg->Progress().ShowsText());
    QVERIFY(b.dlg->Progress().DisplayText().endsWith('%'));
    QVERIFY(b.dlg->Progress().DisplayText() != QStringLiteral("0%"));
    QTRY_VERIFY(!b.dlg->OpeningFile());
    QVERIFY(b.FiveEnabled(true));
    QVERIFY(!b.dlg->Progress().ShowsText());
    QVERIFY(b.recorder.Boxes().isEmpty());
    QCOMPARE(b.dlg->ListModel().rowCount(), 12000);
    QCOMPARE(b.dlg->ListModel().index(11999, 0).data().toString(), QStringLiteral("12000"));
    QCOMPARE(b.dlg->ListModel().index(11999, 1).data().toString(), QStringLiteral("2029"));
    QCOMPARE(b.dlg->ListModel().index(11999, 7).data().toString(), QStringLiteral("999"));
    QCOMPARE(b.dlg->ListModel().index(11999, 8).data().toString(), QStringLiteral("命令1启动"));

    // Closing the dialog half-way gives the reading up: the table stays as it was.
    answer = b.home.filePath(QStringLiteral("other.txt"));
    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    QVERIFY(b.dlg->OpeningFile());
    b.dlg->accept();
    QVERIFY(!b.dlg->OpeningFile());
    QCOMPARE(b.dlg->Store().RowCount(records::kKpb650Table), 12000);
}

void TestRecordDlg::refusedRowsDuringSlicedOpening() {
    Bench b(kVariantB);
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "trigger");
    db.setDatabaseName(RecordStore::WorkingDatabasePath(kVariantB));
    QVERIFY(db.open());
    QVERIFY(
        QSqlQuery(db).exec("CREATE TRIGGER refuse BEFORE INSERT ON KPB650 WHEN "
                           "NEW.event = 'bad' BEGIN SELECT RAISE(ABORT, 'row refused'); END"));
    db.close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase("trigger");
    {
        QFile file(b.home.filePath(QStringLiteral("refused.txt")));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < 12000; ++i) {
            // The first slice runs within the click; these come in later ones.
            const bool bad = i == 6000 || i == 6001 || i == 11000;
            file.write(QByteArray::number(i + 1).leftJustified(3, ' ') +
                       "  2009  9  25   10  30  15  " + QByteArray::number(i) + "  " +
                       (bad ? "bad" : "good") + "\r\n");
        }
    }
    b.dlg->SetFileChooser([&](QWidget*, const RecordFileDialogSettings&) {
        return b.home.filePath(QStringLiteral("refused.txt"));
    });
    // As a real box does, the recorder's box runs an event loop of its own for a while.
    b.recorder.SetOnBox([](const MessageBoxRecorder::Box&) { QTest::qWait(50); });
    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    QTRY_VERIFY(!b.dlg->OpeningFile());
    QCOMPARE(b.recorder.Texts(), QStringList{"row refused"});
    QCOMPARE(b.dlg->ListModel().rowCount(), 11997);
    QCOMPARE(b.dlg->ListModel().index(11996, 7).data().toString(), QStringLiteral("11999"));
    QCOMPARE(b.dlg->ListModel().index(6000, 7).data().toString(), QStringLiteral("6002"));
    QVERIFY(b.FiveEnabled(true));
}

void TestRecordDlg::storeFailureBoxes_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("open missing text file") << "open" << QStringList{"打开文件出错！"};
    QTest::newRow("save text into missing folder") << "save txt" << QStringList{"保存文件出错！"};
    QTest::newRow("save database into missing folder")
        << "save mdb" << QStringList{"数据库连接失败，确认数据库文件是否在当前路径下!"};
    // One box for the rows the table refuses, then the read's own.
    QTest::newRow("read into refusing table")
        << "read" << QStringList{"row refused", "读取记录完毕!"};
    // Without the copy nothing is cleared: no request goes out.
    QTest::newRow("clear without archive folder")
        << "clear" << QStringList{"确定要清除装置中存储的所有事件吗？", "保存文件出错！"};
}

void TestRecordDlg::storeFailureBoxes() {
    QFETCH(QString, action);
    QFETCH(QStringList, boxes);
    Bench b(kVariantA);
    b.dlg->SetFileChooser([&](QWidget*, const RecordFileDialogSettings&) {
        return b.home.filePath(action == "open"       ? QStringLiteral("missing.txt")
                               : action == "save txt" ? QStringLiteral("none/out.txt")
                                                      : QStringLiteral("none/out.mdb"));
    });
    b.recorder.SetAnswer(QMessageBox::Yes);
    if (action == "read") {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "trigger");
        db.setDatabaseName(RecordStore::WorkingDatabasePath(kVariantA));
        QVERIFY(db.open());
        QVERIFY(
            QSqlQuery(db).exec("CREATE TRIGGER refuse BEFORE INSERT ON TEMP "
                               "BEGIN SELECT RAISE(ABORT, 'row refused'); END"));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase("trigger");
        QTest::mouseClick(b.Button(1011), Qt::LeftButton);
        b.line.Deliver(CountFrame(kVariantA, 3));
        for (int i = 0; i < 3; ++i) {
            b.line.Deliver(RecordFrame(kVariantA, i));
        }
        b.line.Deliver(EndFrame(kVariantA));
        QTRY_VERIFY(!b.dlg->Busy());  // the end counts once the line stayed quiet
    } else if (action == "clear") {
        b.ReadLog(kVariantA, 2);
        b.recorder.Clear();
        QFile blocker(b.home.filePath(QStringLiteral("archive")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        b.line.ClearWritten();
        QTest::mouseClick(b.Button(1012), Qt::LeftButton);
        QCOMPARE(b.line.Written(), QByteArray());
        QCOMPARE(b.Temp().size(), std::size_t(2));
    } else {
        QTest::mouseClick(b.Button(action == "open" ? 1026 : 1027), Qt::LeftButton);
    }
    QCOMPARE(b.recorder.Texts(), boxes);
    QVERIFY(b.FiveEnabled(true));
}

void TestRecordDlg::listKeepsRowsAsFilled() {
    Bench b(kVariantB);
    b.ReadLog(kVariantB, 3);
    const RecordListModel& model = b.dlg->ListModel();
    QCOMPARE(model.rowCount(), 3);
    // TEMP emptied behind the list's back: it shows what it was filled with until reloaded.
    QVERIFY(b.dlg->Store().EmptyTable(records::kTempTable));
    QVERIFY(b.Temp().empty());
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(model.index(0, 1).data().toString(), QStringLiteral("2009"));
    QCOMPARE(model.index(0, 8).data().toString(), QStringLiteral("命令1启动"));
    QCOMPARE(model.RecordAt(0),
             (EventRecord{"2009", "9", "25", "10", "30", "15", "500", "命令1启动"}));
    QCOMPARE(model.RecordAt(3), EventRecord{});
}

QTEST_MAIN(TestRecordDlg)
#include "tst_record_dlg.moc"
