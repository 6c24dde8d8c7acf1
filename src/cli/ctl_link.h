#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "link/device_exchange.h"
#include "link/device_link.h"

// kp650ctl's line to the device: the program's serial control and exchange, each request awaited
// in a local event loop (the tool has no window to keep alive), with the tool's time-out and
// number of tries.

namespace cli {

// How long a line that went away gets to come back before a request is sent again (a USB
// adapter re-plugged, a serial server reconnecting).
inline constexpr int kLineBackMs = 300;

class CtlLink : public QObject {
    Q_OBJECT
public:
    CtlLink(int timeOutMs, int retries, QObject* parent = nullptr);

    // Port 1, opened as every dialog opens it; false with the facility's text.
    bool Open(QString* error);
    // The device name port 1 stands for.
    QString DeviceName() const;
    DeviceLink& Link() { return m_device; }

    // Sends the request and waits for its end. It goes again after no reply or a lost line, and
    // (resendable ones) after a bad reply, up to `tries` sends in all (default: 1 + retries).
    // A request that must not be repeated passes 1.
    ExchangeResult Run(ExchangeRequest request, int tries = 0);

    // Receives each request sent and each reply judged (-v).
    void SetTrace(std::function<void(const QString&)> trace) { m_trace = std::move(trace); }

private:
    ExchangeResult RunOnce(const ExchangeRequest& request);
    void Pause(int ms);

    DeviceLink m_device;
    DeviceExchange& m_exchange = m_device.Exchange();
    int m_timeOutMs;
    int m_retries;
    std::function<void(const QString&)> m_trace;
};

struct VariantProbe {
    ExchangeResult result;  // the last try's
    int variant = -1;       // kVariantA, kVariantB, or -1 when no try told
};

// Tells the variant from the identification reply's shape: the request goes out expecting a
// transmitter's nine bytes; a whole transmitter reply is A, a burst that is exactly a receiver's
// ten-byte reply is B, anything else is tried again. The variant counts only once a second reply
// right after is the same bytes (noise before an A reply can look exactly like a B reply);
// at most 2 x tries requests.
VariantProbe DetectVariant(CtlLink& link, int tries);

}  // namespace cli
