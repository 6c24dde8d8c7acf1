#include "link/port_names.h"

#include <QHash>
#include <QUrl>

namespace {
QHash<int, QString>& Overrides() {
    static QHash<int, QString> overrides;
    return overrides;
}

QHash<int, QString>& Remembered() {
    static QHash<int, QString> remembered;
    return remembered;
}

void SetOrForget(QHash<int, QString>& names, int portNumber, const QString& deviceName) {
    if (deviceName.isEmpty()) {
        names.remove(portNumber);
    } else {
        names.insert(portNumber, deviceName);
    }
}

const QString kTcpScheme = QStringLiteral("tcp://");
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
    const QString remembered = Remembered().value(portNumber);
    if (!remembered.isEmpty()) {
        return remembered;
    }
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(portNumber);
#else
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
#endif
}

void SetPortDeviceOverride(int portNumber, const QString& deviceName) {
    SetOrForget(Overrides(), portNumber, deviceName);
}

void SetRememberedPortDevice(int portNumber, const QString& deviceName) {
    SetOrForget(Remembered(), portNumber, deviceName);
}

bool IsTcpDeviceName(const QString& deviceName) {
    return deviceName.startsWith(kTcpScheme, Qt::CaseInsensitive);
}

bool ParseTcpDeviceName(const QString& deviceName, TcpAddress* out) {
    if (!IsTcpDeviceName(deviceName)) {
        return false;
    }
    // Only scheme, host and port: a path, user or query would be silently ignored otherwise.
    const QUrl url(deviceName.trimmed(), QUrl::StrictMode);
    const int port = url.port();
    if (!url.isValid() || url.host().isEmpty() || port < 1 || port > 65535 ||
        !url.userInfo().isEmpty() || !(url.path().isEmpty() || url.path() == QLatin1String("/")) ||
        url.hasQuery() || url.hasFragment()) {
        return false;
    }
    if (out) {
        out->host = url.host();
        out->port = static_cast<quint16>(port);
    }
    return true;
}

QString comm::PortLabel(int portNumber) {
    return portNumber == 2 ? QStringLiteral("串口二") : QStringLiteral("串口一");
}
