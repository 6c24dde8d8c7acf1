#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

#include "link/device_exchange.h"
#include "link/identity.h"
#include "link/ms_comm.h"

namespace comm {

// How hard a device's line is tried: each request's time-out and tries (a malformed reply sent
// again, and for the tool also after silence or a lost line), and how often a log read in doubt
// is started over from its first request.
struct RetryPolicy {
    int timeOutMs = kReplyTimeOutMs;
    int attempts = kMaxAttempts;
    // Sends after no reply or a lost line, in all, per request. The dialogs report the first
    // silence to the operator at once (1); the tool goes again.
    int silenceAttempts = 1;
    int logReadStarts = 3;
    // How long a line that went away gets to come back before a request goes again.
    int lineBackMs = 300;
};

}  // namespace comm

// The one owner of a device's line: the serial control over its backend (a serial port or a
// device server's tcp://HOST:PORT, chosen by the port's device name), the exchange that runs one
// request at a time on it, the port number, the device's variant as a value and the retry
// policy. Widget-free. The program holds one per device it talks to: the main window one for its
// port, handed to each device dialog; the tool and a service as many as they serve devices.
class DeviceLink : public QObject {
    Q_OBJECT
public:
    explicit DeviceLink(QObject* parent = nullptr);
    ~DeviceLink() override;

    CMSComm& Comm() { return m_comm; }
    DeviceExchange& Exchange() { return m_exchange; }

    void SetPortNumber(int port);
    int PortNumber() const { return m_portNumber; }
    // The device the port number stands for (a device path or tcp://HOST:PORT), or the one set
    // with SetDevice.
    QString DeviceName() const { return m_comm.DeviceName(); }
    // A device of its own, whatever the port numbers stand for (a service serving many).
    void SetDevice(const QString& device) { m_comm.SetDeviceName(device); }

    void SetVariant(int variant) { m_variant = variant; }
    int Variant() const { return m_variant; }

    void SetPolicy(const comm::RetryPolicy& policy) { m_policy = policy; }
    const comm::RetryPolicy& Policy() const { return m_policy; }

    // Opens the port (stale bytes dropped); false with the facility's text.
    bool Open(QString* error = nullptr);
    // Ends any request under way and closes the port.
    void Release();
    bool IsOpen() const { return m_comm.GetPortOpen(); }

    // The identification last read on this link, while the link still points at the device it
    // was read from: forgotten when the line goes away or the link is pointed elsewhere.
    std::optional<DeviceIdentity> Identification() const;
    void SetIdentification(const DeviceIdentity& identity);

    // Receives each request sent and each reply judged (the tool's -v -v).
    void SetTrace(std::function<void(const QString&)> trace) { m_trace = std::move(trace); }
    void Trace(const QString& text) const {
        if (m_trace) {
            m_trace(text);
        }
    }

Q_SIGNALS:
    // Every request that ends: the device answered it, or not (with the reason).
    void Answered(const QString& device);
    void NoAnswer(const QString& device, const QString& reason);

private:
    CMSComm m_comm;
    DeviceExchange m_exchange;
    int m_portNumber = 1;
    int m_variant = 0;
    comm::RetryPolicy m_policy;
    std::optional<DeviceIdentity> m_identity;
    QString m_identifiedDevice;  // the device name the identification was read on
    std::function<void(const QString&)> m_trace;
};
