#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <array>
#include <optional>

#include "link/device_exchange.h"

// The device clock as the time frame carries it: six unsigned bytes, the year within the
// century first. Values are plain numbers, not BCD.
struct DeviceTime {
    int year = 0;  // within the century
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

enum class TimeField { Year, Month, Day, Hour, Minute, Second };

// The PC clock's fields, the year reduced to its last two digits.
DeviceTime DeviceTimeFrom(const QDateTime& pcTime);

// "2026-12-6": 2000 plus the year within the century, month and day without leading zeros.
QString TimeFrameDateText(int year, int month, int day);
// "08:05:09": 24-hour clock, two digits each.
QString TimeFrameTimeText(int hour, int minute, int second);

namespace settings {

// The device takes years 0 to 36 on write.
inline constexpr int kLastWritableYear = 36;

}  // namespace settings
bool WritableYear(int year);

// The write frame: one byte per field, year first (26 12 6 15 30 45 is 1A 0C 06 0F 1E 2D).
QByteArray BuildTimeFrame(const DeviceTime& time);

// The first field, in frame order, outside the range a read accepts (year 0-37, month 1-12,
// day 1-31, hour 0-23, minute and second 0-59); none when all pass.
std::optional<TimeField> FirstBadTimeField(const std::array<int, 6>& values);

// A whole clock reply is a leading byte, the six bytes and a trailer byte.
int ClockReplyLength();
// The six values of a whole clock read reply whose trailer is 0x58; none for any other shape.
std::optional<std::array<int, 6>> ClockReplyValues(const QByteArray& reply);

// The message for a field out of range on read.
QString TimeFieldErrorText(TimeField field);

namespace settings {

inline const QString kWriteYearErrorText = QStringLiteral("写入年错误，请重新写入!");

}  // namespace settings

namespace settings {

inline const QString kClockWriteCommand = QStringLiteral("43");
inline const QString kClockReadCommand = QStringLiteral("42");

}  // namespace settings

// Sets the device clock: "43", the frame as hex text, "58". The device's answer is not examined
// beyond its length.
ExchangeRequest ClockWriteRequest(const QByteArray& frame);
// Reads the device clock: "42", "58"; a reply whose trailer is not 0x58 or whose fields are out of
// range is tried again.
ExchangeRequest ClockReadRequest();
