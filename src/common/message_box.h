#pragma once

#include <QMessageBox>
#include <QString>

#include <functional>

class QWidget;

namespace common {

// Application title, the caption of every box that names no other.
inline const QString kAppTitle = QStringLiteral("KPA(B)-650");

}  // namespace common

// Receives a box instead of the screen: text, caption, buttons, icon; returns the button pressed.
using MessageBoxHandler = std::function<QMessageBox::StandardButton(
    const QString& text, const QString& caption, QMessageBox::StandardButtons buttons,
    QMessageBox::Icon icon)>;

// Every message of the program goes through here. With a handler installed the handler answers;
// otherwise a modal box with the given buttons is shown (its nested loop keeps serial events
// flowing, which the dialogs rely on).
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, const QString& text,
                                           const QString& caption = common::kAppTitle,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           QMessageBox::Icon icon = QMessageBox::NoIcon);

// An empty handler restores real boxes.
void SetMessageBoxHandler(MessageBoxHandler handler);
