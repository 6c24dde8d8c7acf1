#include "app/command_line.h"

#include <QCommandLineParser>
#include <QFileInfo>

#ifndef KP650_VERSION
#define KP650_VERSION "unknown"
#endif

app::CommandLine app::ParseCommandLine(const QStringList& args, bool qtOptionsPresent) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("KPA(B)-650 maintenance program: parameters, clock, identification and "
                       "event log of the KPA-650 transmitter and the KPB-650 receiver over a "
                       "serial port (9600 8N1) or a serial device server (tcp://HOST:PORT)."));
    // -platform and the like are Qt's: one dash, one word.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version."));
    const QCommandLineOption com1(
        QStringLiteral("com1"),
        QStringLiteral("Device used as port 1 (COM1) for this run, e.g. /dev/ttyUSB0 or "
                       "tcp://192.168.1.200:4001."),
        QStringLiteral("device"));
    const QCommandLineOption com2(QStringLiteral("com2"),
                                  QStringLiteral("Device used as port 2 (COM2) for this run."),
                                  QStringLiteral("device"));
    const QCommandLineOption variant(
        QStringLiteral("variant"),
        QStringLiteral("A (transmitter KPA-650) or B (receiver KPB-650) for this start, instead "
                       "of the switch by setting.ini (which stays as it is)."),
        QStringLiteral("A|B"));
    parser.addOptions({help, version, com1, com2, variant});

    CommandLine result;
    const bool parsed = parser.parse(args);
    const QString program =
        args.isEmpty() ? QStringLiteral("kp650") : QFileInfo(args.first()).fileName();
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::Help;
        // The usage line names the program as it was called, with or without an application.
        result.text = parser.helpText();
        const qsizetype end = result.text.indexOf(QStringLiteral(" [options]"));
        if (result.text.startsWith(QStringLiteral("Usage: ")) && end > 0) {
            result.text.replace(7, end - 7, program);
        }
        result.text += QStringLiteral(
            "\nEnvironment: KP650_COM1, KP650_COM2 (devices of ports 1 and 2, below the "
            "options), KP650_HOME (folder of setting.ini and the record databases).\n");
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::Version;
        result.text = program + QStringLiteral(" " KP650_VERSION "\n");
        return result;
    }
    if (!parsed && !qtOptionsPresent) {
        result.action = CommandLine::Action::Error;
        result.text = parser.errorText();
        return result;
    }
    if (!qtOptionsPresent && !parser.positionalArguments().isEmpty()) {
        result.action = CommandLine::Action::Error;
        result.text =
            QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return result;
    }
    result.com1 = parser.value(com1);
    result.com2 = parser.value(com2);
    if (parser.isSet(variant)) {
        const QString v = parser.value(variant).trimmed().toUpper();
        if (v != QLatin1String("A") && v != QLatin1String("B")) {
            result.action = CommandLine::Action::Error;
            result.text = QStringLiteral("--variant must be A or B");
            return result;
        }
        result.variant = v == QLatin1String("A") ? 0 : 1;
    }
    return result;
}
