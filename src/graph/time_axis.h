#pragma once

#include <QString>
#include <QtGlobal>

#include <functional>
#include <vector>

#include "graph/trace_layout.h"

// Where the timeline meets the wall clock. The timeline is not a true time axis (gaps while every
// signal is low shrink to separators, long gaps are capped), so it is a chain of pieces: from each
// anchor's position up to the next one, timeline ms advance with wall-clock ms from the anchor's
// time. An anchor whose record had no valid time starts a piece without a clock.
struct TimeAnchor {
    qint64 position = 0;  // timeline ms
    qint64 time = 0;      // wall-clock ms (records/record_time.h)
    bool valid = false;
};

// How tick labels read at a tick step.
enum class AxisForm {
    Milliseconds,  // "HH:mm:ss.zzz"
    Seconds,       // "HH:mm:ss"
    Minutes,       // "HH:mm"
    Days,          // "yyyy-MM-dd"
};
AxisForm AxisFormOf(qint64 stepMs);
QString AxisTimeText(qint64 time, AxisForm form);
QString AxisDateText(qint64 time);

// Pixel width of a text in the axis font.
using AxisTextWidth = std::function<int(const QString&)>;

namespace graph {

// Clear space between two labels, and from a tick to its label.
inline constexpr int kAxisLabelGap = 8;
inline constexpr int kAxisLabelIndent = 2;

}  // namespace graph

// The smallest clean step (1-2-5 ms, 1-2-5-10-15-30 s and min, 1-2-3-6-12 h, 1-2-5 days and on)
// whose labels fit between two ticks at this scale.
qint64 AxisStepMs(double pxPerMs, const AxisTextWidth& textWidth);

// One label: the time under a tick (or at a break, the time where the next piece starts), and the
// date below it when it differs from the previous label's. x is the tick's strip column; the
// text starts kAxisLabelIndent pixels right of it.
struct AxisLabel {
    int x = 0;
    QString time;
    QString date;
    bool atBreak = false;
};

struct AxisLayout {
    qint64 stepMs = 0;
    std::vector<int> ticks;   // strip columns of clean times inside pieces
    std::vector<int> breaks;  // strip columns where the clock jumps
    std::vector<AxisLabel> labels;
};

// Ticks, breaks and the labels that fit without overlapping, left to right, over a strip `width`
// pixels wide under `view` (the strips' own scale: a tick lands on the same column as the trace
// edge at that time). `total` is the run list's sum, `end` the timeline end.
AxisLayout LayOutAxis(const std::vector<TimeAnchor>& anchors, qint64 end, const TraceView& view,
                      qint64 total, int width, const AxisTextWidth& textWidth);
