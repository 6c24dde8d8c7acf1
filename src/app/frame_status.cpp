#include "app/frame_status.h"

#include <QLabel>
#include <QStatusBar>

#include "link/device_link.h"
#include "link/port_names.h"

QString app::VariantStatusText(int variant) {
    return variant == 0 ? QStringLiteral("KPA-650 发送端") : QStringLiteral("KPB-650 接收端");
}

QString app::PortStatusText(int portNumber, const QString& device, PortCheck check) {
    QString text = comm::PortLabel(portNumber) + QStringLiteral(": ") + device;
    if (check == PortCheck::Opened) {
        text += QStringLiteral(" (可以打开)");
    } else if (check == PortCheck::Failed) {
        text += QStringLiteral(" (打开失败)");
    }
    return text;
}

QString app::DeviceStatusText(DeviceHeard heard, QTime at, const QString& reason) {
    const QString time = at.toString(QStringLiteral("HH:mm:ss"));
    switch (heard) {
        case DeviceHeard::Answered:
            return QStringLiteral("装置: 有应答 ") + time;
        case DeviceHeard::NoAnswer:
            return QStringLiteral("装置: 无应答 ") + time +
                   (reason.isEmpty() ? QString()
                                     : QStringLiteral(" (") + reason + QLatin1Char(')'));
        case DeviceHeard::Nothing:
            break;
    }
    return QStringLiteral("装置: 尚未通信");
}

CFrameStatus::CFrameStatus(QStatusBar* bar) : QObject(bar) {
    bar->setObjectName(QStringLiteral("statusBar"));
    bar->setSizeGripEnabled(true);
    m_variant = new QLabel(bar);
    m_variant->setObjectName(QStringLiteral("statusVariant"));
    m_port = new QLabel(bar);
    m_port->setObjectName(QStringLiteral("statusPort"));
    m_device = new QLabel(app::DeviceStatusText(app::DeviceHeard::Nothing, {}, {}), bar);
    m_device->setObjectName(QStringLiteral("statusDevice"));
    bar->addWidget(m_variant);
    bar->addWidget(m_port, 1);
    bar->addPermanentWidget(m_device);
}

void CFrameStatus::Watch(const DeviceLink& link) {
    connect(&link, &DeviceLink::Answered, this, [this](const QString& device) {
        Heard(device, app::DeviceHeard::Answered, QString());
    });
    connect(&link, &DeviceLink::NoAnswer, this,
            [this](const QString& device, const QString& reason) {
                Heard(device, app::DeviceHeard::NoAnswer, reason);
            });
}

void CFrameStatus::SetVariant(int variant) {
    m_variant->setText(app::VariantStatusText(variant));
}

void CFrameStatus::SetPort(int portNumber, const QString& device, app::PortCheck check) {
    if (portNumber != m_portNumber || device != m_deviceName) {
        m_device->setText(app::DeviceStatusText(app::DeviceHeard::Nothing, {}, {}));
    }
    m_portNumber = portNumber;
    m_deviceName = device;
    m_port->setText(app::PortStatusText(portNumber, device, check));
}

void CFrameStatus::Heard(const QString& device, app::DeviceHeard heard, const QString& reason) {
    // News of a device no longer in use (the port changed meanwhile) says nothing of this one.
    if (device != m_deviceName) {
        return;
    }
    m_device->setText(app::DeviceStatusText(heard, QTime::currentTime(), reason));
}
