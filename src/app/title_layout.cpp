#include "app/title_layout.h"

TitleLayout ComputeTitleLayout(int w, int h) {
    TitleLayout l;
    l.titleHeight = h * 30 / 400;
    l.titleWidth = w * 8 / 400;
    l.titlePos = QPoint(w * 80 / 400, h * 3 / 8);
    l.makerHeight = h * 22 / 400;
    l.makerWidth = w * 6 / 400;
    l.makerPos =
        QPoint(static_cast<int>((2 * w) * 0.3125), static_cast<int>(h * 0.911111111111111));
    l.emblemPos = QPoint(w / 2, h * 5 / 6);
    return l;
}
