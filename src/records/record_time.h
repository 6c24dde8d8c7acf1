#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

#include "records/event_record.h"

// The device clock has no time zone: a record's time is taken as a plain wall-clock reading and
// carried as milliseconds from 1970-01-01 00:00:00.000 of that same clock (no zone, no daylight
// saving), so that arithmetic and labels never depend on where the program runs.
//
// A record has a time when its year, month and day form a calendar date and its hour, minute,
// second and millisecond are decimal numbers; those four are added to the day's midnight as they
// are (the device does not check them), so an hour of 24 reads as midnight of the next day.
std::optional<qint64> RecordTimeMs(const EventRecord& record);
// The same from numbers already read: a calendar date and the ms added to its midnight.
std::optional<qint64> WallClockMs(qint64 year, qint64 month, qint64 day, qint64 msOfDay);

// "yyyy-MM-ddTHH:mm:ss.zzz" (ISO 8601 local date-time with milliseconds) of a wall-clock time.
QString IsoDateTimeText(qint64 timeMs);
