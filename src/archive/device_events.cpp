#include "archive/device_events.h"

namespace archive {

namespace {

// Rows read from the archive per query.
constexpr int kPageRows = 5000;

}  // namespace

int DeviceVariant(const Archive& archive, const QString& device, QString* error) {
    QString failed;
    for (const DeviceRow& d : archive.Devices(&failed)) {
        if (d.name == device) {
            return std::max(0, d.variant);
        }
    }
    *error = failed.isEmpty() ? device + QStringLiteral(": no such device in the archive") : failed;
    return -1;
}

QString ForEachEventPage(const Archive& archive, const DeviceEventsQuery& query,
                         const std::function<bool(const std::vector<EventRow>&)>& page) {
    // Both days are included: up to the start of the day after `to`.
    const QDateTime start = query.from.isValid() ? query.from.startOfDay() : QDateTime();
    const QDateTime end = query.to.isValid() ? query.to.addDays(1).startOfDay() : QDateTime();
    for (int offset = 0;; offset += kPageRows) {
        QString error;
        const std::vector<EventRow> rows =
            archive.Events(query.device, start, end, offset, kPageRows, &error);
        if (!error.isEmpty()) {
            return error;
        }
        if (!page(rows) || static_cast<int>(rows.size()) < kPageRows) {
            return {};
        }
    }
}

std::vector<EventRecord> DeviceRecords(const Archive& archive, const DeviceEventsQuery& query,
                                       QString* error) {
    std::vector<EventRecord> records;
    *error = ForEachEventPage(archive, query, [&records](const std::vector<EventRow>& page) {
        for (const EventRow& e : page) {
            records.push_back(e.record);
        }
        return true;
    });
    return records;
}

}  // namespace archive
