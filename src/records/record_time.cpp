#include "records/record_time.h"

#include <QDate>
#include <QDateTime>
#include <QTimeZone>

namespace {

// Field texts are written "%d"; anything else (blanks, signs, other characters) is no number.
std::optional<qint64> Number(const QString& text) {
    if (text.isEmpty() || text.size() > 9) {
        return std::nullopt;
    }
    qint64 value = 0;
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return std::nullopt;
        }
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

}  // namespace

std::optional<qint64> WallClockMs(qint64 year, qint64 month, qint64 day, qint64 msOfDay) {
    const QDate date(static_cast<int>(year), static_cast<int>(month), static_cast<int>(day));
    if (!date.isValid()) {
        return std::nullopt;
    }
    // Day arithmetic rather than a QDateTime per record: building one with a time zone cost
    // more than the rest of the graph's conversion together.
    constexpr qint64 kJulianDayOf1970 = 2440588;
    constexpr qint64 kDayMs = 86400000;
    return (date.toJulianDay() - kJulianDayOf1970) * kDayMs + msOfDay;
}

std::optional<qint64> RecordTimeMs(const EventRecord& r) {
    const auto year = Number(r.year);
    const auto month = Number(r.month);
    const auto day = Number(r.day);
    const auto hour = Number(r.hour);
    const auto minute = Number(r.minute);
    const auto second = Number(r.second);
    const auto msecond = Number(r.msecond);
    if (!year || !month || !day || !hour || !minute || !second || !msecond) {
        return std::nullopt;
    }
    return WallClockMs(*year, *month, *day,
                       ((*hour * 60 + *minute) * 60 + *second) * 1000 + *msecond);
}

QString IsoDateTimeText(qint64 timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}
