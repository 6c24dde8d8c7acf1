#pragma once

#include <QRect>
#include <QSize>

#include <vector>

namespace graph {

// Height of the time axis under the strips (tick, time row, date row) and of the row of extra
// actions at the bottom; both appear only in height the dialog has grown by.
inline constexpr int kAxisHeight = 34;
inline constexpr int kToolRowHeight = 30;
// Clear space around what the grown dialog adds.
inline constexpr int kFrameMargin = 6;

}  // namespace graph

// Where the graph dialog's parts go at a size. At the initial size (or anything smaller) every
// strip stays where it is and nothing is added. Grown, the strips widen with the dialog; height
// goes first to the time axis under the strips, then to the row of extra actions at the bottom,
// and the rest is shared by the strips equally (a remainder smaller than the strip count stays
// as space above the controls below). The controls below the strips keep their places relative
// to the dialog's bottom less the action row. The read-out box widens with the dialog up to the
// width its longest text wants (`readOutWant`); the status text takes the rest of that row.
struct GraphFrame {
    std::vector<QRect> strips;  // the visible strips, in the order given
    int belowDy = 0;            // how far every control below the strips moves down
    QRect axis;                 // empty: no axis
    QRect toolRow;              // empty: no action row
    QRect status;               // beside the read-out box; empty: none
    QRect readOut;
};
GraphFrame LayOutGraphFrame(const QSize& initial, const QSize& size,
                            const std::vector<QRect>& strips, const QRect& readOut,
                            int readOutWant = 0);
