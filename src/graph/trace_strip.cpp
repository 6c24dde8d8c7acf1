#include "graph/trace_strip.h"

#include <QLine>
#include <QPainter>

#include <algorithm>
#include <limits>
#include <vector>

CTraceStrip::CTraceStrip(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Mouse input belongs to the graph dialog, which moves all strips together.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CTraceStrip::SetTraceColor(const QColor& color) {
    m_traceColor = color;
    update();
}

void CTraceStrip::SetView(const TraceView* view) {
    m_view = view;
    update();
}

TraceView CTraceStrip::View() const {
    return m_view != nullptr ? *m_view : FitView(RunTotal(m_data.runs), width());
}

TraceLayout CTraceStrip::Layout() const {
    return LayOutTrace(m_data, View(), height());
}

void CTraceStrip::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    Draw(painter);
}

void CTraceStrip::Draw(QPainter& painter) const {
    painter.fillRect(rect(), m_backgroundColor);
    DrawTrace(painter, Layout(), m_traceColor, m_cursorColor);
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
    // joined, and full-height edges on neighbouring columns become one filled block: the same
    // pixels from a few primitives per column at most.
    struct Span {
        int a = 0;
        int b = 0;
        bool open = false;
    };
    // Grows the span by [a, b] when it touches; otherwise hands the span over and starts anew.
    const auto extend = [](Span& span, int a, int b, const auto& flush) {
        if (span.open && a <= span.b + 1) {
            span.b = std::max(span.b, b);
            return;
        }
        if (span.open) {
            flush(span);
        }
        span = Span{a, b, true};
    };
    std::vector<QLine> lines;
    std::vector<QRect> blocks;
    const auto topLine = [&](const Span& s) { lines.emplace_back(s.a, top, s.b, top); };
    const auto bottomLine = [&](const Span& s) { lines.emplace_back(s.a, bottom, s.b, bottom); };
    const auto block = [&](const Span& s) {
        blocks.emplace_back(QPoint(s.a, top), QPoint(s.b, bottom));
    };
    Span topSpan;
    Span bottomSpan;
    Span edges;
    for (const TraceSegment& run : layout.runs) {
        if (!run.high) {
            extend(bottomSpan, run.xa, run.xb, bottomLine);
            continue;
        }
        extend(topSpan, run.xa, run.xb, topLine);
        extend(edges, run.xa, run.xa, block);
        extend(edges, run.xb, run.xb, block);
    }
    if (topSpan.open) {
        topLine(topSpan);
    }
    if (bottomSpan.open) {
        bottomLine(bottomSpan);
    }
    if (edges.open) {
        block(edges);
    }
    Span strokes;
    for (const TraceSegment& marker : layout.markers) {
        extend(strokes, marker.xa, marker.xa, block);
    }
    if (strokes.open) {
        block(strokes);
    }
    for (const QRect& r : blocks) {
        painter.fillRect(r, traceColor);
    }
    painter.setPen(QPen(traceColor, 1));
    painter.drawLines(lines.data(), static_cast<int>(lines.size()));
}
