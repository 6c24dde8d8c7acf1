#include "graph/graph_frame.h"

#include <algorithm>

namespace {
// Narrower than this, a status text would show too little to be worth its place.
constexpr int kMinStatusWidth = 40;
}  // namespace

GraphFrame LayOutGraphFrame(const QSize& initial, const QSize& size,
                            const std::vector<QRect>& strips, const QRect& readOut,
                            int readOutWant) {
    GraphFrame frame;
    frame.strips = strips;
    frame.readOut = readOut;
    const int dw = std::max(0, size.width() - initial.width());
    const int dh = std::max(0, size.height() - initial.height());
    if ((dw == 0 && dh == 0) || strips.empty()) {
        return frame;
    }

    int rest = dh;
    const bool axis = rest >= graph::kAxisHeight;
    if (axis) {
        rest -= graph::kAxisHeight;
    }
    const bool tools = rest >= graph::kToolRowHeight;
    if (tools) {
        rest -= graph::kToolRowHeight;
    }
    const int n = static_cast<int>(strips.size());
    const int each = rest / n;

    int bottom = 0;
    for (int i = 0; i < n; ++i) {
        QRect& r = frame.strips[static_cast<std::size_t>(i)];
        r = QRect(r.x(), r.y() + i * each, r.width() + dw, r.height() + each);
        bottom = std::max(bottom, r.y() + r.height());
    }
    const QRect& first = frame.strips.front();
    if (axis) {
        frame.axis = QRect(first.x(), bottom, first.width(), graph::kAxisHeight);
    }
    frame.belowDy = dh - (tools ? graph::kToolRowHeight : 0);
    if (tools) {
        frame.toolRow = QRect(graph::kFrameMargin, size.height() - graph::kToolRowHeight,
                              size.width() - 2 * graph::kFrameMargin,
                              graph::kToolRowHeight - graph::kFrameMargin);
    }
    const int grown = std::min(readOut.width() + dw, std::max(readOut.width(), readOutWant));
    frame.readOut.setWidth(grown);
    const int statusLeft = readOut.x() + grown + graph::kFrameMargin;
    const int statusWidth = size.width() - graph::kFrameMargin - statusLeft;
    if (statusWidth >= kMinStatusWidth) {
        frame.status = QRect(statusLeft, readOut.y(), statusWidth, readOut.height());
    }
    return frame;
}
