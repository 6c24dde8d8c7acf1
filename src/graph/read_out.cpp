#include "graph/read_out.h"

#include <QDate>

#include <algorithm>
#include <limits>

bool IsSignalHigh(const TraceData& trace, qint64 t) {
    std::size_t count = 0;
    RunTotal(trace.runs, &count);
    qint64 s = 0;
    for (std::size_t i = 0; i + 1 < count; i += 2) {
        s += trace.runs[i];
        const qint64 high = trace.runs[i + 1];
        if (s <= t && t <= s + high) {
            return true;
        }
        s += high;
    }
    return false;
}

bool IsAnySignalHigh(const std::array<TraceData, graph::kTraceCount>& traces, qint64 t) {
    return std::any_of(traces.begin(), traces.end(),
                       [t](const TraceData& trace) { return IsSignalHigh(trace, t); });
}

std::vector<int> RowsHighAt(const std::array<TraceData, graph::kTraceCount>& traces, qint64 t) {
    std::vector<int> rows;
    for (int row = 0; row < graph::kTraceCount; ++row) {
        if (IsSignalHigh(traces[static_cast<std::size_t>(row)], t)) {
            rows.push_back(row);
        }
    }
    return rows;
}

std::optional<qint64> NearestEdge(const std::array<TraceData, graph::kTraceCount>& traces, qint64 t,
                                  bool forward) {
    std::optional<qint64> best;
    const auto consider = [&](qint64 p) {
        if (forward ? p > t && (!best || p < *best) : p < t && (!best || p > *best)) {
            best = p;
        }
    };
    for (const TraceData& trace : traces) {
        std::size_t count = 0;
        RunTotal(trace.runs, &count);
        qint64 s = 0;
        // The end of the last run is the end of the timeline, not an edge.
        for (std::size_t i = 0; i + 1 < count; ++i) {
            s += trace.runs[i];
            consider(s);
        }
        for (qint64 marker : trace.markers) {
            if (marker <= 0) {
                break;
            }
            consider(marker);
        }
    }
    return best;
}

ReadOutTime AdvanceStartTime(const QString& startTime, qint64 offsetMs) {
    ReadOutTime r;
    r.year = startTime.mid(0, 4);
    r.month = startTime.mid(4, 2);
    r.day = startTime.mid(6, 2).toInt();
    r.hour = startTime.mid(8, 2).toInt();
    r.minute = startTime.mid(10, 2).toInt();
    r.second = startTime.mid(12, 2).toInt();
    // Milliseconds are three digits unless the device stored a value of 1000 or more. A record
    // file may hold any number there: the sum saturates instead of overflowing.
    const qint64 startMs = startTime.mid(14).toLongLong();
    r.msecond = offsetMs > 0 && startMs > std::numeric_limits<qint64>::max() - offsetMs
                    ? std::numeric_limits<qint64>::max()
                    : startMs + offsetMs;

    qint64 carry = 0;
    if (r.msecond > 999) {
        carry = r.msecond / 1000;
        r.msecond %= 1000;
    }
    qint64 v = r.second + carry;
    carry = v > 59 ? v / 60 : 0;
    r.second = static_cast<int>(v > 59 ? v % 60 : v);
    v = r.minute + carry;
    carry = v > 59 ? v / 60 : 0;
    r.minute = static_cast<int>(v > 59 ? v % 60 : v);
    v = r.hour + carry;
    carry = v > 23 ? v / 24 : 0;
    r.hour = static_cast<int>(v > 23 ? v % 24 : v);
    if (carry == 0) {
        return r;
    }

    qint64 day = r.day + carry;
    // A month off the calendar (the device does not check) cannot roll; its day just grows. So
    // does a year the calendar lacks (0, or a text that is not a number). Otherwise the days
    // past the month's end roll by the calendar in one step, however many years they span.
    const QDate first(r.year.toInt(), r.month.toInt(), 1);
    if (first.isValid() && day > first.daysInMonth()) {
        const QDate date = first.addDays(day - 1);
        r.year = QString::number(date.year());
        r.month = QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'));
        day = date.day();
    }
    r.day = static_cast<int>(day);
    return r;
}

QString FormatReadOutTime(const ReadOutTime& t) {
    return t.year + QStringLiteral("年") + t.month + QStringLiteral("月") + QString::number(t.day) +
           QStringLiteral("日") + QString::number(t.hour) + QStringLiteral("时") +
           QString::number(t.minute) + QStringLiteral("分") + QString::number(t.second) +
           QStringLiteral("秒") + QString::number(t.msecond) + QStringLiteral("毫秒");
}

namespace {

// Index of the latest start at or before t while some trace is high there.
std::optional<std::size_t> StartUnder(const Timeline& timeline, qint64 t) {
    if (!IsAnySignalHigh(timeline.traces, t)) {
        return std::nullopt;
    }
    // Start positions never decrease.
    const auto& starts = timeline.starts;
    const auto after = std::upper_bound(
        starts.begin(), starts.end(), t,
        [](qint64 value, const StartEntry& entry) { return value < entry.position; });
    if (after == starts.begin()) {
        return std::nullopt;
    }
    const std::size_t k = static_cast<std::size_t>(after - starts.begin()) - 1;
    if (k >= timeline.startTimes.size()) {
        return std::nullopt;
    }
    return k;
}

}  // namespace

std::optional<qint64> CutDurationAt(const Timeline& timeline, qint64 t) {
    const std::optional<std::size_t> k = StartUnder(timeline, t);
    if (!k) {
        return std::nullopt;
    }
    const qint64 position = timeline.starts[*k].position;
    const auto& cuts = timeline.truncations;
    const auto cut = std::lower_bound(
        cuts.begin(), cuts.end(), position,
        [](const TruncationEntry& entry, qint64 value) { return entry.position < value; });
    if (cut != cuts.end() && cut->position == position) {
        return cut->duration;
    }
    return std::nullopt;
}

QString DurationClockText(qint64 ms) {
    const qint64 a = ms < 0 ? -ms : ms;
    return QString::asprintf(
        "%s%lld:%02lld:%02lld.%03lld", ms < 0 ? "-" : "", static_cast<long long>(a / 3600000),
        static_cast<long long>(a / 60000 % 60), static_cast<long long>(a / 1000 % 60),
        static_cast<long long>(a % 1000));
}

QString ComposeReadOut(const Timeline& timeline, qint64 t, bool withDuration) {
    static const QString noEvent = QStringLiteral("无事件");
    const std::optional<std::size_t> k = StartUnder(timeline, t);
    if (!k) {
        return noEvent;
    }
    const qint64 position = timeline.starts[*k].position;
    QString text = FormatReadOutTime(AdvanceStartTime(timeline.startTimes.at(*k), t - position));
    if (withDuration) {
        if (const std::optional<qint64> duration = CutDurationAt(timeline, t)) {
            text = QStringLiteral("起始时间:") + text + QStringLiteral(",持续时间:") +
                   QString::number(*duration) + QStringLiteral("毫秒");
        }
    }
    return text;
}
