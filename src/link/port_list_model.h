#pragma once

#include <QAbstractTableModel>
#include <QString>

#include <functional>
#include <vector>

// One serial port present on the system, as the port chooser lists it.
struct SerialPortEntry {
    QString device;  // what the port is opened by: /dev/ttyUSB0, COM3
    QString description;
    QString manufacturer;
    QString usbId;  // vendor:product in hex ("0403:6001") for a USB adapter, else empty
    QString serialNumber;

    bool operator==(const SerialPortEntry& o) const {
        return device == o.device && description == o.description &&
               manufacturer == o.manufacturer && usbId == o.usbId && serialNumber == o.serialNumber;
    }
};

// Lists the serial ports present now; replaceable so tests can plug and pull at will.
using SerialPortEnumerator = std::function<std::vector<SerialPortEntry>()>;
std::vector<SerialPortEntry> SystemSerialPorts();

// The ports present, one row each, with what they are used as. A refresh changes only the rows
// that changed: a port plugged in is inserted, one pulled out is removed, the others keep their
// rows, so a selection in a view over the model stays where it was.
class SerialPortListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { kDevice, kDescription, kManufacturer, kUsbId, kUsedAs, kColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    void SetPorts(std::vector<SerialPortEntry> ports);
    // Devices of ports 1 and 2, for the "used as" column.
    void SetAssignments(const QString& com1Device, const QString& com2Device);

    const std::vector<SerialPortEntry>& Ports() const { return m_ports; }
    // Row of a device, -1 when it is not present.
    int RowOf(const QString& device) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    QString UsedAs(const QString& device) const;

    std::vector<SerialPortEntry> m_ports;
    QString m_com1Device;
    QString m_com2Device;
};
