#pragma once

#include <QColor>
#include <QFont>
#include <QSize>
#include <QString>

#include <vector>

#include "graph/time_axis.h"
#include "graph/trace_layout.h"

class QPainter;
class QPaintDevice;
class QPrinter;

// Draws a laid-out time axis into a band `width` x `height` at the painter's origin: a base line,
// a short tick at every clean time, a break mark where the clock jumps, and the kept labels with
// their dates below them.
void DrawTimeAxis(QPainter& painter, const AxisLayout& axis, int width, int height,
                  const QColor& ink);

// The graph as a picture for files and paper: a caption, then each shown row (its name beside
// its strip as the dialog draws it), then the time axis. Links join two rows' positions (a
// command sent and its receipt); marks are labelled strokes across one row.
struct GraphPictureRow {
    QString label;
    TraceData data;
    QColor color;
    int height = 0;
};
struct GraphPictureLink {
    int fromRow = 0;
    qint64 from = 0;  // timeline ms
    int toRow = 0;
    qint64 to = 0;
    QColor color;
};
struct GraphPictureMark {
    int row = 0;
    qint64 at = 0;  // timeline ms
    QColor color;
    QString text;
};
struct GraphPicture {
    QString caption;
    std::vector<GraphPictureRow> rows;
    TraceView view;  // its width is the strips' width
    std::vector<TimeAnchor> anchors;
    qint64 end = 0;
    QFont font;
    std::vector<GraphPictureLink> links;
    std::vector<GraphPictureMark> marks;
};

// Size in pixels of the picture drawn at scale 1.
QSize GraphPictureSize(const GraphPicture& picture);
// Where the strips are in it: left edge of column 0, top of the first row, the strips' width and
// all rows' height.
QRect GraphPictureStrips(const GraphPicture& picture);
// The strip width that makes the picture `width` pixels wide.
int GraphPictureStripWidthFor(const GraphPicture& picture, int width);
// The same picture laid out again for a page of this shape: as wide as `width` pixels (labels
// keep their size, so they read on paper as on screen), rows taller until the page's height is
// used.
GraphPicture FitGraphPicture(const GraphPicture& picture, int width, double heightPerWidth);
// Draws the picture at the painter's origin on a white ground.
void PaintGraphPicture(QPainter& painter, const GraphPicture& picture);

// Writes the picture to a file; false when it cannot be written. The SVG names its font
// followed by common CJK faces and the generic families, so its labels show on any system.
bool SaveGraphPng(const GraphPicture& picture, const QString& path);
bool SaveGraphSvg(const GraphPicture& picture, const QString& path);
// Prints the picture on one landscape page, laid out to fill it; the printer may write a PDF.
bool PrintGraph(const GraphPicture& picture, QPrinter& printer);
// The font-family list an exported SVG gives for a family.
QString SvgFontFamilies(const QString& family);
