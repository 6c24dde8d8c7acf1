#include "model/sim_options.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <algorithm>
#include <utility>

#include "common/globals.h"
#include "common/program_version.h"

namespace sim {
namespace {

bool ParseRate(const QString& name, const QString& value, FaultRate* rate, QString* error) {
    if (value.isEmpty()) {
        rate->count = -1;
        rate->probability = 1.0;
        return true;
    }
    bool ok = false;
    if (value.contains(QLatin1Char('.'))) {
        const double p = value.toDouble(&ok);
        if (!ok || p < 0.0 || p > 1.0) {
            *error = QStringLiteral("--fault %1: probability %2 is not between 0 and 1")
                         .arg(name, value);
            return false;
        }
        rate->count = -1;
        rate->probability = p;
        return true;
    }
    const int n = value.toInt(&ok);
    if (!ok || n < 0) {
        *error =
            QStringLiteral("--fault %1: %2 is neither a count nor a probability").arg(name, value);
        return false;
    }
    rate->count = n;
    return true;
}

bool ParseInt(const QString& text, int low, int high, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok);
    if (!ok || v < low || v > high) {
        return false;
    }
    *out = v;
    return true;
}

}  // namespace

bool ParseFault(const QString& text, SimOptions* options, QString* error) {
    const int eq = text.indexOf(QLatin1Char('='));
    const QString name = (eq < 0 ? text : text.left(eq)).trimmed();
    const QString value = eq < 0 ? QString() : text.mid(eq + 1).trimmed();
    if (name == QLatin1String("hangup-after")) {
        bool ok = false;
        const qint64 n = value.toLongLong(&ok);
        if (!ok || n < 0) {
            *error = QStringLiteral("--fault hangup-after=N needs a number of reply bytes");
            return false;
        }
        options->hangupAfter = n;
        return true;
    }
    FaultRate* rate = nullptr;
    if (name == QLatin1String("split")) {
        rate = &options->split;
    } else if (name == QLatin1String("refuse")) {
        rate = &options->faults.refuse;
    } else if (name == QLatin1String("bad-trailer")) {
        rate = &options->faults.badTrailer;
    } else if (name == QLatin1String("bad-echo")) {
        rate = &options->faults.badEcho;
    } else if (name == QLatin1String("silent")) {
        rate = &options->faults.silent;
    } else if (name == QLatin1String("garbage")) {
        rate = &options->faults.garbage;
    } else {
        *error = QStringLiteral(
                     "--fault: unknown fault \"%1\" (split, refuse, bad-trailer, bad-echo, "
                     "silent, garbage, hangup-after=N)")
                     .arg(name);
        return false;
    }
    return ParseRate(name, value, rate, error);
}

bool ParseNoise(const QString& text, FaultPlan* plan, QString* error) {
    static const std::pair<const char*, ReplyKind> kinds[] = {
        {"identification", ReplyKind::Identification},
        {"params-read", ReplyKind::ParametersRead},
        {"params-write", ReplyKind::ParametersWrite},
        {"clock-read", ReplyKind::ClockRead},
        {"clock-write", ReplyKind::ClockWrite},
        {"log-count", ReplyKind::LogCount},
        {"log-record", ReplyKind::LogRecord},
        {"log-end", ReplyKind::LogEnd},
        {"log-clear", ReplyKind::LogClear}};
    const QStringList parts = text.split(QLatin1Char(':'));
    NoiseBefore noise;
    bool known = false;
    for (const auto& [name, kind] : kinds) {
        if (parts.value(0) == QLatin1String(name)) {
            noise.kind = kind;
            known = true;
        }
    }
    bool ok = false;
    noise.nth = parts.value(1).toInt(&ok);
    noise.bytes = QByteArray::fromHex(parts.value(2).toLatin1());
    const QString hex = parts.value(2);
    const bool hexOk =
        !hex.isEmpty() && hex.size() % 2 == 0 && std::all_of(hex.begin(), hex.end(), [](QChar c) {
            return c.isDigit() ||
                   (c.toLower() >= QLatin1Char('a') && c.toLower() <= QLatin1Char('f'));
        });
    if (parts.size() != 3 || !known || !ok || noise.nth < 1 || !hexOk) {
        *error = QStringLiteral(
                     "--noise %1: expected KIND:N:HEX, KIND one of identification, params-read, "
                     "params-write, clock-read, clock-write, log-count, log-record, log-end, "
                     "log-clear; N from 1; HEX pairs of hex digits")
                     .arg(text);
        return false;
    }
    plan->noise.push_back(noise);
    return true;
}

ParseOutcome ParseSimOptions(const QStringList& args, SimOptions* options, QString* message) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Simulated KPA-650 / KPB-650 device on a pseudo-terminal. It answers the maintenance "
        "program's requests (identification, parameters, clock, event log read and clear) at the "
        "chosen baud rate and can inject faults.\n\n"
        "Faults (--fault, repeatable): NAME on every request, NAME=N on the first N requests, "
        "NAME=P (with a decimal point) with probability P per request:\n"
        "  split        reply written in random chunks with pauses between them\n"
        "  refuse       a lone 0x5A instead of the reply; the request is not carried out\n"
        "  bad-trailer  reply's last byte is 0x00 instead of 0x58 (not for log frames)\n"
        "  bad-echo     one byte of a parameter write's echo is wrong\n"
        "  silent       no reply; the request is not carried out\n"
        "  garbage      one to three random bytes before the reply\n"
        "  hangup-after=N  hang the line up after N reply bytes; a fresh pty then appears at the "
        "same link (the device was plugged in again)\n\n"
        "Exact noise (--noise KIND:N:HEX, repeatable): the bytes HEX go out right before the "
        "Nth reply (from 1, counted since the start) of KIND: identification, params-read, "
        "params-write, clock-read, clock-write, log-count, log-record, log-end, log-clear. "
        "Example: --noise log-record:3:A5C3 puts A5 C3 before the third record frame."));
    parser.addHelpOption();
    const QCommandLineOption variant(
        QStringLiteral("variant"),
        QStringLiteral("A (transmitter KPA-650) or B (receiver KPB-650); default A."),
        QStringLiteral("A|B"), QStringLiteral("A"));
    const QCommandLineOption link(
        QStringLiteral("link"),
        QStringLiteral("Symbolic link to the pty's slave, removed on exit."),
        QStringLiteral("PATH"));
    const QCommandLineOption tcp(
        QStringLiteral("tcp"),
        QStringLiteral("Also serve the device on this TCP port of 127.0.0.1, as a serial device "
                       "server's raw TCP mode (connect to tcp://127.0.0.1:PORT); 0 picks a free "
                       "port, printed at start. One connection at a time, the newest wins."),
        QStringLiteral("PORT"));
    const QCommandLineOption version(QStringLiteral("id-version"),
                                     QStringLiteral("Identification: version, 0-15 (default 1)."),
                                     QStringLiteral("N"));
    const QCommandLineOption date(
        QStringLiteral("id-date"),
        QStringLiteral("Identification: build date, 2000-2015, day up to 15 "
                       "(one hex digit each; default 2009-9-8)."),
        QStringLiteral("YYYY-M-D"));
    const QCommandLineOption checksum(
        QStringLiteral("id-checksum"),
        QStringLiteral("Identification: checksum, 4 hex digits (default ABCD)."),
        QStringLiteral("HHHH"));
    const QCommandLineOption idBytes(
        QStringLiteral("id-bytes"),
        QStringLiteral("Identification: the eight bytes d0..d7 as hex, any "
                       "values (e.g. 01090C1F0A0B0C0D)."),
        QStringLiteral("HEX"));
    const QCommandLineOption frequency(
        QStringLiteral("frequency"),
        QStringLiteral("Initial centre frequency in kHz, lists at their "
                       "defaults (default 200 for A, 500 for B)."),
        QStringLiteral("KHZ"));
    const QCommandLineOption params(
        QStringLiteral("params"),
        QStringLiteral("Initial parameter frame as hex (70 bytes for A, 17 for B)."),
        QStringLiteral("HEX"));
    const QCommandLineOption paramsFile(
        QStringLiteral("params-file"),
        QStringLiteral("Initial parameters from a parameter file as the program saves it; "
                       "its device sets the variant unless --variant is given."),
        QStringLiteral("FILE"));
    const QCommandLineOption saveParams(
        QStringLiteral("save-params"),
        QStringLiteral("On exit, save the parameters the device holds as a parameter file."),
        QStringLiteral("FILE"));
    const QCommandLineOption clock(
        QStringLiteral("clock"),
        QStringLiteral("Initial device clock (default: the PC's local time)."),
        QStringLiteral("YYYY-MM-DDThh:mm:ss"));
    const QCommandLineOption records(
        QStringLiteral("records"),
        QStringLiteral("Event log of N made-up events, 0-255 (default 0)."), QStringLiteral("N"));
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral("Event log from a text record file (GBK, as the program "
                       "saves it)."),
        QStringLiteral("FILE"));
    const QCommandLineOption baud(
        QStringLiteral("baud"),
        QStringLiteral("Pace reply bytes at 10 bit times each (default 9600; 0 "
                       "= unpaced)."),
        QStringLiteral("N"), QStringLiteral("9600"));
    const QCommandLineOption fault(QStringLiteral("fault"),
                                   QStringLiteral("Inject a fault (see above)."),
                                   QStringLiteral("FAULT"));
    const QCommandLineOption noise(
        QStringLiteral("noise"), QStringLiteral("Exact noise bytes before one reply (see above)."),
        QStringLiteral("KIND:N:HEX"));
    const QCommandLineOption seed(QStringLiteral("seed"),
                                  QStringLiteral("Seed for faults and made-up events (default 1)."),
                                  QStringLiteral("N"), QStringLiteral("1"));
    const QCommandLineOption verbose(
        QStringLiteral("verbose"), QStringLiteral("Trace requests and replies in hex on stderr."));
    parser.addOptions({variant, link, tcp, version, date, checksum, idBytes, frequency, params,
                       paramsFile, saveParams, clock, records, log, baud, fault, noise, seed,
                       verbose});
    const QCommandLineOption channelLogs(
        QStringLiteral("channel-logs"),
        QStringLiteral("Write a matching pair of text record files for one channel, the "
                       "transmitter's to TX and the receiver's to RX, and exit (no device is "
                       "served). Commands start a week back at 08:00 (or at --clock), 20 to 120 s "
                       "apart; --seed varies them. Tuned by the --channel-* options."),
        QStringLiteral("TX,RX"));
    const QCommandLineOption channelCommands(
        QStringLiteral("channel-commands"),
        QStringLiteral("Commands the transmitter sends (default 40)."), QStringLiteral("N"),
        QStringLiteral("40"));
    const QCommandLineOption channelDelay(QStringLiteral("channel-delay"),
                                          QStringLiteral("Transmission time in ms (default 20)."),
                                          QStringLiteral("MS"), QStringLiteral("20"));
    const QCommandLineOption channelJitter(
        QStringLiteral("channel-jitter"),
        QStringLiteral("The transmission time varies by up to this either way (default 5)."),
        QStringLiteral("MS"), QStringLiteral("5"));
    const QCommandLineOption channelOffset(
        QStringLiteral("channel-offset"),
        QStringLiteral("Receiver clock minus transmitter clock in ms, may be negative "
                       "(default 0)."),
        QStringLiteral("MS"), QStringLiteral("0"));
    const QCommandLineOption channelMissing(
        QStringLiteral("channel-missing"),
        QStringLiteral("Sent commands that never arrive; the receiver logs a channel fault "
                       "alarm over each (default 0)."),
        QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption channelUnwanted(
        QStringLiteral("channel-unwanted"),
        QStringLiteral("Commands the receiver outputs that were never sent (default 0)."),
        QStringLiteral("N"), QStringLiteral("0"));
    parser.addOptions({channelLogs, channelCommands, channelDelay, channelJitter, channelOffset,
                       channelMissing, channelUnwanted});

    if (!parser.parse(QStringList(QStringLiteral("kp650-sim")) + args)) {
        *message = parser.errorText();
        return ParseOutcome::Error;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        *message = parser.helpText();
        return ParseOutcome::Help;
    }
    if (!parser.positionalArguments().isEmpty()) {
        *message = QStringLiteral("unexpected argument: ") + parser.positionalArguments().first();
        return ParseOutcome::Error;
    }
    SimOptions o;
    const QString v = parser.value(variant).toUpper();
    if (v != QLatin1String("A") && v != QLatin1String("B")) {
        *message = QStringLiteral("--variant must be A or B");
        return ParseOutcome::Error;
    }
    o.variant = v == QLatin1String("A") ? DeviceVariant::A : DeviceVariant::B;
    o.variantGiven = parser.isSet(variant);
    o.link = parser.value(link);
    if (parser.isSet(tcp) && !ParseInt(parser.value(tcp), 0, 65535, &o.tcpPort)) {
        *message = QStringLiteral("--tcp must be a port number, 0 to 65535");
        return ParseOutcome::Error;
    }
    o.verbose = parser.isSet(verbose);

    int idVersion = 1;
    int year = 2009, month = 9, day = 8;
    int sum = 0xABCD;
    if (parser.isSet(version) && !ParseInt(parser.value(version), 0, 15, &idVersion)) {
        *message = QStringLiteral("--id-version must be 0 to 15");
        return ParseOutcome::Error;
    }
    if (parser.isSet(date)) {
        static const QRegularExpression datePattern(
            QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2})$"));
        const auto m = datePattern.match(parser.value(date));
        if (!m.hasMatch() || !ParseInt(m.captured(1), 2000, 2015, &year) ||
            !ParseInt(m.captured(2), 1, 12, &month) || !ParseInt(m.captured(3), 1, 15, &day)) {
            *message = QStringLiteral(
                "--id-date must be YYYY-M-D with year 2000-2015, month 1-12, day 1-15 "
                "(use --id-bytes for other values)");
            return ParseOutcome::Error;
        }
    }
    if (parser.isSet(checksum)) {
        bool ok = false;
        sum = parser.value(checksum).toInt(&ok, 16);
        if (!ok || parser.value(checksum).size() > 4 || sum < 0) {
            *message = QStringLiteral("--id-checksum must be up to 4 hex digits");
            return ParseOutcome::Error;
        }
    }
    o.identification = DeviceModel::IdentificationDigits(idVersion, year, month, day,
                                                         static_cast<std::uint16_t>(sum));
    if (parser.isSet(idBytes)) {
        const QString hex = parser.value(idBytes).remove(QLatin1Char(' '));
        const QByteArray raw = QByteArray::fromHex(hex.toLatin1());
        static const QRegularExpression hexPattern(QStringLiteral("^[0-9A-Fa-f]{16}$"));
        if (!hexPattern.match(hex).hasMatch()) {
            *message = QStringLiteral("--id-bytes must be eight bytes in hex (16 digits)");
            return ParseOutcome::Error;
        }
        for (int i = 0; i < 8; ++i) {
            o.identification[static_cast<size_t>(i)] = static_cast<std::uint8_t>(raw.at(i));
        }
    }

    if (parser.isSet(frequency)) {
        int khz = 0;
        if (!ParseInt(parser.value(frequency), 0, 99999999, &khz) ||
            DeviceModel::DefaultParameters(o.variant, khz).isEmpty()) {
            *message =
                QStringLiteral(
                    "--frequency %1 kHz is not one the parameter dialog of variant %2 accepts")
                    .arg(parser.value(frequency), v);
            return ParseOutcome::Error;
        }
        o.frequencyKHz = khz;
    }
    if (parser.isSet(params)) {
        const QString hex = parser.value(params).remove(QLatin1Char(' '));
        const int want = o.variant == DeviceVariant::A ? kFrameLengthA : kFrameLengthB;
        static const QRegularExpression hexPattern(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
        if (!hexPattern.match(hex).hasMatch() || hex.size() != 2 * want) {
            *message =
                QStringLiteral("--params must be %1 bytes in hex for variant %2").arg(want).arg(v);
            return ParseOutcome::Error;
        }
        o.parameters = QByteArray::fromHex(hex.toLatin1());
    }
    o.paramsFile = parser.value(paramsFile);
    if (!o.paramsFile.isEmpty() && (parser.isSet(params) || parser.isSet(frequency))) {
        *message = QStringLiteral("--params-file excludes --params and --frequency");
        return ParseOutcome::Error;
    }
    o.saveParamsFile = parser.value(saveParams);
    if (parser.isSet(clock)) {
        QDateTime t = QDateTime::fromString(parser.value(clock), Qt::ISODate);
        if (!t.isValid()) {
            t = QDateTime::fromString(parser.value(clock), QStringLiteral("yyyy-MM-dd hh:mm:ss"));
        }
        if (!t.isValid() || t.date().year() < 2000 || t.date().year() > 2099) {
            *message = QStringLiteral(
                "--clock must be a date and time from 2000 to 2099, "
                "YYYY-MM-DDThh:mm:ss");
            return ParseOutcome::Error;
        }
        o.clock = TimeFrame{static_cast<std::uint8_t>(t.date().year() - 2000),
                            static_cast<std::uint8_t>(t.date().month()),
                            static_cast<std::uint8_t>(t.date().day()),
                            static_cast<std::uint8_t>(t.time().hour()),
                            static_cast<std::uint8_t>(t.time().minute()),
                            static_cast<std::uint8_t>(t.time().second())};
    }
    if (parser.isSet(records) && !ParseInt(parser.value(records), 0, kMaxLogRecords, &o.records)) {
        *message = QStringLiteral("--records must be 0 to %1 (the count frame has one byte)")
                       .arg(kMaxLogRecords);
        return ParseOutcome::Error;
    }
    o.logFile = parser.value(log);
    if (parser.isSet(records) && !o.logFile.isEmpty()) {
        *message = QStringLiteral("--records and --log exclude each other");
        return ParseOutcome::Error;
    }
    if (!ParseInt(parser.value(baud), 0, 4000000, &o.baud)) {
        *message = QStringLiteral("--baud must be 0 (unpaced) or a rate up to 4000000");
        return ParseOutcome::Error;
    }
    bool seedOk = false;
    o.seed = parser.value(seed).toUInt(&seedOk);
    if (!seedOk) {
        *message = QStringLiteral("--seed must be a non-negative number");
        return ParseOutcome::Error;
    }
    o.faults.seed = o.seed;
    if (parser.isSet(channelLogs)) {
        const QStringList files = parser.value(channelLogs).split(QLatin1Char(','));
        if (files.size() != 2 || files[0].isEmpty() || files[1].isEmpty()) {
            *message = QStringLiteral("--channel-logs takes two files: TX,RX");
            return ParseOutcome::Error;
        }
        o.channelTxFile = files[0];
        o.channelRxFile = files[1];
    }
    int commands = 0;
    int delay = 0;
    int jitter = 0;
    int offset = 0;
    if (!ParseInt(parser.value(channelCommands), 0, 100000, &commands) ||
        !ParseInt(parser.value(channelDelay), 0, 60000, &delay) ||
        !ParseInt(parser.value(channelJitter), 0, 60000, &jitter) ||
        !ParseInt(parser.value(channelOffset), -86400000, 86400000, &offset) ||
        !ParseInt(parser.value(channelMissing), 0, 100000, &o.channel.missing) ||
        !ParseInt(parser.value(channelUnwanted), 0, 100000, &o.channel.unwanted)) {
        *message = QStringLiteral(
            "--channel-commands, -missing, -unwanted take 0 to 100000; --channel-delay and "
            "-jitter 0 to 60000 ms; --channel-offset -86400000 to 86400000 ms");
        return ParseOutcome::Error;
    }
    o.channel.commands = commands;
    o.channel.delayMs = delay;
    o.channel.jitterMs = jitter;
    o.channel.offsetMs = offset;
    o.channel.seed = o.seed;
    for (const QString& text : parser.values(noise)) {
        if (!ParseNoise(text, &o.faults, message)) {
            return ParseOutcome::Error;
        }
    }
    for (const QString& text : parser.values(fault)) {
        if (!ParseFault(text, &o, message)) {
            return ParseOutcome::Error;
        }
    }
    *options = o;
    return ParseOutcome::Run;
}

bool ApplyParameterFile(const QByteArray& fileBytes, SimOptions* options, QString* error) {
    const int wanted = !options->variantGiven                 ? settings::kAnyVariant
                       : options->variant == DeviceVariant::A ? kVariantA
                                                              : kVariantB;
    const ParameterSetResult loaded = ParameterSetFromFile(fileBytes, wanted);
    if (!loaded.Ok()) {
        *error = loaded.error;
        return false;
    }
    options->variant = loaded.set.variant == kVariantA ? DeviceVariant::A : DeviceVariant::B;
    options->parameters = loaded.set.frame;
    return true;
}

ParameterSet DeviceParameterSet(const DeviceModel& model, const QDateTime& at) {
    const int variant = model.Variant() == DeviceVariant::A ? kVariantA : kVariantB;
    // The model keeps frames of its variant's length only, which is all this refuses.
    ParameterSet set = ParameterSetFromFrame(variant, model.Parameters()).set;
    QByteArray identification;
    for (const std::uint8_t digit : model.Identification()) {
        identification.append(static_cast<char>(digit));
    }
    set.provenance.readAt = at;
    set.provenance.deviceIdentification = QString::fromLatin1(identification.toHex(' ').toUpper());
    set.provenance.program = QStringLiteral("kp650-sim ") + ProgramVersion();
    return set;
}

}  // namespace sim
