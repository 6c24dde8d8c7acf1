#include "settings/parameter_conversation.h"

#include <QDateTime>

#include "journal/write_recorder.h"
#include "link/device_link.h"
#include "settings/parameter_codec.h"

ParameterRead::ParameterRead(DeviceLink& link, journal::WriteRecorder* history, QObject* parent)
    : QObject(parent), m_link(link), m_history(history), m_request(link) {
    connect(&m_request, &LinkRequest::Finished, this, &ParameterRead::OnFinished);
}

bool ParameterRead::Start(int tries) {
    return m_request.Start(ParameterReadRequest(ParameterCodecOf(m_link.Variant())), tries);
}

void ParameterRead::OnFinished(const ExchangeResult& exchange) {
    ParameterReadResult result;
    result.exchange = exchange;
    if (exchange.outcome == ExchangeOutcome::Success) {
        const int variant = m_link.Variant();
        result.read = ParameterSetFromFrame(
            variant, ParameterReplyFrame(ParameterCodecOf(variant), exchange.reply));
        if (result.read.Ok()) {
            result.read.set.provenance.readAt = QDateTime::currentDateTime();
            if (m_history) {
                result.historyError = m_history->KeepParameterSet(
                    m_link.DeviceName(), result.read.set, QStringLiteral("read"));
            }
        }
    }
    emit Finished(result);
}

ParameterCompare::ParameterCompare(DeviceLink& link, journal::WriteRecorder* history,
                                   QObject* parent)
    : QObject(parent), m_read(link, history) {
    connect(&m_read, &ParameterRead::Finished, this, &ParameterCompare::OnRead);
}

bool ParameterCompare::Start(const ParameterSet& other) {
    m_other = other;
    return m_read.Start();
}

void ParameterCompare::OnRead(const ParameterReadResult& read) {
    ParameterCompareResult result;
    result.device = read;
    if (read.Ok()) {
        result.differences = CompareParameterSets(read.read.set, m_other);
    }
    emit Finished(result);
}

ParameterWrite::ParameterWrite(DeviceLink& link, journal::WriteRecorder* journal, QObject* parent)
    : QObject(parent), m_link(link), m_journal(journal), m_request(link), m_compare(link, journal) {
    connect(&m_request, &LinkRequest::Finished, this, &ParameterWrite::OnWritten);
    connect(&m_compare, &ParameterCompare::Finished, this, &ParameterWrite::OnReadBack);
}

bool ParameterWrite::Start(const ParameterSet& set, const std::optional<ParameterSet>& before) {
    if (Busy() || m_link.Exchange().Busy()) {
        return false;
    }
    m_result = ParameterWriteResult();
    m_writing = set;
    const ExchangeRequest request =
        ParameterWriteRequest(ParameterCodecOf(m_link.Variant()), set.frame);
    if (m_journal) {
        m_result.journalError = m_journal->Begin(journal::Identified(
            journal::ParameterWrite(m_link.DeviceName(), set, before, request), m_link));
        if (!m_result.journalError.isEmpty() && m_journalRequired) {
            m_result.notSent = true;
            emit Finished(m_result);
            return true;
        }
    }
    return m_request.Start(request);
}

void ParameterWrite::Cancel() {
    m_request.Cancel();
    m_compare.Cancel();
}

void ParameterWrite::OnWritten(const ExchangeResult& exchange) {
    m_result.exchange = exchange;
    const bool confirmed = exchange.outcome == ExchangeOutcome::Success;
    if (!confirmed || !m_readBack) {
        if (m_journal) {
            journal::Fields echoed;
            if (confirmed) {
                // The device confirms a write by echoing the frame: what it took.
                const int variant = m_link.Variant();
                const ParameterSetResult echo = ParameterSetFromFrame(
                    variant, ParameterReplyFrame(ParameterCodecOf(variant), exchange.reply));
                if (echo.Ok()) {
                    echoed = journal::ParameterSetFields(echo.set);
                }
            }
            m_result.journalError += m_journal->Complete(exchange, echoed);
        }
    }
    if (confirmed && m_journal) {
        m_result.historyError =
            m_journal->KeepParameterSet(m_link.DeviceName(), m_writing, QStringLiteral("write"));
    }
    if (confirmed && m_readBack && m_compare.Start(m_writing)) {
        return;
    }
    emit Finished(m_result);
}

void ParameterWrite::OnReadBack(const ParameterCompareResult& readBack) {
    m_result.readBack = readBack;
    if (readBack.device.historyError.size()) {
        m_result.historyError = readBack.device.historyError;
    }
    if (m_journal) {
        if (!readBack.device.Ok()) {
            // Confirmed by its echo; only the read-back is missing.
            m_result.journalError += m_journal->Complete(journal::WriteOutcome::Confirmed, {},
                                                         QStringLiteral("read back failed"));
        } else {
            const journal::Fields readFields =
                journal::ParameterSetFields(readBack.device.read.set);
            m_result.journalError +=
                readBack.differences.empty()
                    ? m_journal->Complete(journal::WriteOutcome::Confirmed, readFields)
                    : m_journal->Complete(journal::WriteOutcome::Failed, readFields,
                                          QStringLiteral("the device holds something else"));
        }
    }
    emit Finished(m_result);
}
