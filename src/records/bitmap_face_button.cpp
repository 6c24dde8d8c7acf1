#include "records/bitmap_face_button.h"

#include <QBitmap>
#include <QImage>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStylePainter>

#include "records/disabled_face.h"

namespace {
// The image as a pixmap whose bottom-left colour is transparent.
QPixmap Masked(const QImage& image) {
    if (image.isNull()) {
        return QPixmap();
    }
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    const QRgb t = rgb.pixel(0, rgb.height() - 1);
    QPixmap pixmap = QPixmap::fromImage(rgb);
    pixmap.setMask(QBitmap::fromImage(rgb.createMaskFromColor(t, Qt::MaskInColor)));
    return pixmap;
}

QPixmap LoadMasked(const QString& path) {
    return path.isEmpty() ? QPixmap() : Masked(QImage(path));
}
}  // namespace

QImage DisabledFaceImage(const QImage& normal, const QPalette& palette) {
    if (normal.isNull()) {
        return QImage();
    }
    const QImage rgb = normal.convertToFormat(QImage::Format_RGB32);
    const int w = rgb.width();
    const int h = rgb.height();
    std::vector<std::uint32_t> pixels;
    pixels.reserve(static_cast<std::size_t>(w) * h);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        pixels.insert(pixels.end(), line, line + w);
    }
    const auto out =
        DisabledFacePixels(pixels, w, h, palette.color(QPalette::Button).rgb() & 0xFFFFFFu,
                           palette.color(QPalette::Dark).rgb() & 0xFFFFFFu,
                           palette.color(QPalette::Light).rgb() & 0xFFFFFFu);
    QImage result(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
        for (int x = 0; x < w; ++x) {
            line[x] = 0xFF000000u | out[static_cast<std::size_t>(y) * w + x];
        }
    }
    return result;
}

CBitmapFaceButton::CBitmapFaceButton(const QString& caption, QWidget* parent)
    : QPushButton(caption, parent) {}

bool CBitmapFaceButton::LoadBitmaps(const QString& normal, const QString& selected,
                                    const QString& focused) {
    const QImage image(normal);
    if (image.isNull()) {
        return false;
    }
    m_normal = Masked(image);
    m_size = image.size();
    m_disabled = Masked(DisabledFaceImage(image, palette()));
    m_selected = LoadMasked(selected);
    m_focused = LoadMasked(focused);
    update();
    return true;
}

void CBitmapFaceButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    const QRect outer = rect();
    const bool pressed = isDown();
    const bool focused = hasFocus();

    QRect face = outer;
    if (pressed) {
        painter.setPen(Qt::black);
        painter.setBrush(palette().color(QPalette::Button));
        painter.drawRect(outer.adjusted(0, 0, -1, -1));
        face = outer.adjusted(1, 1, -1, -1);
        painter.setPen(palette().color(QPalette::Dark));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(face.adjusted(0, 0, -1, -1));
    } else {
        if (focused) {
            painter.setPen(Qt::black);
            painter.setBrush(Qt::NoBrush);
            painter.drawRect(outer.adjusted(0, 0, -1, -1));
            face = outer.adjusted(1, 1, -1, -1);
        }
        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect = face;
        option.text.clear();
        option.state &= ~QStyle::State_HasFocus;
        painter.drawControl(QStyle::CE_PushButtonBevel, option);
    }

    // Disabled first; the focus test comes last and overrides it.
    const QPixmap* image = &m_normal;
    if (!isEnabled() && !m_disabled.isNull()) {
        image = &m_disabled;
    }
    if (pressed && !m_selected.isNull()) {
        image = &m_selected;
    }
    if (focused) {
        image = m_focused.isNull() ? &m_normal : &m_focused;
    }
    if (!image->isNull()) {
        QPoint at((outer.width() - image->width()) / 2, (outer.height() - image->height()) / 2);
        if (pressed) {
            at += QPoint(1, 1);
        }
        painter.drawPixmap(at, *image);
    }

    if (focused) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = outer.adjusted(4, 4, -4, -4);
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}
