#pragma once

#include <QString>

class CMSComm;
class QWidget;

enum class OpenPortResult {
    Opened,     // open and configured, stale bytes dropped
    StillOpen,  // the port would not close; "打开串口失败!" has been shown
    Failed,     // the device could not be opened; error holds the facility's text
};

// The port-open sequence every device dialog runs on its own control when it opens.
OpenPortResult OpenPort(CMSComm& comm, int portNumber, QWidget* parent, QString* error = nullptr);

// OpenPort for the dialogs that leave a failed open to the serial facility's own error text:
// that text is shown here.
OpenPortResult OpenPortReportingFailure(CMSComm& comm, int portNumber, QWidget* parent);

namespace comm {

inline const QString kPortStillOpenText = QStringLiteral("打开串口失败!");
inline const QString kChoosePortAgainText = QStringLiteral("串口打开失败，请重新选择串口!");

// kChoosePortAgainText, then on a line of its own the system's reason when there is one.
QString ChoosePortAgainText(const QString& reason);

}  // namespace comm
