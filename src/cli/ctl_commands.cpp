#include "cli/ctl_commands.h"

#include <QByteArray>
#include <QDateTime>
#include <QEventLoop>
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
#include "cli/ctl_link.h"
#include "cli/ctl_output.h"
#include "cli/ctl_params_diff.h"
#include "cli/ctl_record_files.h"
#include "common/globals.h"
#include "common/program_version.h"
#include "common/staging_dir.h"
#include "link/exchange.h"
#include "link/hex_text.h"
#include "link/identity.h"
#include "link/port_names.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/event_record.h"
#include "records/record_archive.h"
#include "records/record_log.h"
#include "records/record_store.h"
#include "settings/parameter_file.h"
#include "settings/time_frame.h"

namespace cli {

namespace {

constexpr int kProgressCells = 30;
// A clock set from this computer that reads back further off than this was not set.
constexpr double kClockToleranceSeconds = 2.0;

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
    explicit Ctl(const CtlOptions& options) : m_o(options) {}

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
    int ReadParameters(ParameterSet* set);
    int ClockRead();
    int ClockSync();
    int ReadClock(QDateTime* device, QDateTime* pc, std::array<int, 6>* values);
    int LogRead();
    int LogClear();
    int Convert();
    int WriteRecords(RecordStore& store, const QString& path, int variant);
    bool OpenScratch(RecordStore& store);

    const CtlOptions& m_o;
    std::unique_ptr<CtlLink> m_link;
    int m_variant = kVariantUnknown;
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
    m_link = std::make_unique<CtlLink>(m_o.timeOutMs, m_o.retries);
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
        return kExitOk;
    }
    const VariantProbe probe = DetectVariant(*m_link, 1 + m_o.retries);
    if (probe.variant == kVariantUnknown) {
        return Failed(probe.result, comm::kIdentityErrorText);
    }
    m_variant = probe.variant;
    Info(QStringLiteral("detected ") + DeviceModelName(m_variant));
    return kExitOk;
}

int Ctl::Failed(const ExchangeResult& result, const QString& badReplyText) {
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            return kExitOk;
        case ExchangeOutcome::Refused:
            Error(comm::kCheckConnectionText);
            return kExitRefused;
        case ExchangeOutcome::BadReply:
            Error(badReplyText);
            return kExitBadReply;
        case ExchangeOutcome::TimedOut:
            Error(comm::kConnectionFailedText);
            return kExitNoReply;
        case ExchangeOutcome::LineLost:
            Error(comm::kConnectionFailedText + QStringLiteral(" (") + result.error +
                  QLatin1Char(')'));
            return kExitNoReply;
        case ExchangeOutcome::PortError:
            // The facility's text names the device most of the time.
            Error(result.error.contains(m_link->DeviceName())
                      ? result.error
                      : m_link->DeviceName() + QStringLiteral(": ") + result.error);
            return kExitNoPort;
    }
    return kExitFailure;
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
    const ExchangeResult result = m_link->Run(IdentityRequest(m_variant));
    if (result.outcome != ExchangeOutcome::Success) {
        const QString other = OtherVariantReplyText(result.reply, m_variant);
        return Failed(result, other.isEmpty() ? comm::kIdentityErrorText : other);
    }
    const DeviceIdentity id = *IdentityFromReply(result.reply, m_variant);
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

int Ctl::ReadParameters(ParameterSet* set) {
    const ParameterCodec& codec = ParameterCodecOf(m_variant);
    const ExchangeResult result = m_link->Run(ParameterReadRequest(codec));
    if (result.outcome != ExchangeOutcome::Success) {
        return Failed(result, comm::kConnectionFailedText);
    }
    const QString data = ParameterReplyText(codec, result.reply);
    ParameterSetResult read =
        ParameterSetFromFrame(m_variant, QByteArray::fromHex(data.toLatin1()));
    if (!read.Ok()) {
        Error(read.error);
        return kExitBadReply;
    }
    *set = read.set;
    set->provenance.readAt = QDateTime::currentDateTime();
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
    if (!file.isEmpty()) {
        const ParameterSetResult read = ReadParameterSetFile(file, m_variant);
        if (!read.Ok()) {
            Error(file + QStringLiteral(": ") + read.error);
            return kExitFile;
        }
        wanted = read.set;
    } else {
        // Fields not named keep what the device holds.
        ParameterSet held;
        if (const int code = ReadParameters(&held)) {
            return code;
        }
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

    const ParameterCodec& codec = ParameterCodecOf(m_variant);
    const ExchangeResult result =
        m_link->Run(ParameterWriteRequest(codec, BytesToHexText(wanted.frame)));
    if (result.outcome != ExchangeOutcome::Success) {
        return Failed(result, comm::kConnectionFailedText);
    }
    ParameterSet held;
    if (const int code = ReadParameters(&held)) {
        return code;
    }
    const std::vector<FieldDifference> differences = CompareParameterSets(wanted, held);
    QJsonArray jsonDifferences;
    for (const FieldDifference& d : differences) {
        jsonDifferences.append(QJsonObject{{QStringLiteral("name"), d.name},
                                           {QStringLiteral("written"), d.a},
                                           {QStringLiteral("read_back"), d.b}});
        Error(QStringLiteral("%1 (%2): %3 → %4").arg(d.caption, d.name, d.a, d.b));
    }
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("frame"), BytesToHexText(wanted.frame).trimmed()},
                            {QStringLiteral("verified"), differences.empty()},
                            {QStringLiteral("differences"), jsonDifferences}});
    }
    if (!differences.empty()) {
        return kExitMismatch;
    }
    Info(settings::kWriteDoneText);
    return kExitOk;
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

int Ctl::ReadClock(QDateTime* device, QDateTime* pc, std::array<int, 6>* values) {
    const ExchangeResult result = m_link->Run(ClockReadRequest());
    *pc = QDateTime::currentDateTime();
    if (result.outcome == ExchangeOutcome::BadReply) {
        if (const auto v = ClockReplyValues(result.reply)) {
            if (const auto bad = FirstBadTimeField(*v)) {
                Error(TimeFieldErrorText(*bad));
                return kExitBadReply;
            }
        }
    }
    if (result.outcome != ExchangeOutcome::Success) {
        return Failed(result, comm::kConnectionFailedText);
    }
    *values = *ClockReplyValues(result.reply);
    const std::array<int, 6>& v = *values;
    // A day the calendar does not have (31 April) reads, but gives no offset.
    *device = QDateTime(QDate(2000 + v[0], v[1], v[2]), QTime(v[3], v[4], v[5]));
    return kExitOk;
}

int Ctl::ClockRead() {
    if (const int code = ResolveVariant()) {
        return code;
    }
    QDateTime device;
    QDateTime pc;
    std::array<int, 6> v{};
    if (const int code = ReadClock(&device, &pc, &v)) {
        return code;
    }
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
    const ExchangeResult result = m_link->Run(ClockWriteRequest(BuildTimeFrame(now)));
    if (result.outcome != ExchangeOutcome::Success) {
        return Failed(result, comm::kConnectionFailedText);
    }
    QDateTime device;
    QDateTime pc;
    std::array<int, 6> v{};
    if (const int code = ReadClock(&device, &pc, &v)) {
        return code;
    }
    const double offset = device.isValid() ? pc.msecsTo(device) / 1000.0 : qInf();
    const bool set = std::fabs(offset) <= kClockToleranceSeconds;
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device_time"), device.toString(Qt::ISODate)},
                            {QStringLiteral("pc_time"), LocalIsoText(pc)},
                            {QStringLiteral("offset_seconds"),
                             device.isValid() ? QJsonValue(offset) : QJsonValue()},
                            {QStringLiteral("verified"), set}});
    } else {
        Out(QStringLiteral("offset after: %1 s\n").arg(offset, 0, 'f', 3));
    }
    return set ? kExitOk : kExitMismatch;
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
    PrintingStoreErrors(store, store.EmptyTable(records::kTempTable));
    const bool bar = m_o.verbosity > 0 && StderrIsTerminal();
    int announced = 0;
    int read = 0;
    int code = kExitOk;
    bool first = true;
    for (;;) {
        // Only the opening request may go again: it starts the read afresh. An acknowledge
        // asks for the next record, so sending it twice would skip one.
        const ExchangeResult result = m_link->Run(LogFrameRequest(m_variant, first), first ? 0 : 1);
        if (result.outcome != ExchangeOutcome::Success) {
            code = Failed(result, comm::kConnectionFailedText);
            break;
        }
        const records::LogFrame frame = ClassifyLogReply(result.reply, m_variant, first);
        const QByteArray data = LogFrameData(result.reply, m_variant);
        first = false;
        if (frame == records::LogFrame::Count) {
            announced = CountFromFrame(data);
            if (announced == 0) {
                Info(records::kNoRecordsText);
                break;
            }
        } else if (frame == records::LogFrame::Record) {
            // Stored (and committed) before the next one is asked for.
            PrintingStoreErrors(
                store, store.Append(records::kTempTable, RecordFromLogBytes(data, m_variant)));
            ++read;
        } else {
            break;  // the end of the log
        }
        if (bar) {
            Write(stderr, QLatin1Char('\r') + ProgressBarText(read, announced, kProgressCells));
        }
    }
    if (bar) {
        Write(stderr, QStringLiteral("\n"));
    }
    if (code == kExitOk && announced > 0) {
        Info(records::kReadDoneText);
    }
    // What was read is written also when the read broke off.
    int fileCode = kExitOk;
    if (!m_o.output.isEmpty()) {
        fileCode = WriteRecords(store, m_o.output, m_variant);
        if (fileCode == kExitOk) {
            Info(QStringLiteral("→ ") + m_o.output);
        }
    }
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("announced"), announced},
                            {QStringLiteral("read"), read},
                            {QStringLiteral("complete"), code == kExitOk},
                            {QStringLiteral("output"), m_o.output},
                            {QStringLiteral("stored_in_temp"), !m_o.noStore}});
    } else if (m_o.output.isEmpty()) {
        Out(QStringLiteral("%1\n").arg(read));
    }
    return code != kExitOk ? code : fileCode;
}

int Ctl::LogClear() {
    if (!m_o.yes) {
        return Usage(QStringLiteral("log clear empties the device's log: add --yes"));
    }
    if (const int code = ResolveVariant()) {
        return code;
    }
    RecordStore store;
    if (!PrintingStoreErrors(store, store.ConnectWorking(m_variant))) {
        return kExitFile;
    }
    const ArchiveResult archive = ArchiveTemp(store, m_variant);
    PrintStoreErrors(archive.errors);
    if (!archive.ok) {
        return kExitFile;  // nothing cleared without the copy
    }
    if (!archive.path.isEmpty()) {
        Info(QStringLiteral("→ ") + archive.path);
    }
    const ExchangeResult result = m_link->Run(ClearLogRequest(m_variant));
    if (result.outcome != ExchangeOutcome::Success) {
        return Failed(result, comm::kConnectionFailedText);
    }
    PrintingStoreErrors(store, store.EmptyTable(records::kTempTable));
    Info(records::kClearedText);
    if (m_o.json) {
        OutJson(QJsonObject{{QStringLiteral("device"), DeviceModelName(m_variant)},
                            {QStringLiteral("cleared"), true},
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

}  // namespace

int RunCtl(const CtlOptions& options) {
    Ctl ctl(options);
    return ctl.Run();
}

}  // namespace cli
