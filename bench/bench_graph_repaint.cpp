// Times one full repaint of the graph's seven strips and its time axis at 1920 pixels width,
// with 100 000 transitions in view: spread over the seven strips, and on every strip.
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <array>
#include <cstdio>

#include "graph/graph_picture.h"
#include "graph/time_axis.h"
#include "graph/trace_layout.h"
#include "graph/trace_strip.h"

namespace {

constexpr int kWidth = 1920;
constexpr int kStripHeight = 100;
constexpr int kStrips = 7;

TraceData MakeTrace(int transitions, int seed) {
    TraceData data;
    data.runs.clear();
    for (int i = 0; i <= transitions; ++i) {
        data.runs.push_back(20 + (i * 37 + seed * 11) % 400);
    }
    return data;
}

// Best of a few repaints of all seven strips (layout + paint) and the axis, in ms.
double Repaint(const std::array<TraceData, kStrips>& traces, const std::vector<TimeAnchor>& anchors,
               qint64 end) {
    QImage image(kWidth, kStrips * kStripHeight + 40, QImage::Format_RGB32);
    const QFont font;
    const QFontMetrics fm(font);
    double best = 1e30;
    for (int r = 0; r < 20; ++r) {
        QElapsedTimer timer;
        timer.start();
        QPainter painter(&image);
        painter.setFont(font);
        const TraceView first = FitView(RunTotal(traces[0].runs), kWidth, 300);
        const qint64 total = first.total;
        for (int s = 0; s < kStrips; ++s) {
            const TraceLayout layout = LayOutTrace(traces[s], first, kStripHeight);
            painter.save();
            painter.translate(0, s * kStripHeight);
            painter.fillRect(0, 0, kWidth, kStripHeight, Qt::black);
            DrawTrace(painter, layout, QColor(0, 255, 255), QColor(255, 255, 0));
            painter.restore();
        }
        const AxisLayout axis =
            LayOutAxis(anchors, end, first, total, kWidth,
                       [&fm](const QString& text) { return fm.horizontalAdvance(text); });
        painter.translate(0, kStrips * kStripHeight);
        DrawTimeAxis(painter, axis, kWidth, 34, Qt::white);
        painter.end();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    for (const int perStrip : {100000 / kStrips, 100000}) {
        std::array<TraceData, kStrips> traces;
        for (int s = 0; s < kStrips; ++s) {
            traces[s] = MakeTrace(perStrip, s);
        }
        // Equal totals on every strip, as the conversion makes them.
        const qint64 end = RunTotal(traces[0].runs);
        for (TraceData& t : traces) {
            const qint64 sum = RunTotal(t.runs);
            t.runs.back() += end - sum;
        }
        // A clock jump every 50 transitions, as separators between bursts give.
        std::vector<TimeAnchor> anchors;
        qint64 p = 0;
        for (int i = 0; i < perStrip; i += 50) {
            anchors.push_back(TimeAnchor{p, 1700000000000LL + i * 60000LL, true});
            p += 50 * 220;
        }
        std::printf(
            "7 strips %dx%d + axis, %d transitions per strip (%d in view): %.2f ms "
            "(best of 20)\n",
            kWidth, kStripHeight, perStrip, perStrip * kStrips, Repaint(traces, anchors, end));
    }
    return 0;
}
