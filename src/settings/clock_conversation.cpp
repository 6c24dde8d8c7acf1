#include "settings/clock_conversation.h"

#include "journal/write_recorder.h"
#include "link/device_link.h"

QDateTime ClockReadResult::DeviceDateTime() const {
    if (exchange.outcome != ExchangeOutcome::Success || !values) {
        return {};
    }
    const std::array<int, 6>& v = *values;
    return QDateTime(QDate(2000 + v[0], v[1], v[2]), QTime(v[3], v[4], v[5]));
}

ClockRead::ClockRead(DeviceLink& link, QObject* parent) : QObject(parent), m_request(link) {
    connect(&m_request, &LinkRequest::Finished, this, &ClockRead::OnFinished);
}

bool ClockRead::Start(int tries) {
    return m_request.Start(ClockReadRequest(), tries);
}

void ClockRead::OnFinished(const ExchangeResult& exchange) {
    ClockReadResult result;
    result.exchange = exchange;
    result.pcTime = QDateTime::currentDateTime();
    if (exchange.outcome == ExchangeOutcome::Success ||
        exchange.outcome == ExchangeOutcome::BadReply) {
        result.values = ClockReplyValues(exchange.reply);
        if (result.values) {
            result.badField = FirstBadTimeField(*result.values);
        }
    }
    emit Finished(result);
}

ClockSet::ClockSet(DeviceLink& link, journal::WriteRecorder* journal, QObject* parent)
    : QObject(parent), m_link(link), m_journal(journal), m_request(link), m_read(link) {
    connect(&m_request, &LinkRequest::Finished, this, &ClockSet::OnWritten);
    connect(&m_read, &ClockRead::Finished, this, &ClockSet::OnReadBack);
}

bool ClockSet::Start(const DeviceTime& time, const QString& before) {
    if (Busy() || m_link.Exchange().Busy()) {
        return false;
    }
    m_result = ClockSetResult();
    const ExchangeRequest request = ClockWriteRequest(BuildTimeFrame(time));
    if (m_journal) {
        m_result.journalError = m_journal->Begin(journal::Identified(
            journal::ClockSet(m_link.DeviceName(), m_link.Variant(), time, before, request),
            m_link));
        if (!m_result.journalError.isEmpty() && m_journalRequired) {
            m_result.notSent = true;
            emit Finished(m_result);
            return true;
        }
    }
    return m_request.Start(request);
}

void ClockSet::Cancel() {
    m_request.Cancel();
    m_read.Cancel();
}

void ClockSet::OnWritten(const ExchangeResult& exchange) {
    m_result.exchange = exchange;
    if (exchange.outcome != ExchangeOutcome::Success || !m_readBack) {
        if (m_journal) {
            m_result.journalError += m_journal->Complete(exchange);
        }
        return Finish();
    }
    if (!m_read.Start()) {
        OnReadBack(ClockReadResult{});
    }
}

void ClockSet::OnReadBack(const ClockReadResult& read) {
    m_result.readBack = read;
    const QDateTime device = read.DeviceDateTime();
    if (device.isValid()) {
        m_result.offsetSeconds = read.pcTime.msecsTo(device) / 1000.0;
    }
    if (m_journal) {
        if (read.exchange.outcome != ExchangeOutcome::Success) {
            // Confirmed by the device; only the read-back is missing.
            m_result.journalError += m_journal->Complete(journal::WriteOutcome::Confirmed, {},
                                                         QStringLiteral("read back failed"));
        } else {
            const std::array<int, 6>& v = *read.values;
            const journal::Fields after{
                {QStringLiteral("device_time"),
                 journal::DeviceTimeText(v[0], v[1], v[2], v[3], v[4], v[5])}};
            m_result.journalError +=
                m_result.Verified()
                    ? m_journal->Complete(journal::WriteOutcome::Confirmed, after)
                    : m_journal->Complete(journal::WriteOutcome::Failed, after,
                                          QStringLiteral("the device clock reads %1 s off")
                                              .arg(m_result.offsetSeconds.value_or(qInf())));
        }
    }
    Finish();
}

void ClockSet::Finish() {
    emit Finished(m_result);
}
