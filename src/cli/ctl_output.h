#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "records/event_record.h"

// What kp650ctl writes that is not a device exchange: record file kinds by name, JSON lines,
// the progress bar.

namespace cli {

enum class RecordFileKind { Text, Database, Csv, Comtrade, JsonLines };

// By suffix (case-insensitive): .csv, .cfg (COMTRADE), .json / .jsonl; otherwise as the program
// chooses: a name ending in a lowercase 'b' is a database, any other a text record file.
RecordFileKind RecordFileKindOf(const QString& path);

// One compact JSON object per record and line (LF), the record's eight texts under their column
// names ("year" ... "event").
QByteArray RecordsToJsonLines(const std::vector<EventRecord>& records);

// "[#####.....]  12/40" with `width` cells between the brackets; the count alone before the
// total is known (total <= 0).
QString ProgressBarText(int done, int total, int width);

}  // namespace cli
