#include "link/comm_backend.h"

#include <QMetaObject>

#include "link/port_names.h"
#include "link/serial_port_backend.h"
#include "link/tcp_backend.h"

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

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
    if (m_inline) {
        emit BytesArrived();
        return;
    }
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

qint64 CommBackend::WriteNow(qintptr handle, const QByteArray& bytes, bool socket) {
#ifdef Q_OS_UNIX
    const int fd = static_cast<int>(handle);
    if (fd < 0) {
        return 0;
    }
    for (;;) {
        // A socket the peer has closed must fail the write, not raise SIGPIPE.
        const ssize_t n =
            socket ? ::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL)
                   : ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size()));
        if (n >= 0) {
            return n;
        }
        if (errno != EINTR) {
            return 0;  // the I/O class's own write then meets (and reports) the error
        }
    }
#else
    Q_UNUSED(handle);
    Q_UNUSED(bytes);
    Q_UNUSED(socket);
    return 0;
#endif
}
