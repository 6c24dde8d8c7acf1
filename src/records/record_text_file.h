#pragma once

#include <QByteArray>

#include "records/event_record.h"

// Text record files: GBK, one record a line, CR LF line ends, no header line.
// Line: serial (1-based, padded on the right with blanks to 3 characters), "  ", year, "  ",
// month, "  ", day, "   ", hour, "  ", minute, "  ", second, "  ", msecond, "  ", event.

namespace records {

// Longest line the reader accepts (line end excluded); longer lines are skipped.
inline constexpr int kMaxRecordLineBytes = 64 * 1024;

}  // namespace records

// One line in GBK, without its line end.
QByteArray FormatRecordLine(int serial, const EventRecord& record);

// One line (a trailing CR and/or LF is ignored) to a record. The serial occupies the first five
// bytes (a longer serial is skipped whole); then the seven numbers are blank-separated runs and
// the event is the rest of the line after the blanks that follow the millisecond. Missing fields
// stay empty; a line of five bytes or fewer gives an all-empty record. Bytes that are not valid
// GBK decode to the replacement character.
EventRecord ParseRecordLine(const QByteArray& line);
