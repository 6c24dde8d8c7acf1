#include "records/percent_progress_ctrl.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <algorithm>

#include "records/progress_fill.h"

CPercentProgressCtrl::CPercentProgressCtrl(QWidget* parent) : QProgressBar(parent) {
    const QPalette pal = palette();
    m_barColour = pal.color(QPalette::Highlight);
    m_backgroundColour = pal.color(QPalette::Midlight);
    m_textOnBackground = pal.color(QPalette::Highlight);
    m_textOnBar = pal.color(QPalette::Base);
    // Two clean colours either side of the edge; blended glyph edges would smear the split.
    QFont f = font();
    f.setStyleStrategy(QFont::NoAntialias);
    setFont(f);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPercentProgressCtrl::SetRange(int lower, int upper) {
    m_lower = lower;
    m_upper = upper;
}

int CPercentProgressCtrl::SetPos(int position) {
    if (!testAttribute(Qt::WA_WState_Created)) {
        return -1;
    }
    const int previous = m_position;
    m_position = position;
    const int width = ProgressFillWidth(m_position, m_lower, m_upper, contentsRect().width());
    if (width != m_lastWidth) {
        m_lastWidth = width;
        repaint();
    }
    return previous;
}

int CPercentProgressCtrl::SetStep(int step) {
    const int previous = m_step;
    m_step = step;
    return previous;
}

void CPercentProgressCtrl::SetShowText(bool show) {
    if (testAttribute(Qt::WA_WState_Created) && show != m_showText) {
        update();
    }
    m_showText = show;
}

void CPercentProgressCtrl::SetWindowText(const QString& text) {
    if (text != m_text) {
        m_text = text;
        update();
    }
}

QString CPercentProgressCtrl::DisplayText() const {
    return m_showText ? ProgressText(m_text, m_position, m_lower, m_upper) : QString();
}

void CPercentProgressCtrl::resizeEvent(QResizeEvent* event) {
    QProgressBar::resizeEvent(event);
    m_lastWidth = -1;
}

void CPercentProgressCtrl::changeEvent(QEvent* event) {
    QProgressBar::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_shownIn = QRect();  // the text is laid out again in the new font
    }
}

void CPercentProgressCtrl::paintEvent(QPaintEvent*) {
    ++m_paintCount;
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.fillRect(rect(), m_backgroundColour);
    if (m_lower >= m_upper) {
        return;
    }
    const int fill = std::clamp(ProgressFillWidth(m_position, m_lower, m_upper, client.width()), 0,
                                client.width());
    const QRect filled(client.left(), client.top(), fill, client.height());
    const QRect unfilled(client.left() + fill, client.top(), client.width() - fill,
                         client.height());
    painter.fillRect(filled, m_barColour);

    const QString shown = DisplayText();
    if (shown.isEmpty()) {
        return;
    }
    painter.setFont(font());
    painter.setBackgroundMode(Qt::TransparentMode);
    if (m_shownText.text() != shown || m_shownIn != client) {
        m_shownText.setText(shown);
        m_shownText.setTextFormat(Qt::PlainText);
        m_shownText.prepare(QTransform(), font());
        m_shownIn = client;
        // Centred on one line over the client rectangle: where drawText would put it.
        m_shownAt = QFontMetricsF(font())
                        .boundingRect(QRectF(client), Qt::AlignCenter | Qt::TextSingleLine, shown)
                        .topLeft();
    }
    painter.setClipRect(filled);
    painter.setPen(m_textOnBar);
    painter.drawStaticText(m_shownAt, m_shownText);
    painter.setClipRect(unfilled);
    painter.setPen(m_textOnBackground);
    painter.drawStaticText(m_shownAt, m_shownText);
}
