#pragma once

#include "common/dialog_base.h"
#include "link/ms_comm.h"

class QLabel;

// Tests whether a port can be opened (at start-up and whenever a port is chosen). Nothing is
// sent; the port stays open while the dialog shows and is released when it closes.
class CPortCheckDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CPortCheckDlg(QWidget* parent = nullptr);

    void SetPortNumber(int port) { m_portNumber = port; }
    int PortNumber() const { return m_portNumber; }
    // 1 when the last showing could not open the port.
    int Failed() const { return m_failed; }
    QString StatusText() const { return m_statusText; }
    CMSComm& Comm() { return m_comm; }

    static QString FailureText(int port);
    static QString SuccessText(int port);

protected:
    // Centred on the screen, decorations included.
    void showEvent(QShowEvent* event) override;
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void SetStatus(const QString& text);
    void CentreOnScreen();

    CMSComm m_comm;
    QString m_statusText;
    int m_portNumber = 1;
    int m_failed = 1;
    QLabel* m_status = nullptr;
};
