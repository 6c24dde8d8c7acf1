#pragma once

#include <QSerialPort>
#include <QTimer>

#include "link/comm_backend.h"

// The real line: a QSerialPort. readyRead is turned into a queued BytesArrived.
class SerialPortBackend : public CommBackend {
    Q_OBJECT
public:
    SerialPortBackend();

    bool Open(const QString& deviceName, QString* error) override;
    void Close() override;
    bool IsOpen() const override;
    bool Apply(const LineSettings& settings) override;
    void SetReadBufferSize(qint64 size) override;
    qint64 BytesAvailable() const override;
    QByteArray Read(qint64 maxSize) override;
    qint64 DiscardInput() override;
    bool FetchWaiting() override;
    bool Write(const QByteArray& bytes) override;
    void Flush() override;
    bool Serves(const QString& deviceName) const override;

private:
    void PortError(QSerialPort::SerialPortError error);
    void CheckLine();
    void LoseLine(const QString& text);

    QSerialPort m_port;
    QString m_deviceName;  // as the program named it, for error texts
    QTimer m_watchdog;
    QByteArray m_queued;  // written, not yet flushed
};
