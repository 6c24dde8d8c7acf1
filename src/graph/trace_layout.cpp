#include "graph/trace_layout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMinSpanShare = 0.8;  // zooming out stops at 80 % of the strip width
constexpr double kMaxPxPerMs = 6.0;    // zooming in stops at 6 pixels per ms
constexpr int kAmplitudeCap = 50;
// The cursor is drawn on columns below 500, or across the whole strip when it is wider.
constexpr int kCursorLimit = 500;
// And from the top down to 40 pixels, or to 2 pixels above the bottom of a taller strip.
constexpr int kCursorHeight = 40;
constexpr int kCursorBottomGap = 2;

// Pixel columns this far off the strip are never seen; clamping keeps a deep zoom on a long
// timeline inside int.
constexpr double kFarOff = 1e9;

int Trunc(double value) {
    return static_cast<int>(std::trunc(std::clamp(value, -kFarOff, kFarOff)));
}

}  // namespace

qint64 RunTotal(const std::vector<qint64>& runs, std::size_t* count) {
    qint64 total = 0;
    std::size_t n = 0;
    for (qint64 run : runs) {
        if (run <= 0) {
            break;
        }
        total += run;
        ++n;
    }
    if (count != nullptr) {
        *count = n;
    }
    return total;
}

TraceLevels TraceLevelsFor(int height) {
    const double factor = height < 100 ? 0.8 : 0.5;
    TraceLevels levels;
    levels.yMid = height / 2;
    const double amplitude = std::min(height * factor * 0.5, static_cast<double>(kAmplitudeCap));
    levels.yTop = Trunc(levels.yMid - amplitude);
    levels.yBottom = Trunc(levels.yMid + amplitude);
    return levels;
}

int TimelineX(const TraceView& view, qint64 total, qint64 position) {
    if (total <= 0) {
        return view.originX;
    }
    // Scale by span / total rather than by a rounded pixels-per-ms so that the end of an
    // unzoomed timeline lands exactly on the strip's right edge.
    return Trunc(static_cast<double>(position) * view.spanPx / static_cast<double>(total) +
                 view.originX);
}

TraceView FitView(qint64 total, int width, int cursorCol) {
    TraceView view;
    view.width = width;
    view.total = total;
    view.spanPx = width;
    view.originX = 0;
    view.pxPerMs = total > 0 ? view.spanPx / static_cast<double>(total) : 0.0;
    view.cursorCol = cursorCol;
    return view;
}

TraceView ZoomView(const TraceView& view, float step, int centre) {
    // The factor is formed from the single-precision step in double precision, which keeps the
    // step's representation error (1 - 0.2f is a hair below 0.8).
    const double factor = static_cast<double>(step) + 1.0;
    const double candidate = factor * view.spanPx;
    const double total = static_cast<double>(view.total);
    if (!(total > 0) || candidate < kMinSpanShare * view.width || candidate / total > kMaxPxPerMs) {
        return view;
    }
    TraceView zoomed = view;
    zoomed.originX = Trunc(centre - (centre - view.originX) * factor);
    zoomed.spanPx = candidate;
    zoomed.pxPerMs = candidate / total;
    return zoomed;
}

TraceView PanView(const TraceView& view, int d) {
    TraceView panned = view;
    panned.originX = view.originX + d;
    return panned;
}

TraceView ResizeView(const TraceView& view, int newWidth) {
    if (view.width <= 0 || view.spanPx <= 0) {
        return FitView(view.total, newWidth, view.cursorCol);
    }
    if (newWidth <= 0 || newWidth == view.width) {
        return view;
    }
    TraceView resized = view;
    // Multiplied before divided, so that growing and shrinking back lands on the same span.
    resized.spanPx = view.spanPx * newWidth / view.width;
    resized.originX = Trunc(static_cast<double>(view.originX) * newWidth / view.width);
    resized.width = newWidth;
    resized.pxPerMs = view.total > 0 ? resized.spanPx / static_cast<double>(view.total) : 0.0;
    return resized;
}

TraceLayout LayOutTrace(const TraceData& data, const TraceView& view, int height) {
    TraceLayout layout;
    std::size_t runCount = 0;
    layout.total = RunTotal(data.runs, &runCount);
    layout.levels = TraceLevelsFor(height);

    if (layout.total > 0) {
        layout.runs.reserve(runCount);
        qint64 sum = 0;
        int left = view.originX;
        for (std::size_t i = 0; i < runCount; ++i) {
            sum += data.runs[i];
            const int right = TimelineX(view, layout.total, sum);
            layout.runs.push_back(TraceSegment{left, right, layout.levels, (i % 2) == 1});
            left = right;
        }
        for (qint64 marker : data.markers) {
            if (marker <= 0) {
                break;
            }
            const int x = TimelineX(view, layout.total, marker);
            layout.markers.push_back(TraceSegment{x, x, layout.levels, false});
        }
    }

    if (view.cursorCol > 0 && view.cursorCol < std::max(kCursorLimit, view.width)) {
        const int bottom = std::max(kCursorHeight, height - kCursorBottomGap);
        layout.cursor =
            TraceSegment{view.cursorCol, view.cursorCol, TraceLevels{0, bottom / 2, bottom}, false};
    }
    return layout;
}
