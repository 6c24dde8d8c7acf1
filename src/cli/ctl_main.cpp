#include <QCoreApplication>

#include <cstdio>

#include "cli/ctl_commands.h"
#include "cli/ctl_options.h"
#include "common/program_version.h"
#include "common/staging_dir.h"

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // The same names as the program's, so that both find the same program directory.
    QCoreApplication::setApplicationName(QStringLiteral("kp650"));
    QCoreApplication::setOrganizationName(QStringLiteral("kp650"));

    const cli::ParsedArguments parsed = cli::ParseCtlArguments(QCoreApplication::arguments());
    if (parsed.options.help) {
        std::fputs(cli::CtlHelpText().toUtf8().constData(), stdout);
        return cli::kExitOk;
    }
    if (parsed.options.version) {
        std::printf("kp650ctl %s\n", ProgramVersion().toUtf8().constData());
        return cli::kExitOk;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "kp650ctl: %s (see kp650ctl --help)\n",
                     parsed.error.toUtf8().constData());
        return cli::kExitUsage;
    }
    // What a run killed half-way left in the temporary folder.
    common::RemoveStaleStagingDirs();
    return cli::RunCtl(parsed.options);
}
