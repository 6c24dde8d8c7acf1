#pragma once

#include <QString>
#include <QStringList>

// kp650-collector's command line and exit codes.

namespace collector {

enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1,
    kExitUsage = 2,      // unknown command or option, missing argument
    kExitFleetFile = 3,  // the fleet file is missing or wrong; nothing was written
    kExitArchive = 4,    // the archive could not be opened or brought to this program's schema
};

struct CollectorOptions {
    QString command;  // "run" (default), "status" or "check"
    QString fleetFile;
    QString archive;  // overrides the fleet file's
    QString id;       // overrides the fleet file's collector name
    int rounds = 0;
    bool json = false;
    bool help = false;
    bool version = false;
};

// `arguments` without the program name; false with the message in `error`.
bool ParseCollectorArguments(const QStringList& arguments, CollectorOptions* options,
                             QString* error);
QString CollectorHelpText();

}  // namespace collector
