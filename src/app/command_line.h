#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace app {

// kp650's own command line (Qt's options such as -platform are QApplication's).
struct CommandLine {
    enum class Action { Run, Help, Version, Error };
    Action action = Action::Run;
    QString text;  // the help or version text to print, or what is wrong
    QString com1;  // device for port 1 for this run; empty = not given
    QString com2;
    std::optional<int> variant;  // 0 = A, 1 = B: this start's variant, setting.ini untouched
};

// `args` with the program name first. Before QApplication exists Qt's own options are still
// among the arguments: with `qtOptionsPresent` unknown options are left alone (QApplication
// takes them), so only help, version and bad values of kp650's options are decided then.
CommandLine ParseCommandLine(const QStringList& args, bool qtOptionsPresent);

}  // namespace app
