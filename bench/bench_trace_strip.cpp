// Times laying out and painting one 461-pixel strip with 5 000 transitions at the initial zoom.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>

#include "graph/trace_layout.h"
#include "graph/trace_strip.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TraceData data;
    data.runs.clear();
    for (int i = 0; i < 5001; ++i) {
        data.runs.push_back(20 + (i * 37) % 400);
    }
    for (int i = 1; i <= 50; ++i) {
        data.markers.push_back(i * 1000);
    }
    QImage image(461, 40, QImage::Format_RGB32);
    const int repeats = 200;
    double bestLayout = 1e30;
    double bestPaint = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const TraceView view = FitView(RunTotal(data.runs), 461, 200);
        QElapsedTimer timer;
        timer.start();
        const TraceLayout layout = LayOutTrace(data, view, 40);
        const double layoutMs = timer.nsecsElapsed() / 1e6;
        QPainter painter(&image);
        painter.fillRect(image.rect(), Qt::black);
        DrawTrace(painter, layout, QColor(0, 255, 255), QColor(255, 255, 0));
        painter.end();
        bestLayout = std::min(bestLayout, layoutMs);
        bestPaint = std::min(bestPaint, timer.nsecsElapsed() / 1e6);
    }
    std::printf(
        "Strip 461x40, 5000 transitions: layout %.3f ms, layout + paint %.3f ms (best of %d)\n",
        bestLayout, bestPaint, repeats);
    return 0;
}
