#include "link/serial_port_backend.h"

#include "link/line_error_text.h"
#include "link/port_names.h"

#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#endif

SerialPortBackend::SerialPortBackend() {
    m_port.setParent(this);
    connect(&m_port, &QSerialPort::readyRead, this, &SerialPortBackend::PostBytesArrived);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialPortBackend::PortError);
    m_watchdog.setInterval(200);
    connect(&m_watchdog, &QTimer::timeout, this, &SerialPortBackend::CheckLine);
}

bool SerialPortBackend::Open(const QString& deviceName, QString* error) {
    m_deviceName = deviceName;
    m_port.setPortName(deviceName);
    if (!m_port.open(QIODevice::ReadWrite)) {
        if (error) {
            *error = comm::SerialErrorText(deviceName, m_port.error(), m_port.errorString());
        }
        m_port.clearError();
        return false;
    }
    m_watchdog.start();
    return true;
}

void SerialPortBackend::Close() {
    m_watchdog.stop();
    m_queued.clear();
    if (m_port.isOpen()) {
        m_port.close();
    }
}

bool SerialPortBackend::Serves(const QString& deviceName) const {
    return !IsTcpDeviceName(deviceName);
}

bool SerialPortBackend::IsOpen() const {
    return m_port.isOpen();
}

bool SerialPortBackend::Apply(const LineSettings& s) {
    bool ok = m_port.setBaudRate(s.baud);
    ok = m_port.setParity(s.parity) && ok;
    ok = m_port.setDataBits(s.dataBits) && ok;
    ok = m_port.setStopBits(s.stopBits) && ok;
    return ok;
}

void SerialPortBackend::SetReadBufferSize(qint64 size) {
    m_port.setReadBufferSize(size);
}

qint64 SerialPortBackend::BytesAvailable() const {
    return m_port.bytesAvailable();
}

QByteArray SerialPortBackend::Read(qint64 maxSize) {
    return m_port.read(maxSize);
}

bool SerialPortBackend::FetchWaiting() {
    return IsOpen() && (m_port.bytesAvailable() > 0 || m_port.waitForReadyRead(0));
}

qint64 SerialPortBackend::DiscardInput() {
    if (!m_port.isOpen()) {
        return 0;
    }
    // Counted, so that a log read can tell bytes it never asked for: what Qt holds and what the
    // driver holds (asked without reading it, which could report the line's end from here).
    qint64 dropped = m_port.bytesAvailable();
    bool driverAsked = false;
#ifdef Q_OS_UNIX
    int queued = 0;
    driverAsked = ::ioctl(static_cast<int>(m_port.handle()), FIONREAD, &queued) == 0;
    if (driverAsked && queued > 0) {
        dropped += queued;
    }
#endif
    if (dropped > 0 || !driverAsked) {
        m_port.clear(QSerialPort::Input);  // the driver's queue
        m_port.readAll();                  // and what Qt has buffered already
    }
    // With nothing waiting there is nothing to flush: a byte arriving from now on is not thrown
    // away uncounted but lands in the next reply, which it then spoils visibly.
    return dropped;
}

bool SerialPortBackend::Write(const QByteArray& bytes) {
    if (!m_port.isOpen()) {
        return false;
    }
    m_queued += bytes;
    return true;
}

void SerialPortBackend::Flush() {
    const QByteArray bytes = std::exchange(m_queued, QByteArray());
    if (bytes.isEmpty() || !m_port.isOpen()) {
        return;
    }
    // Straight to the driver while Qt holds nothing back (so the order stays); the rest, and
    // any error, through Qt's own path, handed over now rather than at the next loop turn.
    const qint64 done = m_port.bytesToWrite() == 0 ? WriteNow(m_port.handle(), bytes, false) : 0;
    if (done < bytes.size()) {
        m_port.write(bytes.constData() + done, bytes.size() - done);
        m_port.flush();
    }
}

void SerialPortBackend::PortError(QSerialPort::SerialPortError error) {
    // A resource error on an open port means the device went away (USB adapter pulled). A read
    // error means the line said "readable" and then gave nothing: a hung-up terminal (pty master
    // closed) reads end-of-file, and Qt would report that again at every turn of the loop.
    // Either way close, so PortOpen tells the truth and nothing spins on a dead handle.
    if ((error == QSerialPort::ResourceError || error == QSerialPort::ReadError) &&
        m_port.isOpen()) {
        const QString text =
            comm::SerialErrorText(m_deviceName, error,
                                  error == QSerialPort::ReadError ? QStringLiteral("line hung up")
                                                                  : m_port.errorString());
        m_port.clearError();
        LoseLine(text);
    }
}

void SerialPortBackend::LoseLine(const QString& text) {
    m_watchdog.stop();
    m_port.close();
    emit Lost(text);
}

void SerialPortBackend::CheckLine() {
#ifdef Q_OS_UNIX
    // A hung-up terminal (pseudo-terminal master gone, some USB adapters) reads as end of file,
    // which QSerialPort does not report as an error.
    if (!m_port.isOpen()) {
        m_watchdog.stop();
        return;
    }
    pollfd p{static_cast<int>(m_port.handle()), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLNVAL)) != 0) {
        LoseLine(comm::SerialErrorText(m_deviceName, QSerialPort::ResourceError,
                                       QSerialPort::tr("Device disappeared from the system")));
    }
#endif
}
