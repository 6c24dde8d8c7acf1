#include <QApplication>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTime>
#include <QTimer>
#include <QtTest>

#include <memory>

#include "common/globals.h"
#include "graph/event_graph_dlg.h"
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

QTEST_MAIN(TestEventGraphDlg)
#include "tst_event_graph_dlg.moc"
