#pragma once

#include <QByteArray>
#include <QString>

#include "common/dialog_base.h"
#include "link/device_exchange.h"
#include "link/identity.h"
#include "link/ms_comm.h"

class QLabel;

// The about box, which also reads the device's identification (version, build date, checksum)
// over the chosen port while it is open. Created for one showing.
class CAboutDlg : public CDialogBase {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    ~CAboutDlg() override;

    CMSComm& Comm() { return m_comm; }
    // "56" while the identification is awaited; empty otherwise.
    QString RequestText() const { return m_requestText; }

    static QString ModelText(int variant);
    static QString NoticeText();

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnExchangeFinished(const ExchangeResult& result);

    int m_portNumber = 1;
    CMSComm m_comm;
    DeviceExchange m_link;
    QString m_requestText;

    QLabel* m_model = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_checksum = nullptr;
    QLabel* m_date = nullptr;
};
