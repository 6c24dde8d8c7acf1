#pragma once

#include <QObject>

#include <functional>

#include "link/device_exchange.h"

class DeviceLink;

namespace records {

enum class LogClearEnd {
    Cleared,       // the device confirmed the clear
    NotKept,       // the copy of the records could not be made: nothing was sent
    NotConfirmed,  // sent, but no confirmation came: the device may or may not have cleared
    Failed,        // the port would not open, or the device refused: not cleared
};

}  // namespace records

struct LogClearResult {
    records::LogClearEnd end = records::LogClearEnd::Failed;
    ExchangeResult exchange;
};

// Clearing a device's log over its DeviceLink: first the caller's copy of what must be kept
// (the record dialog's TEMP, the tool's fresh read, a collector's archive), then the clear
// request, repeated as the link's policy allows (a clear may be sent again: a cleared log stays
// empty). Widget-free.
class LogClear : public QObject {
    Q_OBJECT
public:
    explicit LogClear(DeviceLink& link, QObject* parent = nullptr);

    // `keep` makes the copy; false ends here with NotKept and nothing sent. False (nothing
    // done) while a request is under way.
    bool Start(const std::function<bool()>& keep);
    void Cancel();
    bool Busy() const { return m_busy; }

Q_SIGNALS:
    void Finished(const LogClearResult& result);

private:
    void OnExchangeFinished(const ExchangeResult& result);
    void Send();

    DeviceLink& m_link;
    bool m_busy = false;
    int m_sends = 0;
};
