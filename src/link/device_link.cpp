#include "link/device_link.h"

DeviceLink::DeviceLink(QObject* parent) : QObject(parent), m_comm(this), m_exchange(m_comm, this) {
    connect(&m_exchange, &DeviceExchange::Answered, this, &DeviceLink::Answered);
    connect(&m_exchange, &DeviceExchange::NoAnswer, this, &DeviceLink::NoAnswer);
    // Whatever comes back on the line may be another device.
    connect(&m_comm, &CMSComm::LineLost, this, [this] { m_identity.reset(); });
}

DeviceLink::~DeviceLink() = default;

void DeviceLink::SetPortNumber(int port) {
    m_portNumber = port;
    m_comm.SetCommPort(static_cast<short>(port));
    m_exchange.SetPortNumber(port);
}

bool DeviceLink::Open(QString* error) {
    return DeviceExchange::OpenLine(m_comm, m_portNumber, error);
}

void DeviceLink::Release() {
    m_exchange.Cancel();
    m_comm.SetPortOpen(false);
}

std::optional<DeviceIdentity> DeviceLink::Identification() const {
    if (m_identifiedDevice != DeviceName()) {
        return std::nullopt;
    }
    return m_identity;
}

void DeviceLink::SetIdentification(const DeviceIdentity& identity) {
    m_identity = identity;
    m_identifiedDevice = DeviceName();
}
