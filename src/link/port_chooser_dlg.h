#pragma once

#include <QDialog>
#include <QTimer>

#include "link/port_list_model.h"

class QLineEdit;
class QTableView;

// Chooses the device behind port 1 or port 2: a serial port present on the system (refreshed
// while the dialog shows, so a USB adapter plugged in or pulled out appears or goes at once) or
// a name typed in, a device path or a device server's tcp://HOST:PORT. It only chooses; the
// main window then checks the port by the usual rules.
class CPortChooserDlg : public QDialog {
    Q_OBJECT
public:
    explicit CPortChooserDlg(SerialPortEnumerator enumerator = SystemSerialPorts,
                             QWidget* parent = nullptr);

    // Devices of ports 1 and 2 now, and the port in use (its device is proposed).
    void SetCurrent(const QString& com1Device, const QString& com2Device, int portInUse);

    // After acceptance: the port chosen for (1 or 2) and its device.
    int ChosenPort() const { return m_chosenPort; }
    QString ChosenDevice() const { return m_chosenDevice; }

    SerialPortListModel& Model() { return m_model; }
    // Reads the system's ports again (also done every second while the dialog shows).
    void Refresh();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void Assign(int port);
    void RowChosen();

    SerialPortEnumerator m_enumerator;
    SerialPortListModel m_model;
    QTimer m_refresh;
    QTableView* m_view = nullptr;
    QLineEdit* m_device = nullptr;
    QString m_com1Device;
    QString m_com2Device;
    bool m_refreshing = false;
    int m_chosenPort = 0;
    QString m_chosenDevice;
};
