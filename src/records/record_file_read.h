#pragma once

#include <QString>

#include <vector>

#include "records/event_record.h"

// The records of a record file (a database's KPB650 or a text record file), read the way the
// record dialog opens files, without touching the working databases: through a scratch database
// of its own. A file that cannot be read gives no records (the reason was shown as the record
// dialog shows it), as does a file without records.
std::vector<EventRecord> ReadRecordFile(const QString& path);
