#pragma once

#include <QString>

// Port numbers 1 and 2 stand for COM1 and COM2. On this system each maps to a device name:
// an override given on the command line (--com1, --com2), else KP650_COM1 / KP650_COM2, else
// /dev/ttyS0 and /dev/ttyS1 (COM1 and COM2 on Windows).
QString PortDeviceName(int portNumber);
void SetPortDeviceOverride(int portNumber, const QString& deviceName);
