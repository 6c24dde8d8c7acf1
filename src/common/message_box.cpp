#include "common/message_box.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QPointer>
#include <QSpacerItem>

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}
// A box only as wide as a short text leaves the window manager no room for its caption, which
// then shows as "...": make room for the caption, set in a bold title font, beside the title
// bar's icon and buttons (each about a line high and wide).
int CaptionWidth(const QMessageBox& box, const QString& caption) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    constexpr int kTitleBarItems = 6;  // icon, three buttons, margins
    return metrics.horizontalAdvance(caption) + kTitleBarItems * metrics.height();
}

void MakeRoomForCaption(QMessageBox& box, const QString& caption) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (grid == nullptr) {
        return;
    }
    // The box sizes itself from its layout when shown; a spacer is what it cannot shrink below.
    grid->addItem(
        new QSpacerItem(CaptionWidth(box, caption), 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
        grid->rowCount(), 0, 1, grid->columnCount());
}

}  // namespace

QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           const QString& caption,
                                           QMessageBox::StandardButtons buttons,
                                           QMessageBox::Icon icon) {
    if (Handler()) {
        // Copy: the handler may replace itself while it runs.
        MessageBoxHandler handler = Handler();
        return handler(text, caption, buttons, icon);
    }
    QMessageBox box(icon, caption, text, buttons, parent);
    MakeRoomForCaption(box, caption);
    if (buttons.testFlag(QMessageBox::Ok)) {
        box.setDefaultButton(QMessageBox::Ok);
    } else if (buttons.testFlag(QMessageBox::Yes)) {
        box.setDefaultButton(QMessageBox::Yes);
    }
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Handler() = std::move(handler);
}
