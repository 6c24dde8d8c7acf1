#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The command line of kp650ctl, apart from the work it asks for.

namespace cli {

// Exit codes, as --help and the README list them.
enum ExitCode {
    kExitOk = 0,
    kExitFailure = 1,   // anything not listed below (a year the device cannot take, ...)
    kExitUsage = 2,     // unknown command or option, missing or bad argument
    kExitNoPort = 3,    // the port could not be opened
    kExitNoReply = 4,   // no reply within the time-out, or the line went away
    kExitRefused = 5,   // the device refused the request
    kExitBadReply = 6,  // replies that were not what the request asks for
    kExitFile = 7,      // a file or database could not be read or written
    kExitMismatch = 8,  // after a write, the device holds something else
    kExitDiffers = 9,   // params diff: the device holds other values than the file
    kExitJournal = 10,  // the journal of writes could not be written (see --no-journal)
};

inline constexpr int kDefaultTimeOutMs = 1000;
inline constexpr int kDefaultRetries = 4;
inline constexpr int kVariantUnknown = -1;

struct CtlOptions {
    QStringList words;  // command, subcommand, their arguments
    QString port;       // device name for port 1; empty: the program's port 1
    int variant = kVariantUnknown;
    int timeOutMs = kDefaultTimeOutMs;
    int retries = kDefaultRetries;
    bool json = false;
    int verbosity = 1;  // 0 with -q, 2 with -v
    QString output;     // -o
    bool yes = false;
    bool noStore = false;
    bool noJournal = false;  // writes go out without a journal entry
    QString device;          // journal, history: which device
    QString since;           // journal: from this date or time
    bool diff = false;       // history: compare the two sets named
    bool noRead = false;     // log clear without reading the log first
    QString frequency;
    QStringList sets;  // NAME=VALUE
    bool help = false;
    bool version = false;
    // channel: the pairing window, the clock offset (none: estimated), the output widening.
    qint64 windowMs = 1000;
    std::optional<qint64> offsetMs;
    std::optional<qint64> wideningMs;
};

struct ParsedArguments {
    CtlOptions options;
    QString error;  // empty when the line parsed; the command itself is checked by its runner
};

// `arguments` as main() receives them, program name first.
ParsedArguments ParseCtlArguments(const QStringList& arguments);

QString CtlHelpText();

}  // namespace cli
