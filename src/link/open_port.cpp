#include "link/open_port.h"

#include "common/message_box.h"
#include "link/ms_comm.h"

OpenPortResult OpenPort(CMSComm& comm, int portNumber, QWidget* parent, QString* error) {
    if (comm.GetPortOpen()) {
        comm.SetPortOpen(false);
    }
    comm.SetCommPort(static_cast<short>(portNumber));
    comm.SetInBufferSize(1024);
    comm.SetOutBufferSize(512);
    if (comm.GetPortOpen()) {
        ShowMessageBox(parent, comm::kPortStillOpenText);
        return OpenPortResult::StillOpen;
    }
    if (!comm.SetPortOpen(true)) {
        if (error) {
            *error = comm.LastError();
        }
        return OpenPortResult::Failed;
    }
    comm.SetSettings(QStringLiteral("9600,n,8,1"));
    comm.SetInputMode(1);
    comm.SetRThreshold(1);
    comm.SetInputLen(0);
    // Whatever the line held before we opened it belongs to nobody's request, also what the
    // operating system queued before the open.
    comm.SetInBufferCount(0);
    comm.GetInput();
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
