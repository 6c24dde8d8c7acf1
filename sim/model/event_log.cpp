#include "model/event_log.h"

#include <QStringList>
#include <QTimeZone>

#include <random>

#include "records/event_record.h"
#include "records/record_text_file.h"

namespace sim {
namespace {

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
    return ::EventText(code, variant == DeviceVariant::A ? 0 : 1);
}

int EventCode(DeviceVariant variant, const QString& text) {
    if (text == records::kEventCodeErrorText) {
        return records::kEventTextCount;
    }
    for (int code = 0; code < records::kEventTextCount; ++code) {
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
    std::vector<LogRecord> out;
    const QList<QByteArray> lines = fileBytes.split('\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QByteArray line = lines[i];
        const QString where = QStringLiteral("line %1: ").arg(i + 1);
        const QList<QByteArray> words = line.simplified().split(' ');
        bool isNumber = false;
        words.front().toInt(&isNumber);
        if (!isNumber) {
            continue;  // blank line or heading
        }
        // Read the line as the program reads it, so both agree on what a file holds.
        const EventRecord record = ParseRecordLine(line);
        static const int kLimits[] = {2255, 255, 255, 255, 255, 255, 65535};
        int values[7];
        for (int f = 0; f < 7; ++f) {
            bool ok = false;
            values[f] = record.Field(f).toInt(&ok);
            const int low = f == 0 ? 2000 : 0;
            if (!ok || values[f] < low || values[f] > kLimits[f]) {
                *error = where +
                         QStringLiteral("%1 \"%2\" is missing or out of range")
                             .arg(QLatin1String(records::kRecordFieldNames[static_cast<size_t>(f)]),
                                  record.Field(f));
                return false;
            }
        }
        const int code = EventCode(variant, record.event.trimmed());
        if (code < 0) {
            *error = where + QStringLiteral("\"%1\" is no event of this variant").arg(record.event);
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
