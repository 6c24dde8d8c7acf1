#include "settings/time_frame.h"

#include "link/exchange.h"
#include "link/hex_text.h"

DeviceTime DeviceTimeFrom(const QDateTime& pcTime) {
    const QDate date = pcTime.date();
    const QTime time = pcTime.time();
    DeviceTime t;
    // The remainder of a negative year is negative; the clock of a PC never is.
    t.year = ((date.year() % 100) + 100) % 100;
    t.month = date.month();
    t.day = date.day();
    t.hour = time.hour();
    t.minute = time.minute();
    t.second = time.second();
    return t;
}

QString TimeFrameDateText(int year, int month, int day) {
    return QStringLiteral("%1-%2-%3").arg(2000 + year).arg(month).arg(day);
}

QString TimeFrameTimeText(int hour, int minute, int second) {
    return QStringLiteral("%1:%2:%3")
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'))
        .arg(second, 2, 10, QLatin1Char('0'));
}

bool WritableYear(int year) {
    return year >= 0 && year <= settings::kLastWritableYear;
}

QByteArray BuildTimeFrame(const DeviceTime& time) {
    QByteArray frame;
    for (int value : {time.year, time.month, time.day, time.hour, time.minute, time.second}) {
        frame += static_cast<char>(value);  // every field is below 100
    }
    return frame;
}

std::optional<TimeField> FirstBadTimeField(const std::array<int, 6>& values) {
    struct Range {
        int low;
        int high;
    };
    static constexpr Range kRead[6] = {{0, 37}, {1, 12}, {1, 31}, {0, 23}, {0, 59}, {0, 59}};
    for (int i = 0; i < 6; ++i) {
        if (values[i] < kRead[i].low || values[i] > kRead[i].high) {
            return static_cast<TimeField>(i);
        }
    }
    return std::nullopt;
}

QString TimeFieldErrorText(TimeField field) {
    switch (field) {
        case TimeField::Year:
            return QStringLiteral("接收时间“年”错误!");
        case TimeField::Month:
            return QStringLiteral("接收时间“月”错误!");
        case TimeField::Day:
            return QStringLiteral("接收时间“日”错误!");
        case TimeField::Hour:
            return QStringLiteral("接收时间“小时”错误!");
        case TimeField::Minute:
            return QStringLiteral("接收时间“分”错误!");
        case TimeField::Second:
            return QStringLiteral("接收时间“秒”错误!");
    }
    return QString();
}

int ClockReplyLength() {
    return 8;
}

std::optional<std::array<int, 6>> ClockReplyValues(const QByteArray& reply) {
    if (reply.size() != ClockReplyLength() || static_cast<unsigned char>(reply.back()) != 0x58) {
        return std::nullopt;
    }
    std::array<int, 6> values{};
    for (int i = 0; i < 6; ++i) {
        values[static_cast<std::size_t>(i)] = static_cast<unsigned char>(reply.at(1 + i));
    }
    return values;
}

ExchangeRequest ClockWriteRequest(const QByteArray& frame) {
    ExchangeRequest request;
    request.texts = {settings::kClockWriteCommand, BytesToHexText(frame), comm::kEndByteText};
    request.shape.length = ClockReplyLength();
    return request;
}

ExchangeRequest ClockReadRequest() {
    ExchangeRequest request;
    request.texts = {settings::kClockReadCommand, comm::kEndByteText};
    request.shape.length = ClockReplyLength();
    request.accept = [](const QByteArray& reply) {
        const auto values = ClockReplyValues(reply);
        return values && !FirstBadTimeField(*values);
    };
    return request;
}
