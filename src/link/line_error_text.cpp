#include "link/line_error_text.h"

namespace {
QString Compose(const QString& device, const QString& leadIn, const QString& systemText) {
    QString text = device + QStringLiteral(": ") + leadIn;
    if (!systemText.isEmpty()) {
        text += QStringLiteral(" (") + systemText + QLatin1Char(')');
    }
    return text;
}
}  // namespace

QString comm::SerialErrorText(const QString& device, QSerialPort::SerialPortError error,
                              const QString& systemText) {
    QString leadIn;
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            leadIn = QStringLiteral("找不到该串口设备");
            break;
        case QSerialPort::PermissionError:
            // Also what a device held by another program gives.
            leadIn = QStringLiteral(
                "无权访问该串口设备或串口已被占用（访问串口需属于 dialout 组："
                "sudo adduser $USER dialout 后重新登录）");
            break;
        case QSerialPort::OpenError:
            leadIn = QStringLiteral("串口已经打开");
            break;
        case QSerialPort::ResourceError:
            leadIn = QStringLiteral("串口设备已不可用（是否已拔出？）");
            break;
        case QSerialPort::ReadError:
            leadIn = QStringLiteral("串口线路已断开");
            break;
        case QSerialPort::WriteError:
            leadIn = QStringLiteral("向串口写入失败");
            break;
        case QSerialPort::UnsupportedOperationError:
            leadIn = QStringLiteral("串口不支持该设置");
            break;
        case QSerialPort::TimeoutError:
            leadIn = QStringLiteral("串口操作超时");
            break;
        default:
            leadIn = QStringLiteral("串口出错");
            break;
    }
    return Compose(device, leadIn, systemText);
}

QString comm::TcpErrorText(const QString& device, QAbstractSocket::SocketError error,
                           const QString& systemText) {
    QString leadIn;
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            leadIn = QStringLiteral("连接被拒绝（该端口无服务在监听）");
            break;
        case QAbstractSocket::HostNotFoundError:
            leadIn = QStringLiteral("找不到该主机");
            break;
        case QAbstractSocket::SocketTimeoutError:
            leadIn = QStringLiteral("连接超时（请检查地址及网络）");
            break;
        case QAbstractSocket::RemoteHostClosedError:
            leadIn = QStringLiteral("对方已断开连接");
            break;
        case QAbstractSocket::NetworkError:
            leadIn = QStringLiteral("网络出错");
            break;
        case QAbstractSocket::SocketAccessError:
            leadIn = QStringLiteral("无权建立网络连接");
            break;
        default:
            leadIn = QStringLiteral("网络连接出错");
            break;
    }
    return Compose(device, leadIn, systemText);
}
