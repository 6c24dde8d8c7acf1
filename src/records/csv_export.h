#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

#include "records/event_record.h"

// Records as comma-separated values for spreadsheets (RFC 4180): UTF-8 with a byte-order mark
// (so that spreadsheet programs read the Chinese texts right), CR LF line ends, one header row
// "序号,时间,年,月,日,时,分,秒,毫秒,事件", then one row per record in the order given. 时间 is
// the record's ISO 8601 local date-time with milliseconds, empty when the record has no valid
// time; the other columns are the record's texts as listed. A field holding a comma, a double
// quote, CR or LF is quoted, its quotes doubled.
// A CSV field: quoted (quotes doubled) when it holds a comma, a quote or a line end.
QString CsvField(const QString& text);

QByteArray RecordsToCsv(const std::vector<EventRecord>& records);
// One field as such a file writes it: quoted when it holds a comma, a quote, CR or LF.
QString CsvField(const QString& text);

// One row per record as the list shows it, for the clipboard: serial number then the eight
// texts, separated by tabs, each row ended by LF. Tabs and line breaks inside a text become
// blanks, since tab-separated text has no quoting. serials[k] is the list number of records[k].
QString RecordsToTabText(const std::vector<EventRecord>& records, const std::vector<int>& serials);
