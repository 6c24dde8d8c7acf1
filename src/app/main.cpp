#include <QApplication>
#include <QIcon>

#include <cstdio>

#include "app/command_line.h"
#include "app/kpb650_app.h"
#include "app/translations.h"
#include "common/staging_dir.h"
#include "link/port_names.h"

namespace {
// Help, version and a bad option are answered on the terminal before QApplication exists, so
// they work without a display.
int Answer(const app::CommandLine& line) {
    if (line.action == app::CommandLine::Action::Error) {
        std::fprintf(stderr, "kp650: %s\nTry kp650 --help.\n", qPrintable(line.text));
        return 2;
    }
    std::fputs(qPrintable(line.text), stdout);
    return 0;
}
}  // namespace

int main(int argc, char* argv[]) {
    QStringList raw;
    for (int i = 0; i < argc; ++i) {
        raw << QString::fromLocal8Bit(argv[i]);
    }
    const app::CommandLine early = app::ParseCommandLine(raw, true);
    if (early.action != app::CommandLine::Action::Run) {
        return Answer(early);
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kp650"));
    QApplication::setOrganizationName(QStringLiteral("kp650"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app_icon.png")));
    const app::CommandLine line = app::ParseCommandLine(QApplication::arguments(), false);
    if (line.action != app::CommandLine::Action::Run) {
        return Answer(line);
    }
    app::LoadChineseTranslations(app);
    // What a save killed half-way left in the temporary folder.
    common::RemoveStaleStagingDirs();

    app::RestoreRememberedPorts();
    SetPortDeviceOverride(1, line.com1);
    SetPortDeviceOverride(2, line.com2);

    CKPB650App kpApp;
    kpApp.SetStartupVariant(line.variant);
    if (!kpApp.InitInstance()) {
        return 1;
    }
    return app.exec();
}
