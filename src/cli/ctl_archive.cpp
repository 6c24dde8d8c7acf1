#include "cli/ctl_archive.h"

#include <QDate>
#include <QTemporaryDir>

#include <cstdio>

#include "archive/archive.h"
#include "archive/device_events.h"
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
    // Read only: an export never creates, migrates or changes the archive, so it may come from
    // a streaming replica.
    archive::Archive a;
    error = a.OpenReadOnly(w.at(2));
    if (!error.isEmpty()) {
        return fail(w.at(2) + QStringLiteral(": ") + error, kExitFile);
    }
    int variant = archive::DeviceVariant(a, w.at(3), &error);
    if (variant < 0) {
        return fail(error, kExitFailure);
    }
    if (o.variant >= 0) {
        variant = o.variant;
    }
    RecordStore store;
    QTemporaryDir scratch;
    if (!o.output.isEmpty() &&
        (!scratch.isValid() || !store.Connect(scratch.filePath(QStringLiteral("scratch.mdb"))) ||
         !store.EmptyTable(records::kTempTable))) {
        return fail(records::kWorkingDatabaseConnectFailedText, kExitFile);
    }
    int count = 0;
    bool stored = true;
    error = archive::ForEachEventPage(
        a, {w.at(3), from, to}, [&](const std::vector<archive::EventRow>& page) {
            std::vector<EventRecord> records;
            for (const archive::EventRow& e : page) {
                records.push_back(e.record);
            }
            count += static_cast<int>(page.size());
            if (o.output.isEmpty()) {
                Write(stdout, QString::fromUtf8(RecordsToJsonLines(records)));
                return true;
            }
            for (const EventRecord& r : records) {
                if (!store.Append(records::kTempTable, r)) {
                    for (const records::StoreError& e : store.Errors().errors) {
                        Write(stderr, e.text + QLatin1Char('\n'));
                    }
                    stored = false;
                    return false;
                }
            }
            return true;
        });
    if (!error.isEmpty()) {
        return fail(error, kExitFile);
    }
    if (!stored) {
        return kExitFile;
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
