#include "link/comm_backend.h"

#include <QMetaObject>

#include "link/port_names.h"
#include "link/serial_port_backend.h"
#include "link/tcp_backend.h"

namespace {
CommBackendFactory& Factory() {
    static CommBackendFactory factory;
    return factory;
}
}  // namespace

void SetCommBackendFactory(CommBackendFactory factory) {
    Factory() = std::move(factory);
}

std::unique_ptr<CommBackend> CreateCommBackend(const QString& deviceName) {
    if (Factory()) {
        return Factory()();
    }
    if (IsTcpDeviceName(deviceName)) {
        return std::make_unique<TcpBackend>();
    }
    return std::make_unique<SerialPortBackend>();
}

void CommBackend::OpenAsync(const QString& deviceName) {
    QString error;
    const bool ok = Open(deviceName, &error);
    emit Opened(ok, error);
}

void CommBackend::PostBytesArrived() {
    if (m_notifyPosted) {
        return;
    }
    m_notifyPosted = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_notifyPosted = false;
            emit BytesArrived();
        },
        Qt::QueuedConnection);
}
