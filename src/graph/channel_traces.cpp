#include "graph/channel_traces.h"

#include <algorithm>

namespace {

constexpr qint64 kMinMarginMs = 1000;

struct Interval {
    qint64 from;
    qint64 to;  // == from: a stroke
};

// Runs low, high, low, ... over [0, end] from intervals, overlapping ones merged; strokes
// become markers.
TraceData TraceOf(std::vector<Interval> intervals, qint64 end) {
    std::sort(intervals.begin(), intervals.end(),
              [](const Interval& a, const Interval& b) { return a.from < b.from; });
    TraceData data;
    data.runs.clear();
    qint64 at = 0;
    for (const Interval& i : intervals) {
        if (i.to <= i.from) {
            data.markers.push_back(std::max<qint64>(i.from, 1));
            continue;
        }
        const qint64 from = std::max(i.from, at);
        if (i.to <= from) {
            continue;  // inside the high run before
        }
        if (from > at || data.runs.empty()) {
            // Positions start a margin after 0, so the first low run is never empty.
            data.runs.push_back(from - at);
            data.runs.push_back(i.to - from);
        } else {
            data.runs.back() += i.to - from;  // touches the run before
        }
        at = i.to;
    }
    data.runs.push_back(std::max<qint64>(end - at, 1));
    std::sort(data.markers.begin(), data.markers.end());
    return data;
}

}  // namespace

ChannelTraces ChannelTracesOf(const ChannelReport& report) {
    ChannelTraces out;
    const qint64 span = std::max<qint64>(report.last - report.first, 0);
    const qint64 margin = std::max(kMinMarginMs, span / 20);
    out.origin = report.first - margin;
    out.end = span + 2 * margin;
    const auto pos = [&](qint64 t) { return t - out.origin; };
    std::array<std::vector<Interval>, channel::kRowCount> intervals;
    const auto add = [&](int row, qint64 t, const std::optional<qint64>& duration) {
        const qint64 from = pos(t);
        intervals[static_cast<std::size_t>(row)].push_back(
            Interval{from, from + std::max<qint64>(duration.value_or(0), 0)});
    };
    for (const ChannelPair& p : report.pairs) {
        const int tx = p.command - 1;
        const int rx = channel::kCommandCount + p.command - 1;
        const qint64 arrived = p.received - report.OffsetAt(p.sent);
        add(tx, p.sent, p.sentDuration);
        add(rx, arrived, p.receivedDuration);
        out.links.push_back(ChannelTraces::Link{tx, pos(p.sent), rx, pos(arrived)});
    }
    for (const ChannelLoss& l : report.missing) {
        add(l.command - 1, l.at, l.duration);
        out.marks.push_back(ChannelTraces::Mark{l.command - 1, pos(l.at), true});
    }
    for (const ChannelLoss& l : report.unwanted) {
        const int row = channel::kCommandCount + l.command - 1;
        add(row, l.at, l.duration);
        out.marks.push_back(ChannelTraces::Mark{row, pos(l.at), false});
    }
    for (std::size_t row = 0; row < intervals.size(); ++row) {
        out.rows[row] = TraceOf(std::move(intervals[row]), out.end);
    }
    return out;
}
