#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

#include "common/message_box.h"

// Collects every message box while alive instead of showing it, answering with `answer`.
class MessageBoxRecorder {
public:
    explicit MessageBoxRecorder(QMessageBox::StandardButton answer = QMessageBox::Ok);
    ~MessageBoxRecorder();

    struct Box {
        QString text;
        QString caption;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
    };

    const QList<Box>& Boxes() const { return m_boxes; }
    QStringList Texts() const;
    void Clear() { m_boxes.clear(); }
    void SetAnswer(QMessageBox::StandardButton answer) { m_answer = answer; }

private:
    QList<Box> m_boxes;
    QMessageBox::StandardButton m_answer;
};
