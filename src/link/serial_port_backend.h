#pragma once

#include <QSerialPort>
#include <QTimer>

#include "link/comm_backend.h"

// The real line: a QSerialPort. readyRead is turned into a queued BytesArrived, so a receive
// handler never runs inside QSerialPort's own signal and may open nested loops freely.
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
    void DiscardInput() override;
    bool Write(const QByteArray& bytes) override;

private:
    void ReadyRead();
    void PortError(QSerialPort::SerialPortError error);
    void CheckLine();
    void LoseLine(const QString& text);

    QSerialPort m_port;
    QTimer m_watchdog;
    bool m_notifyPosted = false;
};
