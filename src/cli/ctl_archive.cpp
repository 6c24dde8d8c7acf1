#include "cli/ctl_archive.h"

#include <QDate>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

#include "archive/archive.h"
#include "cli/ctl_output.h"
#include "cli/ctl_record_files.h"
#include "records/record_store.h"

namespace cli {

namespace {

void Write(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// Rows read from the archive per query: memory stays flat for any range.
constexpr int kPageRows = 5000;

}  // namespace

int RunArchiveCommand(const CtlOptions& o) {
    const QStringList& w = o.words;
    const auto fail = [](const QString& text, int code) {
        Write(stderr, QStringLiteral("kp650ctl: ") + text + QLatin1Char('\n'));
        return code;
    };
    if (w.value(1) != QLatin1String("export") || w.size() < 4 || w.size() > 6) {
        return fail(
            QStringLiteral("archive export ARCHIVE DEVICE [FROM [TO]] (see kp650ctl --help)"),
            kExitUsage);
    }
    const QDate from = w.size() > 4 ? QDate::fromString(w.at(4), Qt::ISODate) : QDate();
    const QDate to = w.size() > 5 ? QDate::fromString(w.at(5), Qt::ISODate) : QDate();
    if ((w.size() > 4 && !from.isValid()) || (w.size() > 5 && !to.isValid())) {
        return fail(QStringLiteral("dates are written YYYY-MM-DD"), kExitUsage);
    }
    archive::Location location;
    QString error;
    if (!archive::ParseLocation(w.at(2), &location, &error)) {
        return fail(error, kExitUsage);
    }
    if (location.dialect == archive::Dialect::Sqlite && !QFileInfo::exists(location.path)) {
        return fail(location.path + QStringLiteral(": no such archive"), kExitFile);
    }
    archive::Archive a;
    // Read-only: an export may come from a streaming replica, which takes no migration.
    error = a.OpenReadOnly(w.at(2));
    if (!error.isEmpty()) {
        return fail(w.at(2) + QStringLiteral(": ") + error, kExitFile);
    }
    int variant = -1;
    for (const archive::DeviceRow& d : a.Devices(&error)) {
        if (d.name == w.at(3)) {
            variant = std::max(0, d.variant);
        }
    }
    if (variant < 0) {
        return fail(w.at(3) + QStringLiteral(": no such device in the archive ") + error,
                    kExitFailure);
    }
    if (o.variant >= 0) {
        variant = o.variant;
    }
    // Both days are included: up to the start of the day after `to`.
    const QDateTime start = from.isValid() ? from.startOfDay() : QDateTime();
    const QDateTime end = to.isValid() ? to.addDays(1).startOfDay() : QDateTime();
    RecordStore store;
    QTemporaryDir scratch;
    if (!o.output.isEmpty() &&
        (!scratch.isValid() || !store.Connect(scratch.filePath(QStringLiteral("scratch.mdb"))) ||
         !store.EmptyTable(records::kTempTable))) {
        return fail(records::kWorkingDatabaseConnectFailedText, kExitFile);
    }
    int count = 0;
    for (int offset = 0;; offset += kPageRows) {
        const std::vector<archive::EventRow> page =
            a.Events(w.at(3), start, end, offset, kPageRows, &error);
        if (!error.isEmpty()) {
            return fail(error, kExitFile);
        }
        std::vector<EventRecord> records;
        for (const archive::EventRow& e : page) {
            records.push_back(e.record);
        }
        if (o.output.isEmpty()) {
            Write(stdout, QString::fromUtf8(RecordsToJsonLines(records)));
        } else {
            for (const EventRecord& r : records) {
                if (!store.Append(records::kTempTable, r)) {
                    for (const records::StoreError& e : store.Errors().errors) {
                        Write(stderr, e.text + QLatin1Char('\n'));
                    }
                    return kExitFile;
                }
            }
        }
        count += static_cast<int>(page.size());
        if (static_cast<int>(page.size()) < kPageRows) {
            break;
        }
    }
    if (!o.output.isEmpty()) {
        const int code = WriteRecordFile(
            store, o.output, variant,
            [&o](const QString& text) {
                if (o.verbosity > 0) {
                    Write(stderr, text + QLatin1Char('\n'));
                }
            },
            [](const QString& text) { Write(stderr, text + QLatin1Char('\n')); });
        if (code != kExitOk) {
            return code;
        }
    }
    if (o.verbosity > 0) {
        Write(stderr, QStringLiteral("%1: %2 records\n").arg(w.at(3)).arg(count));
    }
    return kExitOk;
}

}  // namespace cli
