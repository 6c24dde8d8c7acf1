#include "cli/ctl_options.h"

#include <QCommandLineParser>

#include "common/globals.h"

namespace cli {

ParsedArguments ParseCtlArguments(const QStringList& arguments) {
    QCommandLineParser parser;
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("device"));
    const QCommandLineOption variant(QStringLiteral("variant"), QString(), QStringLiteral("A|B"));
    const QCommandLineOption timeOut(QStringLiteral("timeout"), QString(), QStringLiteral("ms"));
    const QCommandLineOption retries(QStringLiteral("retries"), QString(), QStringLiteral("n"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption quiet(QStringList{QStringLiteral("q"), QStringLiteral("quiet")});
    const QCommandLineOption verbose(QStringList{QStringLiteral("v"), QStringLiteral("verbose")});
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QString(), QStringLiteral("file"));
    const QCommandLineOption yes(QStringLiteral("yes"));
    const QCommandLineOption noStore(QStringLiteral("no-store"));
    const QCommandLineOption noRead(QStringLiteral("no-read"));
    const QCommandLineOption frequency(QStringLiteral("frequency"), QString(),
                                       QStringLiteral("kHz"));
    const QCommandLineOption set(QStringLiteral("set"), QString(), QStringLiteral("name=value"));
    const QCommandLineOption noJournal(QStringLiteral("no-journal"));
    const QCommandLineOption device(QStringLiteral("device"), QString(), QStringLiteral("id"));
    const QCommandLineOption since(QStringLiteral("since"), QString(), QStringLiteral("date"));
    const QCommandLineOption diff(QStringLiteral("diff"));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringLiteral("version"));
    parser.addOptions({port, variant, timeOut, retries, json, quiet, verbose, output, yes, noStore,
                       noRead, frequency, set, noJournal, device, since, diff, help, version});
    const QCommandLineOption window(QStringLiteral("window"), QString(), QStringLiteral("ms"));
    const QCommandLineOption offset(QStringLiteral("offset"), QString(), QStringLiteral("ms"));
    const QCommandLineOption widening(QStringLiteral("widening"), QString(), QStringLiteral("ms"));
    parser.addOptions({window, offset, widening});

    ParsedArguments parsed;
    if (!parser.parse(arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    CtlOptions& o = parsed.options;
    o.words = parser.positionalArguments();
    o.port = parser.value(port);
    if (parser.isSet(port) && o.port.isEmpty()) {
        parsed.error = QStringLiteral("--port needs a device");
    }
    if (parser.isSet(variant)) {
        const QString v = parser.value(variant).toUpper();
        if (v == QLatin1String("A")) {
            o.variant = kVariantA;
        } else if (v == QLatin1String("B")) {
            o.variant = kVariantB;
        } else {
            parsed.error = QStringLiteral("--variant takes A or B");
        }
    }
    const auto number = [&](const QCommandLineOption& option, int lowest, int highest, int* value) {
        if (!parser.isSet(option)) {
            return;
        }
        bool ok = false;
        const int n = parser.value(option).toInt(&ok);
        if (!ok || n < lowest || n > highest) {
            parsed.error = QStringLiteral("--%1 takes a number from %2 to %3")
                               .arg(option.names().constFirst())
                               .arg(lowest)
                               .arg(highest);
            return;
        }
        *value = n;
    };
    number(timeOut, 50, 60000, &o.timeOutMs);
    number(retries, 0, 100, &o.retries);
    const auto span = [&](const QCommandLineOption& option, qint64 lowest, qint64 highest) {
        std::optional<qint64> value;
        if (parser.isSet(option)) {
            bool ok = false;
            const qint64 n = parser.value(option).toLongLong(&ok);
            if (!ok || n < lowest || n > highest) {
                parsed.error = QStringLiteral("--%1 takes a number from %2 to %3")
                                   .arg(option.names().constFirst())
                                   .arg(lowest)
                                   .arg(highest);
            } else {
                value = n;
            }
        }
        return value;
    };
    constexpr qint64 kDayMs = 86400000;
    o.windowMs = span(window, 0, 600000).value_or(o.windowMs);
    o.offsetMs = span(offset, -kDayMs, kDayMs);
    o.wideningMs = span(widening, 0, 600000);
    o.json = parser.isSet(json);
    if (parser.isSet(quiet)) {
        o.verbosity = 0;
    } else if (parser.isSet(verbose)) {
        o.verbosity = 2;
    }
    o.output = parser.value(output);
    o.yes = parser.isSet(yes);
    o.noStore = parser.isSet(noStore);
    o.noJournal = parser.isSet(noJournal);
    o.device = parser.value(device);
    o.since = parser.value(since);
    o.diff = parser.isSet(diff);
    o.noRead = parser.isSet(noRead);
    o.frequency = parser.value(frequency);
    o.sets = parser.values(set);
    o.help = parser.isSet(help);
    o.version = parser.isSet(version);
    return parsed;
}

QString CtlHelpText() {
    return QStringLiteral(
        "Usage: kp650ctl [options] COMMAND ...\n"
        "KPA-650 / KPB-650 maintenance from a terminal or a script.\n"
        "\n"
        "Commands:\n"
        "  ports                       serial ports present, with description and USB ids\n"
        "  identify                    version, date and checksum of the device\n"
        "  params read [-o FILE]       the parameter set (FILE: a parameter file)\n"
        "  params write FILE           writes a parameter file, reads back and compares\n"
        "  params diff FILE            fields in which the device differs from a parameter file\n"
        "  params write [--frequency KHZ] [--set NAME=VALUE]...\n"
        "                              changes the named fields of what the device holds\n"
        "  clock read                  device time and its offset from this computer's clock\n"
        "  clock sync                  sets the device clock from this computer, reads it back\n"
        "  log read [-o FILE] [--no-store]\n"
        "                              reads the event log into the working database's TEMP\n"
        "                              (not with --no-store) and into FILE: .csv, .cfg\n"
        "                              (COMTRADE, with .dat), .json/.jsonl (JSON lines), a name\n"
        "                              ending in 'b' (record database), else a text record file;\n"
        "                              a read that breaks off writes what it verified beside\n"
        "                              FILE (FILE.partial.csv for FILE.csv), never over FILE\n"
        "  log clear --yes [--no-read] reads the whole log (verified; not with --no-read), keeps\n"
        "                              it with TEMP in the archive folder, then clears the log;\n"
        "                              never reports failure once the device confirmed the clear\n"
        "  convert IN OUT              record file IN (database or text) to OUT (kinds as above)\n"
        "  journal [--device ID] [--since DATE]\n"
        "                              the journal of writes (parameters, clock, log clears),\n"
        "                              newest first; ID: part of the device, port or\n"
        "                              identification; DATE: 2026-12-01 or 2026-12-01T08:00\n"
        "  journal push ARCHIVE        copies the journal's entries the fleet archive (a file or\n"
        "                              postgresql://...) lacks into it, each once; exit 7 when\n"
        "                              the journal or the archive cannot be read or written\n"
        "  history --device ID [--diff A B]\n"
        "                              the device's parameter sets as kept, or sets A and B\n"
        "                              compared field by field\n"
        "  channel TX-FILE RX-FILE [--window MS] [--offset MS] [--widening MS]\n"
        "                              pairs the commands of a transmitter's and a receiver's\n"
        "                              record files: missing and unwanted commands, transmission\n"
        "                              time; the receiver's clock offset is estimated unless\n"
        "                              given (receiver minus transmitter), receipts pair within\n"
        "                              MS of a sent command (default 1000); exit 1 when a\n"
        "                              command was missing or unwanted\n"
        "  archive export ARCHIVE DEVICE [FROM [TO]]  a device's events (dates YYYY-MM-DD, both\n"
        "                              days included) from the fleet archive to -o FILE\n"
        "\n"
        "Options:\n"
        "  --port DEVICE     device of the line (default: KP650_COM1, else /dev/ttyS0)\n"
        "  --variant A|B     the device's variant; detected from its identification when absent\n"
        "  --timeout MS      wait for a reply this long (default 1000; less than 200 is raised\n"
        "                    to 200 with a warning: a clean 9600-baud exchange needs that)\n"
        "  --retries N       send a request again up to N times after a bad reply or none\n"
        "                    (default 4; a log record's acknowledge is never sent again)\n"
        "  --json            machine-readable results on stdout\n"
        "  --no-journal      writes go out without a journal entry\n"
        "  -q, --quiet       no messages but errors\n"
        "  -v, --verbose     every request and reply in hex on stderr\n"
        "  -h, --help        this text\n"
        "  --version         the program's version\n"
        "\n"
        "Exit codes:\n"
        "  0  success\n"
        "  1  other failure; channel: a missing or unwanted command\n"
        "  2  usage error\n"
        "  3  the port could not be opened\n"
        "  4  no reply (time-out, or the line went away)\n"
        "  5  the device refused the request\n"
        "  6  bad reply\n"
        "  7  file or database error\n"
        "  8  after a write the device holds something else\n"
        "  9  params diff: the device holds other values than the file\n"
        "  10 the journal of writes cannot be written (nothing was sent)\n");
}

}  // namespace cli
