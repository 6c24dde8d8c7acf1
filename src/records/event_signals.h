#pragma once

#include <QString>

#include <array>

namespace records {

// Seven on/off signals per variant (the graph's trace rows); rows without texts have no signal.
inline constexpr int kSignalCount = 7;

}  // namespace records

// The event texts that switch one signal on and off, and the signal's name for other tools
// (ASCII, as fault-analysis formats want it). Empty texts mean the row has no signal.
struct SignalTexts {
    QString start;
    QString ret;
    QString channel;
};
using SignalTable = std::array<SignalTexts, records::kSignalCount>;

// Rows 1000, 1001, 1002, 1004, 1005, 1006, 1007 of a variant (0 = A, otherwise B).
const SignalTable& SignalTableOf(int variant);

// Number of leading rows that carry a signal: 5 for the transmitter, 7 for the receiver.
int SignalCountOf(int variant);

// Row driven by an event text and whether the text starts (true) or ends (false) the signal;
// -1 when the text drives no row.
struct SignalEvent {
    int row = -1;
    bool start = false;
};
SignalEvent SignalEventOf(const SignalTable& table, const QString& event);
