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
    const QChar* const begin = text.constData();
    const QChar* const end = begin + text.size();
    // The device's own texts: 1 to 9 digits and nothing else, read in one pass.
    if (text.size() > 0 && text.size() <= 9) {
        qint64 value = 0;
        const QChar* c = begin;
        for (; c != end; ++c) {
            const unsigned digit = static_cast<unsigned>(c->unicode()) - u'0';
            if (digit > 9) {
                break;
            }
            value = value * 10 + digit;
        }
        if (c == end) {
            if (plain != nullptr) {
                *plain = true;
            }
            return value;
        }
    }
    if (plain != nullptr) {
        *plain = false;
    }
    const QChar* c = begin;
    while (c != end && c->isSpace()) {
        ++c;
    }
    bool negative = false;
    if (c != end && (*c == QLatin1Char('-') || *c == QLatin1Char('+'))) {
        negative = *c == QLatin1Char('-');
        ++c;
    }
    qint64 value = 0;
    for (; c != end; ++c) {
        const char16_t u = c->unicode();
        if (u < u'0' || u > u'9') {
            break;
        }
        value = std::min(value * 10 + (u - u'0'), kParseLimit);
    }
    return negative ? -value : value;
}

// YYYYMMDDhhmmssmmm: the year unchanged, the other parts zero-padded.
void AppendStartTime(QString& out, const EventRecord& r) {
    const std::array<std::pair<const QString*, qsizetype>, 7> parts{{{&r.year, 0},
                                                                     {&r.month, 2},
                                                                     {&r.day, 2},
                                                                     {&r.hour, 2},
                                                                     {&r.minute, 2},
                                                                     {&r.second, 2},
                                                                     {&r.msecond, 3}}};
    qsizetype size = out.size();
    for (const auto& [text, width] : parts) {
        size += std::max(text->size(), width);
    }
    qsizetype at = out.size();
    if (out.capacity() < size) {
        out.reserve(std::max(size, 2 * out.capacity()));
    }
    out.resize(size);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (const auto& [text, width] : parts) {
        for (qsizetype i = text->size(); i < width; ++i) {
            dst[at++] = u'0';
        }
        const char16_t* src = reinterpret_cast<const char16_t*>(text->constData());
        for (qsizetype i = 0; i < text->size(); ++i) {
            dst[at++] = src[i];
        }
    }
}

// SignalEventOf for many records: texts are told apart by their length and two characters
// before one full comparison, so a record costs one string compare rather than up to fourteen.
class SignalMatcher {
public:
    explicit SignalMatcher(const SignalTable& table) {
        for (int s = 0; s < records::kSignalCount; ++s) {
            const SignalTexts& texts = table[static_cast<std::size_t>(s)];
            Add(texts.start, s, true);
            Add(texts.ret, s, false);
        }
    }

    SignalEvent Match(const QString& event) const {
        const quint64 key = KeyOf(event);
        for (const Entry& e : m_entries) {
            if (e.key == key && *e.text == event) {
                return e.event;
            }
        }
        return {};
    }

private:
    struct Entry {
        quint64 key = 0;
        const QString* text = nullptr;
        SignalEvent event;
    };

    static quint64 KeyOf(const QString& text) {
        const qsizetype n = text.size();
        if (n == 0) {
            return 0;
        }
        return quint64(n) << 32 | quint64(text[n / 2].unicode()) << 16 | text[n - 1].unicode();
    }

    void Add(const QString& text, int row, bool start) {
        // The first of two equal texts wins, as in SignalEventOf.
        if (!text.isEmpty()) {
            m_entries.push_back(Entry{KeyOf(text), &text, SignalEvent{row, start}});
        }
    }

    std::vector<Entry> m_entries;
};

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

void StartTimeList::Reserve(std::size_t count) {
    m_spans.reserve(count);
}

void StartTimeList::Append(const QString& text, qsizetype begin, qsizetype size) {
    if (m_text.isNull()) {
        m_text = text;  // shared, not copied
    }
    m_spans.push_back({begin, size});
}

QString StartTimeList::at(std::size_t k) const {
    return m_text.mid(m_spans[k].first, m_spans[k].second);
}

TimelineBuilder::TimelineBuilder(const std::vector<EventRecord>& table,
                                 const SignalTable& signalTable)
    : m_table(table), m_signals(signalTable) {
    const int n = static_cast<int>(table.size());
    m_prepared.reserve(n + 1);
    m_prepared.emplace_back();
    // Records of one day follow each other: the day's start is worked out once per day.
    qint64 dayKey = -1;
    std::optional<qint64> dayStart;
    const SignalMatcher matcher(m_signals);
    for (const EventRecord& r : table) {
        Prepared p;
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
            if (p.key != dayKey) {
                dayKey = p.key;
                dayStart = WallClockMs(year, month, day, 0);
            }
            p.hasWall = dayStart.has_value();
        }
        const SignalEvent e = matcher.Match(r.event);
        p.signal = static_cast<qint8>(e.row);
        p.start = e.start;
        if (p.signal >= 0 && p.start) {
            p.startText = m_startText.size();
            AppendStartTime(m_startText, r);
            p.startTextSize = static_cast<qint32>(m_startText.size() - p.startText);
        }
        m_prepared.push_back(p);
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
    // At most one anchor and one start per record: reserved so that the tables are never
    // copied as they grow.
    const std::size_t count = static_cast<std::size_t>(std::max(0, last - std::max(first, 1) + 1));
    m_result.anchors.reserve(count + 1);
    m_result.starts.reserve(count);
    AddSeparator();  // lead-in
    qint64 f = m_result.end;
    if (first <= last && first >= 1) {
        const std::optional<qint64> wall = WallOf(m_prepared[first]);
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
            AddAnchor(f, WallOf(p));
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
    m_result.startTimes.Reserve(m_result.starts.size());
    for (const StartEntry& start : m_result.starts) {
        const Prepared& p = m_prepared[start.record];
        m_result.startTimes.Append(m_startText, p.startText, p.startTextSize);
    }
    m_result.loaded = true;
    return std::move(m_result);
}

std::optional<qint64> TimelineBuilder::WallOf(const Prepared& p) {
    if (!p.hasWall) {
        return std::nullopt;
    }
    if (p.key != m_dayKey) {
        // The key of a calendar date gives its day, month and year back.
        const qint64 day = (p.key - 1) % 31 + 1;
        const qint64 months = (p.key - day) / 31;
        const qint64 month = (months - 1) % 12 + 1;
        m_dayKey = p.key;
        m_dayStart = WallClockMs((months - month) / 12, month, day, 0).value_or(0);
    }
    return m_dayStart + p.time;
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
