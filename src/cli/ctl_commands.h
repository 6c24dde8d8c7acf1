#pragma once

#include "cli/ctl_options.h"

namespace cli {

// Runs the command the options name: results on stdout (JSON with --json), messages on stderr.
// Returns the exit code. Needs a QCoreApplication; shows no window.
int RunCtl(const CtlOptions& options);

}  // namespace cli
