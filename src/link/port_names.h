#pragma once

#include <QString>

// Port numbers 1 and 2 stand for COM1 and COM2. On this system each maps to a device name, the
// first of: an override for this run (--com1 / --com2, or the port chooser); KP650_COM1 /
// KP650_COM2; the device remembered from an earlier run; /dev/ttyS0 and /dev/ttyS1 (COM1 and
// COM2 on Windows).
QString PortDeviceName(int portNumber);
void SetPortDeviceOverride(int portNumber, const QString& deviceName);
// What an earlier run chose; empty forgets it.
void SetRememberedPortDevice(int portNumber, const QString& deviceName);

// A port may also be a serial device server's raw TCP port: tcp://HOST:PORT, HOST a name, an
// IPv4 address or an IPv6 address in brackets.
struct TcpAddress {
    QString host;
    quint16 port = 0;
};
// Whether the name asks for TCP at all (it may still be malformed).
bool IsTcpDeviceName(const QString& deviceName);
// False for a name that is not a well-formed tcp://HOST:PORT with a port of 1 to 65535.
bool ParseTcpDeviceName(const QString& deviceName, TcpAddress* out);

namespace comm {

// How the program names port 1 and port 2 (the port menu's items).
QString PortLabel(int portNumber);

}  // namespace comm
