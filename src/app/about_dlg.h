#pragma once

#include <QByteArray>
#include <QString>

#include "common/dialog_base.h"
#include "link/device_link.h"
#include "link/identity_read.h"
#include "link/ms_comm.h"

class QLabel;

// The about box, which also reads the device's identification (version, build date, checksum)
// over the chosen port while it is open. Created for one showing, on the main window's link (or
// a line of its own when given none).
class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr, DeviceLink* link = nullptr);
    ~CAboutDlg() override;

    CMSComm& Comm() { return m_comm; }
    DeviceLink& Link() { return m_device; }
    // "56" while the identification is awaited; empty otherwise.
    QString RequestText() const { return m_requestText; }

    static QString ModelText(int variant);
    static QString NoticeText();

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnIdentityRead(const IdentityReadResult& result);

    int m_portNumber = 1;
    DeviceLink& m_device;  // the line: control, exchange, port
    CMSComm& m_comm = m_device.Comm();
    IdentityRead m_read{m_device};
    QString m_requestText;

    QLabel* m_model = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_checksum = nullptr;
    QLabel* m_date = nullptr;
};
