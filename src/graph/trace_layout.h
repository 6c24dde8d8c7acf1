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

// Zoom and pan of one strip. The pending step and pan delta are one-shot inputs: the next layout
// applies and clears them.
struct TraceView {
    int zoomCentre = -1;  // strip x of the next zoom step; -1 = recentre at the next layout
    // Held in single precision on purpose: a -0.2 step from the unzoomed span then lands just
    // below the 80 % limit and is refused, as users of this view expect.
    float zoomStep = 0.0f;
    float zoomIncrement = 0.2f;
    int originX = 0;      // strip x of timeline position 0
    double spanPx = 0.0;  // width of the whole timeline, pixels
    int panDelta = 0;
    double pxPerMs = 0.0;
    int cursorCol = 100;
};

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

// Applies the pending zoom step and pan to `view` and returns the geometry for a strip of
// `width` x `height` pixels. A step is refused when the timeline would become narrower than 80 %
// of the strip or finer than 6 pixels per ms; the point under the zoom centre stays in place.
TraceLayout LayOutTrace(const TraceData& data, TraceView& view, int width, int height);

// Strip x of a timeline position under the view's current scale.
int TimelineX(const TraceView& view, qint64 total, qint64 position);

// Keeps what a strip shows when it is resized from oldWidth to newWidth pixels: the timeline's
// span and origin scale with the width (an unzoomed timeline still fills the strip exactly). The
// zoom centre and cursor column are the owner's inputs, set before they are used. A view not
// laid out yet is left alone.
void ScaleViewToWidth(TraceView& view, int oldWidth, int newWidth);
