#pragma once

#include <QWidget>

// The title screen: product name, a maker line and an emblem, scaled to the client area.
class CKPB650View : public QWidget {
    Q_OBJECT
public:
    explicit CKPB650View(QWidget* parent = nullptr);

    static const QColor& Background();
    static QString TitleText();
    static QString MakerText();

protected:
    void paintEvent(QPaintEvent* event) override;
};
