#include "graph/trace_strip.h"

#include <QLine>
#include <QPainter>
#include <QResizeEvent>

#include <vector>

CTraceStrip::CTraceStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Mouse input belongs to the graph dialog, which moves all strips together.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CTraceStrip::SetCursorX(int column) {
    m_view.cursorCol = column;
    Relayout();
    update();
}

void CTraceStrip::SetTraceColor(const QColor& color) {
    m_traceColor = color;
    Relayout();
    update();
}

void CTraceStrip::ResetView() {
    m_view.zoomCentre = -1;
    m_view.originX = 0;
    m_view.zoomStep = 0.0f;
    Relayout();
    repaint();
}

void CTraceStrip::Relayout() {
    // A strip without a size yet keeps its pending inputs for its first real layout.
    if (width() <= 0 || height() <= 0) {
        return;
    }
    m_layout = LayOutTrace(m_data, m_view, width(), height());
}

void CTraceStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ScaleViewToWidth(m_view, event->oldSize().width(), event->size().width());
    Relayout();
}

void CTraceStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Draw(painter);
}

void CTraceStrip::Draw(QPainter& painter) const {
    painter.fillRect(rect(), m_backgroundColor);
    DrawTrace(painter, m_layout, m_traceColor, m_cursorColor);
}

void DrawTrace(QPainter& painter, const TraceLayout& layout, const QColor& traceColor,
               const QColor& cursorColor) {
    if (layout.cursor) {
        const TraceSegment& c = *layout.cursor;
        painter.setPen(QPen(cursorColor, 1));
        painter.drawLine(c.xa, c.levels.yTop, c.xa, c.levels.yBottom);
    }

    const int top = layout.levels.yTop;
    const int bottom = layout.levels.yBottom;
    std::vector<QLine> lines;
    lines.reserve(layout.runs.size() * 2 + layout.markers.size());
    for (const TraceSegment& run : layout.runs) {
        if (!run.high) {
            lines.emplace_back(run.xa, bottom, run.xb, bottom);
            continue;
        }
        lines.emplace_back(run.xa, top, run.xb, top);
        lines.emplace_back(run.xa, top, run.xa, bottom);
        lines.emplace_back(run.xb, bottom, run.xb, top);
    }
    for (const TraceSegment& marker : layout.markers) {
        lines.emplace_back(marker.xa, top, marker.xa, bottom);
    }
    painter.setPen(QPen(traceColor, 1));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}
