#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPrinter>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <map>
#include <memory>

#include "common/globals.h"
#include "graph/event_graph_dlg.h"
#include "graph/time_axis_bar.h"
#include "link/fake_serial_line.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "records/record_store.h"
#include "support/test_support.h"

namespace {

const QString kStart1 = QStringLiteral("命令1启动");
const QString kReturn1 = QStringLiteral("命令1返回");

EventRecord Rec(int d, int h, int mi, int s, int ms, const QString& event) {
    return EventRecord{
        QStringLiteral("2024"), QStringLiteral("3"), QString::number(d),  QString::number(h),
        QString::number(mi),    QString::number(s),  QString::number(ms), event};
}

void FillTable(const QString& path, const std::vector<EventRecord>& records) {
    RecordStore store;
    QVERIFY(store.Connect(path));
    QVERIFY(store.EmptyTable(records::kKpb650Table));
    for (const EventRecord& r : records) {
        QVERIFY(store.Append(records::kKpb650Table, r));
    }
    store.Close();
}

// A graph dialog of one variant over its own program directory, with a hand-driven clock.
struct Bench {
    explicit Bench(int variant, const std::vector<EventRecord>& records = {}) {
        qputenv("KP650_HOME", home.path().toLocal8Bit());
        g_variant = variant;
        FillTable(RecordStore::WorkingDatabasePath(variant), records);
        if (variant == kVariantA) {
            dlg = std::make_unique<CTransmitterGraphDlg>();
        } else {
            dlg = std::make_unique<CReceiverGraphDlg>();
        }
        dlg->SetThrottleClock([this] { return now; });
        dlg->SetDateRange(QDate(2024, 3, 1), QDate(2024, 3, 31));
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
    void Show() { QTest::mouseClick(Button(1050), Qt::LeftButton); }
    const TraceView& View() const { return dlg->Strip(0)->View(); }
    // Dialog x whose timeline position is t at the current zoom.
    int XAt(qint64 t) const {
        return dlg->Area().left + View().originX + int(std::ceil(t * View().pxPerMs + 1e-9));
    }
    qint64 TimeAt(int x) const {
        return qint64((x - dlg->Area().left - View().originX) / View().pxPerMs);
    }
    int Y() const { return dlg->Strip(0)->geometry().center().y(); }
    void Later() { now += 60; }

    QTemporaryDir home;
    MessageBoxRecorder recorder;
    qint64 now = 1000;
    std::unique_ptr<CEventGraphDlg> dlg;
};

}  // namespace

class TestEventGraphDlg : public QObject {
    Q_OBJECT
private slots:
    void layout_data();
    void layout();
    void emptyTable_data();
    void emptyTable();
    void showGraphOfRange();
    void eachVariantReadsItsOwnDatabase();
    void clickReadOut();
    void clickOffDataChangesNothing();
    void cutPeriodSuffixOnClickOnly();
    void cursorButtons();
    void throttle();
    void zoomByClicksAndButtons();
    void dragRefusedAtInitialZoom();
    void dragThreshold();
    void handCursorWhileHeld();
    void realMouseEventsReachTheDialog();
    void openFileImports();
    void recordDialogRunsGraphOfVariant_data();
    void recordDialogRunsGraphOfVariant();
    void wheelZoomsLikeClicks();
    void keysDriveTheSameView();
    void edgeKeysAndStatus();
    void growsAndKeepsThePartsPixelsAtInitialSize();
    void readOutShowsItsBeginning();
    void showWithoutConnectionGivesDriverText();
    void listRecordsDrawnAndAllDates();
    void exportsAndPrint();
    void recordListGraphRunsWithListedRecords();
};

void TestEventGraphDlg::layout_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("left");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("visibleStrips");
    QTest::newRow("A") << int(kVariantA) << "dlg131" << QStringLiteral("KPA-650图形显示") << 162
                       << 238 << 5;
    QTest::newRow("B") << int(kVariantB) << "dlg140" << QStringLiteral("KPB-650图形显示") << 156
                       << 320 << 7;
}

void TestEventGraphDlg::layout() {
    QFETCH(int, variant);
    QFETCH(QString, name);
    QFETCH(QString, title);
    QFETCH(int, left);
    QFETCH(int, bottom);
    QFETCH(int, visibleStrips);
    Bench b(variant);
    QCOMPARE(b.dlg->objectName(), name);
    QCOMPARE(b.dlg->windowTitle(), title);
    const GraphArea area = b.dlg->Area();
    QCOMPARE(area.left, left);
    QCOMPARE(area.UsableWidth(), 461);
    QCOMPARE(area.top, 35);
    QCOMPARE(area.bottom, bottom);
    QCOMPARE(b.dlg->CursorX(), left + 100);
    int visible = 0;
    for (int row = 0; row < graph::kTraceCount; ++row) {
        CTraceStrip* strip = b.dlg->findChild<CTraceStrip*>(
            QStringLiteral("id%1").arg(CEventGraphDlg::kStripIds[row]));
        QVERIFY(strip != nullptr);
        QCOMPARE(strip->TraceColor(), CEventGraphDlg::kTraceColors[row]);
        QCOMPARE(strip->x(), left);
        visible += strip->isVisible() ? 1 : 0;
    }
    QCOMPARE(visible, visibleStrips);
    QCOMPARE(b.Button(1026)->toolTip(), QStringLiteral("以光标为中心放大"));
    QCOMPARE(b.Button(1012)->toolTip(), QStringLiteral("光标左移"));
    QVERIFY(b.dlg->findChild<QDateEdit*>(QStringLiteral("id1018")) != nullptr);
    // Read-only rather than disabled: readable, not greyed out.
    QLineEdit* readOut = b.dlg->findChild<QLineEdit*>(QStringLiteral("id1020"));
    QVERIFY(readOut->isEnabled());
    QVERIFY(readOut->isReadOnly());
    QVERIFY(b.dlg->Store().IsConnected());
}

void TestEventGraphDlg::emptyTable_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QStringList>("boxes");
    QTest::newRow("A: silent") << int(kVariantA) << QStringList();
    QTest::newRow("B: says so") << int(kVariantB) << QStringList{QStringLiteral("表内数据为空")};
}

void TestEventGraphDlg::emptyTable() {
    QFETCH(int, variant);
    QFETCH(QStringList, boxes);
    Bench b(variant);
    b.Show();
    QCOMPARE(b.recorder.Texts(), boxes);
    QVERIFY(!b.dlg->CurrentTimeline().loaded);
}

void TestEventGraphDlg::showGraphOfRange() {
    Bench b(kVariantB, {Rec(4, 9, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 0, kStart1),
                        Rec(5, 10, 0, 0, 500, kReturn1), Rec(6, 11, 0, 0, 0, kReturn1)});
    b.dlg->SetDateRange(QDate(2024, 3, 5), QDate(2024, 3, 5));
    b.Show();
    const Timeline& t = b.dlg->CurrentTimeline();
    QVERIFY(t.loaded);
    QCOMPARE(t.end, qint64(560));
    QCOMPARE(b.dlg->Strip(0)->Data().runs, (std::vector<qint64>{20, 500, 40}));
    QCOMPARE(b.dlg->Strip(3)->Data().runs, (std::vector<qint64>{560}));
    const TraceLayout& layout = b.dlg->Strip(0)->Layout();
    QCOMPARE(layout.runs.front().xa, 0);
    QCOMPARE(layout.runs.back().xb, b.dlg->Strip(0)->width());

    b.dlg->SetDateRange(QDate(2024, 3, 7), QDate(2024, 3, 9));
    b.Show();
    QCOMPARE(b.dlg->CurrentTimeline().end, qint64(40));
}

void TestEventGraphDlg::eachVariantReadsItsOwnDatabase() {
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    FillTable(RecordStore::WorkingDatabasePath(kVariantA),
              {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 300, kReturn1)});
    FillTable(RecordStore::WorkingDatabasePath(kVariantB),
              {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 700, kReturn1)});
    for (int variant : {int(kVariantA), int(kVariantB)}) {
        std::unique_ptr<CEventGraphDlg> dlg;
        if (variant == kVariantA) {
            dlg = std::make_unique<CTransmitterGraphDlg>();
        } else {
            dlg = std::make_unique<CReceiverGraphDlg>();
        }
        dlg->SetDateRange(QDate(2024, 3, 5), QDate(2024, 3, 5));
        dlg->show();
        dlg->OnShowGraph();
        QCOMPARE(dlg->CurrentTimeline().traces[0].runs[1], variant == kVariantA ? 300 : 700);
        dlg->reject();
    }
    qunsetenv("KP650_HOME");
}

void TestEventGraphDlg::clickReadOut() {
    Bench b(kVariantB, {Rec(5, 12, 30, 59, 800, kStart1), Rec(5, 12, 31, 2, 0, kReturn1)});
    b.Show();
    const int x = b.XAt(1520);
    const qint64 t = b.TimeAt(x);
    QVERIFY(t > 20 && t < 2220);
    b.dlg->OnLButtonDown(x, b.Y());
    b.dlg->OnLButtonUp();
    const QTime at = QTime(12, 30, 59, 800).addMSecs(int(t - 20));
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年3月5日%1时%2分%3秒%4毫秒")
                                       .arg(at.hour())
                                       .arg(at.minute())
                                       .arg(at.second())
                                       .arg(at.msec())
                                       .replace(QStringLiteral("年3月"), QStringLiteral("年03月")));
    QCOMPARE(b.dlg->Strip(6)->View().cursorCol, x - b.dlg->Area().left);

    b.Later();
    const int low = b.dlg->Area().right - 2;  // in the tail: every trace low
    b.dlg->OnLButtonDown(low, b.Y());
    b.dlg->OnLButtonUp();
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("无事件"));
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, low - b.dlg->Area().left);
}

void TestEventGraphDlg::clickOffDataChangesNothing() {
    Bench b(kVariantB, {Rec(5, 12, 0, 0, 0, kStart1), Rec(5, 12, 0, 1, 0, kReturn1)});
    const int left = b.dlg->Area().left;
    // Before loading, nothing is on the data.
    b.dlg->OnLButtonDown(left + 50, b.Y());
    b.dlg->OnLButtonUp();
    QCOMPARE(b.dlg->ReadOutText(), QString());
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, 100);

    b.Show();
    b.Later();
    b.dlg->OnLButtonDown(left, b.Y());  // offset 0 is not on the data
    QCOMPARE(b.dlg->ReadOutText(), QString());
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, 100);
    QVERIFY(b.dlg->Dragging());
    QCOMPARE(b.dlg->CursorX(), left);
    b.dlg->OnLButtonUp();
    b.Later();
    b.dlg->OnLButtonDown(left + 50, b.dlg->Area().bottom);  // below the graph area
    b.dlg->OnLButtonUp();
    QCOMPARE(b.dlg->ReadOutText(), QString());
}

void TestEventGraphDlg::cutPeriodSuffixOnClickOnly() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 1, 30, 0, kReturn1)});
    b.Show();
    const int x = b.XAt(30000);
    b.dlg->OnLButtonDown(x, b.Y());
    b.dlg->OnLButtonUp();
    QVERIFY2(b.dlg->ReadOutText().startsWith(QStringLiteral("起始时间:2024年03月5日10时0分")),
             qPrintable(b.dlg->ReadOutText()));
    QVERIFY(b.dlg->ReadOutText().endsWith(QStringLiteral(",持续时间:90000毫秒")));
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    QVERIFY2(b.dlg->ReadOutText().startsWith(QStringLiteral("2024年03月5日10时0分")),
             qPrintable(b.dlg->ReadOutText()));
    QVERIFY(!b.dlg->ReadOutText().contains(QStringLiteral("持续时间")));
}

void TestEventGraphDlg::cursorButtons() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    const int start = b.dlg->CursorX();
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);  // not throttled
    QCOMPARE(b.dlg->CursorX(), start + 2);
    QCOMPARE(b.dlg->Strip(4)->View().cursorCol, start + 2 - b.dlg->Area().left);
    QVERIFY(b.dlg->ReadOutText().startsWith(QStringLiteral("2024年03月5日10时0分")));
    for (int i = 0; i < 500; ++i) {
        QTest::mouseClick(b.Button(1012), Qt::LeftButton);
    }
    QCOMPARE(b.dlg->CursorX(), start - 498);  // off the area: moves on, draws nothing
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, 1);
    for (int i = 0; i < 498; ++i) {
        QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    }
    QCOMPARE(b.dlg->CursorX(), start);
}

void TestEventGraphDlg::throttle() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    const int left = b.dlg->Area().left;
    b.dlg->OnLButtonDown(left + 100, b.Y());
    b.dlg->OnLButtonUp();
    b.now += 20;
    b.dlg->OnLButtonDown(left + 200, b.Y());
    b.dlg->OnLButtonUp();
    QCOMPARE(b.dlg->CursorX(), left + 100);
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, 100);
    b.now += 30;  // 50 ms after the first
    b.dlg->OnLButtonDown(left + 200, b.Y());
    b.dlg->OnLButtonUp();
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, 200);
    // Zoom input is throttled the same way.
    b.now += 10;
    b.dlg->OnLButtonDblClk(left + 200, b.Y());
    QCOMPARE(qRound(b.View().spanPx), b.dlg->Strip(0)->width());
}

void TestEventGraphDlg::zoomByClicksAndButtons() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    const int left = b.dlg->Area().left;
    const double width = b.dlg->Strip(0)->width();
    b.dlg->OnRButtonDown(left + 100, b.Y());  // unzoomed: refused
    QCOMPARE(b.View().spanPx, width);
    b.Later();
    b.dlg->OnLButtonDblClk(left + 100, b.Y());
    QCOMPARE(qRound(b.View().spanPx * 10), qRound(width * 12));
    QCOMPARE(b.View().originX, -20);
    b.Later();
    b.dlg->OnRButtonDown(left + 100, b.Y());
    QCOMPARE(qRound(b.View().spanPx * 100), qRound(width * 96));
    for (int row = 1; row < graph::kTraceCount; ++row) {
        QCOMPARE(b.dlg->Strip(row)->View().originX, b.View().originX);
        QCOMPARE(b.dlg->Strip(row)->View().spanPx, b.View().spanPx);
    }
    b.Later();
    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    QCOMPARE(qRound(b.View().spanPx * 1000), qRound(width * 1152));
    b.Later();
    QTest::mouseClick(b.Button(1027), Qt::LeftButton);
    QCOMPARE(qRound(b.View().spanPx * 10000), qRound(width * 9216));
}

void TestEventGraphDlg::dragRefusedAtInitialZoom() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    const int left = b.dlg->Area().left;
    b.dlg->OnLButtonDown(left + 300, b.Y());
    for (int d : {-40, 40, -15}) {
        b.Later();
        b.dlg->OnMouseMove(left + 300 + d, b.Y());
        QCOMPARE(b.View().originX, 0);
        QCOMPARE(b.dlg->DragAnchorX(), left + 300);
    }
    b.dlg->OnLButtonUp();
}

void TestEventGraphDlg::dragThreshold() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    const int centre = b.dlg->Area().left + 231;
    b.dlg->OnLButtonDblClk(centre, b.Y());
    const int origin = b.View().originX;
    QCOMPARE(origin, -46);
    b.Later();
    b.dlg->OnLButtonDown(centre, b.Y());
    b.Later();
    b.dlg->OnMouseMove(centre - 8, b.Y());
    QCOMPARE(b.View().originX, origin);
    QCOMPARE(b.dlg->DragAnchorX(), centre);
    b.Later();
    b.dlg->OnMouseMove(centre - 12, b.Y());
    QCOMPARE(b.View().originX, origin - 12);
    QCOMPARE(b.dlg->DragAnchorX(), centre - 12);
    for (int row = 1; row < graph::kTraceCount; ++row) {
        QCOMPARE(b.dlg->Strip(row)->View().originX, origin - 12);
    }
    b.Later();
    b.dlg->OnMouseMove(centre + 60, b.Y());  // would bring the start into view: refused
    QCOMPARE(b.View().originX, origin - 12);
    b.dlg->OnLButtonUp();
    QVERIFY(!b.dlg->Dragging());
    b.Later();
    b.dlg->OnMouseMove(centre - 40, b.Y());  // no button held: no drag
    QCOMPARE(b.View().originX, origin - 12);
}

void TestEventGraphDlg::handCursorWhileHeld() {
    Bench b(kVariantB);
    b.dlg->OnLButtonDown(10, 10);
    QCOMPARE(b.dlg->cursor().shape(), Qt::PointingHandCursor);
    b.dlg->OnMouseMove(20, 10);
    QCOMPARE(b.dlg->cursor().shape(), Qt::PointingHandCursor);
    b.dlg->OnLButtonUp();
    QCOMPARE(b.dlg->cursor().shape(), Qt::ArrowCursor);
    QVERIFY(!b.dlg->ButtonDown());
}

void TestEventGraphDlg::realMouseEventsReachTheDialog() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    QVERIFY(QTest::qWaitForWindowExposed(b.dlg.get()));
    const QPoint p(b.dlg->Area().left + 150, b.Y());
    // Through the window, so that the strip under the pointer is passed over.
    QTest::mouseClick(b.dlg->windowHandle(), Qt::LeftButton, {}, p);
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol, 150);
    QVERIFY(!b.dlg->ButtonDown());
    b.Later();
    QTest::mouseClick(b.dlg->windowHandle(), Qt::RightButton, {}, p);
    QCOMPARE(b.View().spanPx, double(b.dlg->Strip(0)->width()));
}

void TestEventGraphDlg::openFileImports() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    const QString file = b.home.filePath(QStringLiteral("saved.mdb"));
    FillTable(file, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 250, kReturn1)});
    int asked = 0;
    b.dlg->SetOpenFileChooser([&](QWidget*) {
        ++asked;
        return asked == 1 ? QString() : file;
    });
    QTest::mouseClick(b.Button(1003), Qt::LeftButton);  // cancelled
    b.Show();
    QCOMPARE(b.dlg->CurrentTimeline().traces[0].runs[1], qint64(1000));
    QTest::mouseClick(b.Button(1003), Qt::LeftButton);
    QCOMPARE(asked, 2);
    QCOMPARE(b.dlg->CurrentTimeline().traces[0].runs[1], qint64(1000));  // not redrawn
    b.Show();
    QCOMPARE(b.dlg->CurrentTimeline().traces[0].runs[1], qint64(250));
    QVERIFY(b.recorder.Texts().isEmpty());

    // A file that is no record database: one box, and the imported rows stay.
    const QString junk = b.home.filePath(QStringLiteral("junk.mdb"));
    QFile(junk).open(QIODevice::WriteOnly);
    b.dlg->SetOpenFileChooser([&](QWidget*) { return junk; });
    QTest::mouseClick(b.Button(1003), Qt::LeftButton);
    QCOMPARE(b.recorder.Texts(),
             QStringList{QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")});
    b.Show();
    QCOMPARE(b.dlg->CurrentTimeline().traces[0].runs[1], qint64(250));
}

void TestEventGraphDlg::recordDialogRunsGraphOfVariant_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("graph");
    QTest::newRow("A") << int(kVariantA) << "dlg131";
    QTest::newRow("B") << int(kVariantB) << "dlg140";
}

void TestEventGraphDlg::recordDialogRunsGraphOfVariant() {
    QFETCH(int, variant);
    QFETCH(QString, graph);
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    FakeSerialLine line;
    MessageBoxRecorder recorder;
    g_variant = variant;
    FillTable(RecordStore::WorkingDatabasePath(variant),
              {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 250, kReturn1)});
    CRecordDlg records;
    ConnectEventGraph(records);
    records.show();
    records.FillListFromTable(false);
    const int rows = records.ListModel().rowCount();
    QCOMPARE(rows, 2);

    QString shown;
    bool recordStoreOpen = true;
    bool graphStoreOpen = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CEventGraphDlg*>(QApplication::activeModalWidget());
        if (dlg != nullptr) {
            shown = dlg->objectName();
            recordStoreOpen = records.Store().IsConnected();
            graphStoreOpen = dlg->Store().IsConnected();
            dlg->reject();
        }
    });
    records.OnGraphDisplay();
    QCOMPARE(shown, graph);
    QVERIFY(!recordStoreOpen);
    QVERIFY(graphStoreOpen);
    QVERIFY(records.Store().IsConnected());
    QCOMPARE(records.ListModel().rowCount(), rows);
    records.reject();
    qunsetenv("KP650_HOME");
}

void TestEventGraphDlg::wheelZoomsLikeClicks() {
    const std::vector<EventRecord> log = {Rec(5, 10, 0, 0, 0, kStart1),
                                          Rec(5, 10, 0, 1, 0, kReturn1)};
    Bench clicks(kVariantB, log);
    Bench wheel(kVariantB, log);
    clicks.Show();
    wheel.Show();
    const int x = clicks.dlg->Area().left + 120;
    clicks.dlg->OnLButtonDblClk(x, clicks.Y());
    // A real wheel event, as the pointer over the graph sends it.
    QWheelEvent up(QPointF(x, wheel.Y()), wheel.dlg->mapToGlobal(QPointF(x, wheel.Y())), QPoint(),
                   QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(wheel.dlg.get(), &up);
    QCOMPARE(wheel.View().originX, clicks.View().originX);
    QCOMPARE(wheel.View().spanPx, clicks.View().spanPx);
    QVERIFY(wheel.View().spanPx > wheel.dlg->Strip(0)->width());

    // Within 50 ms a second notch is ignored, as a click would be.
    const double span = wheel.View().spanPx;
    wheel.dlg->OnWheel(x, wheel.Y(), 120);
    QCOMPARE(wheel.View().spanPx, span);
    clicks.Later();
    wheel.Later();
    clicks.dlg->OnRButtonDown(x + 30, clicks.Y());
    wheel.dlg->OnWheel(x + 30, wheel.Y(), -120);
    QCOMPARE(wheel.View().originX, clicks.View().originX);
    QCOMPARE(wheel.View().spanPx, clicks.View().spanPx);
    // Outside the graph area the wheel does nothing.
    wheel.Later();
    wheel.dlg->OnWheel(x, 5, 120);
    QCOMPARE(wheel.View().spanPx, clicks.View().spanPx);
}

void TestEventGraphDlg::keysDriveTheSameView() {
    // One dialog at a time: a second modal dialog would block this one's keys.
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 1, 0, kReturn1)});
    b.Show();
    b.dlg->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(b.dlg.get()));
    b.dlg->setFocus();
    QWidget* keys = b.dlg.get();

    const int start = b.dlg->CursorX();
    QTest::keyClick(keys, Qt::Key_Right);
    QCOMPARE(b.dlg->CursorX(), start + 1);
    const QString atRight = b.dlg->ReadOutText();
    QVERIFY(atRight.startsWith(QStringLiteral("2024年03月5日10时0分")));
    QTest::keyClick(keys, Qt::Key_Left);
    QTest::mouseClick(b.Button(1011), Qt::LeftButton);
    QCOMPARE(b.dlg->ReadOutText(), atRight);

    // +, then Home, then the zoom-in button: the same view as the key gave.
    QTest::keyClick(keys, Qt::Key_Plus);
    const TraceView zoomed = b.View();
    QVERIFY(zoomed.spanPx > b.dlg->Strip(0)->width());
    QTest::keyClick(keys, Qt::Key_Home);
    QCOMPARE(b.View().spanPx, double(b.dlg->Strip(0)->width()));
    QCOMPARE(b.View().originX, 0);
    b.Later();
    QTest::mouseClick(b.Button(1026), Qt::LeftButton);
    QCOMPARE(b.View().spanPx, zoomed.spanPx);
    QCOMPARE(b.View().originX, zoomed.originX);
    // - within 50 ms is held back like the button; later it zooms out.
    QTest::keyClick(keys, Qt::Key_Minus);
    QCOMPARE(b.View().spanPx, zoomed.spanPx);
    b.Later();
    QTest::keyClick(keys, Qt::Key_Minus);
    QVERIFY(b.View().spanPx < zoomed.spanPx);
}

void TestEventGraphDlg::edgeKeysAndStatus() {
    // Command 1 high 10:00:00.000 to .500; alarm (row 1004) high from .200 to .300.
    Bench b(
        kVariantB,
        {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 200, QStringLiteral("信噪比告警")),
         Rec(5, 10, 0, 0, 300, QStringLiteral("信噪比告警返回")), Rec(5, 10, 0, 0, 500, kReturn1)});
    b.Show();
    QVERIFY(b.dlg->StatusText().isEmpty());
    // From the cursor's first column (about 121 ms into the timeline) back to the first edge.
    b.dlg->OnCursorEdgeLeft();
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年03月5日10时0分0秒0毫秒"));
    QCOMPARE(b.dlg->StatusText(), QStringLiteral("为高的信号：命令1"));
    b.dlg->OnCursorEdgeRight();
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年03月5日10时0分0秒200毫秒"));
    QCOMPARE(b.dlg->StatusText(), QStringLiteral("为高的信号：命令1、信噪比告警"));
    QCOMPARE(b.dlg->findChild<QLineEdit*>(QStringLiteral("id1020"))->toolTip(),
             b.dlg->StatusText());
    b.dlg->OnCursorEdgeRight();
    b.dlg->OnCursorEdgeRight();
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年03月5日10时0分0秒500毫秒"));
    b.dlg->OnCursorEdgeRight();  // no edge further on: nothing moves
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年03月5日10时0分0秒500毫秒"));
    b.dlg->OnCursorEdgeLeft();
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年03月5日10时0分0秒300毫秒"));
    // The cursor column is the edge's column on the strips.
    QCOMPARE(b.dlg->Strip(0)->View().cursorCol,
             TimelineX(b.View(), b.dlg->Strip(0)->Layout().total, 20 + 300));

    // Zoomed in far enough that the next edge is off the strip, the view follows the cursor.
    for (int i = 0; i < 8; ++i) {
        b.Later();
        b.dlg->OnZoomIn();
    }
    b.dlg->OnCursorEdgeLeft();
    b.dlg->OnCursorEdgeLeft();
    QCOMPARE(b.dlg->ReadOutText(), QStringLiteral("2024年03月5日10时0分0秒0毫秒"));
    const int col = b.dlg->Strip(0)->View().cursorCol;
    QVERIFY2(col > 0 && col < b.dlg->Area().UsableWidth(), qPrintable(QString::number(col)));
}

void TestEventGraphDlg::growsAndKeepsThePartsPixelsAtInitialSize() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 500, kReturn1)});
    b.Show();
    QCOMPARE(b.dlg->size(), b.dlg->InitialSize());
    QCOMPARE(b.dlg->minimumSize(), b.dlg->InitialSize());
    QVERIFY(b.dlg->maximumSize().width() > b.dlg->InitialSize().width());
    std::map<QWidget*, QRect> before;
    for (QWidget* w : b.dlg->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (w->isVisible()) {
            before[w] = w->geometry();
        }
    }
    const QImage initial = b.dlg->grab().toImage();
    // Nothing new is visible at the first size.
    QVERIFY(!b.dlg->Axis()->isVisible());
    QVERIFY(!b.dlg->findChild<QWidget*>(QStringLiteral("graphActions"))->isVisible());
    QVERIFY(!b.dlg->findChild<QWidget*>(QStringLiteral("highSignals"))->isVisible());

    b.dlg->resize(b.dlg->InitialSize() + QSize(400, 200));
    QCOMPARE(b.dlg->Strip(0)->width(), 462 + 400);
    QCOMPARE(b.dlg->Area().UsableWidth(), 461 + 400);
    QCOMPARE(b.dlg->Area().left, 156);
    QVERIFY(b.dlg->Axis()->isVisible());
    QCOMPARE(b.dlg->Axis()->geometry().top(), b.dlg->Strip(6)->geometry().bottom() + 1);
    QCOMPARE(b.dlg->Axis()->width(), b.dlg->Strip(0)->width());
    QVERIFY(!b.dlg->Axis()->Layout().labels.empty());
    QCOMPARE(b.dlg->Axis()->Layout().labels.front().date, QStringLiteral("2024-03-05"));
    // The timeline still fills the wider strip, and the original buttons moved down together.
    QCOMPARE(b.dlg->Strip(0)->Layout().runs.back().xb, b.dlg->Strip(0)->width());
    const int dy = b.Button(1050)->y() - before[b.Button(1050)].y();
    QVERIFY(dy > 0);
    QCOMPARE(b.Button(2)->y() - before[b.Button(2)].y(), dy);
    QCOMPARE(b.Button(1050)->x(), before[b.Button(1050)].x());

    b.dlg->resize(b.dlg->InitialSize());
    for (const auto& [w, rect] : before) {
        QCOMPARE(w->geometry(), rect);
    }
    QVERIFY(!b.dlg->Axis()->isVisible());
    QCOMPARE(b.dlg->grab().toImage(), initial);

    // The transmitter's rows without a signal keep the width of the others, so all seven keep
    // one zoom.
    Bench a(kVariantA, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 500, kReturn1)});
    a.Show();
    a.dlg->resize(a.dlg->InitialSize() + QSize(300, 100));
    QCOMPARE(a.dlg->Strip(6)->width(), a.dlg->Strip(0)->width());
    QVERIFY(!a.dlg->Strip(6)->isVisible());
    // In, out, out: the second zoom out is refused on every strip alike.
    for (int i = 0; i < 3; ++i) {
        a.Later();
        if (i == 0) {
            a.dlg->OnZoomIn();
        } else {
            a.dlg->OnZoomOut();
        }
        QCOMPARE(a.dlg->Strip(6)->View().spanPx, a.dlg->Strip(0)->View().spanPx);
        QCOMPARE(a.dlg->Strip(6)->View().originX, a.dlg->Strip(0)->View().originX);
    }
}

void TestEventGraphDlg::readOutShowsItsBeginning() {
    Bench b(kVariantB, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 2, 30, 0, kReturn1)});
    b.Show();
    auto* box = b.dlg->findChild<QLineEdit*>(QStringLiteral("id1020"));
    box->setText(QStringLiteral("x"));
    box->end(false);
    b.dlg->OnLButtonDown(b.XAt(30000), b.Y());
    b.dlg->OnLButtonUp();
    QVERIFY(box->text().startsWith(QStringLiteral("起始时间:")));
    QVERIFY(box->text().endsWith(QStringLiteral(",持续时间:150000毫秒")));
    QCOMPARE(box->cursorPosition(), 0);
    // Drawn in the normal text colour, not the disabled grey.
    QCOMPARE(box->palette().color(QPalette::Active, QPalette::Text),
             box->palette().color(QPalette::Normal, QPalette::Text));
    QVERIFY(box->isEnabled());
}

void TestEventGraphDlg::showWithoutConnectionGivesDriverText() {
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    g_variant = kVariantB;
    {
        QFile garbage(RecordStore::WorkingDatabasePath(kVariantB));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
    }
    MessageBoxRecorder recorder;
    CReceiverGraphDlg dlg;
    dlg.show();
    QCOMPARE(recorder.Texts(),
             QStringList{QStringLiteral("数据库连接失败，确认数据库是否在当前路径下，并请重试!")});
    recorder.Clear();
    QTest::mouseClick(dlg.findChild<QPushButton*>(QStringLiteral("id1050")), Qt::LeftButton);
    QCOMPARE(recorder.Texts(), QStringList{QStringLiteral("file is not a database")});
    dlg.reject();
    qunsetenv("KP650_HOME");
}

void TestEventGraphDlg::listRecordsDrawnAndAllDates() {
    // The table holds records of 2019; the dates start at today.
    Bench b(kVariantB, {EventRecord{"2019", "7", "31", "23", "59", "59", "900", kStart1},
                        EventRecord{"2019", "8", "1", "0", "0", "0", "100", kReturn1}});
    b.dlg->SetDateRange(QDate::currentDate(), QDate::currentDate());
    b.dlg->OnDateRangeAll();
    QCOMPARE(b.dlg->findChild<QDateEdit*>(QStringLiteral("id1018"))->date(), QDate(2019, 7, 31));
    QCOMPARE(b.dlg->findChild<QDateEdit*>(QStringLiteral("id1019"))->date(), QDate(2019, 8, 1));
    QVERIFY(b.dlg->CurrentTimeline().loaded);
    QCOMPARE(b.dlg->Strip(0)->Data().runs, (std::vector<qint64>{20, 200, 40}));
    QCOMPARE(b.dlg->Caption(), QStringLiteral("KPB-650  2019-07-31 至 2019-08-01"));

    // Records given directly are drawn at the showing, whatever the table holds.
    CReceiverGraphDlg listed;
    listed.SetSourceRecords({Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 300, kReturn1)});
    QCOMPARE(listed.findChild<QDateEdit*>(QStringLiteral("id1018"))->date(), QDate(2024, 3, 5));
    listed.show();
    QVERIFY(listed.CurrentTimeline().loaded);
    QCOMPARE(listed.Strip(0)->Data().runs, (std::vector<qint64>{20, 300, 40}));
    listed.reject();

    // The context menu outside the graph area offers these actions.
    std::unique_ptr<QMenu> menu(b.dlg->CreateGraphMenu(nullptr));
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) {
            texts << a->text();
        }
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("全部"), QStringLiteral("显示整个时间轴"),
                                 QStringLiteral("导出PNG图片..."), QStringLiteral("导出SVG图片..."),
                                 QStringLiteral("导出PDF文件..."), QStringLiteral("打印...")}));
}

void TestEventGraphDlg::exportsAndPrint() {
    Bench b(kVariantA, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 500, kReturn1)});
    b.Show();
    QTemporaryDir out;
    QString next;
    QStringList asked;
    b.dlg->SetExportFileChooser(
        [&](QWidget*, const QString& title, const QString& filter, const QString& suffix) {
            asked << title + QLatin1Char('|') + filter + QLatin1Char('|') + suffix;
            return next;
        });
    next = out.filePath(QStringLiteral("g.png"));
    b.dlg->OnExportPng();
    next = out.filePath(QStringLiteral("g.svg"));
    b.dlg->OnExportSvg();
    next = out.filePath(QStringLiteral("g.pdf"));
    b.dlg->OnExportPdf();
    QCOMPARE(asked, (QStringList{QStringLiteral("导出PNG图片|PNG 图片(*.png)|png"),
                                 QStringLiteral("导出SVG图片|SVG 图片(*.svg)|svg"),
                                 QStringLiteral("导出PDF文件|PDF 文件(*.pdf)|pdf")}));
    QImage png(out.filePath(QStringLiteral("g.png")));
    QVERIFY(!png.isNull());
    QVERIFY(png.width() > b.dlg->Strip(0)->width());
    // A high run of command 1 is drawn in its colour somewhere in the picture.
    bool cyan = false;
    for (int y = 0; y < png.height() && !cyan; ++y) {
        for (int x = 0; x < png.width() && !cyan; ++x) {
            cyan = png.pixelColor(x, y) == QColor(0, 255, 255);
        }
    }
    QVERIFY(cyan);
    QFile svg(out.filePath(QStringLiteral("g.svg")));
    QVERIFY(svg.open(QIODevice::ReadOnly));
    const QByteArray svgText = svg.readAll();
    QVERIFY(svgText.contains("<svg"));
    QVERIFY(svgText.contains(QStringLiteral("KPA-650  2024-03-01 至 2024-03-31").toUtf8()));
    QFile pdf(out.filePath(QStringLiteral("g.pdf")));
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    QVERIFY(pdf.read(5) == "%PDF-");
    QVERIFY(b.recorder.Texts().isEmpty());

    // The printer: cancelled prints nothing; accepted prints one page (here into a file).
    bool asked2 = false;
    b.dlg->SetPrintSetup([&](QPrinter&, QWidget*) { return asked2 = true, false; });
    b.dlg->OnPrint();
    QVERIFY(asked2);
    b.dlg->SetPrintSetup([&](QPrinter& printer, QWidget*) {
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(out.filePath(QStringLiteral("printed.pdf")));
        return true;
    });
    b.dlg->OnPrint();
    QVERIFY(QFileInfo(out.filePath(QStringLiteral("printed.pdf"))).size() > 0);

    // A file that cannot be written: the record files' text, nothing else.
    next = out.filePath(QStringLiteral("no/such/g.png"));
    b.dlg->OnExportPng();
    QCOMPARE(b.recorder.Texts(), QStringList{QStringLiteral("保存文件出错！")});
}

void TestEventGraphDlg::recordListGraphRunsWithListedRecords() {
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    FakeSerialLine line;
    MessageBoxRecorder recorder;
    g_variant = kVariantA;
    CRecordDlg records;
    ConnectEventGraph(records);
    records.show();
    // The list holds records that are in no table.
    ShowInList(records, {Rec(5, 10, 0, 0, 0, kStart1), Rec(5, 10, 0, 0, 400, kReturn1)});
    std::vector<qint64> runs;
    QString shown;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<CEventGraphDlg*>(QApplication::activeModalWidget());
        if (dlg != nullptr) {
            shown = dlg->objectName();
            runs = dlg->Strip(0)->Data().runs;
            dlg->reject();
        }
    });
    records.OnGraphOfList();
    QCOMPARE(shown, QStringLiteral("dlg131"));
    QCOMPARE(runs, (std::vector<qint64>{20, 400, 40}));
    QVERIFY(records.Store().IsConnected());
    QVERIFY(recorder.Texts().isEmpty());
    records.reject();
    qunsetenv("KP650_HOME");
}

QTEST_MAIN(TestEventGraphDlg)
#include "tst_event_graph_dlg.moc"
