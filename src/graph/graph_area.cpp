#include "graph/graph_area.h"

#include <QElapsedTimer>

#include <algorithm>
#include <memory>

namespace {
// Clicks this far above the first strip still count, so its high line can be hit easily.
constexpr int kTopMargin = 5;
}  // namespace

GraphArea GraphAreaOf(const std::vector<QRect>& strips) {
    GraphArea area;
    if (strips.empty()) {
        return area;
    }
    area.left = strips.front().left();
    area.right = area.left + strips.front().width() - 1;
    int top = strips.front().top();
    int bottom = strips.front().bottom();
    for (const QRect& r : strips) {
        top = std::min(top, r.top());
        bottom = std::max(bottom, r.bottom());
    }
    area.top = top - kTopMargin;
    area.bottom = bottom - 1;
    return area;
}

std::optional<qint64> TimelinePositionAt(const GraphArea& area, int x, int originX, double pxPerMs,
                                         qint64 timelineEnd, bool loaded) {
    if (!loaded || !area.ContainsX(x) || pxPerMs <= 0) {
        return std::nullopt;
    }
    const double offset = x - area.left - originX;
    if (!(offset > 0 && offset < static_cast<double>(timelineEnd) * pxPerMs)) {
        return std::nullopt;
    }
    return static_cast<qint64>(offset / pxPerMs);
}

bool DragAllowed(int d, const std::vector<int>& origins, double pxPerMs, qint64 timelineEnd,
                 int usableWidth) {
    const double span = static_cast<double>(timelineEnd) * pxPerMs;
    return std::all_of(origins.begin(), origins.end(), [&](int origin) {
        return origin + d < 0 && span + origin + d > usableWidth;
    });
}

InputThrottle::InputThrottle() {
    auto timer = std::make_shared<QElapsedTimer>();
    timer->start();
    m_clock = [timer] { return timer->elapsed(); };
}

bool InputThrottle::Ready() const {
    return !m_armed || m_clock() - m_armedAt >= kPeriodMs;
}

void InputThrottle::Arm() {
    m_armed = true;
    m_armedAt = m_clock();
}
