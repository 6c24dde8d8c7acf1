#pragma once

#include <QtGlobal>

#include <array>
#include <vector>

#include "graph/trace_layout.h"
#include "records/channel_pairing.h"

// A channel report as traces on one true time axis (the transmitter's clock): rows 0-2 the
// commands sent, rows 3-5 the commands received, each high while its command lasts (a command
// without a return is a stroke). Paired commands are linked, losses marked.
namespace channel {

inline constexpr int kRowCount = 2 * kCommandCount;

}  // namespace channel

struct ChannelTraces {
    std::array<TraceData, channel::kRowCount> rows;
    qint64 origin = 0;  // wall-clock time (transmitter clock) of timeline position 0
    qint64 end = 0;     // timeline length, ms
    struct Link {
        int fromRow;
        qint64 from;
        int toRow;
        qint64 to;
    };
    struct Mark {
        int row;
        qint64 at;
        bool missing;  // else unwanted
    };
    std::vector<Link> links;
    std::vector<Mark> marks;
};

// Positions are ms from `origin`, which lies a margin (a twentieth of the span, at least one
// second) before the first thing reported; the same margin follows the last.
ChannelTraces ChannelTracesOf(const ChannelReport& report);
