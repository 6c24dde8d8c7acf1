#include "support/archive_fill.h"

#include <QDateTime>

#include "archive/archive.h"
#include "records/event_record.h"

QString FillArchive(const QString& location, int devices, int eventsPerDevice) {
    archive::Archive a;
    QString error = a.Open(location);
    if (!error.isEmpty()) {
        return error;
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC);
    for (int d = 0; d < devices; ++d) {
        archive::DeviceRow row;
        row.name = QStringLiteral("dev-%1").arg(d + 1, 2, 10, QLatin1Char('0'));
        row.station = QStringLiteral("站%1").arg(d + 1);
        row.channel = QStringLiteral("通道%1").arg(d / 2 + 1);
        row.port = QStringLiteral("tcp://127.0.0.1:%1").arg(4001 + d);
        row.variant = d % 2;
        if (!(error = a.SaveDevice(row)).isEmpty()) {
            return error;
        }
        archive::ReadToStore read;
        read.device = row.name;
        read.collector = QStringLiteral("bench");
        read.host = QStringLiteral("localhost");
        read.started = now;
        read.finished = now;
        read.clockOffsetMs = 250 * d;
        read.outcome = QStringLiteral("ok");
        read.complete = true;
        read.records.reserve(static_cast<std::size_t>(eventsPerDevice));
        for (int i = 0; i < eventsPerDevice; ++i) {
            // Pairs of start and return of commands 1 to 3: codes 1, 3, 5 start them in both
            // variants, 2, 4, 6 return them in the transmitter's table, 0, 2, 4 in the receiver's.
            const int pair = i / 2;
            const QDateTime t =
                start.addMSecs(qint64(pair) * 61000 + (i % 2) * (1500 + pair % 700) + d * 7);
            const int start = 1 + 2 * (pair % 3);
            const int code = i % 2 == 0 ? start : row.variant == 0 ? start + 1 : start - 1;
            read.records.push_back(RecordFromLogValues(
                t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                t.time().minute(), t.time().second(), t.time().msec(), code, row.variant));
            read.codes.push_back(code);
        }
        const archive::StoreResult stored = a.StoreRead(read);
        if (!stored.error.isEmpty()) {
            return stored.error;
        }
        if (!(error = a.SaveStatus(row.name, read.collector, now, QString(), now.addSecs(300)))
                 .isEmpty()) {
            return error;
        }
    }
    return {};
}
