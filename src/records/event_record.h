#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>

// One event of the device log. Outside log retrieval every field travels as text: the seven
// numbers as "%d" decimal texts, the event as its Chinese text (never its code).
struct EventRecord {
    QString year;
    QString month;
    QString day;
    QString hour;
    QString minute;
    QString second;
    QString msecond;
    QString event;

    // Fields by position 0..7 in the order above (the column order of the record tables).
    QString& Field(int index);
    const QString& Field(int index) const;

    // The eight texts in field order.
    QStringList FieldTexts() const;

    bool operator==(const EventRecord& other) const;
    bool operator!=(const EventRecord& other) const { return !(*this == other); }
};

namespace records {

inline constexpr int kRecordFieldCount = 8;

// Column names of every record table, in field order.
inline constexpr std::array<const char*, kRecordFieldCount> kRecordFieldNames = {
    "year", "month", "day", "hour", "minute", "second", "msecond", "event"};

// Device event code -> event text, one table per variant; an empty entry is a valid, empty text.
inline constexpr int kEventTextCount = 22;

}  // namespace records
using EventTextTable = std::array<const char*, records::kEventTextCount>;  // UTF-8 literals

namespace records {

extern const EventTextTable kEventTextTableA;  // transmitter, KPA-650
extern const EventTextTable kEventTextTableB;  // receiver, KPB-650

}  // namespace records

// The table of a variant (0 = A, anything else = B).
const EventTextTable& EventTextTableOf(int variant);

namespace records {

// Text for a code outside the table.
extern const QString kEventCodeErrorText;  // "事件代码错误!"

}  // namespace records

// Event text of a device code (taken as unsigned 0..255) in the given variant: the table entry for
// codes below 22 (possibly empty), records::kEventCodeErrorText otherwise.
QString EventText(int code, int variant);

// Record from the nine raw log bytes: year offset, month, day, hour, minute, second, millisecond
// high and low byte, event code. Year = 2000 + b0, msecond = b6 * 256 + b7; nothing is checked
// against calendar limits. Missing bytes (a shorter array) count as 0, extra bytes are ignored.
EventRecord RecordFromLogBytes(const QByteArray& nineBytes, int variant);

// Record from the decoded raw values; the numbers are written "%d".
EventRecord RecordFromLogValues(int year, int month, int day, int hour, int minute, int second,
                                int msecond, int code, int variant);
