#include "link/open_port.h"

#include "common/message_box.h"
#include "link/device_exchange.h"
#include "link/ms_comm.h"

OpenPortResult OpenPort(CMSComm& comm, int portNumber, QWidget* parent, QString* error) {
    if (comm.GetPortOpen()) {
        comm.SetPortOpen(false);
    }
    if (comm.GetPortOpen()) {
        ShowMessageBox(parent, comm::kPortStillOpenText);
        return OpenPortResult::StillOpen;
    }
    if (!DeviceExchange::OpenLine(comm, portNumber, error)) {
        return OpenPortResult::Failed;
    }
    return OpenPortResult::Opened;
}

OpenPortResult OpenPortReportingFailure(CMSComm& comm, int portNumber, QWidget* parent) {
    QString error;
    const OpenPortResult result = OpenPort(comm, portNumber, parent, &error);
    if (result == OpenPortResult::Failed) {
        ShowMessageBox(parent, error);
    }
    return result;
}

QString comm::ChoosePortAgainText(const QString& reason) {
    return reason.isEmpty() ? kChoosePortAgainText
                            : kChoosePortAgainText + QLatin1Char('\n') + reason;
}
