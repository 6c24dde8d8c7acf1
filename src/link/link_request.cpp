#include "link/link_request.h"

#include <algorithm>

#include "link/device_link.h"
#include "link/exchange_outcomes.h"
#include "link/hex_text.h"

LinkRequest::LinkRequest(DeviceLink& link, QObject* parent) : QObject(parent), m_link(link) {
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &LinkRequest::Send);
    connect(&m_link.Exchange(), &DeviceExchange::Finished, this, &LinkRequest::OnExchangeFinished);
}

bool LinkRequest::Start(ExchangeRequest request, int tries) {
    if (m_busy || m_link.Exchange().Busy()) {
        return false;
    }
    const comm::RetryPolicy& policy = m_link.Policy();
    request.timeOutMs = policy.timeOutMs;
    request.maxAttempts = tries > 0 ? tries : policy.attempts;
    m_limit = tries > 0 ? tries : std::max(1, policy.silenceAttempts);
    m_request = std::move(request);
    m_sent = 0;
    m_busy = true;
    Send();
    return true;
}

void LinkRequest::Cancel() {
    if (!m_busy) {
        return;
    }
    m_busy = false;
    m_pause.stop();
    m_link.Exchange().Cancel();
}

void LinkRequest::Send() {
    m_link.Trace(QStringLiteral("-> ") + m_request.texts.join(QLatin1Char(' ')).simplified());
    m_link.Exchange().Start(m_request);
}

void LinkRequest::OnExchangeFinished(const ExchangeResult& exchange) {
    // Another conversation's request; or a report still going round after a handler of it
    // already started the next request (ours among them).
    if (!m_busy || m_link.Exchange().Busy()) {
        return;
    }
    ExchangeResult result = exchange;
    m_link.Trace(QStringLiteral("<- %1 %2")
                     .arg(QString::fromLatin1(comm::RowOf(result.outcome).name),
                          BytesToHexText(result.reply).trimmed()));
    m_sent += std::max(1, result.attempts);
    const bool again = result.outcome == ExchangeOutcome::TimedOut ||
                       result.outcome == ExchangeOutcome::LineLost ||
                       result.outcome == ExchangeOutcome::PortError;
    if (again && m_sent < m_limit) {
        if (result.outcome == ExchangeOutcome::TimedOut) {
            Send();
        } else {
            m_pause.start(m_link.Policy().lineBackMs);
        }
        return;
    }
    m_busy = false;
    result.attempts = m_sent;
    emit Finished(result);
}
