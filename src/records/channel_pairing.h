#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <array>
#include <optional>
#include <vector>

#include "records/event_record.h"

// One channel seen from both ends: the transmitter's log (variant A) and the receiver's log
// (variant B). Each command n start sent is paired with the receiver's command n start that
// lies within a window of it once the clock offset between the two devices is removed. What
// stays unpaired is a missing command (sent, never received) or an unwanted one (received,
// never sent). Times are the devices' wall-clock readings in ms (records/record_time.h); every
// time in a report is on the transmitter's clock unless it says otherwise.

namespace channel {

inline constexpr int kCommandCount = 3;
// Receipts this far from a sent command (after the offset is removed) still pair with it.
inline constexpr qint64 kDefaultWindowMs = 1000;
// An estimated clock offset is looked for up to this far either way.
inline constexpr qint64 kOffsetSearchMs = 600000;

}  // namespace channel

struct ChannelOptions {
    qint64 windowMs = channel::kDefaultWindowMs;
    std::optional<qint64> offsetMs;  // receiver clock minus transmitter clock; none: estimated
    // The receiver's output widening (its parameter set), when known: a receipt's output is
    // expected to last the sent command's duration plus this.
    std::optional<qint64> wideningMs;
};

// An alarm of either end whose high period overlaps a missing or unwanted command.
struct ChannelAlarm {
    bool receiver = false;  // which end logged it
    QString name;           // the alarm's start text
    qint64 from = 0;        // transmitter clock, ms
    std::optional<qint64> to;
};

struct ChannelPair {
    int command = 0;                         // 1..3
    qint64 sent = 0;                         // transmitter clock
    qint64 received = 0;                     // receiver clock
    qint64 delay = 0;                        // received - sent - offset at that time
    std::optional<qint64> sentDuration;      // start to return at the transmitter
    std::optional<qint64> receivedDuration;  // start to return at the receiver
};

struct ChannelLoss {
    int command = 0;
    qint64 at = 0;          // transmitter clock (an unwanted receipt mapped onto it)
    qint64 deviceTime = 0;  // the time its own device logged
    std::optional<qint64> duration;
    std::vector<ChannelAlarm> alarms;
};

struct ChannelSpread {
    int count = 0;
    qint64 min = 0;
    qint64 median = 0;
    qint64 p95 = 0;
    qint64 max = 0;
};
// Min, median, 95th percentile (nearest rank) and max of the values; count 0 when empty.
ChannelSpread SpreadOf(std::vector<qint64> values);

struct ChannelCommandReport {
    int command = 0;
    int sent = 0;
    int received = 0;
    int paired = 0;
    ChannelSpread delay;
    // Receiver's output duration minus the sent duration (less the widening when known).
    ChannelSpread durationExcess;
};

struct ChannelReport {
    qint64 windowMs = 0;
    qint64 offsetMs = 0;    // at offsetFrom
    qint64 offsetFrom = 0;  // the first sent command's time
    bool offsetEstimated = false;
    double driftMsPerHour = 0.0;  // how the offset changes along the log
    std::optional<qint64> wideningMs;
    int transmitterRecords = 0;
    int receiverRecords = 0;
    int transmitterRejected = 0;  // records without a possible time
    int receiverRejected = 0;
    std::array<ChannelCommandReport, channel::kCommandCount> commands;
    std::vector<ChannelPair> pairs;     // in sent order
    std::vector<ChannelLoss> missing;   // in time order
    std::vector<ChannelLoss> unwanted;  // in time order
    std::vector<ChannelAlarm> alarms;   // every alarm period of both ends
    qint64 first = 0;                   // transmitter clock span of everything reported
    qint64 last = 0;

    bool Faulty() const { return !missing.empty() || !unwanted.empty(); }
    // Offset (receiver minus transmitter) at transmitter time t.
    qint64 OffsetAt(qint64 t) const;
};

ChannelReport PairChannel(const std::vector<EventRecord>& transmitter,
                          const std::vector<EventRecord>& receiver,
                          const ChannelOptions& options = {});

// The report as text lines for a terminal, as one JSON document, and as CSV (UTF-8 with BOM,
// one line per sent or received command).
QString ChannelReportText(const ChannelReport& report);
QByteArray ChannelReportJson(const ChannelReport& report);
QByteArray ChannelReportCsv(const ChannelReport& report);
// "2024-03-05 10:00:00.250" of a wall-clock time.
QString ChannelTimeText(qint64 timeMs);
