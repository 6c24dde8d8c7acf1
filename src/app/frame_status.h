#pragma once

#include <QObject>
#include <QString>
#include <QTime>
#include <QTimer>

#include <functional>

class QLabel;
class QStatusBar;

namespace app {

// What the last port check said of the port in use; later news of the line may overrule it.
enum class PortCheck {
    NotChecked,
    Opened,
    Failed,
    Unusable,  // an exchange ended with the system's reason (line lost, port not opened)
    Gone,      // the device file has disappeared (adapter pulled, simulator ended)
};
// What the device on that port last did.
enum class DeviceHeard { Nothing, Answered, NoAnswer };

QString VariantStatusText(int variant);
QString PortStatusText(int portNumber, const QString& device, PortCheck check);
QString DeviceStatusText(DeviceHeard heard, QTime at, const QString& reason);

// The port and device texts as shown in `maxWidth` (measured by `width`): whole when they fit;
// else the device's reason is left out, then the device path is elided in the middle. The tool
// tip always holds both texts whole.
struct StatusTexts {
    QString port;
    QString device;
    QString toolTip;
};
StatusTexts FitStatusTexts(int portNumber, const QString& device, PortCheck check,
                           DeviceHeard heard, QTime at, const QString& reason, int maxWidth,
                           const std::function<int(const QString&)>& width);

}  // namespace app

class DeviceLink;

// The main window's status bar: the variant, the port in use with its device, and whether the
// device answered the last exchange on that device (from the device links it watches). A device
// file that disappears is noticed within a second, whether or not a dialog has the port open.
class CFrameStatus : public QObject {
    Q_OBJECT
public:
    explicit CFrameStatus(QStatusBar* bar);

    void SetVariant(int variant);
    // A new port or device forgets what the old one's device did.
    void SetPort(int portNumber, const QString& device, app::PortCheck check);
    // Shows what `link`'s device answered from now on.
    void Watch(const DeviceLink& link);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Heard(const QString& device, app::DeviceHeard heard, const QString& reason);
    void CheckDeviceFile();
    void Show();

    QStatusBar* m_bar;
    QLabel* m_variant;
    QLabel* m_port;
    QLabel* m_device;
    int m_portNumber = 0;
    QString m_deviceName;
    app::PortCheck m_check = app::PortCheck::NotChecked;
    app::PortCheck m_checkBeforeGone = app::PortCheck::NotChecked;
    app::DeviceHeard m_heard = app::DeviceHeard::Nothing;
    QTime m_at;
    QString m_reason;
    bool m_fileSeen = false;  // the device file existed since the port was set
    QTimer m_watch;
};
