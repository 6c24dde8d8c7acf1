#pragma once

#include "cli/ctl_options.h"

namespace cli {

// kp650ctl channel TX-FILE RX-FILE: the pairing report on stdout (text, or JSON with --json).
// Exit 0 when every command sent was received and nothing else, 1 when a command was missing or
// unwanted, 7 when a file gave no records.
int RunChannel(const CtlOptions& options);

}  // namespace cli
