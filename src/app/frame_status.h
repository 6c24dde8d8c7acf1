#pragma once

#include <QObject>
#include <QString>
#include <QTime>

class QLabel;
class QStatusBar;

namespace app {

// What the last port check said of the port in use.
enum class PortCheck { NotChecked, Opened, Failed };
// What the device on that port last did.
enum class DeviceHeard { Nothing, Answered, NoAnswer };

QString VariantStatusText(int variant);
QString PortStatusText(int portNumber, const QString& device, PortCheck check);
QString DeviceStatusText(DeviceHeard heard, QTime at, const QString& reason);

}  // namespace app

// The main window's status bar: the variant, the port in use with its device, and whether the
// device answered the last exchange on that device (from the device links it watches).
class DeviceLink;

class CFrameStatus : public QObject {
    Q_OBJECT
public:
    explicit CFrameStatus(QStatusBar* bar);

    void SetVariant(int variant);
    // A new port or device forgets what the old one's device did.
    void SetPort(int portNumber, const QString& device, app::PortCheck check);
    // Shows what `link`'s device answered from now on.
    void Watch(const DeviceLink& link);

private:
    void Heard(const QString& device, app::DeviceHeard heard, const QString& reason);

    QLabel* m_variant;
    QLabel* m_port;
    QLabel* m_device;
    int m_portNumber = 0;
    QString m_deviceName;
};
