#pragma once

#include <QDateTime>
#include <QTimer>

#include <array>
#include <functional>

#include "common/dialog_base.h"
#include "journal/write_recorder.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/ms_comm.h"
#include "settings/clock_conversation.h"

class QLabel;
class QPushButton;

// Shows the PC clock, sets the device clock from it and reads the device clock back. Owned by
// the main frame for its whole life; each showing opens the port and each end releases it.
// Requests go one at a time through the clock conversations on the main window's link (or a
// line of its own when given none), with a time-out; a reply from before a request never counts
// for it.
class CDeviceClockDlg : public CDialogBase {
    Q_OBJECT
public:
    using Clock = std::function<QDateTime()>;

    explicit CDeviceClockDlg(QWidget* parent = nullptr, DeviceLink* link = nullptr);

    void SetPortNumber(int port) { m_portNumber = static_cast<short>(port); }
    int PortNumber() const { return m_portNumber; }
    // Where the PC's local time comes from (the system clock unless a test sets one).
    void SetClock(Clock clock) { m_clock = std::move(clock); }

    CMSComm& Comm() { return m_comm; }
    DeviceLink& Link() { return m_device; }
    const ExchangeState& Exchange() const { return m_exchange; }
    bool Busy() const { return m_device.Exchange().Busy(); }

    void OnWrite();
    void OnRead();

protected:
    void OnInitDialog() override;
    void OnEndDialog() override;

private:
    void OnRefresh();
    void OnClockRead(const ClockReadResult& result);
    void OnClockSet(const ClockSetResult& result);
    void ShowDeviceTime(const std::array<int, 6>& values);

    DeviceLink& m_device;  // the line: control, exchange, port
    CMSComm& m_comm = m_device.Comm();
    short m_portNumber = 1;
    QTimer m_refreshTimer;
    ExchangeState m_exchange;
    Clock m_clock;
    journal::WriteRecorder m_journal{QStringLiteral("kp650")};
    ClockRead m_read{m_device};
    ClockSet m_set{m_device, &m_journal};
    QString m_readThisShowing;  // the device time the last read of this showing found

    QLabel* m_pcDate = nullptr;
    QLabel* m_pcTime = nullptr;
    QLabel* m_deviceDate = nullptr;
    QLabel* m_deviceTime = nullptr;
    QPushButton* m_writeButton = nullptr;
    QPushButton* m_readButton = nullptr;
};
