#include "graph/graph_picture.h"

#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QSvgGenerator>

#include <algorithm>

#include "graph/graph_frame.h"
#include "graph/trace_strip.h"

namespace {

constexpr int kMargin = 12;
constexpr int kLabelGap = 6;
constexpr int kTickLength = 5;
const QColor kStripBackground(0, 0, 0);
const QColor kCursorColor(255, 255, 0);

int LabelColumn(const GraphPicture& p, const QFontMetrics& fm) {
    int w = 0;
    for (const GraphPictureRow& row : p.rows) {
        w = std::max(w, fm.horizontalAdvance(row.label));
    }
    return w + kLabelGap;
}

AxisLayout PictureAxis(const GraphPicture& p, const QFontMetrics& fm) {
    return LayOutAxis(p.anchors, p.end, p.view, p.total, p.stripWidth,
                      [&fm](const QString& text) { return fm.horizontalAdvance(text); });
}

}  // namespace

void DrawTimeAxis(QPainter& painter, const AxisLayout& axis, int width, int height,
                  const QColor& ink) {
    painter.save();
    painter.setClipRect(0, 0, width, height);
    painter.setPen(QPen(ink, 1));
    painter.drawLine(0, 0, width - 1, 0);
    for (int x : axis.ticks) {
        painter.drawLine(x, 0, x, kTickLength);
    }
    for (int x : axis.breaks) {
        painter.drawLine(x - 3, kTickLength, x, 0);
        painter.drawLine(x, kTickLength, x + 3, 0);
    }
    const QFontMetrics fm = painter.fontMetrics();
    const int row1 = kTickLength + 1 + fm.ascent();
    const int row2 = row1 + fm.height();
    for (const AxisLabel& label : axis.labels) {
        if (!label.atBreak) {
            painter.drawLine(label.x, 0, label.x, kTickLength + 2);
        }
        const int x = label.x + graph::kAxisLabelIndent;
        painter.drawText(x, row1, label.time);
        if (!label.date.isEmpty()) {
            painter.drawText(x, row2, label.date);
        }
    }
    painter.restore();
}

QSize GraphPictureSize(const GraphPicture& p) {
    const QFontMetrics fm(p.font);
    int h = kMargin + fm.height() + kMargin;
    for (const GraphPictureRow& row : p.rows) {
        h += row.height;
    }
    h += graph::kAxisHeight + kMargin;
    return QSize(kMargin + LabelColumn(p, fm) + p.stripWidth + kMargin, h);
}

void PaintGraphPicture(QPainter& painter, const GraphPicture& p) {
    const QSize size = GraphPictureSize(p);
    painter.save();
    painter.setFont(p.font);
    const QFontMetrics fm(p.font);
    painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
    painter.setPen(Qt::black);
    painter.drawText(kMargin, kMargin + fm.ascent(), p.caption);

    const int labelColumn = LabelColumn(p, fm);
    const int left = kMargin + labelColumn;
    int y = kMargin + fm.height() + kMargin;
    for (const GraphPictureRow& row : p.rows) {
        painter.setPen(Qt::black);
        painter.drawText(QRect(kMargin, y, labelColumn - kLabelGap, row.height),
                         Qt::AlignRight | Qt::AlignVCenter, row.label);
        painter.save();
        painter.translate(left, y);
        painter.setClipRect(0, 0, p.stripWidth, row.height);
        painter.fillRect(0, 0, p.stripWidth, row.height, kStripBackground);
        DrawTrace(painter, row.layout, row.color, kCursorColor);
        painter.restore();
        y += row.height;
    }
    painter.translate(left, y);
    DrawTimeAxis(painter, PictureAxis(p, fm), p.stripWidth, graph::kAxisHeight, Qt::black);
    painter.restore();
}

bool SaveGraphPng(const GraphPicture& picture, const QString& path) {
    QImage image(GraphPictureSize(picture), QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        PaintGraphPicture(painter, picture);
    }
    return image.save(path, "PNG");
}

bool SaveGraphSvg(const GraphPicture& picture, const QString& path) {
    const QSize size = GraphPictureSize(picture);
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(picture.caption);
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    PaintGraphPicture(painter, picture);
    return painter.end();
}

bool PrintGraph(const GraphPicture& picture, QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const QSize size = GraphPictureSize(picture);
    const QRect page = painter.viewport();
    const double scale = std::min(static_cast<double>(page.width()) / size.width(),
                                  static_cast<double>(page.height()) / size.height());
    painter.scale(scale, scale);
    PaintGraphPicture(painter, picture);
    return painter.end();
}
