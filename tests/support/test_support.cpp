#include "test_support.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include "common/globals.h"
#include "records/record_dlg.h"
#include "records/record_store.h"

MessageBoxRecorder::MessageBoxRecorder(QMessageBox::StandardButton answer) : m_answer(answer) {
    SetMessageBoxHandler([this](const QString& text, const QString& caption,
                                QMessageBox::StandardButtons buttons, QMessageBox::Icon icon) {
        m_boxes.append(Box{text, caption, buttons, icon});
        if (m_onBox) {
            m_onBox(m_boxes.last());
        }
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

ModalCloser::ModalCloser(int result) : m_timer(new QTimer) {
    m_timer->setInterval(5);
    QObject::connect(m_timer, &QTimer::timeout, [this, result] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            m_closed << dialog->objectName();
            if (m_onClose) {
                m_onClose(dialog->objectName());
            }
            dialog->done(result);
        }
    });
    m_timer->start();
}

ModalCloser::~ModalCloser() {
    delete m_timer;
}

QByteArray Bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values) {
        out.append(static_cast<char>(v));
    }
    return out;
}

void ShowInList(CRecordDlg& dlg, const std::vector<EventRecord>& records) {
    if (!dlg.Store().IsConnected()) {
        dlg.Store().ConnectWorking(g_variant);
    }
    dlg.Store().EmptyTable(records::kTempTable);
    for (const EventRecord& r : records) {
        dlg.Store().Append(records::kTempTable, r);
    }
    dlg.FillListFromTable(true);
    dlg.Store().EmptyTable(records::kTempTable);
}
