#pragma once

#include <QPoint>

// Where the title screen puts its pieces for a client area of w by h pixels. Integer
// arithmetic truncates like the original; decimal factors are computed in floating point.
struct TitleLayout {
    int titleHeight = 0;  // font cell height, pixels (0 = the face's default)
    int titleWidth = 0;   // average character width, pixels (0 = natural)
    QPoint titlePos;      // top-left of the title text
    int makerHeight = 0;
    int makerWidth = 0;
    QPoint makerPos;
    QPoint emblemPos;  // top-left of the emblem bitmap
};

TitleLayout ComputeTitleLayout(int w, int h);
