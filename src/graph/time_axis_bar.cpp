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
    update();
}

void CTimeAxisBar::SetView(const TraceView* view) {
    m_view = view;
    update();
}

AxisLayout CTimeAxisBar::Layout() const {
    if (m_view == nullptr) {
        return AxisLayout();
    }
    const QFontMetrics fm = fontMetrics();
    return LayOutAxis(m_anchors, m_end, *m_view, m_view->total, width(),
                      [&fm](const QString& text) { return fm.horizontalAdvance(text); });
}

void CTimeAxisBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    DrawTimeAxis(painter, Layout(), width(), height(), palette().color(QPalette::WindowText));
}
