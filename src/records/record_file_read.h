#pragma once

#include <QString>

#include <vector>

#include "records/event_record.h"
#include "records/record_store.h"

// The records of a record file (a database's KPB650 or a text record file), read the way the
// record dialog opens files, without touching the working databases: through a scratch database
// of its own. A file that cannot be read gives no records and the store's failures.
struct RecordFileRead {
    std::vector<EventRecord> records;
    records::StoreErrors errors;
};
RecordFileRead ReadRecordFile(const QString& path);
