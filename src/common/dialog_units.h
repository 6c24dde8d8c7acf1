#pragma once

#include <QRect>

// Dialog templates give positions in dialog units: a quarter of the dialog font's average
// character width horizontally, an eighth of its height vertically. Dialogs are laid out with
// fixed geometry derived from these so that the specified positions hold to the pixel.
struct DialogUnits {
    int baseX;  // average character width, pixels
    int baseY;  // character height, pixels

    constexpr int x(int du) const { return du * baseX / 4; }
    constexpr int y(int du) const { return du * baseY / 8; }
    constexpr QRect rect(int left, int top, int width, int height) const {
        return QRect(x(left), y(top), x(width), y(height));
    }
    constexpr QSize size(int width, int height) const { return QSize(x(width), y(height)); }
};

namespace common {

// "宋体" 9 at 96 dpi: 6 by 12 pixels (1.5 pixels per unit both ways).
inline constexpr DialogUnits kSongTi9Units{6, 12};
// "System" 10: 8 by 16 pixels.
inline constexpr DialogUnits kSystem10Units{8, 16};
// "MS Sans Serif" 8: 6 by 13 pixels.
inline constexpr DialogUnits kSansSerif8Units{6, 13};

}  // namespace common
