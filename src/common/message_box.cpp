#include "common/message_box.h"

#include <QPointer>

namespace {
MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
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
