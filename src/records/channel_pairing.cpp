#include "records/channel_pairing.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimeZone>

#include <algorithm>
#include <cmath>

#include "records/csv_export.h"
#include "records/event_signals.h"
#include "records/record_time.h"

namespace {

constexpr int kVariantTransmitter = 0;
constexpr int kVariantReceiver = 1;
// Sent commands looked at when the offset is estimated: enough for a clear peak, few enough
// that a dense log costs little.
constexpr std::size_t kOffsetSamples = 256;
// A drift fit needs this many pairs, and is used when it moves the offset this far over the log.
constexpr std::size_t kDriftMinPairs = 8;
constexpr double kDriftMinChangeMs = 5.0;
constexpr double kHourMs = 3600000.0;
// Width of the band in which an estimated offset's differences are counted.
constexpr qint64 kPeakBandMs = 50;

struct Command {
    qint64 time = 0;
    std::optional<qint64> duration;
    qint64 deviceTime = 0;
};

struct End {
    std::array<std::vector<Command>, channel::kCommandCount> commands;
    std::vector<ChannelAlarm> alarms;
    int records = 0;
    int rejected = 0;
};

// Starts of the three commands with their durations (to the next return of the same command
// before another start), and the alarms' high periods, in time order.
End ReadEnd(const std::vector<EventRecord>& records, int variant) {
    End end;
    end.records = static_cast<int>(records.size());
    const SignalTable& table = SignalTableOf(variant);
    std::array<std::optional<std::size_t>, records::kSignalCount> open{};
    std::array<std::vector<ChannelAlarm>, records::kSignalCount> alarms;
    for (const EventRecord& r : records) {
        const std::optional<qint64> time = RecordTimeMs(r);
        if (!time) {
            ++end.rejected;
            continue;
        }
        const SignalEvent e = SignalEventOf(table, r.event);
        if (e.row < 0) {
            continue;
        }
        const std::size_t row = static_cast<std::size_t>(e.row);
        if (e.row < channel::kCommandCount) {
            std::vector<Command>& list = end.commands[row];
            if (e.start) {
                list.push_back(Command{*time, std::nullopt, *time});
                open[row] = list.size() - 1;
            } else if (open[row]) {
                Command& c = list[*open[row]];
                c.duration = *time - c.time;
                open[row].reset();
            }
            continue;
        }
        std::vector<ChannelAlarm>& list = alarms[row];
        if (e.start) {
            list.push_back(ChannelAlarm{variant == kVariantReceiver, table[row].start, *time, {}});
            open[row] = list.size() - 1;
        } else if (open[row]) {
            list[*open[row]].to = *time;
            open[row].reset();
        }
    }
    for (auto& list : end.commands) {
        std::stable_sort(list.begin(), list.end(),
                         [](const Command& a, const Command& b) { return a.time < b.time; });
    }
    for (auto& list : alarms) {
        end.alarms.insert(end.alarms.end(), list.begin(), list.end());
    }
    std::stable_sort(end.alarms.begin(), end.alarms.end(),
                     [](const ChannelAlarm& a, const ChannelAlarm& b) { return a.from < b.from; });
    return end;
}

// Offset as a line through (t0, offset0) with a slope in ms per ms.
struct OffsetLine {
    qint64 t0 = 0;
    double offset0 = 0.0;
    double slope = 0.0;
    qint64 At(qint64 t) const {
        return static_cast<qint64>(std::llround(offset0 + slope * static_cast<double>(t - t0)));
    }
};

qint64 Median(std::vector<qint64>& values) {
    const std::size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid),
                     values.end());
    return values[mid];
}

// The offset most sent commands agree on: the differences receiver minus transmitter of like
// commands within the search range, and the narrow band holding most of them. Neighbouring
// commands give differences too, but each only once; the true offset gathers all of them.
std::optional<qint64> EstimateOffset(const End& tx, const End& rx, qint64 window) {
    std::size_t total = 0;
    for (const auto& list : tx.commands) {
        total += list.size();
    }
    if (total == 0) {
        return std::nullopt;
    }
    const std::size_t step = std::max<std::size_t>(1, total / kOffsetSamples);
    std::vector<qint64> diffs;
    std::size_t index = 0;
    for (int n = 0; n < channel::kCommandCount; ++n) {
        const auto& sent = tx.commands[static_cast<std::size_t>(n)];
        const auto& got = rx.commands[static_cast<std::size_t>(n)];
        for (const Command& c : sent) {
            if (index++ % step != 0) {
                continue;
            }
            auto it =
                std::lower_bound(got.begin(), got.end(), c.time - channel::kOffsetSearchMs,
                                 [](const Command& r, qint64 value) { return r.time < value; });
            for (; it != got.end() && it->time <= c.time + channel::kOffsetSearchMs; ++it) {
                diffs.push_back(it->time - c.time);
            }
        }
    }
    if (diffs.empty()) {
        return std::nullopt;
    }
    std::sort(diffs.begin(), diffs.end());
    const qint64 band = std::min(window, kPeakBandMs);
    std::size_t bestFrom = 0;
    std::size_t bestCount = 0;
    for (std::size_t i = 0, j = 0; i < diffs.size(); ++i) {
        while (j < diffs.size() && diffs[j] <= diffs[i] + band) {
            ++j;
        }
        if (j - i > bestCount) {
            bestCount = j - i;
            bestFrom = i;
        }
    }
    return diffs[bestFrom + bestCount / 2];
}

struct Pairing {
    std::vector<ChannelPair> pairs;
    std::vector<ChannelLoss> missing;
    std::vector<ChannelLoss> unwanted;
};

// Each sent command takes the first receipt not taken yet within the window of where the
// offset puts it; receipts passed over are unwanted.
Pairing Pair(const End& tx, const End& rx, const OffsetLine& offset, qint64 window) {
    Pairing out;
    for (int n = 0; n < channel::kCommandCount; ++n) {
        const auto& sent = tx.commands[static_cast<std::size_t>(n)];
        const auto& got = rx.commands[static_cast<std::size_t>(n)];
        std::size_t j = 0;
        const auto unwanted = [&](const Command& r) {
            // Mapped with the offset at about its own time.
            const qint64 at = r.time - offset.At(r.time - offset.At(r.time));
            out.unwanted.push_back(ChannelLoss{n + 1, at, r.time, r.duration, {}});
        };
        for (const Command& c : sent) {
            const qint64 expected = c.time + offset.At(c.time);
            while (j < got.size() && got[j].time < expected - window) {
                unwanted(got[j++]);
            }
            if (j < got.size() && got[j].time <= expected + window) {
                out.pairs.push_back(ChannelPair{n + 1, c.time, got[j].time, got[j].time - expected,
                                                c.duration, got[j].duration});
                ++j;
            } else {
                out.missing.push_back(ChannelLoss{n + 1, c.time, c.time, c.duration, {}});
            }
        }
        for (; j < got.size(); ++j) {
            unwanted(got[j]);
        }
    }
    const auto byTime = [](const auto& a, const auto& b) { return a.at < b.at; };
    std::stable_sort(out.missing.begin(), out.missing.end(), byTime);
    std::stable_sort(out.unwanted.begin(), out.unwanted.end(), byTime);
    std::stable_sort(out.pairs.begin(), out.pairs.end(),
                     [](const ChannelPair& a, const ChannelPair& b) { return a.sent < b.sent; });
    return out;
}

// A line through the medians of the first and the second half of the pairs.
std::optional<OffsetLine> FitDrift(const std::vector<ChannelPair>& pairs) {
    if (pairs.size() < kDriftMinPairs) {
        return std::nullopt;
    }
    const std::size_t half = pairs.size() / 2;
    const auto medians = [&](std::size_t from, std::size_t to, qint64* t, qint64* d) {
        std::vector<qint64> times;
        std::vector<qint64> diffs;
        for (std::size_t k = from; k < to; ++k) {
            times.push_back(pairs[k].sent);
            diffs.push_back(pairs[k].received - pairs[k].sent);
        }
        *t = Median(times);
        *d = Median(diffs);
    };
    qint64 t1 = 0;
    qint64 d1 = 0;
    qint64 t2 = 0;
    qint64 d2 = 0;
    medians(0, half, &t1, &d1);
    medians(half, pairs.size(), &t2, &d2);
    if (t2 <= t1) {
        return std::nullopt;
    }
    const double slope = static_cast<double>(d2 - d1) / static_cast<double>(t2 - t1);
    const double span = static_cast<double>(pairs.back().sent - pairs.front().sent);
    if (std::abs(slope * span) < kDriftMinChangeMs) {
        return std::nullopt;
    }
    return OffsetLine{t1, static_cast<double>(d1), slope};
}

void AttachAlarms(std::vector<ChannelLoss>& losses, const std::vector<ChannelAlarm>& alarms,
                  qint64 window) {
    for (ChannelLoss& loss : losses) {
        const qint64 from = loss.at - window;
        const qint64 to = loss.at + std::max<qint64>(loss.duration.value_or(0), 0) + window;
        for (const ChannelAlarm& a : alarms) {
            if (a.from <= to && (!a.to || *a.to >= from)) {
                loss.alarms.push_back(a);
            }
        }
    }
}

QString SpreadText(const ChannelSpread& s) {
    if (s.count == 0) {
        return QStringLiteral("-");
    }
    return QStringLiteral("最小 %1 中值 %2 95% %3 最大 %4 毫秒")
        .arg(s.min)
        .arg(s.median)
        .arg(s.p95)
        .arg(s.max);
}

QString AlarmText(const ChannelAlarm& a) {
    return (a.receiver ? QStringLiteral("收信端") : QStringLiteral("发信端")) + a.name +
           QLatin1Char(' ') + ChannelTimeText(a.from) + QStringLiteral("—") +
           (a.to ? ChannelTimeText(*a.to) : QStringLiteral("未返回"));
}

QString LossText(const QString& kind, const ChannelLoss& l, bool receiverClock) {
    QString text = kind + QStringLiteral(" 命令%1 ").arg(l.command) + ChannelTimeText(l.at);
    if (receiverClock) {
        text += QStringLiteral("（收信端时钟 %1）").arg(ChannelTimeText(l.deviceTime));
    }
    if (l.duration) {
        text += QStringLiteral("，持续 %1 毫秒").arg(*l.duration);
    }
    for (const ChannelAlarm& a : l.alarms) {
        text += QStringLiteral("；告警 ") + AlarmText(a);
    }
    return text;
}

QJsonValue Optional(const std::optional<qint64>& v) {
    return v ? QJsonValue(static_cast<double>(*v)) : QJsonValue();
}

QJsonObject SpreadJson(const ChannelSpread& s) {
    QJsonObject o{{QStringLiteral("count"), s.count}};
    if (s.count > 0) {
        o.insert(QStringLiteral("min"), static_cast<double>(s.min));
        o.insert(QStringLiteral("median"), static_cast<double>(s.median));
        o.insert(QStringLiteral("p95"), static_cast<double>(s.p95));
        o.insert(QStringLiteral("max"), static_cast<double>(s.max));
    }
    return o;
}

QJsonArray LossesJson(const std::vector<ChannelLoss>& losses) {
    QJsonArray out;
    for (const ChannelLoss& l : losses) {
        QJsonArray alarms;
        for (const ChannelAlarm& a : l.alarms) {
            alarms.append(QJsonObject{
                {QStringLiteral("end"),
                 a.receiver ? QStringLiteral("receiver") : QStringLiteral("transmitter")},
                {QStringLiteral("name"), a.name},
                {QStringLiteral("from"), IsoDateTimeText(a.from)},
                {QStringLiteral("to"), a.to ? QJsonValue(IsoDateTimeText(*a.to)) : QJsonValue()}});
        }
        out.append(QJsonObject{{QStringLiteral("command"), l.command},
                               {QStringLiteral("at"), IsoDateTimeText(l.at)},
                               {QStringLiteral("device_time"), IsoDateTimeText(l.deviceTime)},
                               {QStringLiteral("duration_ms"), Optional(l.duration)},
                               {QStringLiteral("alarms"), alarms}});
    }
    return out;
}

}  // namespace

ChannelSpread SpreadOf(std::vector<qint64> values) {
    ChannelSpread s;
    s.count = static_cast<int>(values.size());
    if (values.empty()) {
        return s;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    s.min = values.front();
    s.max = values.back();
    s.median = values[(n - 1) / 2];
    // Nearest rank: the smallest value with at least 95 % of the values at or below it.
    const std::size_t rank = (95 * n + 99) / 100;
    s.p95 = values[std::max<std::size_t>(rank, 1) - 1];
    return s;
}

qint64 ChannelReport::OffsetAt(qint64 t) const {
    return offsetMs + static_cast<qint64>(std::llround(
                          driftMsPerHour * static_cast<double>(t - offsetFrom) / kHourMs));
}

ChannelReport PairChannel(const std::vector<EventRecord>& transmitter,
                          const std::vector<EventRecord>& receiver, const ChannelOptions& options) {
    const End tx = ReadEnd(transmitter, kVariantTransmitter);
    const End rx = ReadEnd(receiver, kVariantReceiver);
    const qint64 window = std::max<qint64>(0, options.windowMs);

    ChannelReport report;
    report.windowMs = window;
    report.wideningMs = options.wideningMs;
    report.transmitterRecords = tx.records;
    report.receiverRecords = rx.records;
    report.transmitterRejected = tx.rejected;
    report.receiverRejected = rx.rejected;

    OffsetLine line;
    if (options.offsetMs) {
        line.offset0 = static_cast<double>(*options.offsetMs);
    } else {
        report.offsetEstimated = true;
        line.offset0 = static_cast<double>(EstimateOffset(tx, rx, window).value_or(0));
    }
    Pairing pairing = Pair(tx, rx, line, window);
    if (report.offsetEstimated && !pairing.pairs.empty()) {
        // The pairs found hold each receipt once: their median difference is the offset, and
        // their halves tell a drift.
        std::vector<qint64> diffs;
        for (const ChannelPair& p : pairing.pairs) {
            diffs.push_back(p.received - p.sent);
        }
        line = OffsetLine{0, static_cast<double>(Median(diffs)), 0.0};
        if (const std::optional<OffsetLine> drift = FitDrift(pairing.pairs)) {
            line = *drift;
        }
        pairing = Pair(tx, rx, line, window);
    }

    // Reported from the first sent command on.
    qint64 t0 = 0;
    bool any = false;
    for (const auto& list : tx.commands) {
        if (!list.empty() && (!any || list.front().time < t0)) {
            t0 = list.front().time;
            any = true;
        }
    }
    report.offsetMs = line.At(t0);
    report.offsetFrom = t0;
    report.driftMsPerHour = line.slope * kHourMs;

    std::vector<ChannelAlarm> alarms = tx.alarms;
    for (ChannelAlarm a : rx.alarms) {
        a.from -= line.At(a.from);
        if (a.to) {
            *a.to -= line.At(*a.to);
        }
        alarms.push_back(a);
    }
    std::stable_sort(alarms.begin(), alarms.end(),
                     [](const ChannelAlarm& a, const ChannelAlarm& b) { return a.from < b.from; });
    AttachAlarms(pairing.missing, alarms, window);
    AttachAlarms(pairing.unwanted, alarms, window);

    for (int n = 0; n < channel::kCommandCount; ++n) {
        ChannelCommandReport& c = report.commands[static_cast<std::size_t>(n)];
        c.command = n + 1;
        c.sent = static_cast<int>(tx.commands[static_cast<std::size_t>(n)].size());
        c.received = static_cast<int>(rx.commands[static_cast<std::size_t>(n)].size());
        std::vector<qint64> delays;
        std::vector<qint64> excess;
        for (const ChannelPair& p : pairing.pairs) {
            if (p.command != n + 1) {
                continue;
            }
            delays.push_back(p.delay);
            if (p.sentDuration && p.receivedDuration) {
                excess.push_back(*p.receivedDuration - *p.sentDuration -
                                 options.wideningMs.value_or(0));
            }
        }
        c.paired = static_cast<int>(delays.size());
        c.delay = SpreadOf(std::move(delays));
        c.durationExcess = SpreadOf(std::move(excess));
    }

    std::vector<qint64> times;
    for (const ChannelPair& p : pairing.pairs) {
        times.push_back(p.sent);
        times.push_back(p.received - line.At(p.sent));
    }
    for (const auto* losses : {&pairing.missing, &pairing.unwanted}) {
        for (const ChannelLoss& l : *losses) {
            times.push_back(l.at);
            times.push_back(l.at + std::max<qint64>(l.duration.value_or(0), 0));
        }
    }
    if (!times.empty()) {
        const auto [lo, hi] = std::minmax_element(times.begin(), times.end());
        report.first = *lo;
        report.last = *hi;
    }
    report.pairs = std::move(pairing.pairs);
    report.missing = std::move(pairing.missing);
    report.unwanted = std::move(pairing.unwanted);
    report.alarms = std::move(alarms);
    return report;
}

QString ChannelTimeText(qint64 timeMs) {
    return QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone::utc())
        .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

QString ChannelReportText(const ChannelReport& r) {
    QStringList lines;
    lines << QStringLiteral("发信端记录 %1 条（时间不可能的 %2 条），收信端记录 %3 条（%4 条）")
                 .arg(r.transmitterRecords)
                 .arg(r.transmitterRejected)
                 .arg(r.receiverRecords)
                 .arg(r.receiverRejected);
    lines << QStringLiteral("时钟差（收信端减发信端）：%1 毫秒%2，漂移 %3 毫秒/小时，窗口 ±%4 毫秒")
                 .arg(r.offsetMs)
                 .arg(r.offsetEstimated ? QStringLiteral("（由记录估计，含传输时间的中值）")
                                        : QStringLiteral("（给定）"))
                 .arg(r.driftMsPerHour, 0, 'f', 1)
                 .arg(r.windowMs);
    for (const ChannelCommandReport& c : r.commands) {
        const int missing = c.sent - c.paired;
        const int unwanted = c.received - c.paired;
        lines << QStringLiteral("命令%1：发出 %2，收到 %3，配对 %4，丢失 %5，误收 %6")
                     .arg(c.command)
                     .arg(c.sent)
                     .arg(c.received)
                     .arg(c.paired)
                     .arg(missing)
                     .arg(unwanted);
        lines << QStringLiteral("  传输时间：") + SpreadText(c.delay);
        lines << (r.wideningMs ? QStringLiteral("  收信输出比发出命令长（减展宽 %1 毫秒）：")
                                     .arg(*r.wideningMs)
                               : QStringLiteral("  收信输出比发出命令长：")) +
                     SpreadText(c.durationExcess);
    }
    for (const ChannelLoss& l : r.missing) {
        lines << LossText(QStringLiteral("丢失"), l, false);
    }
    for (const ChannelLoss& l : r.unwanted) {
        lines << LossText(QStringLiteral("误收"), l, true);
    }
    lines << (r.Faulty() ? QStringLiteral("结论：有丢失或误收的命令")
                         : QStringLiteral("结论：无丢失，无误收"));
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QByteArray ChannelReportJson(const ChannelReport& r) {
    QJsonArray commands;
    for (const ChannelCommandReport& c : r.commands) {
        commands.append(
            QJsonObject{{QStringLiteral("command"), c.command},
                        {QStringLiteral("sent"), c.sent},
                        {QStringLiteral("received"), c.received},
                        {QStringLiteral("paired"), c.paired},
                        {QStringLiteral("missing"), c.sent - c.paired},
                        {QStringLiteral("unwanted"), c.received - c.paired},
                        {QStringLiteral("delay_ms"), SpreadJson(c.delay)},
                        {QStringLiteral("duration_excess_ms"), SpreadJson(c.durationExcess)}});
    }
    const QJsonObject o{
        {QStringLiteral("window_ms"), static_cast<double>(r.windowMs)},
        {QStringLiteral("offset_ms"), static_cast<double>(r.offsetMs)},
        {QStringLiteral("offset_estimated"), r.offsetEstimated},
        {QStringLiteral("drift_ms_per_hour"), std::round(r.driftMsPerHour * 10) / 10},
        {QStringLiteral("widening_ms"), Optional(r.wideningMs)},
        {QStringLiteral("transmitter_records"), r.transmitterRecords},
        {QStringLiteral("receiver_records"), r.receiverRecords},
        {QStringLiteral("transmitter_rejected"), r.transmitterRejected},
        {QStringLiteral("receiver_rejected"), r.receiverRejected},
        {QStringLiteral("commands"), commands},
        {QStringLiteral("missing"), LossesJson(r.missing)},
        {QStringLiteral("unwanted"), LossesJson(r.unwanted)},
        {QStringLiteral("faulty"), r.Faulty()}};
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray ChannelReportCsv(const ChannelReport& r) {
    QString text = QStringLiteral(
        "类别,命令,发出时间,收到时间,传输时间(毫秒),发出持续(毫秒),"
        "收到持续(毫秒),告警\r\n");
    const auto number = [](const std::optional<qint64>& v) {
        return v ? QString::number(*v) : QString();
    };
    for (const ChannelPair& p : r.pairs) {
        text += QStringLiteral("配对,%1,%2,%3,%4,%5,%6,\r\n")
                    .arg(p.command)
                    .arg(IsoDateTimeText(p.sent), IsoDateTimeText(p.received))
                    .arg(p.delay)
                    .arg(number(p.sentDuration), number(p.receivedDuration));
    }
    const auto losses = [&](const QString& kind, const std::vector<ChannelLoss>& list,
                            bool received) {
        for (const ChannelLoss& l : list) {
            QStringList alarms;
            for (const ChannelAlarm& a : l.alarms) {
                alarms << AlarmText(a);
            }
            const QString at = IsoDateTimeText(l.deviceTime);
            text += kind +
                    QStringLiteral(",%1,%2,%3,,%4,%5,")
                        .arg(l.command)
                        .arg(received ? QString() : at, received ? at : QString())
                        .arg(received ? QString() : number(l.duration),
                             received ? number(l.duration) : QString()) +
                    CsvField(alarms.join(QStringLiteral("; "))) + QStringLiteral("\r\n");
        }
    };
    losses(QStringLiteral("丢失"), r.missing, false);
    losses(QStringLiteral("误收"), r.unwanted, true);
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}
