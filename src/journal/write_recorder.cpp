#include "journal/write_recorder.h"

#include <QByteArray>

#include "journal/journal_report.h"
#include "link/device_link.h"
#include "link/hex_text.h"
#include "settings/parameter_file.h"
#include "settings/time_frame.h"

namespace journal {

WriteOutcome OutcomeOf(const ExchangeResult& result) {
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            return WriteOutcome::Confirmed;
        case ExchangeOutcome::Refused:
            return WriteOutcome::Refused;
        case ExchangeOutcome::PortError:
            return WriteOutcome::Failed;
        case ExchangeOutcome::BadReply:
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::LineLost:
            break;
    }
    return WriteOutcome::Unknown;
}

QString OutcomeDetail(const ExchangeResult& result) {
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            return {};
        case ExchangeOutcome::Refused:
            return QStringLiteral("refused by the device");
        case ExchangeOutcome::PortError:
            return QStringLiteral("port not opened, nothing sent: ") + result.error;
        case ExchangeOutcome::BadReply:
            return QStringLiteral("malformed reply");
        case ExchangeOutcome::TimedOut:
            return QStringLiteral("no reply");
        case ExchangeOutcome::LineLost:
            return QStringLiteral("line lost: ") + result.error;
    }
    return {};
}

QString RequestBytesText(const ExchangeRequest& request) {
    QByteArray bytes;
    for (const QString& text : request.texts) {
        QByteArray part;
        HexTextToBytes(QString(text).remove(QLatin1Char(' ')), part);
        bytes += part;
    }
    return BytesToHexText(bytes).trimmed();
}

Fields ParameterSetFields(const ParameterSet& set) {
    Fields fields;
    const std::vector<ParameterField>& names = ParameterFields(set.variant);
    for (std::size_t i = 0; i < names.size(); ++i) {
        fields.emplace_back(names[i].name, FieldValueText(set, i));
    }
    return fields;
}

QString DeviceTimeText(int year, int month, int day, int hour, int minute, int second) {
    return TimeFrameDateText(year, month, day) + QLatin1Char(' ') +
           TimeFrameTimeText(hour, minute, second);
}

namespace {

PlannedWrite Planned(WriteKind kind, const QString& port, int variant,
                     const ExchangeRequest& request) {
    PlannedWrite write;
    write.kind = kind;
    write.port = port;
    write.device = DeviceKey(variant, port);
    write.sentBytes = RequestBytesText(request);
    return write;
}

}  // namespace

PlannedWrite ParameterWrite(const QString& port, const ParameterSet& sent,
                            const std::optional<ParameterSet>& before,
                            const ExchangeRequest& request) {
    PlannedWrite write = Planned(WriteKind::ParameterWrite, port, sent.variant, request);
    write.sent = ParameterSetFields(sent);
    if (before) {
        write.before = ParameterSetFields(*before);
    }
    return write;
}

PlannedWrite ClockSet(const QString& port, int variant, const DeviceTime& sent,
                      const QString& before, const ExchangeRequest& request) {
    PlannedWrite write = Planned(WriteKind::ClockSet, port, variant, request);
    const QString name = QStringLiteral("device_time");
    write.sent = {{name, DeviceTimeText(sent.year, sent.month, sent.day, sent.hour, sent.minute,
                                        sent.second)}};
    if (!before.isEmpty()) {
        write.before = {{name, before}};
    }
    return write;
}

PlannedWrite LogClear(const QString& port, int variant, const QString& archiveFile,
                      int archivedRecords, const ExchangeRequest& request) {
    PlannedWrite write = Planned(WriteKind::LogClear, port, variant, request);
    write.sent = {{QStringLiteral("log"), QStringLiteral("cleared")},
                  {QStringLiteral("archived_records"), QString::number(archivedRecords)}};
    write.archiveFile = archiveFile;
    return write;
}

PlannedWrite Identified(PlannedWrite write, const DeviceLink& link) {
    if (const std::optional<DeviceIdentity> identity = link.Identification()) {
        write.identification = IdentificationText(*identity);
    }
    return write;
}

WriteRecorder::WriteRecorder(const QString& program) : m_origin(CurrentOrigin(program)) {}

QString WriteRecorder::EnsureOpen() {
    const QString path = m_path.isEmpty() ? DefaultJournalPath() : m_path;
    if (m_journal.IsOpen() && m_journal.Path() == path) {
        return {};
    }
    return m_journal.Open(path);
}

QString WriteRecorder::Begin(PlannedWrite write) {
    m_pending = 0;
    if (!m_enabled) {
        return {};
    }
    QString error = EnsureOpen();
    if (error.isEmpty()) {
        m_pending = m_journal.Begin(write, m_origin, &error);
    }
    return Told(error);
}

QString WriteRecorder::Complete(WriteOutcome outcome, const Fields& after, const QString& detail) {
    const qint64 id = m_pending;
    m_pending = 0;
    if (id == 0) {
        return {};
    }
    return Told(m_journal.Complete(id, outcome, after, detail));
}

QString WriteRecorder::Complete(const ExchangeResult& result, const Fields& after) {
    return Complete(OutcomeOf(result), after, OutcomeDetail(result));
}

QString WriteRecorder::KeepParameterSet(const QString& port, const ParameterSet& set,
                                        const QString& source) {
    if (!m_enabled) {
        return {};
    }
    QString error = EnsureOpen();
    if (error.isEmpty()) {
        m_journal.KeepParameterSet(DeviceKey(set.variant, port), set.variant, set.frame, source,
                                   m_origin, &error);
    }
    return Told(error);
}

QString WriteRecorder::Told(const QString& error) {
    if (!error.isEmpty() && m_notice && !m_noticeGiven) {
        m_noticeGiven = true;
        m_notice(kNotJournalledText.arg(error));
    }
    return error;
}

}  // namespace journal
