#include "app/kpb650_view.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>

#include "app/title_layout.h"

namespace {
// A Swiss-family face of the given cell height and average character width. Height 0 keeps
// the face's default size; the width is reached by horizontal stretch, so a wide, low window
// gives wide, low characters.
QFont ScaledFont(int height, int avgWidth) {
    QFont font(QStringLiteral("Arial"));
    font.setStyleHint(QFont::SansSerif);
    font.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Noto Sans CJK SC")});
    if (height > 0) {
        font.setPixelSize(height);
    }
    if (avgWidth > 0) {
        const int natural = QFontMetrics(font).averageCharWidth();
        if (natural > 0) {
            // QFont accepts stretch factors from 1 to 4000.
            font.setStretch(qBound(1, avgWidth * 100 / natural, 4000));
        }
    }
    return font;
}

void DrawTextAt(QPainter& painter, const QFont& font, QPoint topLeft, const QString& text) {
    painter.setFont(font);
    const QFontMetrics metrics(font);
    painter.drawText(topLeft + QPoint(0, metrics.ascent()), text);
}
}  // namespace

CKPB650View::CKPB650View(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("view"));
    setAutoFillBackground(false);
}

const QColor& CKPB650View::Background() {
    static const QColor color(239, 235, 218);
    return color;
}

QString CKPB650View::TitleText() {
    return QStringLiteral("KPA(B)-650远方跳闸信号传输装置");
}

QString CKPB650View::MakerText() {
    return QStringLiteral("维护软件开发组");
}

void CKPB650View::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.fillRect(rect(), Background());
    painter.setBackgroundMode(Qt::OpaqueMode);
    painter.setBackground(Background());
    painter.setPen(Qt::black);

    const TitleLayout layout = ComputeTitleLayout(w, h);
    DrawTextAt(painter, ScaledFont(layout.titleHeight, layout.titleWidth), layout.titlePos,
               TitleText());
    DrawTextAt(painter, ScaledFont(layout.makerHeight, layout.makerWidth), layout.makerPos,
               MakerText());

    static const QPixmap emblem(QStringLiteral(":/emblem.png"));
    painter.drawPixmap(layout.emblemPos, emblem);
}
