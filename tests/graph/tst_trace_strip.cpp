#include <QImage>
#include <QPainter>
#include <QtTest>

#include "graph/trace_layout.h"
#include "graph/trace_strip.h"

namespace {

TraceData Runs(std::vector<qint64> runs, std::vector<qint64> markers = {}) {
    TraceData data;
    data.runs = std::move(runs);
    data.markers = std::move(markers);
    return data;
}

}  // namespace

class TestTraceStrip : public QObject {
    Q_OBJECT
private slots:
    void denseRunsDrawTheSamePixels_data();
    void denseRunsDrawTheSamePixels();
    void levels_data();
    void levels();
    void runsOnUnzoomedStrip();
    void runListEndsAtFirstNonPositive();
    void markers();
    void zoomInAboutCentre();
    void zoomOutLimits();
    void zoomInLimit();
    void panDelta();
    void cursorColumns_data();
    void cursorColumns();
    void resetViewFillsWidth();
    void initialContent();
    void drawsLevelsAndEdges();
};

void TestTraceStrip::levels_data() {
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("mid");
    QTest::addColumn<int>("bottom");
    QTest::newRow("40 px, factor 0.8") << 40 << 4 << 20 << 36;
    QTest::newRow("99 px, factor 0.8") << 99 << 9 << 49 << 88;
    QTest::newRow("120 px, factor 0.5") << 120 << 30 << 60 << 90;
    QTest::newRow("300 px, capped at 50") << 300 << 100 << 150 << 200;
}

void TestTraceStrip::levels() {
    QFETCH(int, height);
    QFETCH(int, top);
    QFETCH(int, mid);
    QFETCH(int, bottom);
    const TraceLevels l = TraceLevelsFor(height);
    QCOMPARE(l.yTop, top);
    QCOMPARE(l.yMid, mid);
    QCOMPARE(l.yBottom, bottom);
}

void TestTraceStrip::runsOnUnzoomedStrip() {
    const TraceView view = FitView(560, 460);
    const TraceLayout layout = LayOutTrace(Runs({20, 500, 40}), view, 40);
    QCOMPARE(layout.total, qint64(560));
    QVERIFY(qAbs(view.pxPerMs - 460.0 / 560.0) < 1e-9);
    QCOMPARE(int(layout.runs.size()), 3);
    QCOMPARE(layout.runs[0].xa, 0);
    QCOMPARE(layout.runs[0].xb, 16);
    QVERIFY(!layout.runs[0].high);
    QCOMPARE(layout.runs[1].xa, 16);
    QCOMPARE(layout.runs[1].xb, 427);
    QVERIFY(layout.runs[1].high);
    QCOMPARE(layout.runs[2].xa, 427);
    QCOMPARE(layout.runs[2].xb, 460);
    QVERIFY(!layout.runs[2].high);
    QCOMPARE(layout.runs[1].levels.yTop, 4);
    QCOMPARE(layout.runs[1].levels.yBottom, 36);
}

void TestTraceStrip::runListEndsAtFirstNonPositive() {
    const TraceLayout layout = LayOutTrace(Runs({100, 100, 0, 7, 9}), FitView(200, 200), 40);
    QCOMPARE(layout.total, qint64(200));
    QCOMPARE(int(layout.runs.size()), 2);
}

void TestTraceStrip::markers() {
    const TraceLayout layout = LayOutTrace(Runs({200}, {50, 150, 0, 99}), FitView(200, 400), 40);
    QCOMPARE(int(layout.markers.size()), 2);
    QCOMPARE(layout.markers[0].xa, 100);
    QCOMPARE(layout.markers[0].xb, 100);
    QCOMPARE(layout.markers[1].xa, 300);
}

void TestTraceStrip::zoomInAboutCentre() {
    const TraceView view = ZoomView(FitView(560, 460), 0.2f, 100);
    QCOMPARE(qRound(view.spanPx), 552);
    QCOMPARE(view.originX, -20);
}

void TestTraceStrip::zoomOutLimits() {
    TraceView view = FitView(1000, 460);
    view = ZoomView(view, -0.2f, 230);
    QCOMPARE(view.spanPx, 460.0);  // 0.8 x width is just below the limit: refused
    QCOMPARE(view.originX, 0);

    view = ZoomView(view, 0.2f, 230);
    QCOMPARE(qRound(view.spanPx), 552);
    view = ZoomView(view, -0.2f, 230);
    QCOMPARE(qRound(view.spanPx * 10), 4416);  // 0.96 x width: accepted
    view = ZoomView(view, -0.2f, 230);
    QCOMPARE(qRound(view.spanPx * 10), 4416);  // 0.768 x width: refused
}

void TestTraceStrip::zoomInLimit() {
    TraceView view = FitView(100, 460);  // 4.6 px per ms unzoomed
    view = ZoomView(view, 0.2f, 230);    // 5.52: accepted
    QCOMPARE(qRound(view.spanPx), 552);
    const int origin = view.originX;
    view = ZoomView(view, 0.2f, 230);  // 6.62: refused, nothing moves
    QCOMPARE(qRound(view.spanPx), 552);
    QCOMPARE(view.originX, origin);
}

void TestTraceStrip::panDelta() {
    const TraceView view = PanView(ZoomView(FitView(560, 460), 0.2f, 230), -12);
    const TraceLayout layout = LayOutTrace(Runs({20, 500, 40}), view, 40);
    QCOMPARE(view.originX, -58);  // zoom about 230 gives -46, then 12 pixels left
    QCOMPARE(layout.runs.front().xa, view.originX);
}

void TestTraceStrip::cursorColumns_data() {
    QTest::addColumn<int>("column");
    QTest::addColumn<bool>("drawn");
    QTest::newRow("0") << 0 << false;
    QTest::newRow("1") << 1 << true;
    QTest::newRow("499") << 499 << true;
    QTest::newRow("500") << 500 << false;
    QTest::newRow("-3") << -3 << false;
}

void TestTraceStrip::cursorColumns() {
    QFETCH(int, column);
    QFETCH(bool, drawn);
    const TraceLayout layout = LayOutTrace(TraceData(), FitView(100, 460, column), 40);
    QCOMPARE(layout.cursor.has_value(), drawn);
    if (drawn) {
        QCOMPARE(layout.cursor->xa, column);
        QCOMPARE(layout.cursor->levels.yTop, 0);
        QCOMPARE(layout.cursor->levels.yBottom, 40);
    }
}

void TestTraceStrip::resetViewFillsWidth() {
    CTraceStrip strip;
    strip.resize(461, 40);
    strip.Data() = Runs({33, 77, 91, 13});
    TraceView view = PanView(ZoomView(FitView(214, 461), 0.2f, 50), -30);
    strip.SetView(&view);
    QVERIFY(strip.View().originX != 0);
    view = FitView(214, 461);
    QCOMPARE(strip.View().originX, 0);
    QCOMPARE(strip.Layout().runs.front().xa, 0);
    QCOMPARE(strip.Layout().runs.back().xb, 461);
}

void TestTraceStrip::initialContent() {
    CTraceStrip strip;
    strip.resize(300, 40);
    QCOMPARE(int(strip.Layout().runs.size()), 1);
    QCOMPARE(strip.Layout().runs[0].xa, 0);
    QCOMPARE(strip.Layout().runs[0].xb, 300);
    QVERIFY(strip.Layout().cursor.has_value());
    QCOMPARE(strip.Layout().cursor->xa, 100);
}

void TestTraceStrip::drawsLevelsAndEdges() {
    CTraceStrip strip;
    strip.resize(460, 40);
    strip.Data() = Runs({20, 500, 40});
    strip.SetTraceColor(QColor(0, 255, 255));
    const TraceView view = FitView(560, 460, 200);
    strip.SetView(&view);
    QImage image(460, 40, QImage::Format_RGB32);
    QPainter painter(&image);
    strip.Draw(painter);
    painter.end();
    const QRgb trace = qRgb(0, 255, 255);
    const QRgb cursor = qRgb(255, 255, 0);
    const QRgb background = qRgb(0, 0, 0);
    QCOMPARE(image.pixel(5, 36), trace);  // low line
    QCOMPARE(image.pixel(5, 4), background);
    QCOMPARE(image.pixel(100, 4), trace);  // high line
    QCOMPARE(image.pixel(100, 36), background);
    QCOMPARE(image.pixel(16, 20), trace);   // rising edge
    QCOMPARE(image.pixel(427, 20), trace);  // falling edge
    QCOMPARE(image.pixel(440, 36), trace);
    QCOMPARE(image.pixel(200, 0), cursor);   // cursor from the top ...
    QCOMPARE(image.pixel(200, 20), cursor);  // ... under the trace's lines
    QCOMPARE(image.pixel(200, 4), trace);    // the trace is drawn over it
}

void TestTraceStrip::denseRunsDrawTheSamePixels_data() {
    QTest::addColumn<int>("runs");
    QTest::addColumn<float>("zoom");
    QTest::newRow("few, unzoomed") << 30 << 0.0f;
    QTest::newRow("many per column") << 20000 << 0.0f;
    QTest::newRow("many, zoomed in") << 20000 << 0.2f;
}

// The plain drawing, one piece at a time: a low run's bottom line; a high run's top line and
// full-height edges at both ends; a marker's full-height stroke.
void TestTraceStrip::denseRunsDrawTheSamePixels() {
    QFETCH(int, runs);
    QFETCH(float, zoom);
    TraceData data;
    data.runs.clear();
    for (int i = 0; i < runs; ++i) {
        data.runs.push_back(1 + (i * 7919) % 97);
    }
    data.markers = {500, 501, 5000};
    const TraceView view = ZoomView(FitView(RunTotal(data.runs), 461), zoom, 300);
    const TraceLayout layout = LayOutTrace(data, view, 40);

    QImage drawn(461, 40, QImage::Format_RGB32);
    drawn.fill(Qt::black);
    QPainter p(&drawn);
    DrawTrace(p, layout, QColor(0, 255, 0), QColor(255, 255, 0));
    p.end();

    QImage expected(461, 40, QImage::Format_RGB32);
    expected.fill(Qt::black);
    QPainter e(&expected);
    e.setPen(QPen(QColor(255, 255, 0), 1));
    e.drawLine(100, 0, 100, 40);
    e.setPen(QPen(QColor(0, 255, 0), 1));
    const int top = layout.levels.yTop;
    const int bottom = layout.levels.yBottom;
    for (const TraceSegment& r : layout.runs) {
        if (!r.high) {
            e.drawLine(r.xa, bottom, r.xb, bottom);
        } else {
            e.drawLine(r.xa, top, r.xb, top);
            e.drawLine(r.xa, top, r.xa, bottom);
            e.drawLine(r.xb, bottom, r.xb, top);
        }
    }
    for (const TraceSegment& m : layout.markers) {
        e.drawLine(m.xa, top, m.xa, bottom);
    }
    e.end();
    QCOMPARE(drawn, expected);
}

QTEST_MAIN(TestTraceStrip)
#include "tst_trace_strip.moc"
