#include "app/frame_status.h"

#include <QEvent>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>

#include <limits>

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
    } else if (check == PortCheck::Unusable) {
        text += QStringLiteral(" (不可用)");
    } else if (check == PortCheck::Gone) {
        text += QStringLiteral(" (串口已不存在)");
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

app::StatusTexts app::FitStatusTexts(int portNumber, const QString& device, PortCheck check,
                                     DeviceHeard heard, QTime at, const QString& reason,
                                     int maxWidth,
                                     const std::function<int(const QString&)>& width) {
    StatusTexts texts{PortStatusText(portNumber, device, check),
                      DeviceStatusText(heard, at, reason), QString()};
    texts.toolTip = texts.port + QLatin1Char('\n') + texts.device;
    const auto fits = [&] { return width(texts.port) + width(texts.device) <= maxWidth; };
    if (fits()) {
        return texts;
    }
    texts.device = DeviceStatusText(heard, at, QString());
    // Both ends of a path tell most ("/dev/serial/by-id/usb-…-port0"): the middle goes.
    for (qsizetype kept = device.size() - 1; !fits() && kept >= 2; --kept) {
        const qsizetype right = kept / 2;
        const QString elided = device.left(kept - right) + QChar(0x2026) + device.right(right);
        texts.port = PortStatusText(portNumber, elided, check);
    }
    return texts;
}

CFrameStatus::CFrameStatus(QStatusBar* bar) : QObject(bar), m_bar(bar) {
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
    bar->installEventFilter(this);
    m_watch.setInterval(1000);
    connect(&m_watch, &QTimer::timeout, this, &CFrameStatus::CheckDeviceFile);
    m_watch.start();
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
    Show();
}

void CFrameStatus::SetPort(int portNumber, const QString& device, app::PortCheck check) {
    if (portNumber != m_portNumber || device != m_deviceName) {
        m_heard = app::DeviceHeard::Nothing;
        m_reason.clear();
        m_fileSeen = false;
    }
    m_portNumber = portNumber;
    m_deviceName = device;
    m_check = check;
    CheckDeviceFile();
    Show();
}

void CFrameStatus::Heard(const QString& device, app::DeviceHeard heard, const QString& reason) {
    // News of a device no longer in use (the port changed meanwhile) says nothing of this one.
    if (device != m_deviceName) {
        return;
    }
    m_heard = heard;
    m_at = QTime::currentTime();
    m_reason = reason;
    // A failure with the system's reason is the line itself (lost, or not opened again).
    if (heard == app::DeviceHeard::NoAnswer && !reason.isEmpty() &&
        m_check != app::PortCheck::Gone) {
        m_check = app::PortCheck::Unusable;
    } else if (heard == app::DeviceHeard::Answered) {
        m_check = app::PortCheck::Opened;
    }
    Show();
}

void CFrameStatus::CheckDeviceFile() {
    if (m_deviceName.isEmpty() || IsTcpDeviceName(m_deviceName)) {
        return;
    }
    const bool exists = QFileInfo::exists(m_deviceName);
    if (exists) {
        m_fileSeen = true;
        if (m_check == app::PortCheck::Gone) {
            m_check = app::PortCheck::NotChecked;  // back; the next exchange tells the rest
            Show();
        }
    } else if (m_fileSeen && m_check != app::PortCheck::Gone) {
        // Only a file seen before counts as gone: a port never there is the port check's news.
        m_check = app::PortCheck::Gone;
        if (m_heard != app::DeviceHeard::Nothing) {
            m_heard = app::DeviceHeard::NoAnswer;
            m_at = QTime::currentTime();
        }
        Show();
    }
}

void CFrameStatus::Show() {
    // What the port and device labels may take: the bar less the variant, the size grip and
    // the spacing between items.
    const int spare = 4 * m_bar->fontMetrics().averageCharWidth() + 24;
    // Before the window is shown the bar has no width of its own yet; its first resize fits.
    const int available = m_bar->isVisible()
                              ? m_bar->width() - m_variant->sizeHint().width() - spare
                              : std::numeric_limits<int>::max() / 2;
    const QFontMetrics metrics = m_port->fontMetrics();
    const app::StatusTexts texts = app::FitStatusTexts(
        m_portNumber, m_deviceName, m_check, m_heard, m_at, m_reason, available,
        [&metrics](const QString& text) { return metrics.horizontalAdvance(text); });
    m_port->setText(texts.port);
    m_device->setText(texts.device);
    m_port->setToolTip(texts.toolTip);
    m_device->setToolTip(texts.toolTip);
}

bool CFrameStatus::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_bar && event->type() == QEvent::Resize) {
        Show();
    }
    return QObject::eventFilter(watched, event);
}
