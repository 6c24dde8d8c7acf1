#pragma once

#include "link/device_exchange.h"

namespace comm {

// What each way an exchange can end means outside the exchange: its name in the tool's trace
// (-v) and the tool's exit code (as kp650ctl --help lists them). The operator's text is
// ExchangeFailureText's. One row per outcome, in the enum's order.
struct OutcomeRow {
    ExchangeOutcome outcome;
    const char* name;
    int exitCode;
};

inline constexpr OutcomeRow kOutcomeRows[] = {
    {ExchangeOutcome::Success, "success", 0},    {ExchangeOutcome::Refused, "refused", 5},
    {ExchangeOutcome::BadReply, "bad reply", 6}, {ExchangeOutcome::TimedOut, "no reply", 4},
    {ExchangeOutcome::LineLost, "line lost", 4}, {ExchangeOutcome::PortError, "port error", 3},
};

constexpr bool OutcomeRowsInOrder() {
    int i = 0;
    for (const OutcomeRow& row : kOutcomeRows) {
        if (static_cast<int>(row.outcome) != i++) {
            return false;
        }
    }
    return i == static_cast<int>(ExchangeOutcome::PortError) + 1;
}
static_assert(OutcomeRowsInOrder(), "one row per outcome, in the enum's order");

inline const OutcomeRow& RowOf(ExchangeOutcome outcome) {
    return kOutcomeRows[static_cast<int>(outcome)];
}

}  // namespace comm
