#pragma once

#include <QDateTime>
#include <QtGlobal>

#include <cstdint>
#include <vector>

#include "records/event_record.h"

// A matching pair of logs for one channel: what the transmitter logs of the commands it sends
// and what the receiver at the far end logs of them, with a transmission delay and its jitter,
// the receiver's clock off by a chosen offset, and chosen numbers of commands that never
// arrive (each under a channel fault alarm at the receiver) and that arrive unsent.
namespace sim {

struct ChannelPlan {
    int commands = 40;
    qint64 delayMs = 20;
    qint64 jitterMs = 5;  // each delay varies by up to this either way
    qint64 offsetMs = 0;  // receiver clock minus transmitter clock
    int missing = 0;
    int unwanted = 0;
    std::uint32_t seed = 1;
};

struct ChannelLogs {
    std::vector<EventRecord> transmitter;
    std::vector<EventRecord> receiver;
};

// Commands 1 to 3 at 20 to 120 s intervals from `start` (transmitter clock), 100 to 500 ms
// long; the receiver's output lasts as long. Each log is in time order.
ChannelLogs GenerateChannelLogs(const ChannelPlan& plan, const QDateTime& start);

}  // namespace sim
