#pragma once

#include <QColor>
#include <QPointF>
#include <QProgressBar>
#include <QRect>
#include <QStaticText>
#include <QString>

// A progress bar that paints its own fill and a percentage (or a stored text) in two colours
// split at the fill edge. It keeps its own position and range, which may lie outside each other
// (a device may send more records than it announced), and repaints only when the filled width
// changes by at least one pixel.
class CPercentProgressCtrl : public QProgressBar {
    Q_OBJECT
public:
    explicit CPercentProgressCtrl(QWidget* parent = nullptr);

    // Stores both bounds; no redraw.
    void SetRange(int lower, int upper);
    // Returns the previous position, or -1 (nothing stored) while the control has no window.
    // Repaints at once when the filled width changes.
    int SetPos(int position);
    int SetStep(int step);
    void SetShowText(bool show);
    // The text shown instead of the percentage; empty restores the percentage.
    void SetWindowText(const QString& text);
    QString GetWindowText() const { return m_text; }

    int Pos() const { return m_position; }
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    int Step() const { return m_step; }
    bool ShowsText() const { return m_showText; }
    // What the bar shows now: empty with the text off.
    QString DisplayText() const;
    QString text() const override { return DisplayText(); }

    QColor BarColour() const { return m_barColour; }
    QColor BackgroundColour() const { return m_backgroundColour; }
    QColor TextOnBackgroundColour() const { return m_textOnBackground; }
    QColor TextOnBarColour() const { return m_textOnBar; }

    // Paint passes so far (lets tests see that an unchanged width does not repaint).
    int PaintCount() const { return m_paintCount; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int m_position = 0;
    int m_step = 1;
    int m_upper = 100;
    int m_lower = 0;
    QString m_text;
    bool m_showText = true;
    int m_lastWidth = -1;
    QColor m_barColour;
    QColor m_backgroundColour;
    QColor m_textOnBackground;
    QColor m_textOnBar;
    int m_paintCount = 0;
    // The text as last laid out: a read repaints for every record and the text changes only
    // every few of them, so its layout is kept rather than made again at every paint.
    QStaticText m_shownText;
    QRect m_shownIn;  // the client rectangle it was placed in
    QPointF m_shownAt;
};
