#include "graph/graph_input.h"

#include <algorithm>

namespace {
// The strips' first content: one low run of 100 ms.
constexpr qint64 kInitialTotal = 100;
}  // namespace

GraphInput::GraphInput() {
    m_view = FitView(kInitialTotal, m_area.UsableWidth() + 1);
    m_cursorX = m_area.left + m_view.cursorCol;
}

void GraphInput::Load(qint64 total, bool loaded) {
    m_view = FitView(total, m_view.width, m_view.cursorCol);
    m_loaded = loaded;
    m_cursorPos.reset();
}

void GraphInput::SetArea(const GraphArea& area, int stripWidth) {
    if (!m_placed) {
        // The cursor's first column is where the strips draw it.
        m_cursorX = area.left + m_view.cursorCol;
        m_placed = true;
    }
    m_area = area;
    m_view = ResizeView(m_view, stripWidth);
    CursorStaysOnItsTime();
}

void GraphInput::CursorStaysOnItsTime() {
    // A cursor on the data stays on its time; before that it keeps its column.
    if (m_cursorPos) {
        m_view.cursorCol = TimelineX(m_view, m_view.total, *m_cursorPos);
        m_cursorX = m_area.left + m_view.cursorCol;
    }
}

std::optional<qint64> GraphInput::PositionAt(int x) const {
    return TimelinePositionAt(m_area, x, m_view.originX, m_view.pxPerMs, m_view.total, m_loaded);
}

GraphInput::Outcome GraphInput::MoveCursorTo(int x, bool withDuration) {
    Outcome out;
    const std::optional<qint64> t = PositionAt(x);
    if (!t) {
        return out;
    }
    m_view.cursorCol = x - m_area.left;
    m_cursorPos = *t;
    out.viewChanged = true;
    out.readOutAt = *t;
    out.withDuration = withDuration;
    return out;
}

void GraphInput::CursorFollowsView() {
    // The cursor line keeps its column while the timeline moves under it: from now on it stands
    // for the time now under that column.
    if (m_cursorPos) {
        m_cursorPos = PositionAt(m_area.left + m_view.cursorCol);
    }
}

GraphInput::Outcome GraphInput::Zoom(float step, int column) {
    m_view = ZoomView(m_view, step, column);
    CursorFollowsView();
    Outcome out;
    out.viewChanged = true;
    return out;
}

GraphInput::Outcome GraphInput::LButtonDown(int x, int y) {
    m_buttonDown = true;
    Outcome out;
    if (m_throttle.Ready()) {
        m_dragging = true;
        m_dragAnchorX = x;
        m_cursorX = x;
        if (m_area.Contains(x, y)) {
            out = MoveCursorTo(x, true);
        }
        m_throttle.Arm();
    }
    return out;
}

GraphInput::Outcome GraphInput::MouseMove(int x, int y) {
    Outcome out;
    if (!m_throttle.Ready()) {
        return out;
    }
    if (m_dragging && m_area.Contains(x, y)) {
        const int d = x - m_dragAnchorX;
        // Every strip shares the one origin.
        if (DragBigEnough(d) &&
            DragAllowed(d, {m_view.originX}, m_view.pxPerMs, m_view.total, m_area.UsableWidth())) {
            m_view = PanView(m_view, d);
            CursorFollowsView();
            m_dragAnchorX = x;
            out.viewChanged = true;
        }
    }
    m_throttle.Arm();
    return out;
}

void GraphInput::LButtonUp() {
    m_buttonDown = false;
    m_dragging = false;
}

GraphInput::Outcome GraphInput::Throttled(bool act, float step, int x) {
    Outcome out;
    if (!m_throttle.Ready()) {
        return out;
    }
    if (act) {
        out = Zoom(step, x - m_area.left);
    }
    m_throttle.Arm();
    return out;
}

GraphInput::Outcome GraphInput::RButtonDown(int x, int y) {
    return Throttled(m_area.Contains(x, y), -graph::kZoomIncrement, x);
}

GraphInput::Outcome GraphInput::LButtonDblClk(int x, int y) {
    return Throttled(m_area.Contains(x, y), graph::kZoomIncrement, x);
}

GraphInput::Outcome GraphInput::Wheel(int x, int y, int delta) {
    return Throttled(delta != 0 && m_area.Contains(x, y),
                     delta > 0 ? graph::kZoomIncrement : -graph::kZoomIncrement, x);
}

GraphInput::Outcome GraphInput::ZoomIn() {
    return Throttled(m_area.ContainsX(m_cursorX), graph::kZoomIncrement, m_cursorX);
}

GraphInput::Outcome GraphInput::ZoomOut() {
    return Throttled(m_area.ContainsX(m_cursorX), -graph::kZoomIncrement, m_cursorX);
}

GraphInput::Outcome GraphInput::CursorRight() {
    ++m_cursorX;
    return MoveCursorTo(m_cursorX, false);
}

GraphInput::Outcome GraphInput::CursorLeft() {
    --m_cursorX;
    return MoveCursorTo(m_cursorX, false);
}

GraphInput::Outcome GraphInput::ShowEverything() {
    m_view = FitView(m_view.total, m_view.width, m_view.cursorCol);
    CursorStaysOnItsTime();
    Outcome out;
    out.viewChanged = true;
    return out;
}

GraphInput::Outcome GraphInput::CursorTo(qint64 t) {
    const int width = m_area.UsableWidth();
    int column = TimelineX(m_view, m_view.total, t);
    if (column <= 0 || column >= width) {
        // Bring the position to the middle, as far as the timeline reaches.
        const int lowest = std::min(0, static_cast<int>(width - m_view.spanPx));
        m_view.originX = std::clamp(m_view.originX + width / 2 - column, lowest, 0);
        column = TimelineX(m_view, m_view.total, t);
    }
    m_view.cursorCol = column;
    m_cursorX = m_area.left + column;
    m_cursorPos = t;
    Outcome out;
    out.viewChanged = true;
    out.readOutAt = t;
    return out;
}
