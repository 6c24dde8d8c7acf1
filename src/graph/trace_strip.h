#pragma once

#include <QColor>
#include <QWidget>

#include "graph/trace_layout.h"

class QPainter;

// One signal of the event graph: a low line that steps up to a high line while the signal is on,
// vertical strokes for instantaneous events and a vertical cursor line. The strip only draws:
// its owner fills the data and binds the view it draws under (one view for every strip of a
// graph), and calls update() when either changed.
class CTraceStrip : public QWidget {
    Q_OBJECT
public:
    explicit CTraceStrip(QWidget* parent = nullptr);

    void SetTraceColor(const QColor& color);
    QColor TraceColor() const { return m_traceColor; }

    // The owner's view, which must outlive the strip's use of it; null: the whole timeline
    // across the strip with the cursor at column 100.
    void SetView(const TraceView* view);
    TraceView View() const;

    TraceData& Data() { return m_data; }
    const TraceData& Data() const { return m_data; }
    TraceLayout Layout() const;

    // Draws the current layout; used by paintEvent and by anything that renders off screen.
    void Draw(QPainter& painter) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TraceData m_data;
    const TraceView* m_view = nullptr;
    QColor m_backgroundColor{0, 0, 0};
    QColor m_cursorColor{255, 255, 0};
    QColor m_traceColor{0, 255, 0};
};

// Draws a laid-out trace: cursor first, then runs and markers over it.
void DrawTrace(QPainter& painter, const TraceLayout& layout, const QColor& traceColor,
               const QColor& cursorColor);
