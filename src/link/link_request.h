#pragma once

#include <QObject>
#include <QTimer>

#include "link/device_exchange.h"

class DeviceLink;

// One request of a conversation on a device's line, as the link's RetryPolicy says: the
// policy's time-out and tries, and after silence, a lost line or a port that would not open,
// sent again as often as the policy allows (after a lost line once the line had time to come
// back). The dialogs' policy reports the first silence at once; the tool's goes again. Ends in
// exactly one Finished; requests of other conversations on the same link never reach it.
class LinkRequest : public QObject {
    Q_OBJECT
public:
    explicit LinkRequest(DeviceLink& link, QObject* parent = nullptr);

    // `tries`: sends in all, whatever went wrong (0: the policy's). False (nothing sent) while
    // the link is busy.
    bool Start(ExchangeRequest request, int tries = 0);
    void Cancel();
    bool Busy() const { return m_busy; }

Q_SIGNALS:
    void Finished(const ExchangeResult& result);

private:
    void Send();
    void OnExchangeFinished(const ExchangeResult& result);

    DeviceLink& m_link;
    ExchangeRequest m_request;
    bool m_busy = false;
    int m_limit = 1;  // sends in all
    int m_sent = 0;
    QTimer m_pause;  // a lost line's time to come back
};
