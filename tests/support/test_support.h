#pragma once

#include <QDialog>
#include <QMessageBox>
#include <QMetaType>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

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
    // Runs as each box comes, before it is answered: what the program has done by then.
    void SetOnBox(std::function<void(const Box&)> onBox) { m_onBox = std::move(onBox); }

private:
    QList<Box> m_boxes;
    QMessageBox::StandardButton m_answer;
    std::function<void(const Box&)> m_onBox;
};

class QTimer;

// Makes a fresh dialog, for data-driven tests that run over every dialog.
using DialogFactory = std::function<std::unique_ptr<QDialog>()>;
Q_DECLARE_METATYPE(DialogFactory)

template <typename T>
DialogFactory MakeDialog() {
    return [] { return std::make_unique<T>(); };
}

// Bytes from small integers, as a device sends them.
QByteArray Bytes(std::initializer_list<int> values);

// Closes every modal dialog that appears while alive (as its OK would), so code that calls
// exec() can run inside a test. Records the object names of what it closed, in order.
class ModalCloser {
public:
    explicit ModalCloser(int result = 1);
    ~ModalCloser();

    QStringList Closed() const { return m_closed; }
    // Runs just before each dialog is closed, with the dialog's object name.
    void SetOnClose(std::function<void(const QString&)> onClose) { m_onClose = std::move(onClose); }

private:
    QTimer* m_timer;
    QStringList m_closed;
    std::function<void(const QString&)> m_onClose;
};

class CRecordDlg;
struct EventRecord;
// Lists `records` in the record dialog as a read would, then empties TEMP again: the list then
// holds records that are in no table.
void ShowInList(CRecordDlg& dlg, const std::vector<EventRecord>& records);
