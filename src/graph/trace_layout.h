#pragma once

#include <QtGlobal>

#include <optional>
#include <vector>

// What one trace strip draws: durations in ms alternating low, high, low, ... starting low, and
// timeline positions in ms of instantaneous events (markers). Durations are 64-bit so that a
// signal held high across many capped gaps cannot overflow its run.
struct TraceData {
    std::vector<qint64> runs{100};
    std::vector<qint64> markers;
};

namespace graph {

// Zoom step of one click, key or wheel notch: +0.2 enlarges to 1.2 times, -0.2 shrinks to 0.8.
inline constexpr float kZoomIncrement = 0.2f;

}  // namespace graph

// The graph's view: one value for every strip and the time axis under them. It is changed only
// by the functions below, which return a new view; strips and axis only draw it.
struct TraceView {
    int width = 0;         // strip width the view is for, pixels
    qint64 total = 0;      // timeline length the strips draw, ms (their run lists' sum)
    double spanPx = 0.0;   // width of the whole timeline, pixels
    int originX = 0;       // strip x of timeline position 0
    double pxPerMs = 0.0;  // spanPx / total, kept with them
    int cursorCol = 100;   // strip x of the cursor line

    bool operator==(const TraceView& o) const {
        return width == o.width && total == o.total && spanPx == o.spanPx && originX == o.originX &&
               cursorCol == o.cursorCol;
    }
    bool operator!=(const TraceView& o) const { return !(*this == o); }
};

// The whole timeline of `total` ms across a strip `width` pixels wide, starting at its left edge.
TraceView FitView(qint64 total, int width, int cursorCol = 100);

// The view after a zoom step (factor - 1: +0.2 enlarges to 1.2 times) about strip column
// `centre`: the point under the centre keeps its place. A step is refused (the view comes back
// unchanged) when the timeline would become narrower than 80 % of the strip or finer than
// 6 pixels per ms. The step is single precision on purpose: a -0.2 step from the unzoomed span
// then lands just below the 80 % limit and is refused, as users of this view expect.
TraceView ZoomView(const TraceView& view, float step, int centre);

// The view moved by d pixels (no limits: DragAllowed decides).
TraceView PanView(const TraceView& view, int d);

// The same view on a strip resized to newWidth: span and origin scale with the width (an
// unzoomed timeline still fills the strip exactly). The cursor column is the owner's to set.
TraceView ResizeView(const TraceView& view, int newWidth);

// Vertical levels of a trace in a strip of a given height.
struct TraceLevels {
    int yTop = 0;
    int yMid = 0;
    int yBottom = 0;
};

// One drawn piece: a run between xa and xb, a marker (xa == xb) or the cursor.
struct TraceSegment {
    int xa = 0;
    int xb = 0;
    TraceLevels levels;
    bool high = false;  // runs only: the signal is on during this run
};

struct TraceLayout {
    TraceLevels levels;
    std::optional<TraceSegment> cursor;
    std::vector<TraceSegment> runs;
    std::vector<TraceSegment> markers;
    qint64 total = 0;  // sum of the runs, ms
};

// The used prefix of a run list: positive values up to the first one that is not.
qint64 RunTotal(const std::vector<qint64>& runs, std::size_t* count = nullptr);

// Amplitude factor 0.8 below 100 pixels, 0.5 otherwise; half-amplitude capped at 50 pixels.
TraceLevels TraceLevelsFor(int height);

// The geometry of a trace drawn under `view` in a strip `height` pixels high.
TraceLayout LayOutTrace(const TraceData& data, const TraceView& view, int height);

// Strip x of a timeline position under the view's current scale.
int TimelineX(const TraceView& view, qint64 total, qint64 position);
