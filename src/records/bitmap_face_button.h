#pragma once

#include <QPixmap>
#include <QPushButton>

// A push button that shows a bitmap instead of its text. The bitmap's bottom-left pixel gives
// its transparent colour; the disabled face is derived from the normal one. The caption stays
// the button's text (for accessibility and tests) but is not drawn.
class CBitmapFaceButton : public QPushButton {
    Q_OBJECT
public:
    explicit CBitmapFaceButton(const QString& caption, QWidget* parent = nullptr);

    // Loads the normal face (e.g. ":/button152.png") and derives the disabled face. Optional
    // selected and focused faces may be given; without them the normal face serves.
    bool LoadBitmaps(const QString& normal, const QString& selected = QString(),
                     const QString& focused = QString());

    QSize BitmapSize() const { return m_size; }
    // Faces as drawn (transparent colour already masked).
    QPixmap NormalFace() const { return m_normal; }
    QPixmap DisabledFace() const { return m_disabled; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_normal;
    QPixmap m_selected;
    QPixmap m_focused;
    QPixmap m_disabled;
    QSize m_size;
};

// The disabled image of a normal image, by DisabledFacePixels with the palette's button face,
// shadow and highlight colours.
QImage DisabledFaceImage(const QImage& normal, const QPalette& palette);
