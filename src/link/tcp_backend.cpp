#include "link/tcp_backend.h"

#include <QDeadlineTimer>
#include <QHostAddress>
#include <QHostInfo>
#include <QMetaObject>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "link/line_error_text.h"
#include "link/port_names.h"

namespace {

// The system resolver has no time limit of its own (a DNS server that does not answer holds it
// for many seconds), so a host name is looked up on a helper thread and waited for until the
// deadline. A late answer is dropped when the helper finishes.
bool LookUpBefore(const QString& host, QDeadlineTimer deadline, QHostAddress* out,
                  QAbstractSocket::SocketError* error, QString* systemText) {
    if (out->setAddress(host)) {
        return true;
    }
    struct Shared {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        QHostInfo info;
    };
    auto shared = std::make_shared<Shared>();
    std::thread([shared, host] {
        QHostInfo info = QHostInfo::fromName(host);
        const std::lock_guard<std::mutex> lock(shared->mutex);
        shared->info = std::move(info);
        shared->finished = true;
        shared->done.notify_all();
    }).detach();
    std::unique_lock<std::mutex> lock(shared->mutex);
    const auto wait = std::chrono::milliseconds(deadline.remainingTime());
    if (!shared->done.wait_for(lock, wait, [&] { return shared->finished; })) {
        *error = QAbstractSocket::SocketTimeoutError;
        systemText->clear();
        return false;
    }
    if (shared->info.error() != QHostInfo::NoError || shared->info.addresses().isEmpty()) {
        *error = QAbstractSocket::HostNotFoundError;
        *systemText = shared->info.errorString();
        return false;
    }
    *out = shared->info.addresses().constFirst();
    return true;
}

}  // namespace

TcpBackend::TcpBackend() {
    m_socket.setParent(this);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpBackend::PostBytesArrived);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpBackend::SocketError);
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (m_open) {
            LoseLine(comm::TcpErrorText(m_deviceName, QAbstractSocket::RemoteHostClosedError,
                                        QString()));
        }
    });
}

bool TcpBackend::Serves(const QString& deviceName) const {
    return IsTcpDeviceName(deviceName);
}

bool TcpBackend::Open(const QString& deviceName, QString* error) {
    Close();
    m_deviceName = deviceName;
    TcpAddress address;
    if (!ParseTcpDeviceName(deviceName, &address)) {
        if (error) {
            *error = deviceName +
                     QStringLiteral(": 网络地址应写作 tcp://主机:端口（端口为 1 至 65535）");
        }
        return false;
    }
    const QDeadlineTimer deadline(comm::kTcpOpenWaitMs);
    QHostAddress host;
    QAbstractSocket::SocketError failure = QAbstractSocket::UnknownSocketError;
    QString systemText;
    if (!LookUpBefore(address.host, deadline, &host, &failure, &systemText)) {
        if (error) {
            *error = comm::TcpErrorText(deviceName, failure, systemText);
        }
        return false;
    }
    m_socket.connectToHost(host, address.port);
    if (!m_socket.waitForConnected(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
        const QAbstractSocket::SocketError cause =
            m_socket.state() == QAbstractSocket::ConnectedState
                ? QAbstractSocket::UnknownSocketError
                : m_socket.error();
        if (error) {
            *error = comm::TcpErrorText(deviceName, cause, m_socket.errorString());
        }
        m_socket.abort();
        return false;
    }
    // Requests go out a byte at a time; each should leave at once, not wait for the previous
    // one's acknowledgement.
    m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_open = true;
    return true;
}

void TcpBackend::Close() {
    m_open = false;
    m_queued.clear();
    if (m_socket.state() != QAbstractSocket::UnconnectedState) {
        m_socket.flush();
        m_socket.abort();
    }
}

bool TcpBackend::IsOpen() const {
    return m_open && m_socket.state() == QAbstractSocket::ConnectedState;
}

bool TcpBackend::Apply(const LineSettings&) {
    return true;
}

void TcpBackend::SetReadBufferSize(qint64 size) {
    m_socket.setReadBufferSize(size);
}

qint64 TcpBackend::BytesAvailable() const {
    return IsOpen() ? m_socket.bytesAvailable() : 0;
}

QByteArray TcpBackend::Read(qint64 maxSize) {
    return IsOpen() ? m_socket.read(maxSize) : QByteArray();
}

bool TcpBackend::Write(const QByteArray& bytes) {
    if (!IsOpen()) {
        return false;
    }
    m_queued += bytes;
    return true;
}

void TcpBackend::Flush() {
    const QByteArray bytes = std::exchange(m_queued, QByteArray());
    if (bytes.isEmpty() || !IsOpen()) {
        return;
    }
    // As the serial line's: straight to the socket while Qt holds nothing back; the rest (and
    // any error) through Qt, handed to the network now, not at the next turn of the loop.
    const qint64 done =
        m_socket.bytesToWrite() == 0 ? WriteNow(m_socket.socketDescriptor(), bytes, true) : 0;
    if (done < bytes.size()) {
        m_socket.write(bytes.constData() + done, bytes.size() - done);
        m_socket.flush();
    }
}

bool TcpBackend::FetchWaiting() {
    return IsOpen() && (m_socket.bytesAvailable() > 0 || m_socket.waitForReadyRead(0));
}

qint64 TcpBackend::DiscardInput() {
    if (!IsOpen()) {
        return 0;
    }
    qint64 dropped = m_socket.readAll().size();
    // Bytes the system has received but the socket has not fetched yet: take them without
    // waiting. Bounded, so a peer that never stops sending cannot hold the loop.
    for (int i = 0; i < 64 && IsOpen() && m_socket.waitForReadyRead(0); ++i) {
        dropped += m_socket.readAll().size();
    }
    return dropped;
}

void TcpBackend::SocketError(QAbstractSocket::SocketError error) {
    // Errors while connecting are Open's to report; once open, any error ends the line.
    if (m_open && error != QAbstractSocket::SocketTimeoutError) {
        LoseLine(comm::TcpErrorText(m_deviceName, error, m_socket.errorString()));
    }
}

void TcpBackend::LoseLine(const QString& text) {
    m_open = false;
    m_socket.abort();
    // Reported from the event loop, never from inside a read or a write the program is making.
    QMetaObject::invokeMethod(
        this, [this, text] { emit Lost(text); }, Qt::QueuedConnection);
}
