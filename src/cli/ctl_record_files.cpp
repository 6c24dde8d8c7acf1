#include "cli/ctl_record_files.h"

#include "cli/ctl_options.h"
#include "cli/ctl_output.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/record_store.h"

namespace cli {

int WriteRecordFile(RecordStore& store, const QString& path, int variant,
                    const std::function<void(const QString&)>& info,
                    const std::function<void(const QString&)>& error) {
    // What the store reports is printed, and its result passed on.
    const auto printing = [&store, &error](auto result) {
        for (const records::StoreError& e : store.Errors().errors) {
            error(e.text);
        }
        return result;
    };
    const RecordFileKind kind = RecordFileKindOf(path);
    if (kind == RecordFileKind::Text || kind == RecordFileKind::Database) {
        return printing(store.SaveRecords(path)) ? kExitOk : kExitFile;
    }
    const std::vector<EventRecord> rows = printing(store.ReadAll(records::kTempTable));
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
