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

TraceLayout LayOutTrace(const TraceData& data, TraceView& view, int width, int height) {
    TraceLayout layout;
    std::size_t runCount = 0;
    layout.total = RunTotal(data.runs, &runCount);
    layout.levels = TraceLevelsFor(height);

    if (view.zoomCentre == -1) {
        view.spanPx = width;
        view.zoomCentre = width / 2;
    }

    // The factor is formed from the single-precision step in double precision, which keeps the
    // step's representation error (1 - 0.2f is a hair below 0.8).
    const double factor = static_cast<double>(view.zoomStep) + 1.0;
    const double candidate = factor * view.spanPx;
    const double total = static_cast<double>(layout.total);
    bool accepted = total > 0;
    if (accepted && candidate < kMinSpanShare * width) {
        accepted = false;
    }
    if (accepted && candidate / total > kMaxPxPerMs) {
        accepted = false;
    }
    const double applied = accepted ? factor : 1.0;
    view.originX =
        Trunc(view.zoomCentre - (view.zoomCentre - view.originX) * applied) + view.panDelta;
    if (accepted) {
        view.spanPx = candidate;
    }
    view.pxPerMs = total > 0 ? view.spanPx / total : 0.0;
    view.zoomStep = 0.0f;
    view.panDelta = 0;

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

    if (view.cursorCol > 0 && view.cursorCol < std::max(kCursorLimit, width)) {
        const int bottom = std::max(kCursorHeight, height - kCursorBottomGap);
        layout.cursor =
            TraceSegment{view.cursorCol, view.cursorCol, TraceLevels{0, bottom / 2, bottom}, false};
    }
    return layout;
}

void ScaleViewToWidth(TraceView& view, int oldWidth, int newWidth) {
    if (oldWidth <= 0 || newWidth <= 0 || oldWidth == newWidth || view.zoomCentre == -1) {
        return;
    }
    // Multiplied before divided, so that growing and shrinking back lands on the same span.
    view.spanPx = view.spanPx * newWidth / oldWidth;
    view.originX = Trunc(static_cast<double>(view.originX) * newWidth / oldWidth);
}
