#include "graph/timeline.h"

#include <QDate>

#include <algorithm>

#include "records/record_time.h"

namespace {

constexpr qint64 kGapCap = 60000;    // no gap is drawn longer than a minute
constexpr qint64 kSeparatorMs = 20;  // all-low gaps, lead-in and tail
constexpr qint64 kDayMs = 86400000;
constexpr qint64 kParseLimit = 1000000000;  // keeps date and time arithmetic inside 64 bits

// Leading decimal number of a field text, the way the stored texts have always been read:
// blanks skipped, an optional sign, digits up to the first other character; nothing gives 0.
// `plain` tells whether the text is nothing but 1 to 9 digits, as the device's "%d" writes it.
qint64 ParseField(const QString& text, bool* plain = nullptr) {
    const QChar* c = text.constData();
    const QChar* const end = c + text.size();
    while (c != end && c->isSpace()) {
        ++c;
    }
    bool negative = false;
    if (c != end && (*c == QLatin1Char('-') || *c == QLatin1Char('+'))) {
        negative = *c == QLatin1Char('-');
        ++c;
    }
    const QChar* const digits = c;
    qint64 value = 0;
    for (; c != end; ++c) {
        const char16_t u = c->unicode();
        if (u < u'0' || u > u'9') {
            break;
        }
        value = std::min(value * 10 + (u - u'0'), kParseLimit);
    }
    if (plain != nullptr) {
        const auto n = end - text.constData();
        *plain = c == end && digits == text.constData() && n > 0 && n <= 9;
    }
    return negative ? -value : value;
}

void AppendPadded(QString& out, const QString& text, int width) {
    for (qsizetype i = text.size(); i < width; ++i) {
        out += QLatin1Char('0');
    }
    out += text;
}

}  // namespace

qint64 DateKey(qint64 year, qint64 month, qint64 day) {
    return (year * 12 + month) * 31 + day;
}

RecordRange ChooseRecords(const std::vector<EventRecord>& table, qint64 startKey, qint64 endKey) {
    RecordRange range;
    for (const EventRecord& record : table) {
        const qint64 key =
            DateKey(ParseField(record.year), ParseField(record.month), ParseField(record.day));
        if (key < startKey) {
            ++range.first;
        }
        if (key > endKey) {
            break;
        }
        ++range.last;
    }
    return range;
}

std::optional<DateSpan> DateSpanOf(const std::vector<EventRecord>& table) {
    std::optional<DateSpan> span;
    for (const EventRecord& r : table) {
        const QDate date(static_cast<int>(ParseField(r.year)),
                         static_cast<int>(ParseField(r.month)),
                         static_cast<int>(ParseField(r.day)));
        if (!date.isValid()) {
            continue;
        }
        if (!span) {
            span = DateSpan{date, date};
        }
        span->first = std::min(span->first, date);
        span->last = std::max(span->last, date);
    }
    return span;
}

QString StartTimeString(const EventRecord& r) {
    QString out;
    out.reserve(r.year.size() + 13);
    out += r.year;
    AppendPadded(out, r.month, 2);
    AppendPadded(out, r.day, 2);
    AppendPadded(out, r.hour, 2);
    AppendPadded(out, r.minute, 2);
    AppendPadded(out, r.second, 2);
    AppendPadded(out, r.msecond, 3);
    return out;
}

TimelineBuilder::TimelineBuilder(const std::vector<EventRecord>& table,
                                 const SignalTable& signalTable)
    : m_table(table), m_signals(signalTable) {
    const int n = static_cast<int>(table.size());
    m_prepared.resize(n + 1);
    for (int i = 1; i <= n; ++i) {
        const EventRecord& r = table[i - 1];
        Prepared& p = m_prepared[i];
        // Each field read once: for the date key, the time of day and the wall clock alike.
        std::array<bool, 7> plain{};
        const qint64 year = ParseField(r.year, &plain[0]);
        const qint64 month = ParseField(r.month, &plain[1]);
        const qint64 day = ParseField(r.day, &plain[2]);
        p.key = DateKey(year, month, day);
        p.time = ((ParseField(r.hour, &plain[3]) * 60 + ParseField(r.minute, &plain[4])) * 60 +
                  ParseField(r.second, &plain[5])) *
                     1000 +
                 ParseField(r.msecond, &plain[6]);
        if (std::all_of(plain.begin(), plain.end(), [](bool b) { return b; })) {
            p.wall = WallClockMs(year, month, day, p.time);
        }
        const SignalEvent e = SignalEventOf(m_signals, r.event);
        p.signal = e.row;
        p.start = e.start;
    }
    // Next record of the same signal, start or return: a start's search for its return stops
    // at the first one of these.
    m_nextSameSignal.assign(n + 1, 0);
    std::array<int, graph::kTraceCount> next{};
    for (int i = n; i >= 1; --i) {
        const int s = m_prepared[i].signal;
        if (s >= 0) {
            m_nextSameSignal[i] = next[s];
            next[s] = i;
        }
    }
}

qint64 TimelineBuilder::RecordGap(int i, int j) {
    if (static_cast<int>(m_table.size()) < j || i < 1 || j < 1) {
        return 0;
    }
    m_current = i;
    m_candidate = j;
    const Prepared& a = m_prepared[i];
    const Prepared& b = m_prepared[j];
    qint64 gap = kGapCap;
    if (b.key == a.key) {
        gap = b.time - a.time;
    } else if (b.key == a.key + 1) {
        gap = b.time - a.time + kDayMs;
    }
    return std::min(gap, kGapCap);
}

const QString& TimelineBuilder::CurrentText() const {
    static const QString none;
    return m_current > 0 ? m_table[m_current - 1].event : none;
}

const QString& TimelineBuilder::CandidateText() const {
    static const QString none;
    return m_candidate > 0 ? m_table[m_candidate - 1].event : none;
}

qint64 TimelineBuilder::UncutSpan(int i, int j) const {
    const EventRecord& a = m_table[i - 1];
    const EventRecord& b = m_table[j - 1];
    const QDate da(static_cast<int>(ParseField(a.year)), static_cast<int>(ParseField(a.month)),
                   static_cast<int>(ParseField(a.day)));
    const QDate db(static_cast<int>(ParseField(b.year)), static_cast<int>(ParseField(b.month)),
                   static_cast<int>(ParseField(b.day)));
    // Dates off the calendar (the device does not check them) fall back to the key difference.
    const qint64 days =
        da.isValid() && db.isValid() ? da.daysTo(db) : m_prepared[j].key - m_prepared[i].key;
    return days * kDayMs + m_prepared[j].time - m_prepared[i].time;
}

void TimelineBuilder::AppendSlice(int signal, bool high, qint64 ms) {
    std::vector<qint64>& runs = m_result.traces[signal].runs;
    if (runs.empty()) {
        runs.push_back(0);
        m_runHigh[signal] = false;
    }
    if (high == m_runHigh[signal]) {
        runs.back() += ms;
    } else {
        runs.push_back(ms);
        m_runHigh[signal] = high;
    }
}

void TimelineBuilder::AdvanceAll(qint64 g) {
    if (g == 0) {
        return;
    }
    if (g < 0) {
        AddSeparator();
        return;
    }
    for (int s = 0; s < graph::kTraceCount; ++s) {
        qint64& r = m_remaining[s];
        if (r < g) {
            if (r > 0) {
                AppendSlice(s, true, r);
            }
            AppendSlice(s, false, g - r);
            r = 0;
        } else {
            r -= g;
            AppendSlice(s, true, g);
        }
    }
    m_result.end += g;
}

void TimelineBuilder::AddSeparator() {
    for (int s = 0; s < graph::kTraceCount; ++s) {
        AppendSlice(s, false, kSeparatorMs);
    }
    m_result.end += kSeparatorMs;
}

bool TimelineBuilder::AnyRemaining() const {
    return std::any_of(m_remaining.begin(), m_remaining.end(), [](qint64 r) { return r != 0; });
}

void TimelineBuilder::Shift() {
    --m_pending;
}

void TimelineBuilder::Clear() {
    m_result = Timeline();
    for (TraceData& trace : m_result.traces) {
        trace.runs.assign(1, 0);
    }
    m_runHigh.fill(false);
    m_remaining.fill(0);
    m_usedAsReturn.assign(m_table.size() + 2, 0);
    m_pending = 0;
    m_current = 0;
    m_candidate = 0;
}

int TimelineBuilder::FindPartner(int pos, int last) const {
    const int j = m_nextSameSignal[pos];
    if (j == 0 || j > last || m_prepared[j].start) {
        return 0;
    }
    return j;
}

Timeline TimelineBuilder::LoadTimeline(int first, int last) {
    Clear();
    const int n = static_cast<int>(m_table.size());
    last = std::min(last, n);
    AddSeparator();  // lead-in
    qint64 f = m_result.end;
    if (first <= last && first >= 1) {
        const std::optional<qint64> wall = m_prepared[first].wall;
        AddAnchor(0, wall ? std::optional<qint64>(*wall - f) : std::nullopt);
    }

    // Look-ahead: m_usedAsReturn[k] marks record k as already drawn as the return of an
    // earlier start. Indexed by absolute position, so a return any distance ahead is kept.
    for (int pos = std::max(first, 1); pos <= last; ++pos) {
        const int next = pos == last ? pos : pos + 1;
        RecordGap(pos, next);
        const Prepared& p = m_prepared[pos];
        // A return already drawn with its start adds nothing to the time line.
        if (!m_usedAsReturn[pos]) {
            AddAnchor(f, p.wall);
        }

        if (p.signal < 0 || !p.start) {
            if (!m_usedAsReturn[pos]) {
                if (p.signal >= 0) {
                    m_result.traces[p.signal].markers.push_back(f);
                }
                if (AnyRemaining()) {
                    AdvanceAll(RecordGap(pos, pos + 1));
                } else {
                    AddSeparator();
                }
            }
            Shift();
        } else {
            const int s = p.signal;
            const int cand = FindPartner(pos, last);
            if (cand != 0) {
                const qint64 q = RecordGap(pos, cand);
                m_result.starts.push_back(StartEntry{pos, f});
                if (q == kGapCap) {
                    m_result.truncations.push_back(TruncationEntry{f, UncutSpan(pos, cand)});
                }
                m_remaining[s] = std::max<qint64>(q, 0);
                Shift();
                const int l = cand - pos - 1;
                m_usedAsReturn[cand] = 1;
                m_pending = std::max<qint64>(m_pending, l);
                if (cand == pos + 1 && m_pending == 0) {
                    AdvanceAll(q);
                    if (cand >= last || RecordGap(pos + 1, pos + 2) != 0) {
                        AddSeparator();
                    }
                } else {
                    int o = 0;
                    while (pos + 1 + o <= n && m_usedAsReturn[pos + 1 + o]) {
                        ++o;
                    }
                    if (o > l && o > m_pending) {
                        AdvanceAll(RecordGap(pos, pos + o));
                        if (RecordGap(pos + o, pos + o + 1) != 0) {
                            AddSeparator();
                        }
                    } else {
                        AdvanceAll(RecordGap(pos, pos + 1 + o));
                    }
                }
            } else {
                Shift();
                m_result.traces[s].markers.push_back(f);
                if (AnyRemaining()) {
                    AdvanceAll(RecordGap(pos, pos + 1));
                } else {
                    AddSeparator();
                }
            }
        }
        f = m_result.end;
    }

    AddSeparator();  // tail
    m_result.startTimes.reserve(m_result.starts.size());
    for (std::size_t k = 0; k < m_result.starts.size(); ++k) {
        m_result.startTimes.push_back(StartTimeString(m_table[m_result.starts[k].record - 1]));
    }
    m_result.loaded = true;
    return std::move(m_result);
}

void TimelineBuilder::AddAnchor(qint64 position, std::optional<qint64> wall) {
    std::vector<TimeAnchor>& anchors = m_result.anchors;
    const TimeAnchor next{position, wall.value_or(0), wall.has_value()};
    // The record that moves the timeline on from a position is the one whose time holds there.
    if (!anchors.empty() && anchors.back().position == position) {
        anchors.pop_back();
    }
    if (!anchors.empty()) {
        const TimeAnchor& last = anchors.back();
        const bool runsOn = last.valid && next.valid
                                ? last.time + (position - last.position) == next.time
                                : last.valid == next.valid;
        if (runsOn) {
            return;
        }
    }
    anchors.push_back(next);
}

Timeline BuildTimeline(const std::vector<EventRecord>& table, const SignalTable& signalTable,
                       qint64 startKey, qint64 endKey) {
    const RecordRange range = ChooseRecords(table, startKey, endKey);
    TimelineBuilder builder(table, signalTable);
    return builder.LoadTimeline(range.first, range.last);
}
