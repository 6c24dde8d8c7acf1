#pragma once

#include "cli/ctl_options.h"

namespace cli {

// kp650ctl archive export ARCHIVE DEVICE [FROM [TO]]: the events of one device, in log order,
// out of the fleet archive into the usual record files (-o), or as JSON lines on stdout.
int RunArchiveCommand(const CtlOptions& options);

}  // namespace cli
