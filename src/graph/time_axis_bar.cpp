#include "graph/time_axis_bar.h"

#include <QFontMetrics>
#include <QPainter>

#include "graph/graph_picture.h"

CTimeAxisBar::CTimeAxisBar(QWidget* parent) : QWidget(parent) {
    // Mouse input belongs to the graph dialog.
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void CTimeAxisBar::SetTimeline(std::vector<TimeAnchor> anchors, qint64 end) {
    m_anchors = std::move(anchors);
    m_end = end;
    Relayout();
}

void CTimeAxisBar::SetScale(const TraceView& view, qint64 total) {
    m_view = view;
    m_total = total;
    Relayout();
}

void CTimeAxisBar::Relayout() {
    const QFontMetrics fm = fontMetrics();
    m_layout = LayOutAxis(m_anchors, m_end, m_view, m_total, width(),
                          [&fm](const QString& text) { return fm.horizontalAdvance(text); });
    update();
}

void CTimeAxisBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Relayout();
}

void CTimeAxisBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawTimeAxis(painter, m_layout, width(), height(), palette().color(QPalette::WindowText));
}
