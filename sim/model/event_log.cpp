#include "model/event_log.h"

#include <QStringDecoder>
#include <QStringList>
#include <QTimeZone>

#include <random>

namespace sim {
namespace {

constexpr int kTableSize = 22;
const char* const kCodeErrorText = "事件代码错误!";

// Variant A: command n starts with 2n-1 and returns with 2n; alarms at 11 to 14.
const char* const kTextsA[kTableSize] = {"",
                                         "命令1启动",
                                         "命令1返回",
                                         "命令2启动",
                                         "命令2返回",
                                         "命令3启动",
                                         "命令3返回",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "功放过低告警",
                                         "功放过低告警返回",
                                         "功放过载告警",
                                         "功放过载告警返回",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "",
                                         ""};
// Variant B: command n returns with 2n-2 and starts with 2n-1; alarms at 14 to 21, return first.
const char* const kTextsB[kTableSize] = {"命令1返回",
                                         "命令1启动",
                                         "命令2返回",
                                         "命令2启动",
                                         "命令3返回",
                                         "命令3启动",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "",
                                         "信噪比告警返回",
                                         "信噪比告警",
                                         "信号过高告警返回",
                                         "信号过高告警",
                                         "通道故障告警返回",
                                         "通道故障告警",
                                         "信号过低告警返回",
                                         "信号过低告警"};

struct Pair {
    std::uint8_t on;
    std::uint8_t off;
    bool alarm;
};

std::vector<Pair> Pairs(DeviceVariant variant) {
    if (variant == DeviceVariant::A) {
        return {{1, 2, false}, {3, 4, false}, {5, 6, false}, {11, 12, true}, {13, 14, true}};
    }
    return {{1, 0, false},  {3, 2, false},  {5, 4, false}, {15, 14, true},
            {17, 16, true}, {19, 18, true}, {21, 20, true}};
}

LogRecord RecordAt(const QDateTime& t, std::uint8_t code) {
    LogRecord r;
    r.year = static_cast<std::uint8_t>(t.date().year() - 2000);
    r.month = static_cast<std::uint8_t>(t.date().month());
    r.day = static_cast<std::uint8_t>(t.date().day());
    r.hour = static_cast<std::uint8_t>(t.time().hour());
    r.minute = static_cast<std::uint8_t>(t.time().minute());
    r.second = static_cast<std::uint8_t>(t.time().second());
    r.msecond = static_cast<std::uint16_t>(t.time().msec());
    r.code = code;
    return r;
}

}  // namespace

QString EventText(DeviceVariant variant, int code) {
    if (code < 0 || code >= kTableSize) {
        return QString::fromUtf8(kCodeErrorText);
    }
    return QString::fromUtf8(variant == DeviceVariant::A ? kTextsA[code] : kTextsB[code]);
}

int EventCode(DeviceVariant variant, const QString& text) {
    if (text == QString::fromUtf8(kCodeErrorText)) {
        return kTableSize;
    }
    for (int code = 0; code < kTableSize; ++code) {
        if (EventText(variant, code) == text) {
            return code;
        }
    }
    return -1;
}

std::vector<LogRecord> GenerateLog(DeviceVariant variant, int count, std::uint32_t seed,
                                   const QDateTime& start) {
    std::mt19937 rng(seed);
    auto uniform = [&rng](int lo, int hi) {
        return std::uniform_int_distribution<int>(lo, hi)(rng);
    };
    const std::vector<Pair> pairs = Pairs(variant);
    const int commands = 3;
    std::vector<LogRecord> log;
    QDateTime t = start;
    count = std::min(std::max(count, 0), kMaxLogRecords);
    for (int index = 0; static_cast<int>(log.size()) < count; ++index) {
        const bool acrossMidnight = index % 6 == 4;
        if (acrossMidnight) {
            QDateTime late(t.date(), QTime(23, 59, uniform(40, 55), uniform(0, 999)), t.timeZone());
            t = late > t ? late : late.addDays(1);
        }
        // Mostly commands, now and then an alarm.
        const Pair& pair =
            uniform(0, 9) < 7
                ? pairs[static_cast<size_t>(uniform(0, commands - 1))]
                : pairs[static_cast<size_t>(uniform(commands, int(pairs.size()) - 1))];
        qint64 lengthMs = pair.alarm ? uniform(1000, 900000) : uniform(20, 3000);
        if (acrossMidnight) {
            lengthMs = 30000 + uniform(0, 60000);
        }
        log.push_back(RecordAt(t, pair.on));
        t = t.addMSecs(lengthMs);
        if (static_cast<int>(log.size()) < count) {
            log.push_back(RecordAt(t, pair.off));
        }
        t = t.addMSecs(qint64(uniform(60, 6 * 3600)) * 1000 + uniform(0, 999));
    }
    return log;
}

bool ParseRecordText(DeviceVariant variant, const QByteArray& fileBytes,
                     std::vector<LogRecord>* records, QString* error) {
    QStringDecoder decode("GBK");
    const QString text = decode(fileBytes);
    if (decode.hasError()) {
        *error = QStringLiteral("not GBK text");
        return false;
    }
    std::vector<LogRecord> out;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        if (line.isEmpty()) {
            continue;
        }
        const QStringList fields = line.split(QLatin1Char(' '), Qt::SkipEmptyParts);
        bool isNumber = false;
        fields[0].toInt(&isNumber);
        if (!isNumber) {
            continue;
        }
        if (fields.size() < 8 || fields.size() > 9) {
            *error = where + QStringLiteral("expected serial, 7 numbers and an event text");
            return false;
        }
        static const int kLimits[] = {2255, 255, 255, 255, 255, 255, 65535};
        int values[7];
        for (int f = 0; f < 7; ++f) {
            bool ok = false;
            values[f] = fields[f + 1].toInt(&ok);
            const int low = f == 0 ? 2000 : 0;
            if (!ok || values[f] < low || values[f] > kLimits[f]) {
                *error =
                    where +
                    QStringLiteral("field %1 (%2) is out of range").arg(f + 2).arg(fields[f + 1]);
                return false;
            }
        }
        const QString event = fields.size() == 9 ? fields[8] : QString();
        const int code = EventCode(variant, event);
        if (code < 0) {
            *error = where + QStringLiteral("\"%1\" is no event of this variant").arg(event);
            return false;
        }
        if (out.size() == static_cast<size_t>(kMaxLogRecords)) {
            *error = where + QStringLiteral("more than %1 records").arg(kMaxLogRecords);
            return false;
        }
        LogRecord r;
        r.year = static_cast<std::uint8_t>(values[0] - 2000);
        r.month = static_cast<std::uint8_t>(values[1]);
        r.day = static_cast<std::uint8_t>(values[2]);
        r.hour = static_cast<std::uint8_t>(values[3]);
        r.minute = static_cast<std::uint8_t>(values[4]);
        r.second = static_cast<std::uint8_t>(values[5]);
        r.msecond = static_cast<std::uint16_t>(values[6]);
        r.code = static_cast<std::uint8_t>(code);
        out.push_back(r);
    }
    *records = std::move(out);
    return true;
}

}  // namespace sim
