#include "graph/trace_strip.h"

#include <QLine>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>
#include <limits>
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
    // Scaled here rather than on resize events, which a hidden strip does not get.
    ScaleViewToWidth(m_view, m_laidOutWidth, width());
    m_laidOutWidth = width();
    m_layout = LayOutTrace(m_data, m_view, width(), height());
}

void CTraceStrip::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
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
    // Thousands of runs can share a pixel column. Touching pieces of the top and bottom lines are
    // joined and an edge already drawn at a column is not drawn again, which gives the same
    // pixels from a few lines per column at most.
    std::vector<QLine> lines;
    struct Span {
        int a = 0;
        int b = 0;
        bool open = false;
    };
    Span topSpan;
    Span bottomSpan;
    const auto extend = [&lines](Span& span, int y, int a, int b) {
        if (a > b) {
            std::swap(a, b);
        }
        if (span.open && a <= span.b + 1) {
            span.b = std::max(span.b, b);
            return;
        }
        if (span.open) {
            lines.emplace_back(span.a, y, span.b, y);
        }
        span = Span{a, b, true};
    };
    int lastEdge = std::numeric_limits<int>::min();
    const auto edge = [&](int x) {
        if (x != lastEdge) {
            lines.emplace_back(x, top, x, bottom);
            lastEdge = x;
        }
    };
    for (const TraceSegment& run : layout.runs) {
        if (!run.high) {
            extend(bottomSpan, bottom, run.xa, run.xb);
            continue;
        }
        extend(topSpan, top, run.xa, run.xb);
        edge(run.xa);
        edge(run.xb);
    }
    for (const Span* span : {&topSpan, &bottomSpan}) {
        if (span->open) {
            const int y = span == &topSpan ? top : bottom;
            lines.emplace_back(span->a, y, span->b, y);
        }
    }
    lastEdge = std::numeric_limits<int>::min();
    for (const TraceSegment& marker : layout.markers) {
        edge(marker.xa);
    }
    painter.setPen(QPen(traceColor, 1));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}
