#include "records/log_clear.h"

#include "link/device_link.h"
#include "records/record_log.h"

LogClear::LogClear(DeviceLink& link, QObject* parent) : QObject(parent), m_link(link) {
    connect(&m_link.Exchange(), &DeviceExchange::Finished, this, &LogClear::OnExchangeFinished);
}

bool LogClear::Start(const std::function<bool()>& keep) {
    if (m_busy || m_link.Exchange().Busy()) {
        return false;
    }
    if (keep && !keep()) {
        LogClearResult result;
        result.end = records::LogClearEnd::NotKept;
        emit Finished(result);
        return true;
    }
    m_busy = true;
    m_sends = 0;
    Send();
    return true;
}

void LogClear::Cancel() {
    if (m_busy) {
        m_busy = false;
        m_link.Exchange().Cancel();
    }
}

void LogClear::Send() {
    ++m_sends;
    ExchangeRequest request = ClearLogRequest(m_link.Variant());
    request.timeOutMs = m_link.Policy().timeOutMs;
    request.maxAttempts = m_link.Policy().attempts;
    m_link.Exchange().Start(std::move(request));
}

void LogClear::OnExchangeFinished(const ExchangeResult& result) {
    if (!m_busy || m_link.Exchange().Busy()) {
        return;  // another conversation's request (see LinkRequest)
    }
    using records::LogClearEnd;
    LogClearEnd end = LogClearEnd::NotConfirmed;
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            end = LogClearEnd::Cleared;
            break;
        case ExchangeOutcome::Refused:
        case ExchangeOutcome::PortError:
            // Not carried out, or never sent; an earlier send of this clear may have been.
            end = m_sends > 1 ? LogClearEnd::NotConfirmed : LogClearEnd::Failed;
            break;
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::LineLost:
            if (m_sends < m_link.Policy().silenceAttempts) {
                Send();  // a clear may go again
                return;
            }
            break;
        case ExchangeOutcome::BadReply:
            break;
    }
    m_busy = false;
    LogClearResult r;
    r.end = end;
    r.exchange = result;
    emit Finished(r);
}
