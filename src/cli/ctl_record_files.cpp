#include "cli/ctl_record_files.h"

#include "cli/ctl_options.h"
#include "cli/ctl_output.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/record_store.h"

namespace cli {

namespace {

// Passes the store's failures of the operation to `error` (the texts the dialogs show) and its
// result on.
template <typename Result>
Result Reporting(const RecordStore& store, Result result,
                 const std::function<void(const QString&)>& error) {
    for (const records::StoreError& e : store.Errors().errors) {
        error(e.text);
    }
    return result;
}

}  // namespace

int WriteRecordFile(RecordStore& store, const QString& path, int variant,
                    const std::function<void(const QString&)>& info,
                    const std::function<void(const QString&)>& error) {
    const RecordFileKind kind = RecordFileKindOf(path);
    if (kind == RecordFileKind::Text || kind == RecordFileKind::Database) {
        return Reporting(store, store.SaveRecords(path), error) ? kExitOk : kExitFile;
    }
    const std::vector<EventRecord> rows =
        Reporting(store, store.ReadAll(records::kTempTable), error);
    bool written = false;
    if (kind == RecordFileKind::Csv) {
        written = WriteWholeFile(path, RecordsToCsv(rows));
    } else if (kind == RecordFileKind::JsonLines) {
        written = WriteWholeFile(path, RecordsToJsonLines(rows));
    } else {
        const ComtradeFiles files = RecordsToComtrade(rows, variant);
        written = WriteComtradeFiles(path, files);
        if (files.skipped > 0) {
            info(QStringLiteral("%1 条记录没有有效时间，未写入").arg(files.skipped));
        }
    }
    if (!written) {
        error(path + QStringLiteral(": ") + records::kSaveFileErrorText);
        return kExitFile;
    }
    return kExitOk;
}

}  // namespace cli
