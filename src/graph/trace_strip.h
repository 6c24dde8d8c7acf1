#pragma once

#include <QColor>
#include <QWidget>

#include "graph/trace_layout.h"

class QPainter;

// One signal of the event graph: a low line that steps up to a high line while the signal is on,
// vertical strokes for instantaneous events and a vertical cursor line. The owner fills the data
// and steers zoom and pan through View(); every request for a repaint lays the strip out again,
// which applies and clears the pending zoom step and pan delta.
class CTraceStrip : public QWidget {
    Q_OBJECT
public:
    explicit CTraceStrip(QWidget* parent = nullptr);

    void SetCursorX(int column);
    void SetTraceColor(const QColor& color);
    QColor TraceColor() const { return m_traceColor; }
    // Forgets zoom and pan and lays the whole timeline across the strip at once.
    void ResetView();

    TraceData& Data() { return m_data; }
    const TraceData& Data() const { return m_data; }
    TraceView& View() { return m_view; }
    const TraceView& View() const { return m_view; }
    const TraceLayout& Layout() const { return m_layout; }

    // Draws the current layout; used by paintEvent and by anything that renders off screen.
    void Draw(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Relayout();

    TraceData m_data;
    TraceView m_view;
    TraceLayout m_layout;
    int m_laidOutWidth = 0;  // width the view was last laid out for
    QColor m_backgroundColor{0, 0, 0};
    QColor m_cursorColor{255, 255, 0};
    QColor m_traceColor{0, 255, 0};
};

// Draws a laid-out trace: cursor first, then runs and markers over it.
void DrawTrace(QPainter& painter, const TraceLayout& layout, const QColor& traceColor,
               const QColor& cursorColor);
