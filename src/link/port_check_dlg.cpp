#include "link/port_check_dlg.h"

#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QWindow>

#include "common/dialog_units.h"
#include "common/message_box.h"
#include "link/open_port.h"

CPortCheckDlg::CPortCheckDlg(QWidget* parent) : CDialogBase(parent) {
    setObjectName(QStringLiteral("dlg138"));
    setWindowTitle(common::kAppTitle);
    setModal(true);
    setFont(DialogFont());
    constexpr DialogUnits du = common::kSystem10Units;
    setFixedSize(du.size(139, 46));

    m_comm.setParent(this);  // a member, so destroyed before the dialog; found by name as a child
    m_comm.setObjectName(QStringLiteral("id1004"));
    connect(&m_comm, &CMSComm::OnComm, this, [] { /* the check never reads */ });

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("id1029"));
    m_status->setGeometry(du.rect(5, 7, 127, 8));
    m_status->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("id1"));
    ok->setGeometry(du.rect(50, 24, 39, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void CPortCheckDlg::CentreOnScreen() {
    // The screen is the main window's: a dialog with a parent would otherwise be centred on it.
    const QWidget* owner = parentWidget() ? parentWidget()->window() : this;
    const QScreen* screen = owner->screen();
    if (!screen) {
        return;
    }
    QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    QPoint clientOffset;
    if (frame.isNull() && owner != this && owner->windowHandle()) {
        // Not framed yet (the first showing under a window manager): the window system puts the
        // client area where it is asked, so room is left for decorations like the main window's.
        frame = owner->windowHandle()->frameMargins();
        clientOffset = QPoint(frame.left(), frame.top());
    }
    const QSize outer = size().grownBy(frame);
    move(screen->availableGeometry().center() - QPoint(outer.width() / 2, outer.height() / 2) +
         clientOffset);
}

void CPortCheckDlg::showEvent(QShowEvent* event) {
    if (!event->spontaneous()) {
        CentreOnScreen();
    }
    CDialogBase::showEvent(event);
}

QString CPortCheckDlg::FailureText(int port) {
    return QStringLiteral("   串口%1打开失败，请重新选择串口!").arg(port);
}

QString CPortCheckDlg::SuccessText(int port) {
    return QString(15, QLatin1Char(' ')) + QStringLiteral("   串口%1打开成功!").arg(port);
}

void CPortCheckDlg::SetStatus(const QString& text) {
    m_statusText = text;
    m_status->setText(text);
}

void CPortCheckDlg::OnInitDialog() {
    m_failed = 1;
    SetStatus(FailureText(m_portNumber));
    if (m_comm.GetPortOpen()) {
        m_comm.SetPortOpen(false);
    }
    m_comm.SetCommPort(static_cast<short>(m_portNumber));
    if (m_comm.GetPortOpen()) {
        ShowMessageBox(this, comm::kPortStillOpenText);
        return;
    }
    if (!m_comm.SetPortOpen(true)) {
        ShowMessageBox(this, comm::kChoosePortAgainText);
        return;
    }
    m_failed = 0;
    SetStatus(SuccessText(m_portNumber));
}

void CPortCheckDlg::OnEndDialog() {
    m_comm.SetPortOpen(false);
}
