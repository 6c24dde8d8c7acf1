#include <QDateTime>
#include <QTimeZone>
#include <QtTest>

#include "graph/graph_frame.h"
#include "graph/read_out.h"
#include "graph/time_axis.h"
#include "graph/timeline.h"
#include "graph/trace_layout.h"

namespace {

// Six pixels a character, as the dialog font's Latin digits are.
int Mono(const QString& text) {
    return static_cast<int>(text.size()) * 6;
}

qint64 Wall(int y, int mo, int d, int h, int mi, int s, int ms) {
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), QTimeZone::utc()).toMSecsSinceEpoch();
}

TraceView View(double spanPx, int originX, qint64 total) {
    TraceView v;
    v.total = total;
    v.spanPx = spanPx;
    v.originX = originX;
    v.pxPerMs = spanPx / static_cast<double>(total);
    return v;
}

EventRecord Rec(const char* d, int h, int mi, int s, int ms, const char* event) {
    return EventRecord{QStringLiteral("2024"), QStringLiteral("3"),     QString::fromLatin1(d),
                       QString::number(h),     QString::number(mi),     QString::number(s),
                       QString::number(ms),    QString::fromUtf8(event)};
}

std::vector<int> Xs(const std::vector<AxisLabel>& labels) {
    std::vector<int> xs;
    for (const AxisLabel& l : labels) {
        xs.push_back(l.x);
    }
    return xs;
}

}  // namespace

class TestTimeAxis : public QObject {
    Q_OBJECT
private slots:
    void stepAdaptsToZoom_data();
    void stepAdaptsToZoom();
    void ticksOnTheStripsColumns();
    void breaksWhereTheClockJumps();
    void labelsThatDoNotFitAreLeftOut();
    void anchorsFollowTheConversion();
    void edgesAndHighRows();
    void frameAtAndAboveTheInitialSize_data();
    void frameAtAndAboveTheInitialSize();
    void viewScalesWithTheStrip();
    void cursorOnWideAndTallStrips();
};

void TestTimeAxis::stepAdaptsToZoom_data() {
    QTest::addColumn<double>("pxPerMs");
    QTest::addColumn<qint64>("step");
    // Labels need 82 px ("00:00:00.000"), 58 px ("00:00:00"), 40 px ("00:00") or 70 px
    // ("0000-00-00") including the gap and indent.
    QTest::newRow("6 px/ms, deepest zoom") << 6.0 << qint64(20);
    QTest::newRow("1 px/ms") << 1.0 << qint64(100);
    QTest::newRow("0.5 px/ms") << 0.5 << qint64(200);
    QTest::newRow("0.1 px/ms: seconds") << 0.1 << qint64(1000);
    QTest::newRow("0.01 px/ms") << 0.01 << qint64(10000);
    QTest::newRow("1 px/s: minutes") << 0.001 << qint64(60000);
    QTest::newRow("hours") << 1e-5 << qint64(7200000);
    QTest::newRow("days") << 1e-7 << qint64(10 * 86400000LL);
    QTest::newRow("beyond the ladder") << 1e-8 << qint64(100 * 86400000LL);
}

void TestTimeAxis::stepAdaptsToZoom() {
    QFETCH(double, pxPerMs);
    QFETCH(qint64, step);
    QCOMPARE(AxisStepMs(pxPerMs, Mono), step);
}

void TestTimeAxis::ticksOnTheStripsColumns() {
    // 10:00:00.000 at timeline 20 after a 20 ms lead-in; 560 ms across an unzoomed 460 px strip.
    const qint64 t = Wall(2024, 3, 5, 10, 0, 0, 0);
    const std::vector<TimeAnchor> anchors = {{0, t - 20, true}};
    const TraceView view = View(460, 0, 560);
    const AxisLayout axis = LayOutAxis(anchors, 560, view, 560, 460, Mono);
    QCOMPARE(axis.stepMs, qint64(100));
    QCOMPARE(axis.ticks, (std::vector<int>{16, 98, 180, 262, 345, 427}));
    QVERIFY(axis.breaks.empty());
    // The last label would run past the right edge.
    QCOMPARE(Xs(axis.labels), (std::vector<int>{16, 98, 180, 262, 345}));
    QCOMPARE(axis.labels[0].time, QStringLiteral("10:00:00.000"));
    QCOMPARE(axis.labels[0].date, QStringLiteral("2024-03-05"));
    QCOMPARE(axis.labels[4].time, QStringLiteral("10:00:00.400"));
    QCOMPARE(axis.labels[4].date, QString());
    // Each tick sits on the column where the strip draws the same time.
    QCOMPARE(TimelineX(view, 560, 520), 427);
}

void TestTimeAxis::breaksWhereTheClockJumps() {
    const qint64 t = Wall(2024, 3, 5, 10, 0, 0, 0);
    const qint64 next = Wall(2024, 3, 6, 8, 0, 0, 0);
    const std::vector<TimeAnchor> anchors = {{0, t - 20, true}, {40, next, true}, {70, 0, false}};
    const AxisLayout axis = LayOutAxis(anchors, 100, View(1000, 0, 100), 100, 1000, Mono);
    QCOMPARE(axis.stepMs, qint64(10));
    QCOMPARE(axis.ticks, (std::vector<int>{0, 100, 200, 300, 500, 600}));
    QCOMPARE(axis.breaks, (std::vector<int>{400, 700}));
    QCOMPARE(Xs(axis.labels), (std::vector<int>{0, 100, 200, 300, 400, 500, 600}));
    QCOMPARE(axis.labels[0].time, QStringLiteral("09:59:59.980"));
    QCOMPARE(axis.labels[0].date, QStringLiteral("2024-03-05"));
    QCOMPARE(axis.labels[2].time, QStringLiteral("10:00:00.000"));
    QVERIFY(axis.labels[4].atBreak);
    QCOMPARE(axis.labels[4].time, QStringLiteral("08:00:00.000"));
    QCOMPARE(axis.labels[4].date, QStringLiteral("2024-03-06"));
    QCOMPARE(axis.labels[6].time, QStringLiteral("08:00:00.020"));
}

void TestTimeAxis::labelsThatDoNotFitAreLeftOut() {
    // Zoomed in and panned: 2000 px over 100 ms seen through 250 px from column -1000.
    const qint64 t = Wall(2024, 3, 5, 23, 59, 59, 950);
    const std::vector<TimeAnchor> anchors = {{0, t, true}};
    const AxisLayout axis = LayOutAxis(anchors, 100, View(2000, -1000, 100), 100, 250, Mono);
    QCOMPARE(axis.stepMs, qint64(5));
    // Positions 50, 55, 60 land on 0, 100, 200; the label at 200 would end at 274.
    QCOMPARE(axis.ticks, (std::vector<int>{0, 100, 200}));
    QCOMPARE(Xs(axis.labels), (std::vector<int>{0, 100}));
    // Midnight: the date changes between the two.
    QCOMPARE(axis.labels[0].time, QStringLiteral("00:00:00.000"));
    QCOMPARE(axis.labels[0].date, QStringLiteral("2024-03-06"));
    QCOMPARE(axis.labels[1].date, QString());
    QVERIFY(LayOutAxis({}, 100, View(300, 0, 100), 100, 300, Mono).labels.empty());
}

void TestTimeAxis::anchorsFollowTheConversion() {
    const qint64 t = Wall(2024, 3, 5, 10, 0, 0, 0);
    // A start and its return: the clock runs on through the whole timeline.
    Timeline one =
        BuildTimeline({Rec("5", 10, 0, 0, 0, "命令1启动"), Rec("5", 10, 0, 0, 500, "命令1返回")},
                      SignalTableOf(1), DateKey(2024, 3, 5), DateKey(2024, 3, 5));
    QCOMPARE(one.anchors.size(), std::size_t(1));
    QCOMPARE(one.anchors[0].position, qint64(0));
    QCOMPARE(one.anchors[0].time, t - 20);
    // Two lone returns an hour apart: a 20 ms separator, then the clock jumps; a record whose
    // month is off the calendar starts a piece without a clock.
    Timeline two = BuildTimeline(
        {Rec("5", 10, 0, 0, 0, "命令1返回"), Rec("5", 11, 0, 0, 0, "命令2返回"),
         EventRecord{"2024", "3x", "5", "12", "0", "0", "0", QStringLiteral("命令3返回")}},
        SignalTableOf(1), DateKey(2024, 3, 5), DateKey(2024, 3, 5));
    QCOMPARE(two.anchors.size(), std::size_t(3));
    QCOMPARE(two.anchors[1].position, qint64(40));
    QCOMPARE(two.anchors[1].time, t + 3600000);
    QVERIFY(two.anchors[1].valid);
    QCOMPARE(two.anchors[2].position, qint64(60));
    QVERIFY(!two.anchors[2].valid);
    // Across the year's last day: 31 December and 1 January keep their own wall clocks.
    Timeline three = BuildTimeline(
        {EventRecord{"2024", "12", "31", "23", "0", "0", "0", QStringLiteral("命令1返回")},
         EventRecord{"2025", "1", "1", "1", "0", "0", "0", QStringLiteral("命令2返回")}},
        SignalTableOf(1), DateKey(2024, 12, 31), DateKey(2025, 1, 1));
    QCOMPARE(three.anchors.size(), std::size_t(2));
    QCOMPARE(three.anchors[0].time, Wall(2024, 12, 31, 23, 0, 0, 0) - 20);
    QCOMPARE(three.anchors[1].time, Wall(2025, 1, 1, 1, 0, 0, 0));
}

void TestTimeAxis::edgesAndHighRows() {
    std::array<TraceData, graph::kTraceCount> traces;
    for (TraceData& t : traces) {
        t.runs = {560};
    }
    traces[0].runs = {20, 500, 40};
    traces[1].runs = {120, 200, 240};
    traces[1].markers = {50};
    QCOMPARE(NearestEdge(traces, 0, true), std::optional<qint64>(20));
    QCOMPARE(NearestEdge(traces, 20, true), std::optional<qint64>(50));
    QCOMPARE(NearestEdge(traces, 50, true), std::optional<qint64>(120));
    QCOMPARE(NearestEdge(traces, 320, true), std::optional<qint64>(520));
    QCOMPARE(NearestEdge(traces, 520, true), std::nullopt);
    QCOMPARE(NearestEdge(traces, 120, false), std::optional<qint64>(50));
    QCOMPARE(NearestEdge(traces, 20, false), std::nullopt);
    QCOMPARE(RowsHighAt(traces, 130), (std::vector<int>{0, 1}));
    QCOMPARE(RowsHighAt(traces, 400), (std::vector<int>{0}));
    QCOMPARE(RowsHighAt(traces, 530), std::vector<int>());
}

void TestTimeAxis::frameAtAndAboveTheInitialSize_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<QRect>>("strips");
    QTest::addColumn<int>("belowDy");
    QTest::addColumn<QRect>("axis");
    QTest::addColumn<QRect>("tools");
    QTest::addColumn<QRect>("status");
    const QList<QRect> initial = {QRect(100, 40, 400, 40), QRect(100, 80, 400, 40),
                                  QRect(100, 120, 400, 42)};
    QTest::newRow("initial") << QSize(600, 400) << initial << 0 << QRect() << QRect() << QRect();
    QTest::newRow("smaller") << QSize(500, 300) << initial << 0 << QRect() << QRect() << QRect();
    QTest::newRow("wider") << QSize(700, 400)
                           << QList<QRect>{QRect(100, 40, 500, 40), QRect(100, 80, 500, 40),
                                           QRect(100, 120, 500, 42)}
                           << 0 << QRect() << QRect() << QRect(456, 6, 238, 24);
    QTest::newRow("a little taller: strips only")
        << QSize(600, 420)
        << QList<QRect>{QRect(100, 40, 400, 46), QRect(100, 86, 400, 46), QRect(100, 132, 400, 48)}
        << 20 << QRect() << QRect() << QRect(456, 6, 138, 24);
    QTest::newRow("grown: axis, actions, taller strips")
        << QSize(800, 500)
        << QList<QRect>{QRect(100, 40, 600, 52), QRect(100, 92, 600, 52), QRect(100, 144, 600, 54)}
        << 70 << QRect(100, 198, 600, 34) << QRect(6, 470, 788, 24) << QRect(456, 6, 338, 24);
}

void TestTimeAxis::frameAtAndAboveTheInitialSize() {
    QFETCH(QSize, size);
    QFETCH(QList<QRect>, strips);
    QFETCH(int, belowDy);
    QFETCH(QRect, axis);
    QFETCH(QRect, tools);
    QFETCH(QRect, status);
    const GraphFrame f = LayOutGraphFrame(
        QSize(600, 400), size,
        {QRect(100, 40, 400, 40), QRect(100, 80, 400, 40), QRect(100, 120, 400, 42)},
        QRect(150, 6, 300, 24));
    QCOMPARE(QList<QRect>(f.strips.begin(), f.strips.end()), strips);
    QCOMPARE(f.belowDy, belowDy);
    QCOMPARE(f.axis, axis);
    QCOMPARE(f.toolRow, tools);
    QCOMPARE(f.status, status);
}

void TestTimeAxis::viewScalesWithTheStrip() {
    TraceData data;
    data.runs = {20, 500, 40};
    TraceView v = ZoomView(FitView(560, 460), 0.2f, 100);
    QCOMPARE(v.originX, -20);
    QVERIFY(qAbs(v.spanPx - 552.0) < 1e-3);
    v.cursorCol = 100;
    v = ResizeView(v, 920);
    QVERIFY(qAbs(v.spanPx - 1104.0) < 1e-3);
    QCOMPARE(v.originX, -40);
    QCOMPARE(v.cursorCol, 100);
    v = ResizeView(v, 460);
    QVERIFY(qAbs(v.spanPx - 552.0) < 1e-3);
    QCOMPARE(v.originX, -20);

    // Unzoomed stays unzoomed: the timeline fills the wider strip exactly.
    const TraceLayout wide = LayOutTrace(data, ResizeView(FitView(560, 460), 1000), 40);
    QCOMPARE(wide.runs.front().xa, 0);
    QCOMPARE(wide.runs.back().xb, 1000);
}

void TestTimeAxis::cursorOnWideAndTallStrips() {
    TraceData data;
    // Past column 500 on the first-size strip.
    QVERIFY(!LayOutTrace(data, FitView(100, 460, 700), 40).cursor);
    const TraceLayout wide = LayOutTrace(data, FitView(100, 1000, 700), 40);
    QVERIFY(wide.cursor);
    QCOMPARE(wide.cursor->levels.yBottom, 40);
    const TraceLayout tall = LayOutTrace(data, FitView(100, 1000, 700), 100);
    QCOMPARE(tall.cursor->levels.yBottom, 98);
    QCOMPARE(LayOutTrace(data, FitView(100, 462, 100), 42).cursor->levels.yBottom, 40);
}

QTEST_MAIN(TestTimeAxis)
#include "tst_time_axis.moc"
