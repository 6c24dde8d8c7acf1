#include "collector/device_poller.h"

#include "journal/write_recorder.h"
#include "link/hex_text.h"
#include "link/port_names.h"
#include "records/record_log.h"

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
    m_link.Comm().SetInlineReceive(true);  // nothing here opens a nested event loop
    connect(&m_identify, &IdentityRead::Finished, this, &DevicePoller::OnIdentified);
    connect(&m_clockRead, &ClockRead::Finished, this, &DevicePoller::OnClockRead);
    connect(&m_clockSet, &ClockSet::Finished, this, &DevicePoller::OnClockSet);
    connect(&m_parameters, &ParameterRead::Finished, this, &DevicePoller::OnParameters);
    connect(&m_link.Exchange(), &DeviceExchange::Finished, this, &DevicePoller::OnCleared);
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
    const int variant = m_outcome.variant;
    if (variant >= 0) {
        m_link.SetVariant(variant);
    }
    switch (step) {
        case Step::Identify:
            // Without a given variant the request expects a transmitter's reply; a receiver's
            // exact reply then tells the variant by its shape.
            variant < 0 ? m_identify.StartDetect() : m_identify.Start();
            return;
        case Step::ClockRead:
            m_clockRead.Start();
            return;
        case Step::ClockSet:
            m_clockSet.Start(DeviceTimeFrom(QDateTime::currentDateTime()), m_clockBefore);
            return;
        case Step::Parameters:
            m_parameters.Start();
            return;
        case Step::Log:
            m_logRead.Start();
            return;
        case Step::Clear: {
            const ExchangeRequest request = ClearLogRequest(variant);
            JournalBegin(journal::LogClear(m_link.DeviceName(), variant, m_keptFile, m_keptRecords,
                                           request));
            m_link.Exchange().Start(request);
            return;
        }
        case Step::Idle:
            return;
    }
}

void DevicePoller::Next(Step step) {
    if (m_stopping) {
        return End(PollOutcome::Result::Stopped, QStringLiteral("stopped"));
    }
    Begin(step);
}

bool DevicePoller::Failed(const ExchangeResult& result) {
    // A broken-off log read keeps what it read; a clock set the device did not take is no
    // reason to lose the log.
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            return false;
        case ExchangeOutcome::PortError:
            End(PollOutcome::Result::PortError, result.error);
            break;
        case ExchangeOutcome::Refused:
            End(PollOutcome::Result::Refused, ExchangeFailureText(result));
            break;
        case ExchangeOutcome::BadReply:
            End(PollOutcome::Result::BadReply, ExchangeFailureText(result));
            break;
        case ExchangeOutcome::LineLost:
            End(PollOutcome::Result::LineLost, result.error);
            break;
        case ExchangeOutcome::TimedOut:
            End(PollOutcome::Result::Silent, ExchangeFailureText(result));
            break;
    }
    return true;
}

void DevicePoller::OnIdentified(const IdentityReadResult& result) {
    if (result.identity) {
        m_outcome.variant = result.variant;
        m_outcome.identity = result.identity;
        m_link.SetIdentification(*result.identity);
        return Next(Step::ClockRead);
    }
    // The first request of a poll goes once more after a time-out: opening the many lines of a
    // fleet keeps this thread busy, and its reply may have come while nobody looked.
    if (result.exchange.outcome == ExchangeOutcome::TimedOut && !m_identifyRetried && !m_stopping) {
        m_identifyRetried = true;
        return Begin(Step::Identify);
    }
    Failed(result.exchange);
}

void DevicePoller::OnClockRead(const ClockReadResult& result) {
    if (Failed(result.exchange)) {
        return;
    }
    const std::array<int, 6>& v = *result.values;
    m_clockBefore = journal::DeviceTimeText(v[0], v[1], v[2], v[3], v[4], v[5]);
    if (const QDateTime device = result.DeviceDateTime(); device.isValid()) {
        // The device shows whole seconds: its time lies within the second shown.
        m_outcome.clockOffsetMs =
            device.toMSecsSinceEpoch() + 500 - result.pcTime.toMSecsSinceEpoch();
    }
    const bool off = !m_outcome.clockOffsetMs ||
                     std::llabs(*m_outcome.clockOffsetMs) > m_clockSyncMs.value_or(0);
    Next(m_clockSyncMs && off ? Step::ClockSet : Step::Parameters);
}

void DevicePoller::OnClockSet(const ClockSetResult& result) {
    if (!result.journalError.isEmpty()) {
        emit JournalFailed(result.journalError);
    }
    if (Failed(result.exchange)) {
        return;
    }
    m_outcome.clockSet = true;
    Next(Step::Parameters);
}

void DevicePoller::OnParameters(const ParameterReadResult& result) {
    // The parameters are a side issue of a poll: the log is read all the same.
    if (result.exchange.outcome != ExchangeOutcome::Success && !m_stopping) {
        return Begin(Step::Log);
    }
    if (Failed(result.exchange)) {
        return;
    }
    if (result.read.Ok()) {
        m_outcome.parameters = BytesToHexText(result.read.set.frame);
    }
    Next(Step::Log);
}

void DevicePoller::OnCleared(const ExchangeResult& result) {
    if (m_step != Step::Clear || m_link.Exchange().Busy()) {
        return;  // the conversations' own exchanges (the clear may start from their report)
    }
    if (const QString journalled = m_journal.Complete(result); !journalled.isEmpty()) {
        emit JournalFailed(journalled);
    }
    m_step = Step::Idle;
    m_link.Release();
    const bool ok = result.outcome == ExchangeOutcome::Success &&
                    ClearReplyConfirms(result.reply, m_outcome.variant);
    emit ClearFinished(ok, ok ? QString() : ExchangeFailureText(result));
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
    const QString error = m_journal.Begin(journal::Identified(write, m_link));
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
