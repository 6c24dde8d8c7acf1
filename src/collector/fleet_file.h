#pragma once

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

// The fleet file: which archive to write to and which devices to poll, how often. JSON; every
// mistake is reported with the place it is at (line and column, or the device and field).

namespace collector {

struct FleetDevice {
    QString name;
    QString station;
    QString channel;                 // the link a transmitter and a receiver share
    QString port;                    // tcp://HOST:PORT or a serial device
    int variant = -1;                // 0 = A, 1 = B, -1 = told by the identification reply
    int intervalMs = 300000;         // between the starts of two polls
    std::optional<int> clockSyncMs;  // set the device clock when it is off by more than this
    bool clearAfterArchive = false;
};

struct Fleet {
    QString
        archive;  // as archive::ParseLocation takes it; a relative file is beside the fleet file
    QString collector;  // this collector's name in leases and reads; empty: the host name
    int leaseMs = 60000;
    // Where a device's log is copied as a text record file before the collector clears it; a
    // relative folder is beside the fleet file. Empty: the program's archive folder
    // (ArchiveFolder(), as the record dialog and kp650ctl use).
    QString clearCopies;
    std::vector<FleetDevice> devices;
};

// `fileName` names the file in messages; `folder` resolves a relative SQLite archive.
bool ParseFleet(const QByteArray& json, const QString& fileName, const QString& folder,
                Fleet* fleet, QString* error);

}  // namespace collector
