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
// its strip as the dialog draws it), then the time axis.
struct GraphPictureRow {
    QString label;
    TraceLayout layout;
    QColor color;
    int height = 0;
};
struct GraphPicture {
    QString caption;
    std::vector<GraphPictureRow> rows;
    int stripWidth = 0;
    std::vector<TimeAnchor> anchors;
    qint64 end = 0;
    TraceView view;
    qint64 total = 0;
    QFont font;
};

// Size in pixels of the picture drawn at scale 1.
QSize GraphPictureSize(const GraphPicture& picture);
// Draws the picture at the painter's origin on a white ground.
void PaintGraphPicture(QPainter& painter, const GraphPicture& picture);

// Writes the picture to a file; false when it cannot be written.
bool SaveGraphPng(const GraphPicture& picture, const QString& path);
bool SaveGraphSvg(const GraphPicture& picture, const QString& path);
// Prints the picture on one landscape page, scaled to fit; the printer may write a PDF file.
bool PrintGraph(const GraphPicture& picture, QPrinter& printer);
