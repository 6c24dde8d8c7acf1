#pragma once

#include <QByteArray>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <memory>

// Line settings as the serial control's "Settings" text ("9600,n,8,1") describes them.
struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;

    // "baud,parity,data,stop"; parity n/e/o/m/s, stop 1, 1.5 or 2. False for anything else.
    static bool Parse(const QString& text, LineSettings* out);
    bool operator==(const LineSettings& o) const {
        return baud == o.baud && parity == o.parity && dataBits == o.dataBits &&
               stopBits == o.stopBits;
    }
};

// What CMSComm needs of a serial line. The real one wraps QSerialPort; tests use a fake line.
class CommBackend : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~CommBackend() override = default;

    virtual bool Open(const QString& deviceName, QString* error) = 0;
    // Opens without holding the caller: Opened follows. A line that opens at once (a serial
    // port, a test line) says so before this returns; one that must wait (a device server's
    // connection) says so from the event loop.
    virtual void OpenAsync(const QString& deviceName);
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    virtual bool Apply(const LineSettings& settings) = 0;
    virtual void SetReadBufferSize(qint64 size) = 0;
    virtual qint64 BytesAvailable() const = 0;
    virtual QByteArray Read(qint64 maxSize) = 0;
    // Queues bytes for the line; they leave at the latest with the next Flush.
    virtual bool Write(const QByteArray& bytes) = 0;
    // Hands what is queued to the system now. A request written a byte at a time then leaves in
    // one piece: one system call here, one wake-up of the device's reader, one TCP segment.
    virtual void Flush() {}
    // Takes what the system holds for the line into the read buffer without waiting (a thread
    // kept busy elsewhere sees its timers before the line's notification); true when bytes are
    // waiting to be read. A test line has nothing beyond what it delivered.
    virtual bool FetchWaiting() { return false; }
    // Throws away every byte received and not yet read, the operating system's queue included,
    // and says how many it threw away (a log read counts them as doubt).
    virtual qint64 DiscardInput() = 0;
    // Raises BytesArrived inside the I/O class's own notification instead of a turn of the event
    // loop later: three system calls and a turn less per piece of a reply. Only for owners whose
    // receive handlers never open a nested event loop (the I/O class does not notify again while
    // one of its notifications is running).
    void SetInlineNotification(bool on) { m_inline = on; }
    bool InlineNotification() const { return m_inline; }
    // Asks the system to notify only once `bytes` bytes wait (1: every byte), so that a reply at
    // 9600 baud wakes its reader twice instead of once a byte. Only inline lines that can do it
    // do (a device server's connection on Linux); false where not, and every piece is notified.
    // Fetching and discarding go back to 1 themselves, so that nothing waiting stays unseen.
    virtual bool SetWakeThreshold(int bytes) {
        Q_UNUSED(bytes);
        return false;
    }
    // Whether this kind of line can open `deviceName` (a device path, or tcp://HOST:PORT). A test
    // line serves every name.
    virtual bool Serves(const QString& deviceName) const {
        Q_UNUSED(deviceName);
        return true;
    }

Q_SIGNALS:
    // The end of OpenAsync: open, or not with the reason.
    void Opened(bool ok, const QString& error);
    // At least one new byte is waiting.
    void BytesArrived();
    // The line is gone (device removed, hung up); the backend has closed itself.
    void Lost(const QString& error);

protected:
    // For the real lines' "bytes came in" notifications: BytesArrived is posted to the event loop,
    // once however many notifications come before it runs, so a receive handler never runs inside
    // the I/O class's own signal and may open nested loops freely; raised at once when inline.
    void PostBytesArrived();
    // Writes straight to the open descriptor `handle` (a serial device, or a socket when
    // `socket`) without waiting; returns the bytes the system took (0 where it took none or
    // where this is not supported). The I/O classes' own write path arms a write notifier for
    // each request, which costs the event loop a wake-up and a turn.
    static qint64 WriteNow(qintptr handle, const QByteArray& bytes, bool socket);

private:
    bool m_notifyPosted = false;
    bool m_inline = false;
};

using CommBackendFactory = std::function<std::unique_ptr<CommBackend>()>;

// Replaces how every CMSComm created from now on reaches its line; empty = the real lines.
void SetCommBackendFactory(CommBackendFactory factory);
// The line for `deviceName`: the test factory's when one is set, else a TCP connection for
// tcp://HOST:PORT and a serial port for anything else.
std::unique_ptr<CommBackend> CreateCommBackend(const QString& deviceName = QString());
