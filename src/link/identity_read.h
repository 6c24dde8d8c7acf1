#pragma once

#include <QObject>

#include <optional>

#include "link/identity.h"
#include "link/link_request.h"

class DeviceLink;

struct IdentityReadResult {
    ExchangeResult exchange;
    int variant = -1;  // the link's, or the one the reply's shape told; -1 when none did
    std::optional<DeviceIdentity> identity;
};

// Reading the device identification ("56", "58") over a DeviceLink. Widget-free; the about box,
// kp650ctl and the collector run it alike. A reply that reads is kept by the link, so that the
// journal entries of later writes to the same device carry it.
class IdentityRead : public QObject {
    Q_OBJECT
public:
    explicit IdentityRead(DeviceLink& link, QObject* parent = nullptr);

    // The identification of the link's variant. False (nothing sent) while the link is busy.
    bool Start();
    // Tells the variant from the reply's shape: the request goes once, expecting a
    // transmitter's nine bytes; a whole transmitter reply is A, a burst that is exactly a
    // receiver's ten-byte reply (judged once the line is quiet) is B. The link does not keep
    // what it read: noise before a transmitter's reply can look like a receiver's, so the
    // caller keeps it once it trusts the variant.
    bool StartDetect();
    void Cancel() { m_request.Cancel(); }
    bool Busy() const { return m_request.Busy(); }

Q_SIGNALS:
    void Finished(const IdentityReadResult& result);

private:
    void OnFinished(const ExchangeResult& exchange);

    DeviceLink& m_link;
    LinkRequest m_request;
    bool m_detect = false;
};
