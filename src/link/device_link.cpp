#include "link/device_link.h"

DeviceLink::DeviceLink(QObject* parent) : QObject(parent), m_comm(this), m_exchange(m_comm, this) {
    connect(&m_exchange, &DeviceExchange::Answered, this, &DeviceLink::Answered);
    connect(&m_exchange, &DeviceExchange::NoAnswer, this, &DeviceLink::NoAnswer);
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
