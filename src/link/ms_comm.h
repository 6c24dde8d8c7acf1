#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

#include "link/comm_backend.h"

// The serial communications control each device dialog holds: the properties and the one event
// the dialogs use, over a CommBackend (QSerialPort, a device server's TCP port, or a fake line
// in tests). Property names
// follow the control's; each call sets or gets one property.
//
// OnComm is raised on the thread that owns the object (the UI thread) whenever at least
// RThreshold bytes wait; CommEvent then reads 2. A handler may open a message box: further bytes
// raise OnComm again from within that box's loop.
class CMSComm : public QObject {
    Q_OBJECT
public:
    static constexpr short kEvReceive = 2;

    explicit CMSComm(QObject* parent = nullptr);
    ~CMSComm() override;

    void SetCommPort(short port);
    short GetCommPort() const { return m_commPort; }

    void SetInBufferSize(short size);
    // Receive events without a turn of the event loop between the line's notification and the
    // handler (see CommBackend::SetInlineNotification): for the tool and services, whose
    // handlers never open nested event loops. Off for the dialogs.
    void SetInlineReceive(bool on);
    // See CommBackend::SetWakeThreshold; false where the line does not do it.
    bool SetWakeThreshold(int bytes) {
        return m_backend->IsOpen() && m_backend->SetWakeThreshold(bytes);
    }
    short GetInBufferSize() const { return m_inBufferSize; }
    // Bytes waiting, at most InBufferSize (the rest raise a further event once these are read).
    short GetInBufferCount() const;
    // As the control's property: 0 empties the receive buffer, the driver's queue included.
    void SetInBufferCount(short count);
    // Empties the receive buffer as SetInBufferCount(0) does and says how many bytes went.
    qint64 DiscardInput();

    void SetInputLen(short len) { m_inputLen = len; }
    short GetInputLen() const { return m_inputLen; }

    // Opening fails for a missing, busy or forbidden device; LastError() then holds the serial
    // facility's own text. Returns whether the requested state was reached.
    bool SetPortOpen(bool open);
    bool GetPortOpen() const;
    // Opens the port without holding the thread while a device server's connection is made:
    // PortOpened follows (at once for a serial port, from the event loop for tcp://), with
    // LastError() set when it failed. SetPortOpen(false) meanwhile drops the open.
    void OpenPortAsync();
    QString LastError() const { return m_lastError; }

    void SetRThreshold(short threshold) { m_rThreshold = threshold; }
    short GetRThreshold() const { return m_rThreshold; }

    // "9600,n,8,1". A text that does not parse is refused (false) and changes nothing.
    bool SetSettings(const QString& settings);

    // Sends bytes (while the output is held: queues them).
    void SetOutput(const QByteArray& bytes);
    // While held, SetOutput only queues; the release sends everything queued in one piece
    // where the line allows (a request written a byte at a time leaves in one write).
    void SetOutputHeld(bool held);
    // Takes InputLen bytes (0 = all waiting) out of the receive buffer.
    QByteArray GetInput();

    short GetCommEvent() const { return m_commEvent; }
    // Raises OnComm now for bytes the line holds and has not reported yet (the thread was busy
    // elsewhere); false when none wait.
    bool ReceiveWaiting();

    // Device name the port number stands for (see port_names.h), or the one set here.
    QString DeviceName() const;
    // A device of its own (a path or tcp://HOST:PORT) instead of the port number's, for a
    // process that serves more devices than the two ports; empty: the port number's again.
    void SetDeviceName(const QString& device) { m_deviceName = device; }

Q_SIGNALS:
    void OnComm();
    // The line went away while open (adapter pulled); the port is closed already.
    void LineLost(const QString& error);
    void PortOpened(bool ok);

private:
    void UseBackend(std::unique_ptr<CommBackend> backend);
    void RaiseIfWaiting();
    void HandleLost(const QString& error);
    void HandleOpened(bool ok, const QString& error);
    // The backend for the device the port now stands for.
    QString BackendForDevice();
    void ConfigureOpened();

    std::unique_ptr<CommBackend> m_backend;
    short m_commPort = 1;
    short m_inBufferSize = 1024;
    short m_inputLen = 0;
    short m_rThreshold = 0;
    short m_commEvent = 0;
    bool m_outputHeld = false;
    bool m_inlineReceive = false;
    LineSettings m_settings;
    QString m_lastError;
    QString m_deviceName;
    bool m_opening = false;  // an OpenPortAsync is under way
};
