#include "test_support.h"

MessageBoxRecorder::MessageBoxRecorder(QMessageBox::StandardButton answer) : m_answer(answer) {
    SetMessageBoxHandler([this](const QString& text, const QString& caption,
                                QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
        m_boxes.append(Box{text, caption, buttons, icon});
        return m_answer;
    });
}

MessageBoxRecorder::~MessageBoxRecorder() {
    SetMessageBoxHandler({});
}

QStringList MessageBoxRecorder::Texts() const {
    QStringList texts;
    for (const Box& box : m_boxes) {
        texts << box.text;
    }
    return texts;
}
