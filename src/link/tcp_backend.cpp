#include "link/tcp_backend.h"

#include <QEventLoop>
#include <QMetaObject>

#include <algorithm>
#include <utility>

#ifdef Q_OS_LINUX
#include <sys/socket.h>
#endif

#include "link/line_error_text.h"
#include "link/port_names.h"

TcpBackend::TcpBackend() {
    m_socket.setParent(this);
    connect(&m_socket, &QTcpSocket::readyRead, this, &TcpBackend::PostBytesArrived);
    connect(&m_socket, &QTcpSocket::errorOccurred, this, &TcpBackend::SocketError);
    connect(&m_socket, &QTcpSocket::connected, this, [this] {
        if (m_opening) {
            EndOpening(true, {});
        }
    });
    m_openDeadline.setSingleShot(true);
    connect(&m_openDeadline, &QTimer::timeout, this, [this] {
        if (m_opening) {
            m_socket.abort();
            EndOpening(false, comm::TcpErrorText(m_deviceName, QAbstractSocket::SocketTimeoutError,
                                                 QString()));
        }
    });
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
    bool ok = false;
    bool ended = false;
    QString text;
    QEventLoop loop;
    const QMetaObject::Connection ending =
        connect(this, &CommBackend::Opened, &loop, [&](bool opened, const QString& why) {
            ok = opened;
            text = why;
            ended = true;
            loop.quit();
        });
    OpenAsync(deviceName);
    if (!ended) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    disconnect(ending);
    if (!ok && error) {
        *error = text;
    }
    return ok && IsOpen();
}

void TcpBackend::OpenAsync(const QString& deviceName) {
    Close();
    m_deviceName = deviceName;
    m_opening = true;
    TcpAddress address;
    if (!ParseTcpDeviceName(deviceName, &address)) {
        EndOpening(
            false,
            deviceName + QStringLiteral(": 网络地址应写作 tcp://主机:端口（端口为 1 至 65535）"));
        return;
    }
    // The socket looks the host name up on a thread of its own; the deadline covers both.
    m_openDeadline.start(comm::kTcpOpenWaitMs);
    m_socket.connectToHost(address.host, address.port);
}

void TcpBackend::EndOpening(bool ok, const QString& error) {
    m_opening = false;
    m_openDeadline.stop();
    if (ok) {
        // Requests go out a byte at a time; each should leave at once, not wait for the
        // previous one's acknowledgement.
        m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_wakeAt = 1;  // a new connection's
        m_open = true;
    }
    QMetaObject::invokeMethod(
        this,
        [this, ok, error, serial = m_openSerial] {
            if (serial == m_openSerial) {
                emit Opened(ok, error);
            }
        },
        Qt::QueuedConnection);
}

void TcpBackend::Close() {
    // An open under way ends without a word: whoever closes no longer waits for it.
    ++m_openSerial;
    m_opening = false;
    m_openDeadline.stop();
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

bool TcpBackend::SetWakeThreshold(int bytes) {
#ifdef Q_OS_LINUX
    if (!InlineNotification() || !IsOpen()) {
        return false;
    }
    bytes = std::max(1, bytes);
    if (bytes != m_wakeAt) {
        // Linux's poll reports a TCP socket readable only once this many bytes wait (or the
        // peer closed): the connection's notifier stays quiet for the rest of a frame.
        if (::setsockopt(static_cast<int>(m_socket.socketDescriptor()), SOL_SOCKET, SO_RCVLOWAT,
                         &bytes, sizeof bytes) != 0) {
            return false;
        }
        m_wakeAt = bytes;
    }
    return true;
#else
    Q_UNUSED(bytes);
    return false;
#endif
}

bool TcpBackend::FetchWaiting() {
    SetWakeThreshold(1);  // a partial frame must be seen
    return IsOpen() && (m_socket.bytesAvailable() > 0 || m_socket.waitForReadyRead(0));
}

qint64 TcpBackend::DiscardInput() {
    if (!IsOpen()) {
        return 0;
    }
    SetWakeThreshold(1);
    qint64 dropped = m_socket.readAll().size();
    // Bytes the system has received but the socket has not fetched yet: take them without
    // waiting. Bounded, so a peer that never stops sending cannot hold the loop.
    for (int i = 0; i < 64 && IsOpen() && m_socket.waitForReadyRead(0); ++i) {
        dropped += m_socket.readAll().size();
    }
    return dropped;
}

void TcpBackend::SocketError(QAbstractSocket::SocketError error) {
    if (m_opening) {
        const QString text = comm::TcpErrorText(m_deviceName, error, m_socket.errorString());
        m_socket.abort();
        EndOpening(false, text);
        return;
    }
    // Once open, any error ends the line.
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
