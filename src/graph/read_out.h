#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

#include "graph/timeline.h"

// Whether a trace, or any trace, is high at timeline position t (edges of a high run included).
bool IsSignalHigh(const TraceData& trace, qint64 t);
bool IsAnySignalHigh(const std::array<TraceData, graph::kTraceCount>& traces, qint64 t);

// Rows (0..6) high at t, in row order.
std::vector<int> RowsHighAt(const std::array<TraceData, graph::kTraceCount>& traces, qint64 t);

// The nearest timeline position after (forward) or before t where any trace rises or falls or
// has a marker; nothing when there is none that way.
std::optional<qint64> NearestEdge(const std::array<TraceData, graph::kTraceCount>& traces, qint64 t,
                                  bool forward);

// A start time string advanced by an offset in ms, carried through seconds, minutes, hours and
// days; the day rolls into the month and the year by the calendar's month lengths.
struct ReadOutTime {
    QString year;
    QString month;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    qint64 msecond = 0;
};
ReadOutTime AdvanceStartTime(const QString& startTime, qint64 offsetMs);

// "YYYY年MM月D日H时M分S秒MS毫秒" of a read-out time.
QString FormatReadOutTime(const ReadOutTime& time);

// The text shown under the cursor at timeline position t: "无事件" when every trace is low,
// otherwise the time of the latest start at or before t advanced to t. With `withDuration`
// (a mouse click), a start whose high period was cut gets "起始时间:" before the time and
// ",持续时间:<ms>毫秒" after it.
QString ComposeReadOut(const Timeline& timeline, qint64 t, bool withDuration);

// The real duration, ms, of the cut high period whose start is the latest at or before t.
std::optional<qint64> CutDurationAt(const Timeline& timeline, qint64 t);

// "h:mm:ss.mmm" of a duration in ms ("0:09:21.681").
QString DurationClockText(qint64 ms);
