#include "cli/ctl_commands.h"

#include <QByteArray>
#include <QDateTime>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSerialPortInfo>
#include <QTimer>

#include <cmath>
#include <cstdio>

#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

#include "cli/ctl_archive.h"
#include "cli/ctl_channel.h"
#include "cli/ctl_journal.h"
#include "cli/ctl_link.h"
#include "cli/ctl_output.h"
#include "cli/ctl_params_diff.h"
#include "cli/ctl_record_files.h"
#include "common/globals.h"
#include "common/program_version.h"
#include "common/staging_dir.h"
#include "journal/journal_report.h"
#include "journal/write_recorder.h"
#include "link/device_link.h"
#include "link/exchange.h"
#include "link/exchange_outcomes.h"
#include "link/hex_text.h"
#include "link/identity.h"
#include "link/port_names.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/event_record.h"
#include "records/log_clear.h"
#include "records/log_read.h"
#include "records/record_archive.h"
#include "records/record_log.h"
#include "records/record_store.h"
#include "records/temp_table_sink.h"
#include "settings/clock_conversation.h"
#include "settings/parameter_conversation.h"
#include "settings/parameter_file.h"
#include "settings/time_frame.h"

namespace cli {

namespace {

constexpr int kProgressCells = 30;
// The shortest time-out a clean exchange at 9600 baud meets (see OpenLine).
constexpr int kMinTimeOutMs = 200;

// "log.csv" -> "log.partial.csv": where a read that broke off writes its records.
QString PartialName(const QString& path) {
    const QFileInfo info(path);
    const QString suffix = info.suffix();
    const QString base = suffix.isEmpty() ? path : path.left(path.size() - suffix.size() - 1);
    return base + QStringLiteral(".partial") +
           (suffix.isEmpty() ? QString() : QLatin1Char('.') + suffix);
}
void Write(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

// The record store's failures go to stderr, one line each, with the texts the dialogs show.
void PrintStoreErrors(const records::StoreErrors& errors) {
    for (const records::StoreError& error : errors.errors) {
        Write(stderr, error.text + QLatin1Char('\n'));
    }
}

// Prints what the store's operation reported and passes its result on.
template <typename Result>
Result PrintingStoreErrors(const RecordStore& store, Result result) {
    PrintStoreErrors(store.Errors());
    return result;
}

bool StderrIsTerminal() {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

QString VariantLetter(int variant) {
    return variant == kVariantB ? QStringLiteral("B") : QStringLiteral("A");
}

QString LocalIsoText(const QDateTime& time) {
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

// One run of the tool: its options, its line and its output.
class Ctl {
public:
    explicit Ctl(const CtlOptions& options) : m_o(options) {
        m_journal.SetEnabled(!options.noJournal);
    }

    int Run();

private:
    // Output.
    void Out(const QString& text) { Write(stdout, text); }
    void OutJson(const QJsonValue& value) {
        const QJsonDocument doc =
            value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
        Write(stdout, QString::fromUtf8(doc.toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
    }
    void Error(const QString& text) { Write(stderr, text + QLatin1Char('\n')); }
    void Info(const QString& text) {
        if (m_o.verbosity > 0) {
            Write(stderr, text + QLatin1Char('\n'));
        }
    }
    int Usage(const QString& text) {
        Error(QStringLiteral("kp650ctl: ") + text + QStringLiteral(" (see kp650ctl --help)"));
        return kExitUsage;
    }

    // The line.
    int OpenLine();
    int ResolveVariant();
    int Failed(const ExchangeResult& result, const QString& badReplyText);

    // Commands.
    int Ports();
    int Identify();
    int ParamsRead();
    int ParamsWrite();
    int ParamsDiff();
    // The exit code of a read that brought no set (its message printed), else kExitOk.
    int ReadCode(const ParameterReadResult& read);
    int ReadParameters(ParameterSet* set);
    int ClockRead();
    int ClockSync();
    // The exit code of a clock read (its message printed).
    int ClockReadCode(const ClockReadResult& read);
    int LogRead();
    // The whole log into TEMP of `store`, verified (see LogRead).
    LogReadResult ReadWholeLog(RecordStore& store);
    int LogClear();
    int Convert();
    // The journal entry of a write about to go out: kExitJournal (nothing sent) when it cannot
    // be made, unless --no-journal. JournalEnd completes it; `code` is the command's exit code.
    int JournalBegin(const journal::PlannedWrite& write);
    int JournalEnd(int code, journal::WriteOutcome outcome, const journal::Fields& after,
                   const QString& detail);
    // What a write conversation's journal said: kExitJournal when its entry could not be made
    // (nothing sent) or, for a write that otherwise succeeded, completed; `code` otherwise.
    int JournalCode(int code, bool notSent, const QString& error);
    int WriteRecords(RecordStore& store, const QString& path, int variant);
    bool OpenScratch(RecordStore& store);

    const CtlOptions& m_o;
    std::unique_ptr<CtlLink> m_link;
    int m_timeOutMs = kDefaultTimeOutMs;
    int m_variant = kVariantUnknown;
    journal::WriteRecorder m_journal{QStringLiteral("kp650ctl")};
    common::StagingDir m_scratchDir{QStringLiteral("kp650ctl")};
};

int Ctl::Run() {
    const QStringList& w = m_o.words;
    const QString command = w.value(0);
    const QString sub = w.value(1);
    const auto arguments = [&](int count) { return w.size() == count; };
    if (command == QLatin1String("ports") && arguments(1)) {
        return Ports();
    }
    if (command == QLatin1String("identify") && arguments(1)) {
        return Identify();
    }
    if (command == QLatin1String("params") && sub == QLatin1String("read") && arguments(2)) {
        return ParamsRead();
    }
    if (command == QLatin1String("params") && sub == QLatin1String("write") &&
        (arguments(2) || arguments(3))) {
        return ParamsWrite();
    }
    if (command == QLatin1String("params") && sub == QLatin1String("diff") && arguments(3)) {
        return ParamsDiff();
    }
    if (command == QLatin1String("clock") && sub == QLatin1String("read") && arguments(2)) {
        return ClockRead();
    }
    if (command == QLatin1String("clock") && sub == QLatin1String("sync") && arguments(2)) {
        return ClockSync();
    }
    if (command == QLatin1String("log") && sub == QLatin1String("read") && arguments(2)) {
        return LogRead();
    }
    if (command == QLatin1String("log") && sub == QLatin1String("clear") && arguments(2)) {
        return LogClear();
    }
    if (command == QLatin1String("convert") && arguments(3)) {
        return Convert();
    }
    if (command == QLatin1String("journal") || command == QLatin1String("history")) {
        return RunJournalCommand(m_o);
    }
    if (command == QLatin1String("channel") && arguments(3)) {
        return RunChannel(m_o);
    }
    if (command == QLatin1String("archive")) {
        return RunArchiveCommand(m_o);
    }
    if (command.isEmpty()) {
        return Usage(QStringLiteral("no command given"));
    }
    return Usage(QStringLiteral("unknown command or wrong arguments: ") + w.join(QLatin1Char(' ')));
}

// --- The line ---------------------------------------------------------------------------------

int Ctl::OpenLine() {
    if (!m_o.port.isEmpty()) {
        SetPortDeviceOverride(1, m_o.port);
    }
    m_timeOutMs = m_o.timeOutMs;
    if (m_timeOutMs < kMinTimeOutMs) {
        // Less than a clean exchange needs: a parameter frame takes 76 ms on the wire before
        // the device answers, and a reply counts once the line stayed quiet for 50 ms.
        Error(QStringLiteral("kp650ctl: --timeout %1 ms is too short for a 9600-baud line; %2 ms "
                             "is used")
                  .arg(m_timeOutMs)
                  .arg(kMinTimeOutMs));
        m_timeOutMs = kMinTimeOutMs;
    }
    m_link = std::make_unique<CtlLink>(m_timeOutMs, m_o.retries);
    if (m_o.verbosity > 1) {
        m_link->SetTrace([this](const QString& text) { Error(text); });
    }
    QString error;
    if (!m_link->Open(&error)) {
        return Failed({ExchangeOutcome::PortError, {}, error, 0}, QString());
    }
    return kExitOk;
}

int Ctl::ResolveVariant() {
    if (const int code = OpenLine()) {
        return code;
    }
    if (m_o.variant != kVariantUnknown) {
        m_variant = m_o.variant;
        m_link->Link().SetVariant(m_variant);
        return kExitOk;
    }
    const VariantProbe probe = DetectVariant(*m_link, 1 + m_o.retries);
    if (probe.variant == kVariantUnknown) {
        return Failed(probe.read.exchange, comm::kIdentityErrorText);
    }
    m_variant = probe.variant;
    Info(QStringLiteral("detected ") + DeviceModelName(m_variant));
    return kExitOk;
}

int Ctl::Failed(const ExchangeResult& result, const QString& badReplyText) {
    if (result.outcome == ExchangeOutcome::Success) {
        return kExitOk;
    }
    if (result.outcome == ExchangeOutcome::PortError) {
        // The facility's text names the device most of the time.
        Error(result.error.contains(m_link->DeviceName())
                  ? result.error
                  : m_link->DeviceName() + QStringLiteral(": ") + result.error);
    } else if (result.outcome == ExchangeOutcome::LineLost) {
        Error(ExchangeFailureText(result, badReplyText) + QStringLiteral(" (") + result.error +
              QLatin1Char(')'));
    } else {
        Error(ExchangeFailureText(result, badReplyText));
    }
    return comm::RowOf(result.outcome).exitCode;
}

// --- Ports and identification -----------------------------------------------------------------

int Ctl::Ports() {
    QJsonArray list;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        QJsonObject port{{QStringLiteral("device"), info.systemLocation()},
                         {QStringLiteral("description"), info.description()},
                         {QStringLiteral("manufacturer"), info.manufacturer()},
                         {QStringLiteral("serial_number"), info.serialNumber()}};
        QString ids;
        if (info.hasVendorIdentifier() && info.hasProductIdentifier()) {
            ids = QStringLiteral("%1:%2")
                      .arg(info.vendorIdentifier(), 4, 16, QLatin1Char('0'))
                      .arg(info.productIdentifier(), 4, 16, QLatin1Char('0'));
            port.insert(QStringLiteral("usb_id"), ids);
        }
        list.append(port);
        if (!m_o.json) {
            QStringList parts{info.systemLocation()};
            for (const QString& part : {info.description(), ids, info.manufacturer()}) {
                if (!part.isEmpty()) {
                    parts << part;
                }
            }
            Out(parts.join(QStringLiteral("  ")) + QLatin1Char('\n'));
        }
    }
    if (m_o.json) {
        OutJson(list);
    }
    return kExitOk;
}

int Ctl::Identify() {
    if (const int code = ResolveVariant()) {
        return code;
    }
    IdentityRead read(m_link->Link());
    const IdentityReadResult identity =
        Await(read, &IdentityRead::Finished, [&read] { return read.Start(); });
    const ExchangeResult& result = identity.exchange;
    if (!identity.identity) {
        const QString other = OtherVariantReplyText(result.reply, m_variant);
        return Failed(result, other.isEmpty() ? comm::kIdentityErrorText : other);
    }
    const DeviceIdentity& id = *identity.identity;
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("variant"), VariantLetter(m_variant)},
                            {QStringLiteral("version"), id.version},
                            {QStringLiteral("date"), id.date},
                            {QStringLiteral("checksum"), id.checksum}});
    } else {
        Out(QStringLiteral("%1/R  v%2  CRC: %3  TIME: %4\n")
                .arg(DeviceModelName(m_variant), id.version, id.checksum, id.date));
    }
    return kExitOk;
}

// --- Parameters -------------------------------------------------------------------------------

int Ctl::ReadCode(const ParameterReadResult& read) {
    if (!read.historyError.isEmpty()) {
        Info(QStringLiteral("kp650ctl: the parameter history cannot be written (%1)")
                 .arg(read.historyError));
    }
    if (read.exchange.outcome != ExchangeOutcome::Success) {
        return Failed(read.exchange, comm::kConnectionFailedText);
    }
    if (!read.read.Ok()) {
        Error(read.read.error);
        return kExitBadReply;
    }
    return kExitOk;
}

int Ctl::ReadParameters(ParameterSet* set) {
    ParameterRead read(m_link->Link(), &m_journal);
    const ParameterReadResult result =
        Await(read, &ParameterRead::Finished, [&read] { return read.Start(); });
    if (const int code = ReadCode(result)) {
        return code;
    }
    *set = result.read.set;
    set->provenance.program = QStringLiteral("kp650ctl ") + ProgramVersion();
    return kExitOk;
}

int Ctl::ParamsRead() {
    if (const int code = ResolveVariant()) {
        return code;
    }
    ParameterSet set;
    if (const int code = ReadParameters(&set)) {
        return code;
    }
    if (!m_o.output.isEmpty()) {
        const QString error = WriteParameterSetFile(m_o.output, set);
        if (!error.isEmpty()) {
            Error(m_o.output + QStringLiteral(": ") + error);
            return kExitFile;
        }
        Info(QStringLiteral("→ ") + m_o.output);
    }
    const std::vector<ParameterField>& fields = ParameterFields(m_variant);
    if (m_o.json) {
        // The file's fields (value, unit, list text) when the set can be a file; the shown texts
        // otherwise (a device holding a byte beyond its list).
        QJsonArray jsonFields;
        const ParameterFileBytes file = ParameterSetToFile(set);
        if (file.error.isEmpty()) {
            jsonFields = QJsonDocument::fromJson(file.bytes)
                             .object()
                             .value(QStringLiteral("fields"))
                             .toArray();
        }
        for (std::size_t i = 0; i < fields.size(); ++i) {
            QJsonObject field = jsonFields.size() > static_cast<int>(i)
                                    ? jsonFields.at(static_cast<int>(i)).toObject()
                                    : QJsonObject{{QStringLiteral("name"), fields[i].name}};
            field.insert(QStringLiteral("caption"), fields[i].caption);
            field.insert(QStringLiteral("shown"), FieldValueText(set, i));
            if (jsonFields.size() > static_cast<int>(i)) {
                jsonFields.replace(static_cast<int>(i), field);
            } else {
                jsonFields.append(field);
            }
        }
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("variant"), VariantLetter(m_variant)},
                            {QStringLiteral("fields"), jsonFields},
                            {QStringLiteral("frame"), BytesToHexText(set.frame).trimmed()}});
        return kExitOk;
    }
    Out(DeviceModelName(m_variant) + QLatin1Char('\n'));
    for (std::size_t i = 0; i < fields.size(); ++i) {
        Out(QStringLiteral("  %1 (%2): %3\n")
                .arg(fields[i].caption, fields[i].name, FieldValueText(set, i)));
    }
    return kExitOk;
}

int Ctl::ParamsWrite() {
    const QString file = m_o.words.value(2);
    if (file.isEmpty() == (m_o.frequency.isEmpty() && m_o.sets.isEmpty())) {
        return Usage(QStringLiteral("params write takes a FILE, or --frequency and/or --set"));
    }
    if (const int code = ResolveVariant()) {
        return code;
    }
    ParameterSet wanted;
    // What the device holds before the write, for the journal and the fields not named.
    ParameterSet before;
    if (!file.isEmpty()) {
        const ParameterSetResult read = ReadParameterSetFile(file, m_variant);
        if (!read.Ok()) {
            Error(file + QStringLiteral(": ") + read.error);
            return kExitFile;
        }
        wanted = read.set;
        if (const int code = ReadParameters(&before)) {
            return code;
        }
    } else {
        // Fields not named keep what the device holds.
        if (const int code = ReadParameters(&before)) {
            return code;
        }
        const ParameterSet& held = before;
        QString frequency = m_o.frequency.isEmpty() ? held.frequencyText : m_o.frequency;
        std::vector<int> selections = ParameterSelections(held);
        const std::vector<ParameterField>& fields = ParameterFields(m_variant);
        for (const QString& assignment : m_o.sets) {
            const int equals = assignment.indexOf(QLatin1Char('='));
            const QString name = assignment.left(equals).trimmed();
            const QString value = assignment.mid(equals + 1);
            std::size_t field = 0;
            while (field < fields.size() && fields[field].name != name) {
                ++field;
            }
            if (equals < 0 || field == fields.size()) {
                QStringList names;
                for (const ParameterField& f : fields) {
                    names << f.name;
                }
                return Usage(QStringLiteral("--set NAME=VALUE, NAME one of ") +
                             names.join(QStringLiteral(", ")));
            }
            if (field == 0) {
                frequency = value.trimmed();
                continue;
            }
            const ListIndexResult index = ListIndexOfFieldValue(m_variant, field, value);
            if (index.index < 0) {
                Error(index.error);
                return kExitUsage;
            }
            selections[field - 1] = index.index;
        }
        const ParameterSetResult built = ParameterSetFromValues(m_variant, frequency, selections);
        if (!built.Ok()) {
            Error(built.error);
            return kExitUsage;
        }
        wanted = built.set;
    }

    ParameterWrite write(m_link->Link(), &m_journal);
    write.SetJournalRequired(true);
    write.SetReadBack(true);
    const ParameterWriteResult result =
        Await(write, &ParameterWrite::Finished, [&] { return write.Start(wanted, before); });
    if (!result.historyError.isEmpty()) {
        Info(QStringLiteral("kp650ctl: the parameter history cannot be written (%1)")
                 .arg(result.historyError));
    }
    if (result.notSent) {
        return JournalCode(kExitOk, true, result.journalError);
    }
    if (result.exchange.outcome != ExchangeOutcome::Success) {
        return JournalCode(Failed(result.exchange, comm::kConnectionFailedText), false,
                           result.journalError);
    }
    if (!result.readBack) {
        return JournalCode(Failed({}, comm::kConnectionFailedText), false, result.journalError);
    }
    if (const int code = ReadCode(result.readBack->device)) {
        return JournalCode(code, false, result.journalError);
    }
    // Each difference as written and as read back.
    const std::vector<FieldDifference>& differences = result.readBack->differences;
    QJsonArray jsonDifferences;
    for (const FieldDifference& d : differences) {
        jsonDifferences.append(QJsonObject{{QStringLiteral("name"), d.name},
                                           {QStringLiteral("written"), d.b},
                                           {QStringLiteral("read_back"), d.a}});
        Error(QStringLiteral("%1 (%2): %3 → %4").arg(d.caption, d.name, d.b, d.a));
    }
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("frame"), BytesToHexText(wanted.frame).trimmed()},
                            {QStringLiteral("verified"), differences.empty()},
                            {QStringLiteral("differences"), jsonDifferences}});
    }
    if (!differences.empty()) {
        return JournalCode(kExitMismatch, false, result.journalError);
    }
    Info(settings::kWriteDoneText);
    return JournalCode(kExitOk, false, result.journalError);
}

int Ctl::ParamsDiff() {
    const QString file = m_o.words.value(2);
    if (const int code = ResolveVariant()) {
        return code;
    }
    const ParameterSetResult read = ReadParameterSetFile(file, m_variant);
    if (!read.Ok()) {
        Error(file + QStringLiteral(": ") + read.error);
        return kExitFile;
    }
    ParameterSet held;
    if (const int code = ReadParameters(&held)) {
        return code;
    }
    const ParamsDiffReport report = DiffDeviceAndFile(held, read.set, file);
    if (m_o.json) {
        OutJson(report.json);
    } else {
        Out(report.text);
    }
    if (report.equal) {
        Info(QStringLiteral("装置中的参数与文件相同"));
    }
    return report.equal ? kExitOk : kExitDiffers;
}

// --- Clock ------------------------------------------------------------------------------------

int Ctl::ClockReadCode(const ClockReadResult& read) {
    if (read.exchange.outcome == ExchangeOutcome::BadReply && read.badField) {
        Error(TimeFieldErrorText(*read.badField));
        return kExitBadReply;
    }
    return Failed(read.exchange, comm::kConnectionFailedText);
}

int Ctl::ClockRead() {
    if (const int code = ResolveVariant()) {
        return code;
    }
    ::ClockRead read(m_link->Link());
    const ClockReadResult clock =
        Await(read, &::ClockRead::Finished, [&read] { return read.Start(); });
    if (const int code = ClockReadCode(clock)) {
        return code;
    }
    // A day the calendar does not have (31 April) reads, but gives no offset.
    const QDateTime device = clock.DeviceDateTime();
    const QDateTime& pc = clock.pcTime;
    const std::array<int, 6>& v = *clock.values;
    const bool calendarDay = device.isValid();
    const double offset = calendarDay ? pc.msecsTo(device) / 1000.0 : 0.0;
    const QString deviceText = TimeFrameDateText(v[0], v[1], v[2]) + QLatin1Char(' ') +
                               TimeFrameTimeText(v[3], v[4], v[5]);
    if (m_o.json) {
        OutJson(QJsonObject{
            {QStringLiteral("device_time"),
             device.isValid() ? QJsonValue(device.toString(Qt::ISODate)) : QJsonValue(deviceText)},
            {QStringLiteral("pc_time"), LocalIsoText(pc)},
            {QStringLiteral("offset_seconds"), calendarDay ? QJsonValue(offset) : QJsonValue()}});
        return kExitOk;
    }
    Out(QStringLiteral("装置时间：%1\n系统时间：%2\n").arg(deviceText, LocalIsoText(pc)));
    if (calendarDay) {
        Out(QStringLiteral("offset: %1 s\n").arg(offset, 0, 'f', 3));
    }
    return kExitOk;
}

int Ctl::ClockSync() {
    if (const int code = ResolveVariant()) {
        return code;
    }
    // What the device clock said before, for the journal: one try, and no answer stops nothing.
    QString before;
    {
        ::ClockRead read(m_link->Link());
        const ClockReadResult held =
            Await(read, &::ClockRead::Finished, [&read] { return read.Start(1); });
        if (held.exchange.outcome == ExchangeOutcome::Success) {
            const std::array<int, 6>& v = *held.values;
            before = journal::DeviceTimeText(v[0], v[1], v[2], v[3], v[4], v[5]);
        }
    }
    // The device keeps whole seconds: the frame goes out just as this computer's second begins.
    {
        QEventLoop loop;
        QTimer::singleShot(1000 - QTime::currentTime().msec(), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        loop.exec();
    }
    const DeviceTime now = DeviceTimeFrom(QDateTime::currentDateTime());
    if (!WritableYear(now.year)) {
        Error(settings::kWriteYearErrorText);
        return kExitFailure;
    }
    ::ClockSet set(m_link->Link(), &m_journal);
    set.SetJournalRequired(true);
    set.SetReadBack(true);
    const ClockSetResult result =
        Await(set, &::ClockSet::Finished, [&] { return set.Start(now, before); });
    if (result.notSent) {
        return JournalCode(kExitOk, true, result.journalError);
    }
    if (result.exchange.outcome != ExchangeOutcome::Success) {
        return JournalCode(Failed(result.exchange, comm::kConnectionFailedText), false,
                           result.journalError);
    }
    if (const int code = ClockReadCode(result.readBack.value_or(ClockReadResult{}))) {
        return JournalCode(code, false, result.journalError);
    }
    const QDateTime device = result.readBack->DeviceDateTime();
    const double offset = result.offsetSeconds.value_or(qInf());
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device_time"), device.toString(Qt::ISODate)},
                            {QStringLiteral("pc_time"), LocalIsoText(result.readBack->pcTime)},
                            {QStringLiteral("offset_seconds"),
                             result.offsetSeconds ? QJsonValue(offset) : QJsonValue()},
                            {QStringLiteral("verified"), result.Verified()}});
    } else {
        Out(QStringLiteral("offset after: %1 s\n").arg(offset, 0, 'f', 3));
    }
    return JournalCode(result.Verified() ? kExitOk : kExitMismatch, false, result.journalError);
}

// --- Records ----------------------------------------------------------------------------------

bool Ctl::OpenScratch(RecordStore& store) {
    if (!m_scratchDir.IsValid() ||
        !store.Connect(m_scratchDir.FilePath(QStringLiteral("scratch.mdb")))) {
        Error(records::kWorkingDatabaseConnectFailedText);
        return false;
    }
    return true;
}

int Ctl::WriteRecords(RecordStore& store, const QString& path, int variant) {
    return WriteRecordFile(
        store, path, variant, [this](const QString& text) { Info(text); },
        [this](const QString& text) { Error(text); });
}

int Ctl::LogRead() {
    if (const int code = ResolveVariant()) {
        return code;
    }
    RecordStore store;
    if (m_o.noStore ? !OpenScratch(store)
                    : !PrintingStoreErrors(store, store.ConnectWorking(m_variant))) {
        return kExitFile;
    }
    const LogReadResult result = ReadWholeLog(store);
    int code = kExitOk;
    if (!result.Complete()) {
        code = result.exchange.outcome == ExchangeOutcome::Success
                   ? Failed({ExchangeOutcome::BadReply, {}, {}, 0}, comm::kConnectionFailedText)
                   : Failed(result.exchange, comm::kConnectionFailedText);
        if (result.announced > 0) {
            Error(QStringLiteral("%1 of %2 records read").arg(result.stored).arg(result.announced));
        }
    } else if (result.announced > 0) {
        Info(records::kReadDoneText);
    } else {
        Info(records::kNoRecordsText);
    }
    // What was read is written also when the read broke off, but never over the file a whole
    // read would have written: beside it, with ".partial" before the suffix.
    int fileCode = kExitOk;
    QString output = m_o.output;
    if (!output.isEmpty()) {
        if (code != kExitOk) {
            output = PartialName(output);
        }
        fileCode = WriteRecords(store, output, m_variant);
        if (fileCode == kExitOk) {
            if (code != kExitOk) {
                Error(QStringLiteral("partial read: %1 records written to %2 (%3 left as it was)")
                          .arg(result.stored)
                          .arg(output, m_o.output));
            } else {
                Info(QStringLiteral("→ ") + output);
            }
        }
    }
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("announced"), std::max(0, result.announced)},
                            {QStringLiteral("read"), result.stored},
                            {QStringLiteral("complete"), code == kExitOk},
                            {QStringLiteral("starts"), result.starts},
                            {QStringLiteral("output"), output},
                            {QStringLiteral("stored_in_temp"), !m_o.noStore}});
    } else if (m_o.output.isEmpty()) {
        Out(QStringLiteral("%1\n").arg(result.stored));
    }
    return code != kExitOk ? code : fileCode;
}

LogReadResult Ctl::ReadWholeLog(RecordStore& store) {
    DeviceLink& link = m_link->Link();
    link.SetVariant(m_variant);
    comm::RetryPolicy policy = link.Policy();
    policy.logReadStarts = std::max(policy.logReadStarts, 1 + m_o.retries);
    link.SetPolicy(policy);
    TempTableSink sink(store, PrintStoreErrors);
    ::LogRead read(link, sink);
    const bool bar = m_o.verbosity > 0 && StderrIsTerminal();
    if (bar) {
        QObject::connect(&read, &::LogRead::Received, &read, [](int received, int announced) {
            Write(stderr, QLatin1Char('\r') + ProgressBarText(received, announced, kProgressCells));
        });
    }
    QObject::connect(&read, &::LogRead::Restarted, &read, [this](int start) {
        Info(QStringLiteral("read in doubt: started again (%1)").arg(start));
    });
    LogReadResult result;
    QEventLoop loop;
    QObject::connect(&read, &::LogRead::Finished, &loop, [&](const LogReadResult& r) {
        result = r;
        loop.quit();
    });
    if (read.Start()) {
        loop.exec();
    }
    if (bar) {
        Write(stderr, QStringLiteral("\n"));
    }
    return result;
}

int Ctl::LogClear() {
    if (!m_o.yes) {
        return Usage(QStringLiteral("log clear empties the device's log: add --yes"));
    }
    // A clear is shared by both variants, so a wrong variant would archive the wrong table:
    // it needs a variant given or confirmed by two identical identification replies.
    if (const int code = ResolveVariant()) {
        return code;
    }
    RecordStore store;
    if (!PrintingStoreErrors(store, store.ConnectWorking(m_variant))) {
        return kExitFile;
    }
    int read = -1;
    if (!m_o.noRead) {
        // The whole log first, verified; without it nothing is cleared.
        const LogReadResult result = ReadWholeLog(store);
        if (!result.Complete()) {
            const int code =
                result.exchange.outcome == ExchangeOutcome::Success
                    ? Failed({ExchangeOutcome::BadReply, {}, {}, 0}, comm::kConnectionFailedText)
                    : Failed(result.exchange, comm::kConnectionFailedText);
            Error(QStringLiteral("the log could not be read whole (%1 of %2 records): not cleared")
                      .arg(result.stored)
                      .arg(std::max(0, result.announced)));
            return code;
        }
        read = result.stored;
    }
    DeviceLink& link = m_link->Link();
    // A malformed confirmation is asked for again as often as in the record dialog.
    comm::RetryPolicy policy = link.Policy();
    policy.attempts = comm::kMaxAttempts;
    link.SetPolicy(policy);
    ArchiveResult archive;
    ::LogClear clear(link);
    LogClearResult result;
    QEventLoop loop;
    QObject::connect(&clear, &::LogClear::Finished, &loop, [&](const LogClearResult& r) {
        result = r;
        loop.quit();
    });
    // The copy is a complete file in the archive folder, and the journal entry committed,
    // before the clear goes out.
    int journalCode = kExitOk;
    clear.Start([&] {
        archive = ArchiveTemp(store, m_variant);
        PrintStoreErrors(archive.errors);
        if (!archive.ok) {
            return false;
        }
        journalCode = JournalBegin(
            journal::Identified(journal::LogClear(m_link->DeviceName(), m_variant, archive.path,
                                                  archive.records, ClearLogRequest(m_variant)),
                                m_link->Link()));
        return journalCode == kExitOk;
    });
    if (clear.Busy()) {
        loop.exec();
    }
    if (!archive.path.isEmpty()) {
        Info(QStringLiteral("→ ") + archive.path);
    }
    using records::LogClearEnd;
    if (result.end == LogClearEnd::NotKept) {
        if (journalCode != kExitOk) {
            return journalCode;  // no journal entry: nothing was sent
        }
        Error(QStringLiteral("the records could not be archived: not cleared"));
        return kExitFile;
    }
    if (result.end != LogClearEnd::Cleared) {
        const int code = JournalEnd(Failed(result.exchange, comm::kConnectionFailedText),
                                    journal::OutcomeOf(result.exchange), {},
                                    journal::OutcomeDetail(result.exchange));
        Error(result.end == LogClearEnd::NotConfirmed
                  ? QStringLiteral("the clear was sent but not confirmed: the device may or may "
                                   "not have cleared its log")
                  : QStringLiteral("not cleared"));
        if (!archive.path.isEmpty()) {
            Error(QStringLiteral("records kept in ") + archive.path);
        }
        return code;
    }
    // The device confirmed: whatever follows is reported, never as a failed clear (a journal
    // entry that cannot be completed is told on stderr).
    JournalEnd(kExitOk, journal::WriteOutcome::Confirmed, {}, {});
    PrintingStoreErrors(store, store.EmptyTable(records::kTempTable));
    Info(records::kClearedText);
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("cleared"), true},
                            {QStringLiteral("read"), read},
                            {QStringLiteral("archive"), archive.path},
                            {QStringLiteral("archived"), archive.records}});
    } else if (!archive.path.isEmpty()) {
        Out(archive.path + QLatin1Char('\n'));
    }
    return kExitOk;
}

int Ctl::Convert() {
    const QString in = m_o.words.at(1);
    const QString out = m_o.words.at(2);
    const RecordFileKind inKind = RecordFileKindOf(in);
    if (inKind != RecordFileKind::Text && inKind != RecordFileKind::Database) {
        return Usage(QStringLiteral("convert reads record databases and text record files"));
    }
    if (RecordFileKindOf(out) == RecordFileKind::Comtrade && m_o.variant == kVariantUnknown) {
        return Usage(QStringLiteral("COMTRADE output needs --variant: the signals differ"));
    }
    RecordStore store;
    if (!OpenScratch(store)) {
        return kExitFile;
    }
    // The file's records land in KPB650, as the dialog opens them; outputs are written from TEMP.
    // False with no error is a database whose KPB650 is empty.
    if (!PrintingStoreErrors(store, store.OpenRecords(in)) && !store.Errors().IsEmpty()) {
        return kExitFile;
    }
    if (!PrintingStoreErrors(store, store.CopyTable(records::kKpb650Table, records::kTempTable))) {
        return kExitFile;
    }
    const int count = PrintingStoreErrors(store, store.RowCount(records::kTempTable));
    if (count == 0 && inKind == RecordFileKind::Text) {
        // Not a record file at all (a binary file, lines of nothing but blanks or zero bytes):
        // an empty output would pass for a converted empty log.
        Error(in + QStringLiteral(": 文件中没有记录行，未写入 ") + out);
        return kExitFile;
    }
    if (const int code =
            WriteRecords(store, out, m_o.variant == kVariantB ? kVariantB : kVariantA)) {
        return code;
    }
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("records"), count}, {QStringLiteral("output"), out}});
    } else {
        Info(QStringLiteral("%1 → %2").arg(count).arg(out));
    }
    return kExitOk;
}

// --- Journal ----------------------------------------------------------------------------------

int Ctl::JournalBegin(const journal::PlannedWrite& write) {
    return JournalCode(kExitOk, true, m_journal.Begin(write));
}

int Ctl::JournalEnd(int code, journal::WriteOutcome outcome, const journal::Fields& after,
                    const QString& detail) {
    return JournalCode(code, false, m_journal.Complete(outcome, after, detail));
}

int Ctl::JournalCode(int code, bool notSent, const QString& error) {
    if (error.isEmpty()) {
        return code;
    }
    if (notSent) {
        Error(QStringLiteral("kp650ctl: the journal cannot be written (%1); nothing was sent. "
                             "--no-journal writes without it.")
                  .arg(error));
        return kExitJournal;
    }
    if (code != kExitOk) {
        return code;
    }
    Error(QStringLiteral("kp650ctl: the write went out, but its journal entry could not be "
                         "completed (%1)")
              .arg(error));
    return kExitJournal;
}

}  // namespace

int RunCtl(const CtlOptions& options) {
    Ctl ctl(options);
    return ctl.Run();
}

}  // namespace cli
