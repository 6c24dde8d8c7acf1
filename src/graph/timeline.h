#pragma once

#include <QDate>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

#include "graph/time_axis.h"
#include "graph/trace_layout.h"
#include "records/event_record.h"
#include "records/event_signals.h"

namespace graph {

// Seven trace rows per graph, one per signal; rows without texts stay low.
inline constexpr int kTraceCount = records::kSignalCount;

}  // namespace graph

// Monotonic in the date but not a day count: year * 372 + month * 31 + day.
qint64 DateKey(qint64 year, qint64 month, qint64 day);

// One matched start: its 1-based record position and its timeline position, ms.
struct StartEntry {
    int record = 0;
    qint64 position = 0;
};

// A high period drawn cut to one minute: where it starts and how long it really lasted.
struct TruncationEntry {
    qint64 position = 0;
    qint64 duration = 0;
};

// The start time string of every matched start, as spans of one text the builder made while it
// read the records, so a conversion of many starts allocates once rather than once per start.
class StartTimeList {
public:
    void Reserve(std::size_t count);
    // The string at [begin, begin + size) of text; every call passes the same text.
    void Append(const QString& text, qsizetype begin, qsizetype size);
    std::size_t size() const { return m_spans.size(); }
    // YYYYMMDDhhmmssmmm of start k (k < size()).
    QString at(std::size_t k) const;

private:
    QString m_text;
    std::vector<std::pair<qsizetype, qsizetype>> m_spans;
};

// Everything one conversion produces: a run list and marker list per row, and the tables the
// cursor read-out needs.
struct Timeline {
    std::array<TraceData, graph::kTraceCount> traces;
    std::vector<StartEntry> starts;
    StartTimeList startTimes;  // of each start's record
    std::vector<TruncationEntry> truncations;
    qint64 end = 0;  // timeline length, ms, lead-in and tail included
    bool loaded = false;
    // Wall-clock time along the timeline, for the time axis; anchors in position order, one
    // where the clock jumps (or has no value) and none where it runs on.
    std::vector<TimeAnchor> anchors;
};

// Records first..last (1-based, inclusive) of a table to convert for a date range. The table is
// taken to be in time order: records before the start key move `first` on, the first record past
// the end key ends the scan.
struct RecordRange {
    int first = 1;
    int last = 0;
};
RecordRange ChooseRecords(const std::vector<EventRecord>& table, qint64 startKey, qint64 endKey);

// The first and last calendar dates among the records' year, month and day (records whose date
// is off the calendar left out); nothing when no record has a calendar date.
struct DateSpan {
    QDate first;
    QDate last;
};
std::optional<DateSpan> DateSpanOf(const std::vector<EventRecord>& table);

// Turns a table of records into traces. Every record's date and time are parsed once, so each
// gap costs O(1) and a conversion is linear in the number of records.
//
// While some signal is high, time advances by the real gaps between records, capped at one
// minute; while every signal is low each gap shrinks to a 20 ms separator. A gap that runs
// backwards (records out of time order) is drawn as a separator too.
class TimelineBuilder {
public:
    // Keeps a reference to the table: it must outlive the builder.
    TimelineBuilder(const std::vector<EventRecord>& table, const SignalTable& signalTable);
    TimelineBuilder(std::vector<EventRecord>&&, const SignalTable&) = delete;

    // Gap in ms from record i to record j (1-based), capped at 60 000; 0 when j is past the
    // table. Makes record i's event the current text and record j's the candidate text.
    qint64 RecordGap(int i, int j);
    const QString& CurrentText() const;
    const QString& CandidateText() const;

    void AppendSlice(int signal, bool high, qint64 ms);
    void AdvanceAll(qint64 ms);
    void AddSeparator();

    Timeline LoadTimeline(int first, int last);

    // Conversion state, exposed for the slice operations' tests.
    const Timeline& Current() const { return m_result; }
    qint64 RemainingHigh(int signal) const { return m_remaining[signal]; }
    void SetRemainingHigh(int signal, qint64 ms) { m_remaining[signal] = ms; }
    void Clear();

private:
    // Kept small (32 bytes): one per record, read again and again by the conversion.
    struct Prepared {
        qint64 key = 0;
        qint64 time = 0;           // ms since midnight
        qsizetype startText = 0;   // a start's time string in m_startText, built while the
        qint32 startTextSize = 0;  // record's fields are at hand
        qint8 signal = -1;         // row driven by the record's event, -1 = none
        bool start = false;
        bool hasWall = false;  // every field plain digits and the date on the calendar
    };

    std::optional<qint64> WallOf(const Prepared& p);
    qint64 UncutSpan(int i, int j) const;
    bool AnyRemaining() const;
    void Shift();
    int FindPartner(int pos, int last) const;
    void AddAnchor(qint64 position, std::optional<qint64> wall);

    const std::vector<EventRecord>& m_table;
    const SignalTable& m_signals;
    std::vector<Prepared> m_prepared;  // index 0 unused: positions are 1-based
    std::vector<int> m_nextSameSignal;
    QString m_startText;
    qint64 m_dayKey = -1;  // the day whose wall-clock start WallOf worked out last
    qint64 m_dayStart = 0;
    int m_current = 0;
    int m_candidate = 0;

    Timeline m_result;
    std::array<bool, graph::kTraceCount> m_runHigh{};
    std::array<qint64, graph::kTraceCount> m_remaining{};
    std::vector<char> m_usedAsReturn;  // look-ahead, by absolute record position
    qint64 m_pending = 0;
};

// Converts the records of a table whose dates fall in [startKey, endKey].
Timeline BuildTimeline(const std::vector<EventRecord>& table, const SignalTable& signalTable,
                       qint64 startKey, qint64 endKey);
