#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <vector>

#include "journal/journal.h"

struct DeviceIdentity;

// How the journal and the history read: the differences of a write, CSV and JSON, the
// comparison of two kept parameter sets. Shared by the journal dialog and kp650ctl.

namespace journal {

// What a write changed, one line each: "centre_frequency: 200 kHz -> 210 kHz" for each field
// sent that differs from what the device held before ("?" when that was not known; fields the
// write left as they were are not listed), "input_delay_1: read back 0ms" for a field read back
// otherwise than sent; a log clear is "log: cleared" and its archive file. Empty: the write
// changed nothing.
QStringList DifferenceLines(const Entry& entry);

// "已确认", "被拒绝", "失败", "未知"; "参数写入", "时间设置", "清除记录".
QString OutcomeCaption(WriteOutcome outcome);
QString KindCaption(WriteKind kind);

// The identification as an entry keeps it: "v1.00 2009-9-8 ABCD".
QString IdentificationText(const DeviceIdentity& id);

// UTF-8 with a byte-order mark, CR LF, a header row
// "id,utc,local,user,host,program,port,device,identification,kind,outcome,completed_utc,changes,
// sent_bytes,archive_file,detail", one row per entry as given; the changes joined by "; ".
QByteArray EntriesToCsv(const std::vector<Entry>& entries);
// Every column of the entry; fields as arrays of {"name", "value"}.
QJsonObject EntryToJson(const Entry& entry);

// The fields in which two kept sets differ ("frame" when only their bytes do), as
// "name: a -> b"; a message when they are of different variants.
QStringList CompareKeptSets(const KeptSet& a, const KeptSet& b);
// A kept set's fields by their file names.
Fields KeptSetFields(const KeptSet& set);

}  // namespace journal
