#pragma once

#include <QAbstractSocket>
#include <QSerialPort>
#include <QString>

namespace comm {

// The serial facility and the network stack give their error texts in English (the system's
// own words). Shown to the operator they get a Chinese lead-in that says what went wrong, the
// system's text kept in brackets for whoever needs the exact cause:
//   "/dev/ttyUSB0: 找不到该串口设备 (No such file or directory)"
QString SerialErrorText(const QString& device, QSerialPort::SerialPortError error,
                        const QString& systemText);
QString TcpErrorText(const QString& device, QAbstractSocket::SocketError error,
                     const QString& systemText);

}  // namespace comm
