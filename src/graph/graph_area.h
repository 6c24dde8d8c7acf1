#pragma once

#include <QRect>
#include <QtGlobal>

#include <functional>
#include <optional>
#include <vector>

// The part of the graph dialog where mouse input acts, in dialog client pixels, taken from
// where the strips actually are. Bounds are exclusive, as the pointer tests use them.
struct GraphArea {
    int left = 156;   // dialog x of strip column 0
    int right = 617;  // left + usable width
    int top = 35;
    int bottom = 320;

    int UsableWidth() const { return right - left; }
    bool ContainsX(int x) const { return left < x && x < right; }
    bool Contains(int x, int y) const { return ContainsX(x) && top < y && y < bottom; }
};

// Area of strips laid out at the given rectangles: columns from the first strip's left edge over
// its width less one, rows from a few pixels above the highest strip down to the lowest.
GraphArea GraphAreaOf(const std::vector<QRect>& strips);

// Timeline position (ms) under dialog x, or nothing when x is off the loaded data.
std::optional<qint64> TimelinePositionAt(const GraphArea& area, int x, int originX, double pxPerMs,
                                         qint64 timelineEnd, bool loaded);

namespace graph {

// Pixels a drag must move from its anchor before it pans.
inline constexpr int kDragThreshold = 10;

}  // namespace graph

// Whether a drag by d pixels keeps the timeline's start left of the strip and its end right of
// the usable width on every strip (origins of all strips).
bool DragAllowed(int d, const std::vector<int>& origins, double pxPerMs, qint64 timelineEnd,
                 int usableWidth);
inline bool DragBigEnough(int d) {
    return d > graph::kDragThreshold || d < -graph::kDragThreshold;
}

// Takes mouse and zoom input at most once per period. The clock is a seam: tests drive it.
class InputThrottle {
public:
    using Clock = std::function<qint64()>;  // monotonic ms
    static constexpr qint64 kPeriodMs = 50;

    InputThrottle();
    void SetClock(Clock clock) { m_clock = std::move(clock); }
    bool Ready() const;
    // Starts a quiet period after input was taken.
    void Arm();
    void Reset() { m_armed = false; }

private:
    Clock m_clock;
    bool m_armed = false;
    qint64 m_armedAt = 0;
};
