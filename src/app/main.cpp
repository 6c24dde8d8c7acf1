#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include "app/kpb650_app.h"
#include "link/port_names.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kp650"));
    QApplication::setOrganizationName(QStringLiteral("kp650"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/app_icon.png")));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KPA(B)-650 maintenance program"));
    parser.addHelpOption();
    const QCommandLineOption com1(QStringLiteral("com1"),
                                  QStringLiteral("Device used as port 1 (COM1)."),
                                  QStringLiteral("device"));
    const QCommandLineOption com2(QStringLiteral("com2"),
                                  QStringLiteral("Device used as port 2 (COM2)."),
                                  QStringLiteral("device"));
    parser.addOption(com1);
    parser.addOption(com2);
    parser.process(app);
    SetPortDeviceOverride(1, parser.value(com1));
    SetPortDeviceOverride(2, parser.value(com2));

    CKPB650App kpApp;
    if (!kpApp.InitInstance()) {
        return 1;
    }
    return app.exec();
}
