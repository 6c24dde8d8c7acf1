#pragma once

#include <QDate>
#include <QString>

#include <functional>
#include <vector>

#include "archive/archive.h"

// One device's archived events between two days, as kp650ctl's export and the program's record
// list take them out of the archive: every log generation, in log order, a page at a time so
// that memory stays flat for any range.

namespace archive {

struct DeviceEventsQuery {
    QString device;  // the device's name in the archive
    QDate from;      // first day included; invalid: from the start
    QDate to;        // last day included; invalid: to the end
};

// The device's variant (0 = A, 1 = B; a device whose variant is not yet known counts as A), or
// -1 with `error` set when the archive has no such device or cannot be read.
int DeviceVariant(const Archive& archive, const QString& device, QString* error);

// Hands each page of the query's events to `page` (false from it stops the walk). Empty on
// success, else what failed.
QString ForEachEventPage(const Archive& archive, const DeviceEventsQuery& query,
                         const std::function<bool(const std::vector<EventRow>&)>& page);

// The query's records, all at once (a device's archive holds some thousands).
std::vector<EventRecord> DeviceRecords(const Archive& archive, const DeviceEventsQuery& query,
                                       QString* error);

}  // namespace archive
