#include "graph/graph_picture.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QImage>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSvgGenerator>

#include <algorithm>
#include <set>
#include <tuple>

#include "graph/graph_frame.h"
#include "graph/trace_strip.h"

namespace {

constexpr int kMargin = 12;
constexpr int kLabelGap = 6;
constexpr int kTickLength = 5;
const QColor kStripBackground(0, 0, 0);
const QColor kCursorColor(255, 255, 0);
// A landscape page is laid out this many picture pixels wide: a 12-pixel label is then about
// 3 mm high on A4, as 9-point print.
constexpr int kPageWidthPx = 1100;

int LabelColumn(const GraphPicture& p, const QFontMetrics& fm) {
    int w = 0;
    for (const GraphPictureRow& row : p.rows) {
        w = std::max(w, fm.horizontalAdvance(row.label));
    }
    return w + kLabelGap;
}

AxisLayout PictureAxis(const GraphPicture& p, const QFontMetrics& fm) {
    return LayOutAxis(p.anchors, p.end, p.view, p.view.total, p.view.width,
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
    return QSize(kMargin + LabelColumn(p, fm) + p.view.width + kMargin, h);
}

QRect GraphPictureStrips(const GraphPicture& p) {
    const QFontMetrics fm(p.font);
    int h = 0;
    for (const GraphPictureRow& row : p.rows) {
        h += row.height;
    }
    return QRect(kMargin + LabelColumn(p, fm), kMargin + fm.height() + kMargin, p.view.width, h);
}

int GraphPictureStripWidthFor(const GraphPicture& p, int width) {
    const QFontMetrics fm(p.font);
    return std::max(1, width - 2 * kMargin - LabelColumn(p, fm));
}

GraphPicture FitGraphPicture(const GraphPicture& picture, int width, double heightPerWidth) {
    GraphPicture fitted = picture;
    const QSize size = GraphPictureSize(picture);
    const int stripWidth = std::max(1, picture.view.width + width - size.width());
    fitted.view = ResizeView(picture.view, stripWidth);
    // The cursor column scales with the strip so that it stays on its time.
    fitted.view.cursorCol =
        picture.view.width > 0 ? picture.view.cursorCol * stripWidth / picture.view.width : 0;
    const int wantHeight = static_cast<int>(width * heightPerWidth);
    const int extra = wantHeight - size.height();
    if (extra > 0 && !fitted.rows.empty()) {
        const int each = extra / static_cast<int>(fitted.rows.size());
        for (GraphPictureRow& row : fitted.rows) {
            row.height += each;
        }
    }
    return fitted;
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
    const int width = p.view.width;
    int y = kMargin + fm.height() + kMargin;
    std::vector<int> rowTop;
    for (const GraphPictureRow& row : p.rows) {
        rowTop.push_back(y);
        painter.setPen(Qt::black);
        painter.drawText(QRect(kMargin, y, labelColumn - kLabelGap, row.height),
                         Qt::AlignRight | Qt::AlignVCenter, row.label);
        painter.save();
        painter.translate(left, y);
        painter.setClipRect(0, 0, width, row.height);
        painter.fillRect(0, 0, width, row.height, kStripBackground);
        DrawTrace(painter, LayOutTrace(row.data, p.view, row.height), row.color, kCursorColor);
        painter.restore();
        y += row.height;
    }
    const auto inRow = [&](int row) { return row >= 0 && row < static_cast<int>(p.rows.size()); };
    const auto columnOf = [&](qint64 at) { return left + TimelineX(p.view, p.view.total, at); };
    painter.save();
    painter.setClipRect(left, 0, width, y);
    // Tens of thousands of links share a few hundred columns at a wide view: each line is
    // drawn once, and only where it can be seen.
    std::set<std::tuple<int, int, int, int>> drawn;
    for (const GraphPictureLink& link : p.links) {
        if (!inRow(link.fromRow) || !inRow(link.toRow)) {
            continue;
        }
        const int xa = columnOf(link.from);
        const int xb = columnOf(link.to);
        if (std::max(xa, xb) < left || std::min(xa, xb) > left + width ||
            !drawn.emplace(link.fromRow, link.toRow, xa, xb).second) {
            continue;
        }
        const std::size_t a = static_cast<std::size_t>(link.fromRow);
        const std::size_t b = static_cast<std::size_t>(link.toRow);
        const int ya = rowTop[a] + TraceLevelsFor(p.rows[a].height).yTop;
        const int yb = rowTop[b] + TraceLevelsFor(p.rows[b].height).yTop;
        painter.setPen(QPen(link.color, 1, Qt::DashLine));
        painter.drawLine(xa, ya, xb, yb);
    }
    for (const GraphPictureMark& mark : p.marks) {
        if (!inRow(mark.row)) {
            continue;
        }
        const std::size_t r = static_cast<std::size_t>(mark.row);
        const int x = columnOf(mark.at);
        painter.setPen(QPen(mark.color, 2));
        painter.drawLine(x, rowTop[r], x, rowTop[r] + p.rows[r].height - 1);
        painter.drawText(x + 3, rowTop[r] + fm.ascent(), mark.text);
    }
    painter.restore();
    painter.translate(left, y);
    DrawTimeAxis(painter, PictureAxis(p, fm), width, graph::kAxisHeight, Qt::black);
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

QString SvgFontFamilies(const QString& family) {
    QStringList families;
    if (!family.isEmpty()) {
        families << QStringLiteral("'%1'").arg(family);
    }
    // Song faces first (the program's own look), then the CJK faces common on each system, then
    // the generic families every renderer has.
    families << QStringLiteral("'AR PL UMing CN'") << QStringLiteral("'Noto Serif CJK SC'")
             << QStringLiteral("'Noto Sans CJK SC'") << QStringLiteral("'Microsoft YaHei'")
             << QStringLiteral("'PingFang SC'") << QStringLiteral("serif")
             << QStringLiteral("sans-serif");
    families.removeDuplicates();
    return families.join(QStringLiteral(", "));
}

bool SaveGraphSvg(const GraphPicture& picture, const QString& path) {
    const QSize size = GraphPictureSize(picture);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QSvgGenerator svg;
    svg.setOutputDevice(&buffer);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    svg.setTitle(picture.caption);
    QPainter painter;
    if (!painter.begin(&svg)) {
        return false;
    }
    PaintGraphPicture(painter, picture);
    if (!painter.end()) {
        return false;
    }
    // The generator names the one family it drew with; a viewer without it would drop the
    // Chinese labels, so every font-family gets the fallbacks.
    QString text = QString::fromUtf8(buffer.data());
    static const QRegularExpression family(QStringLiteral("font-family=\"([^\"]*)\""));
    QString out;
    qsizetype last = 0;
    for (auto it = family.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out += QStringView(text).mid(last, m.capturedStart() - last);
        out += QStringLiteral("font-family=\"") + SvgFontFamilies(m.captured(1)) + QLatin1Char('"');
        last = m.capturedEnd();
    }
    out += QStringView(text).mid(last);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    file.write(out.toUtf8());
    return file.commit();
}

bool PrintGraph(const GraphPicture& picture, QPrinter& printer) {
    printer.setPageOrientation(QPageLayout::Landscape);
    QPainter painter;
    if (!painter.begin(&printer)) {
        return false;
    }
    const QRect page = painter.viewport();
    // Laid out for the page at a width where the labels read like 9-point print, then scaled
    // to the page's width.
    const GraphPicture fitted = FitGraphPicture(
        picture, kPageWidthPx, static_cast<double>(page.height()) / std::max(1, page.width()));
    const QSize size = GraphPictureSize(fitted);
    const double scale = std::min(static_cast<double>(page.width()) / size.width(),
                                  static_cast<double>(page.height()) / size.height());
    painter.scale(scale, scale);
    PaintGraphPicture(painter, fitted);
    return painter.end();
}
