#pragma once

#include <QTcpSocket>
#include <QTimer>

#include "link/comm_backend.h"

namespace comm {

// How long opening a tcp:// port may take: the host name's look-up and the connection together.
// A device server on the local network answers in milliseconds; one that is switched off or
// unreachable costs this much before the open is reported as failed.
inline constexpr int kTcpOpenWaitMs = 1500;

}  // namespace comm

// A serial device server's raw TCP port (its "TCP server" mode) as the line: the server puts the
// socket's bytes on its serial side and back, so the exchanges are those of a serial port. The
// line settings live in the server's own configuration; Apply changes nothing here.
//
// "Open" means what it means for a serial port: the connection is there (bounded by
// comm::kTcpOpenWaitMs), since a request written into a connection that then fails would be lost
// without a word. OpenAsync connects without holding the thread (a service serving many lines
// goes on with the others); Open waits for it in a local loop that leaves out the user's input,
// so a dialog's window still repaints meanwhile and nothing else can be started from it.
class TcpBackend : public CommBackend {
    Q_OBJECT
public:
    TcpBackend();

    bool Open(const QString& deviceName, QString* error) override;
    void OpenAsync(const QString& deviceName) override;
    void Close() override;
    bool IsOpen() const override;
    bool Apply(const LineSettings& settings) override;
    void SetReadBufferSize(qint64 size) override;
    qint64 BytesAvailable() const override;
    QByteArray Read(qint64 maxSize) override;
    bool Write(const QByteArray& bytes) override;
    void Flush() override;
    qint64 DiscardInput() override;
    bool FetchWaiting() override;
    bool SetWakeThreshold(int bytes) override;
    bool Serves(const QString& deviceName) const override;

private:
    // Ends an open under way; Opened follows from the event loop.
    void EndOpening(bool ok, const QString& error);
    void SocketError(QAbstractSocket::SocketError error);
    void LoseLine(const QString& text);

    QTcpSocket m_socket;
    QString m_deviceName;
    QTimer m_openDeadline;
    bool m_opening = false;
    bool m_open = false;
    quint64 m_openSerial = 0;  // which open a queued Opened belongs to
    QByteArray m_queued;       // written, not yet flushed
    int m_wakeAt = 1;          // the connection's receive low-water mark
};
