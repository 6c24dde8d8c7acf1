#include "link/port_names.h"

#include <QHash>

namespace {
QHash<int, QString>& Overrides() {
    static QHash<int, QString> overrides;
    return overrides;
}
}  // namespace

QString PortDeviceName(int portNumber) {
    const QString over = Overrides().value(portNumber);
    if (!over.isEmpty()) {
        return over;
    }
    const QString env =
        qEnvironmentVariable(QStringLiteral("KP650_COM%1").arg(portNumber).toLatin1());
    if (!env.isEmpty()) {
        return env;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void SetPortDeviceOverride(int portNumber, const QString& deviceName) {
    if (deviceName.isEmpty()) {
        Overrides().remove(portNumber);
    } else {
        Overrides().insert(portNumber, deviceName);
    }
}
