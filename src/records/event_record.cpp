#include "records/event_record.h"

#include <QtGlobal>

const EventTextTable records::kEventTextTableA = {
    "",                  // 0
    "命令1启动",         // 1
    "命令1返回",         // 2
    "命令2启动",         // 3
    "命令2返回",         // 4
    "命令3启动",         // 5
    "命令3返回",         // 6
    "",                  // 7
    "",                  // 8
    "",                  // 9
    "",                  // 10
    "功放过低告警",      // 11
    "功放过低告警返回",  // 12
    "功放过载告警",      // 13
    "功放过载告警返回",  // 14
    "",                  // 15
    "",                  // 16
    "",                  // 17
    "",                  // 18
    "",                  // 19
    "",                  // 20
    "",                  // 21
};

const EventTextTable records::kEventTextTableB = {
    "命令1返回",         // 0
    "命令1启动",         // 1
    "命令2返回",         // 2
    "命令2启动",         // 3
    "命令3返回",         // 4
    "命令3启动",         // 5
    "",                  // 6
    "",                  // 7
    "",                  // 8
    "",                  // 9
    "",                  // 10
    "",                  // 11
    "",                  // 12
    "",                  // 13
    "信噪比告警返回",    // 14
    "信噪比告警",        // 15
    "信号过高告警返回",  // 16
    "信号过高告警",      // 17
    "通道故障告警返回",  // 18
    "通道故障告警",      // 19
    "信号过低告警返回",  // 20
    "信号过低告警",      // 21
};

const QString records::kEventCodeErrorText = QStringLiteral("事件代码错误!");

QString& EventRecord::Field(int index) {
    switch (index) {
        case 0:
            return year;
        case 1:
            return month;
        case 2:
            return day;
        case 3:
            return hour;
        case 4:
            return minute;
        case 5:
            return second;
        case 6:
            return msecond;
        default:
            return event;
    }
}

const QString& EventRecord::Field(int index) const {
    return const_cast<EventRecord*>(this)->Field(index);
}

QStringList EventRecord::FieldTexts() const {
    return {year, month, day, hour, minute, second, msecond, event};
}

bool EventRecord::operator==(const EventRecord& other) const {
    return year == other.year && month == other.month && day == other.day && hour == other.hour &&
           minute == other.minute && second == other.second && msecond == other.msecond &&
           event == other.event;
}

const EventTextTable& EventTextTableOf(int variant) {
    return variant == 0 ? records::kEventTextTableA : records::kEventTextTableB;
}

QString EventText(int code, int variant) {
    // The device sends one byte; anything outside it is as wrong as 22..255.
    if (code < 0 || code >= records::kEventTextCount) {
        return records::kEventCodeErrorText;
    }
    return QString::fromUtf8(EventTextTableOf(variant)[static_cast<size_t>(code)]);
}

EventRecord RecordFromLogValues(int year, int month, int day, int hour, int minute, int second,
                                int msecond, int code, int variant) {
    EventRecord record;
    record.year = QString::number(year);
    record.month = QString::number(month);
    record.day = QString::number(day);
    record.hour = QString::number(hour);
    record.minute = QString::number(minute);
    record.second = QString::number(second);
    record.msecond = QString::number(msecond);
    record.event = EventText(code, variant);
    return record;
}

EventRecord RecordFromLogBytes(const QByteArray& nineBytes, int variant) {
    const auto byteAt = [&nineBytes](int i) -> int {
        return i < nineBytes.size() ? static_cast<quint8>(nineBytes.at(i)) : 0;
    };
    return RecordFromLogValues(2000 + byteAt(0), byteAt(1), byteAt(2), byteAt(3), byteAt(4),
                               byteAt(5), byteAt(6) * 256 + byteAt(7), byteAt(8), variant);
}
