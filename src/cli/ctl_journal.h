#pragma once

#include "cli/ctl_options.h"

namespace cli {

// `journal [--device ID] [--since DATE] [--json]` and `history --device ID [--diff A B]
// [--json]`: the journal of writes and the parameter history, read from the program's journal
// file. Returns the exit code.
int RunJournalCommand(const CtlOptions& options);

}  // namespace cli
