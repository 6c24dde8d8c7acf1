#pragma once

#include <QDateTime>
#include <QTimer>

#include <functional>

#include "common/dialog_base.h"
#include "link/exchange.h"
#include "link/ms_comm.h"

class QLabel;

// Shows the PC clock, sets the device clock from it and reads the device clock back. Owned by
// the main frame for its whole life; each showing opens the port and each end releases it.
// The receive buffer lives as long as the dialog: text of an unfinished reply stays.
class CDeviceClockDlg : public CDialogBase {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit CDeviceClockDlg(QWidget* parent = nullptr);

    void SetPortNumber(int port) { m_portNumber = static_cast<short>(port); }
    int PortNumber() const { return m_portNumber; }
    // Where the PC's local time comes from (the system clock unless a test sets one).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    CMSComm& Comm() { return m_comm; }
    const ExchangeState& Exchange() const { return m_exchange; }

    void OnWrite();
    void OnRead();

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnRefresh();
    void OnComm();
    void OnReadReply();
    void ForgetReply();

    CMSComm m_comm;
    short m_portNumber = 1;
    QTimer m_refreshTimer;
    ExchangeState m_exchange;
    ReplyGatherer m_gatherer;
    Clock m_clock;

    QLabel* m_pcDate = nullptr;
    QLabel* m_pcTime = nullptr;
    QLabel* m_deviceDate = nullptr;
    QLabel* m_deviceTime = nullptr;
};
