#pragma once

#include <QtGlobal>

#include <optional>

#include "graph/graph_area.h"
#include "graph/trace_layout.h"

// The graph's mouse, key and button input as plain code: it owns the view every strip draws,
// the cursor and the drag, and says what an input changed. The dialog only forwards events and
// shows the outcome (strips and axis repainted, read-out composed), so every rule here can be
// driven by tests without a window.
//
// Input through the pointer and the zoom commands is taken at most once per 50 ms; the cursor
// buttons are not throttled. Zoom and pan act on the initial strips too; the cursor and the
// read-out need loaded data.
class GraphInput {
public:
    // What an input changed.
    struct Outcome {
        bool viewChanged = false;         // strips and axis repaint
        std::optional<qint64> readOutAt;  // the cursor was placed at this timeline position
        bool withDuration = false;        // the read-out gets the cut period's duration
    };

    GraphInput();

    // A new drawing of `total` ms (loaded: the cursor may be placed on it); the whole timeline
    // across the strips, the cursor column kept, no cursor time.
    void Load(qint64 total, bool loaded);
    // The strips moved or were resized: the view follows their width; a cursor on the data
    // stays on its time.
    void SetArea(const GraphArea& area, int stripWidth);

    const TraceView& View() const { return m_view; }
    const GraphArea& Area() const { return m_area; }
    int CursorX() const { return m_cursorX; }
    std::optional<qint64> CursorPosition() const { return m_cursorPos; }
    bool ButtonDown() const { return m_buttonDown; }
    bool Dragging() const { return m_dragging; }
    int DragAnchorX() const { return m_dragAnchorX; }
    // Timeline position under dialog x, or nothing when x is off the loaded data.
    std::optional<qint64> PositionAt(int x) const;

    void SetThrottleClock(InputThrottle::Clock clock) { m_throttle.SetClock(std::move(clock)); }
    void ResetThrottle() { m_throttle.Reset(); }

    Outcome LButtonDown(int x, int y);
    Outcome MouseMove(int x, int y);
    void LButtonUp();
    Outcome RButtonDown(int x, int y);
    Outcome LButtonDblClk(int x, int y);
    Outcome Wheel(int x, int y, int delta);
    Outcome CursorRight();
    Outcome CursorLeft();
    Outcome ZoomIn();
    Outcome ZoomOut();
    Outcome ShowEverything();
    // Puts the cursor on timeline position t, bringing it to the middle when it is off the
    // strips (as far as the timeline reaches).
    Outcome CursorTo(qint64 t);

private:
    Outcome MoveCursorTo(int x, bool withDuration);
    Outcome Zoom(float step, int column);
    Outcome Throttled(bool act, float step, int x);
    void CursorFollowsView();
    void CursorStaysOnItsTime();

    TraceView m_view;
    GraphArea m_area;
    InputThrottle m_throttle;
    bool m_loaded = false;
    bool m_placed = false;              // the area was set once
    std::optional<qint64> m_cursorPos;  // timeline ms under the cursor, once placed on the data
    int m_cursorX = 0;
    bool m_buttonDown = false;
    bool m_dragging = false;
    int m_dragAnchorX = 0;
};
