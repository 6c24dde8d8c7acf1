#include "records/log_read.h"

#include "link/device_link.h"
#include "records/record_log.h"

namespace {
// More frames than a log holds: a device in an earlier read that never reaches its end.
constexpr int kMaxDrainFrames = 300;
}  // namespace

QString LogReadFailureText(const LogReadResult& result) {
    QString text = ExchangeFailureText(result.exchange);
    if (text.isEmpty()) {
        text = comm::kConnectionFailedText;
    }
    if (result.announced > 0) {
        text += QStringLiteral("\n已读取%1条记录，装置内共%2条。")
                    .arg(result.stored)
                    .arg(result.announced);
    }
    return text;
}

LogRead::LogRead(DeviceLink& link, LogSink& sink, QObject* parent)
    : QObject(parent), m_link(link), m_sink(sink) {
    connect(&m_link.Exchange(), &DeviceExchange::Finished, this, &LogRead::OnExchangeFinished);
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &LogRead::BeginStart);
}

LogRead::~LogRead() {
    Cancel();
}

bool LogRead::Start() {
    if (m_busy || m_link.Exchange().Busy()) {
        return false;
    }
    m_busy = true;
    m_starts = 0;
    m_heard = false;
    m_careful = false;
    BeginStart();
    return true;
}

void LogRead::Cancel() {
    if (!m_busy) {
        return;
    }
    m_busy = false;
    m_phase = Phase::Idle;
    m_pause.stop();
    m_link.Exchange().Cancel();
    m_sink.Rollback();
}

void LogRead::BeginStart() {
    ++m_starts;
    m_announced = -1;
    m_received = 0;
    m_reported = 0;
    m_drained = 0;
    if (m_starts > 1) {
        emit Restarted(m_starts);
    }
    m_sink.Begin();
    m_link.Exchange().ForgetReplyGaps();
    m_committed = 0;
    m_phase = Phase::Count;
    Request(true);
}

void LogRead::Request(bool first) {
    ExchangeRequest request = m_phase == Phase::Draining
                                  ? LogDrainRequest(m_link.Variant())
                                  : LogFrameRequest(m_link.Variant(), first, m_careful);
    request.timeOutMs = m_link.Policy().timeOutMs;
    if (!m_careful && m_phase != Phase::Draining && m_received >= records::kRecordsBeforeGapsTell) {
        request.quietMs = records::LogEndQuietMs(m_link.Exchange().LongestReplyGapNs());
    }
    if (!m_link.Exchange().Start(std::move(request))) {
        // Another request holds the line (not reached: the read owns it while it runs).
        ExchangeResult busy;
        busy.outcome = ExchangeOutcome::BadReply;
        Finish(records::LogReadEnd::Failed, busy);
    }
}

void LogRead::OnExchangeFinished(const ExchangeResult& result) {
    // Another conversation's request; or its report still going round after a handler of it
    // started this read.
    if (!m_busy || m_phase == Phase::Idle || m_link.Exchange().Busy()) {
        return;
    }
    if (result.outcome == ExchangeOutcome::Success) {
        m_heard = true;
        HandleFrame(result);
        return;
    }
    const int variant = m_link.Variant();
    const QByteArray last = result.reply.right(LogReplyLength(variant));
    if (result.outcome == ExchangeOutcome::BadReply && m_phase == Phase::Count &&
        last.size() == LogReplyLength(variant) &&
        ClassifyLogReply(last, variant, false) == records::LogFrame::Record && m_drained == 0) {
        // A record where the count belongs: the device is still in an earlier read (a receiver
        // takes the read request as its acknowledge). Taken to that read's end, then begun anew.
        m_heard = true;
        m_phase = Phase::Draining;
        m_drained = 1;
        Request(false);
        return;
    }
    if (result.outcome == ExchangeOutcome::BadReply && m_phase == Phase::Draining) {
        // Noise while taking the earlier read to its end: only the end matters; ask again.
        if (++m_drained > kMaxDrainFrames) {
            Doubt(result, true);
        } else {
            Request(false);
        }
        return;
    }
    switch (result.outcome) {
        case ExchangeOutcome::Refused:
            // A lone 0x5A on a quiet line is no frame's last bytes (those end in 0x58, 0x59 or
            // 0x78): every byte before it is accounted for, so the records received are kept.
            if (result.strayBytes == 0 && m_phase == Phase::Records && m_sink.Commit()) {
                m_committed = m_received;
            }
            Finish(records::LogReadEnd::Failed, result);
            return;
        case ExchangeOutcome::PortError:
            // A port that opened for this read and will not open again after a lost line (an
            // adapter being plugged in again) gets the line's time to come back.
            if (!m_heard) {
                Finish(records::LogReadEnd::Failed, result);
                return;
            }
            Doubt(result, false);
            return;
        case ExchangeOutcome::BadReply:
            m_heard = true;
            Doubt(result, true);
            return;
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::LineLost:
            // Silence (or a line gone) right after the last frame with nothing half-received:
            // every byte of this start is accounted for, so the records received are the
            // device's. They are kept unless a further start replaces them.
            if (result.reply.isEmpty() && result.strayBytes == 0 && m_phase == Phase::Records &&
                m_sink.Commit()) {
                m_committed = m_received;
            }
            Doubt(result, false);
            return;
        case ExchangeOutcome::Success:
            break;
    }
}

void LogRead::HandleFrame(const ExchangeResult& result) {
    const int variant = m_link.Variant();
    const QByteArray data = LogFrameData(result.reply, variant);
    const bool first = m_phase == Phase::Count;
    // Bytes nobody asked for since the first request: the read is in doubt (the bytes waiting
    // before the first request belong to no one and are only thrown away).
    if (!first && result.strayBytes > 0 && m_phase != Phase::Draining) {
        Doubt(result, true);
        return;
    }
    const records::LogFrame frame = ClassifyLogReply(result.reply, variant, first);
    if (m_phase == Phase::Draining) {
        if (ClassifyLogReply(result.reply, variant, true) == records::LogFrame::Count) {
            // The device took the acknowledge as a new read's request: this is its count.
            // It was judged from the end of a burst once the line was quiet, as a careful read
            // judges every frame: the read goes on that way.
            m_phase = Phase::Count;
            m_careful = true;
            HandleFrame(result);
            return;
        }
        if (frame == records::LogFrame::End) {
            // The earlier read is over: the device answers the next request with a count. Not
            // a start of its own.
            --m_starts;
            BeginStart();
        } else if (++m_drained > kMaxDrainFrames) {
            Doubt(result, true);
        } else {
            Request(false);
        }
        return;
    }
    switch (frame) {
        case records::LogFrame::Count:
            m_announced = CountFromFrame(data);
            if (m_announced == 0) {
                m_sink.Commit();
                Finish(records::LogReadEnd::Empty, result);
                return;
            }
            m_phase = Phase::Records;
            emit Announced(m_announced);
            Request(false);
            return;
        case records::LogFrame::Record: {
            if (m_received >= m_announced) {
                Doubt(result, true);  // a record after the count
                return;
            }
            ++m_received;
            // Stored (a row of the open batch) before the next record is asked for; the
            // progress is told while that request travels. A line that answers within the
            // request (a test's) may end the read meanwhile, having told it already.
            m_sink.Add(RecordFromLogBytes(data, variant));
            const int start = m_starts;
            Request(false);
            if (m_busy && start == m_starts && m_phase == Phase::Records) {
                ReportProgress();
            }
            return;
        }
        case records::LogFrame::End:
            if (m_received != m_announced) {
                Doubt(result, true);  // the end before the count
                return;
            }
            ReportProgress();
            m_sink.Commit();
            Finish(records::LogReadEnd::Complete, result);
            return;
        case records::LogFrame::Malformed:
            Doubt(result, true);  // not reached: judged by the exchange
            return;
    }
}

void LogRead::ReportProgress() {
    while (m_reported < m_received) {
        emit Received(++m_reported, m_announced);
    }
}

void LogRead::Doubt(const ExchangeResult& result, bool doubt) {
    m_link.Exchange().Cancel();
    m_sink.Rollback();
    // Noise: up to logReadStarts starts. Silence or a lost line: as many as the policy sends
    // after silence (the dialogs report the first at once; the tool goes again).
    const comm::RetryPolicy& policy = m_link.Policy();
    const bool again = m_starts < (doubt ? policy.logReadStarts : policy.silenceAttempts) &&
                       result.outcome != ExchangeOutcome::Refused;
    if (!again) {
        Finish(records::LogReadEnd::Failed, result, doubt);
        return;
    }
    m_phase = Phase::Idle;
    // After noise, the next start judges each frame once the line is quiet.
    m_careful = m_careful || doubt;
    if (result.outcome == ExchangeOutcome::LineLost ||
        result.outcome == ExchangeOutcome::PortError) {
        m_pause.start(m_link.Policy().lineBackMs);
    } else {
        m_pause.start(0);  // from the loop: never inside the exchange's own report
    }
}

void LogRead::Finish(records::LogReadEnd end, const ExchangeResult& result, bool doubt) {
    m_busy = false;
    m_phase = Phase::Idle;
    m_pause.stop();
    if (end == records::LogReadEnd::Failed) {
        m_sink.Rollback();  // what was not verified goes; a committed part stays
    }
    LogReadResult r;
    r.end = end;
    r.announced = m_announced;
    r.stored = end == records::LogReadEnd::Failed ? m_committed : m_received;
    r.starts = m_starts;
    r.exchange = result;
    r.doubt = doubt;
    emit Finished(r);
}
