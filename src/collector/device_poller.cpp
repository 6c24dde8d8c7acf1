#include "collector/device_poller.h"

#include "journal/journal_report.h"
#include "link/hex_text.h"
#include "link/port_names.h"
#include "records/record_log.h"
#include "settings/parameter_codec.h"
#include "settings/parameter_file.h"
#include "settings/time_frame.h"

namespace collector {

namespace {

// The event code of a record, from its event text (the log frame's code byte is not kept in a
// record); -1 for a text no code of the variant gives.
int CodeOfEvent(const QString& event, int variant) {
    for (int code = 0; code < 256; ++code) {
        if (EventText(code, variant) == event) {
            return code;
        }
    }
    return -1;
}

}  // namespace

bool DevicePoller::RecordSink::Begin() {
    m_records.clear();
    m_verified = 0;
    return true;
}

bool DevicePoller::RecordSink::Add(const EventRecord& record) {
    m_records.push_back(record);
    return true;
}

bool DevicePoller::RecordSink::Commit() {
    m_verified = m_records.size();
    return true;
}

void DevicePoller::RecordSink::Rollback() {
    m_records.resize(m_verified);
}

std::vector<EventRecord> DevicePoller::RecordSink::Verified() const {
    return {m_records.begin(), m_records.begin() + static_cast<std::ptrdiff_t>(m_verified)};
}

QString ResultName(PollOutcome::Result result) {
    switch (result) {
        case PollOutcome::Result::Ok:
            return QStringLiteral("ok");
        case PollOutcome::Result::PortError:
            return QStringLiteral("port error");
        case PollOutcome::Result::Silent:
            return QStringLiteral("silent");
        case PollOutcome::Result::Refused:
            return QStringLiteral("refused");
        case PollOutcome::Result::BadReply:
            return QStringLiteral("bad reply");
        case PollOutcome::Result::LineLost:
            return QStringLiteral("line lost");
        case PollOutcome::Result::Stopped:
            return QStringLiteral("stopped");
    }
    return {};
}

DevicePoller::DevicePoller(int portNumber, const QString& deviceName, int variant,
                           std::optional<int> clockSyncMs, QObject* parent)
    : QObject(parent), m_givenVariant(variant), m_clockSyncMs(clockSyncMs) {
    SetPortDeviceOverride(portNumber, deviceName);
    m_link.SetPortNumber(portNumber);
    connect(&m_link.Exchange(), &DeviceExchange::Finished, this, &DevicePoller::OnFinished);
    connect(&m_logRead, &LogRead::Finished, this, &DevicePoller::OnLogRead);
}

DevicePoller::~DevicePoller() {
    m_journal.Complete(journal::WriteOutcome::Unknown, {},
                       QStringLiteral("the collector ended before the reply"));
    m_logRead.Cancel();
    m_link.Release();
}

bool DevicePoller::Poll() {
    if (Busy()) {
        return false;
    }
    m_outcome = PollOutcome();
    m_outcome.started = QDateTime::currentDateTimeUtc();
    m_outcome.variant = m_givenVariant;
    m_stopping = false;
    m_identifyRetried = false;
    m_clockBefore.clear();
    Begin(Step::Identify);
    return true;
}

bool DevicePoller::Clear(const QString& keptFile, int keptRecords) {
    if (Busy() || m_outcome.variant < 0) {
        return false;
    }
    m_keptFile = keptFile;
    m_keptRecords = keptRecords;
    Begin(Step::Clear);
    return true;
}

void DevicePoller::Stop() {
    m_stopping = true;
}

void DevicePoller::Begin(Step step) {
    m_step = step;
    ExchangeRequest request;
    const int variant = m_outcome.variant;
    switch (step) {
        case Step::Identify:
            // Without a given variant the request expects a transmitter's reply; a receiver's
            // exact reply then comes back as a bad one and tells the variant by its shape.
            request = IdentityRequest(variant < 0 ? 0 : variant);
            if (variant < 0) {
                request.maxAttempts = 1;
            }
            break;
        case Step::ClockRead:
            request = ClockReadRequest();
            break;
        case Step::ClockSet: {
            const DeviceTime now = DeviceTimeFrom(QDateTime::currentDateTime());
            request = ClockWriteRequest(BuildTimeFrame(now));
            JournalBegin(
                journal::ClockSet(m_link.DeviceName(), variant, now, m_clockBefore, request));
            break;
        }
        case Step::Parameters:
            request = ParameterReadRequest(ParameterCodecOf(variant));
            break;
        case Step::Log:
            m_link.SetVariant(variant);
            m_logRead.Start();
            return;
        case Step::Clear:
            request = ClearLogRequest(variant);
            JournalBegin(journal::LogClear(m_link.DeviceName(), variant, m_keptFile, m_keptRecords,
                                           request));
            break;
        case Step::Idle:
            return;
    }
    m_link.Exchange().Start(request);
}

void DevicePoller::OnFinished(const ExchangeResult& result) {
    const Step step = m_step;
    // The log read's own exchanges; and the log read's last one, still being handed round after
    // the log read's end started the clear (the exchange is busy again then).
    if (step == Step::Log || step == Step::Idle || m_link.Exchange().Busy()) {
        return;
    }
    if (step == Step::ClockSet || step == Step::Clear) {
        const QString journalled = m_journal.Complete(result);
        if (!journalled.isEmpty()) {
            emit JournalFailed(journalled);
        }
    }
    if (step == Step::Clear) {
        m_step = Step::Idle;
        m_link.Release();
        const bool ok = result.outcome == ExchangeOutcome::Success &&
                        ClearReplyConfirms(result.reply, m_outcome.variant);
        emit ClearFinished(ok, ok ? QString() : ExchangeFailureText(result));
        return;
    }
    // The first request of a poll goes once more after a time-out: opening the many lines of a
    // fleet keeps this thread busy, and its reply may have come while nobody looked.
    if (step == Step::Identify && result.outcome == ExchangeOutcome::TimedOut &&
        !m_identifyRetried && !m_stopping) {
        m_identifyRetried = true;
        return Begin(Step::Identify);
    }
    if (step == Step::Identify && m_outcome.variant < 0 &&
        result.outcome == ExchangeOutcome::BadReply && VariantOfIdentityReply(result.reply) == 1 &&
        IdentityFromReply(result.reply, 1)) {
        m_outcome.variant = 1;
        m_outcome.identity = IdentityFromReply(result.reply, 1);
    } else if (step == Step::Parameters && result.outcome != ExchangeOutcome::Success &&
               !m_stopping) {
        // The parameters are a side issue of a poll: the log is read all the same.
        return Begin(Step::Log);
    } else if (result.outcome != ExchangeOutcome::Success) {
        // A broken-off log read keeps what it read; a clock set the device did not take is no
        // reason to lose the log.
        switch (result.outcome) {
            case ExchangeOutcome::PortError:
                return End(PollOutcome::Result::PortError, result.error);
            case ExchangeOutcome::Refused:
                return End(PollOutcome::Result::Refused, ExchangeFailureText(result));
            case ExchangeOutcome::BadReply:
                return End(PollOutcome::Result::BadReply, ExchangeFailureText(result));
            case ExchangeOutcome::LineLost:
                return End(PollOutcome::Result::LineLost, result.error);
            case ExchangeOutcome::TimedOut:
            case ExchangeOutcome::Success:
                return End(PollOutcome::Result::Silent, ExchangeFailureText(result));
        }
    } else if (step == Step::Identify) {
        if (m_outcome.variant < 0) {
            m_outcome.variant = 0;
        }
        m_outcome.identity = IdentityFromReply(result.reply, m_outcome.variant);
    }
    if (m_stopping) {
        return End(PollOutcome::Result::Stopped, QStringLiteral("stopped"));
    }
    switch (step) {
        case Step::Identify:
            return Begin(Step::ClockRead);
        case Step::ClockRead: {
            const auto values = ClockReplyValues(result.reply);
            const QDateTime device(QDate(2000 + (*values)[0], (*values)[1], (*values)[2]),
                                   QTime((*values)[3], (*values)[4], (*values)[5]));
            m_clockBefore = journal::DeviceTimeText((*values)[0], (*values)[1], (*values)[2],
                                                    (*values)[3], (*values)[4], (*values)[5]);
            if (device.isValid()) {
                // The device shows whole seconds: its time lies within the second shown.
                m_outcome.clockOffsetMs =
                    device.toMSecsSinceEpoch() + 500 - QDateTime::currentMSecsSinceEpoch();
            }
            const bool off = !m_outcome.clockOffsetMs ||
                             std::llabs(*m_outcome.clockOffsetMs) > m_clockSyncMs.value_or(0);
            return Begin(m_clockSyncMs && off ? Step::ClockSet : Step::Parameters);
        }
        case Step::ClockSet:
            m_outcome.clockSet = true;
            return Begin(Step::Parameters);
        case Step::Parameters:
            m_outcome.parameters = BytesToHexText(
                ParameterReplyFrame(ParameterCodecOf(m_outcome.variant), result.reply));
            return Begin(Step::Log);
        case Step::Log:
        case Step::Clear:
        case Step::Idle:
            break;
    }
}

void DevicePoller::OnLogRead(const LogReadResult& result) {
    m_outcome.records = m_sink.Verified();
    m_outcome.codes.clear();
    for (const EventRecord& record : m_outcome.records) {
        m_outcome.codes.push_back(CodeOfEvent(record.event, m_outcome.variant));
    }
    m_outcome.complete = result.Complete();
    if (m_outcome.complete) {
        return End(PollOutcome::Result::Ok);
    }
    const ExchangeResult& exchange = result.exchange;
    switch (result.doubt ? ExchangeOutcome::BadReply : exchange.outcome) {
        case ExchangeOutcome::PortError:
            return End(PollOutcome::Result::PortError, exchange.error);
        case ExchangeOutcome::Refused:
            return End(PollOutcome::Result::Refused, ExchangeFailureText(exchange));
        case ExchangeOutcome::BadReply:
            return End(PollOutcome::Result::BadReply, LogReadFailureText(result));
        case ExchangeOutcome::LineLost:
            return End(PollOutcome::Result::LineLost, exchange.error);
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::Success:
            return End(result.end == records::LogReadEnd::Cancelled ? PollOutcome::Result::Stopped
                                                                    : PollOutcome::Result::Silent,
                       LogReadFailureText(result));
    }
}

void DevicePoller::JournalBegin(const journal::PlannedWrite& write) {
    m_journal.SetIdentification(
        m_outcome.identity ? journal::IdentificationText(*m_outcome.identity) : QString());
    const QString error = m_journal.Begin(write);
    if (!error.isEmpty()) {
        emit JournalFailed(error);
    }
}

void DevicePoller::End(PollOutcome::Result result, const QString& error) {
    m_step = Step::Idle;
    m_link.Release();
    m_outcome.result = result;
    m_outcome.error = error;
    m_outcome.finished = QDateTime::currentDateTimeUtc();
    emit Polled(m_outcome);
}

}  // namespace collector
