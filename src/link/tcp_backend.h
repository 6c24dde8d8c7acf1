#pragma once

#include <QTcpSocket>

#include "link/comm_backend.h"

namespace comm {

// How long opening a tcp:// port may hold the UI thread: the host name's look-up and the
// connection together. A device server on the local network answers in milliseconds; one that
// is switched off or unreachable costs this much before the open is reported as failed.
inline constexpr int kTcpOpenWaitMs = 1500;

}  // namespace comm

// A serial device server's raw TCP port (its "TCP server" mode) as the line: the server puts the
// socket's bytes on its serial side and back, so the exchanges are those of a serial port. The
// line settings live in the server's own configuration; Apply changes nothing here.
//
// Open waits for the connection, bounded by comm::kTcpOpenWaitMs, so that "open" means what it
// means for a serial port: the port check's success and the dialogs' first request both need a
// line that is there, and a request written into a connection that then fails would be lost
// without a word.
class TcpBackend : public CommBackend {
    Q_OBJECT
public:
    TcpBackend();

    bool Open(const QString& deviceName, QString* error) override;
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
    bool Serves(const QString& deviceName) const override;

private:
    void SocketError(QAbstractSocket::SocketError error);
    void LoseLine(const QString& text);

    QTcpSocket m_socket;
    QString m_deviceName;
    bool m_open = false;
    QByteArray m_queued;  // written, not yet flushed
};
