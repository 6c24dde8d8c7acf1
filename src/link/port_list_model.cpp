#include "link/port_list_model.h"

#include <QSerialPortInfo>

#include <algorithm>

#include "link/port_names.h"

std::vector<SerialPortEntry> SystemSerialPorts() {
    std::vector<SerialPortEntry> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        SerialPortEntry entry;
        entry.device = info.systemLocation();
        entry.description = info.description();
        entry.manufacturer = info.manufacturer();
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            entry.usbId = QStringLiteral("%1:%2")
                              .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                              .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
        }
        entry.serialNumber = info.serialNumber();
        ports.push_back(entry);
    }
    std::sort(ports.begin(), ports.end(), [](const SerialPortEntry& a, const SerialPortEntry& b) {
        return a.device < b.device;
    });
    return ports;
}

void SerialPortListModel::SetPorts(std::vector<SerialPortEntry> ports) {
    // Pulled out: rows removed from the bottom up, so the rows still to look at keep their place.
    for (int row = static_cast<int>(m_ports.size()) - 1; row >= 0; --row) {
        const QString& device = m_ports[static_cast<size_t>(row)].device;
        const bool present = std::any_of(ports.begin(), ports.end(), [&](const SerialPortEntry& p) {
            return p.device == device;
        });
        if (!present) {
            beginRemoveRows(QModelIndex(), row, row);
            m_ports.erase(m_ports.begin() + row);
            endRemoveRows();
        }
    }
    for (SerialPortEntry& port : ports) {
        const int row = RowOf(port.device);
        if (row >= 0) {
            if (!(m_ports[static_cast<size_t>(row)] == port)) {
                m_ports[static_cast<size_t>(row)] = std::move(port);
                emit dataChanged(index(row, 0), index(row, kColumnCount - 1));
            }
            continue;
        }
        // Plugged in: inserted where its name sorts among the rows there are.
        const auto at = std::find_if(m_ports.begin(), m_ports.end(), [&](const SerialPortEntry& p) {
            return port.device < p.device;
        });
        const int newRow = static_cast<int>(at - m_ports.begin());
        beginInsertRows(QModelIndex(), newRow, newRow);
        m_ports.insert(at, std::move(port));
        endInsertRows();
    }
}

void SerialPortListModel::SetAssignments(const QString& com1Device, const QString& com2Device) {
    m_com1Device = com1Device;
    m_com2Device = com2Device;
    if (!m_ports.empty()) {
        emit dataChanged(index(0, kUsedAs), index(rowCount() - 1, kUsedAs));
    }
}

int SerialPortListModel::RowOf(const QString& device) const {
    for (size_t row = 0; row < m_ports.size(); ++row) {
        if (m_ports[row].device == device) {
            return static_cast<int>(row);
        }
    }
    return -1;
}

int SerialPortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_ports.size());
}

int SerialPortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QString SerialPortListModel::UsedAs(const QString& device) const {
    QStringList uses;
    if (device == m_com1Device) {
        uses << comm::PortLabel(1);
    }
    if (device == m_com2Device) {
        uses << comm::PortLabel(2);
    }
    return uses.join(QStringLiteral("、"));
}

QVariant SerialPortListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) {
        return {};
    }
    const SerialPortEntry& port = m_ports[static_cast<size_t>(index.row())];
    if (role == Qt::ToolTipRole && !port.serialNumber.isEmpty()) {
        return QStringLiteral("序列号: ") + port.serialNumber;
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
        case kDevice:
            return port.device;
        case kDescription:
            return port.description;
        case kManufacturer:
            return port.manufacturer;
        case kUsbId:
            return port.usbId;
        case kUsedAs:
            return UsedAs(port.device);
        default:
            return {};
    }
}

QVariant SerialPortListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
        case kDevice:
            return QStringLiteral("设备");
        case kDescription:
            return QStringLiteral("说明");
        case kManufacturer:
            return QStringLiteral("厂商");
        case kUsbId:
            return QStringLiteral("USB 标识");
        case kUsedAs:
            return QStringLiteral("用作");
        default:
            return {};
    }
}
