#include "link/device_exchange.h"

#include <QMetaObject>

#include <algorithm>

#include "link/hex_text.h"
#include "link/ms_comm.h"

QString ExchangeFailureText(const ExchangeResult& result, const QString& badReplyText) {
    switch (result.outcome) {
        case ExchangeOutcome::Success:
            return QString();
        case ExchangeOutcome::Refused:
            return comm::kCheckConnectionText;
        case ExchangeOutcome::PortError:
            return result.error;
        case ExchangeOutcome::BadReply:
            return badReplyText;
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::LineLost:
            break;
    }
    return comm::kConnectionFailedText;
}

DeviceExchange::DeviceExchange(CMSComm& comm, QObject* parent) : QObject(parent), m_comm(comm) {
    m_timeOut.setSingleShot(true);
    connect(&m_timeOut, &QTimer::timeout, this, &DeviceExchange::OnTimeOut);
    m_quiet.setSingleShot(true);
    m_quiet.setInterval(comm::kQuietMs);
    connect(&m_quiet, &QTimer::timeout, this, &DeviceExchange::OnQuiet);
    connect(&m_comm, &CMSComm::OnComm, this, &DeviceExchange::OnComm);
    connect(&m_comm, &CMSComm::LineLost, this, &DeviceExchange::OnLineLost);
    connect(&m_comm, &CMSComm::PortOpened, this, &DeviceExchange::OnPortOpened);
}

DeviceExchange::~DeviceExchange() = default;

bool DeviceExchange::OpenLine(CMSComm& comm, int portNumber, QString* error) {
    PrepareLine(comm, portNumber);
    if (comm.GetPortOpen() || !comm.SetPortOpen(true)) {
        if (error) {
            *error = comm.LastError();
        }
        return false;
    }
    SetUpOpenedLine(comm);
    return true;
}

void DeviceExchange::PrepareLine(CMSComm& comm, int portNumber) {
    if (comm.GetPortOpen()) {
        comm.SetPortOpen(false);
    }
    comm.SetCommPort(static_cast<short>(portNumber));
    comm.SetInBufferSize(1024);
}

void DeviceExchange::SetUpOpenedLine(CMSComm& comm) {
    comm.SetSettings(QStringLiteral("9600,n,8,1"));
    comm.SetRThreshold(1);
    comm.SetInputLen(0);
    // Whatever the line held before we opened it belongs to nobody's request, also what the
    // operating system queued before the open.
    comm.SetInBufferCount(0);
    comm.GetInput();
}

bool DeviceExchange::Start(ExchangeRequest request) {
    if (Busy()) {
        return false;
    }
    m_request = std::move(request);
    m_attempts = 0;
    m_busy = true;
    ++m_serial;
    emit BusyChanged(true);
    if (!m_comm.GetPortOpen()) {
        // A line lost earlier (adapter pulled and plugged in again) is opened anew here, without
        // holding the thread: a device server's connection takes a while, and the other lines
        // of a service go on meanwhile.
        PrepareLine(m_comm, m_portNumber);
        m_opening = true;
        m_comm.OpenPortAsync();
        return true;
    }
    Send();
    return true;
}

void DeviceExchange::OnPortOpened(bool ok) {
    if (!m_opening) {
        return;
    }
    m_opening = false;
    if (!m_busy) {
        return;  // cancelled meanwhile
    }
    if (ok) {
        SetUpOpenedLine(m_comm);
        Send();
        return;
    }
    // Reported from the loop, so that the caller's Start returns before its Finished.
    QMetaObject::invokeMethod(
        this,
        [this, error = m_comm.LastError(), serial = m_serial] {
            if (m_busy && m_serial == serial) {
                Finish(ExchangeOutcome::PortError, {}, error);
            }
        },
        Qt::QueuedConnection);
}

void DeviceExchange::Cancel() {
    if (!Busy()) {
        return;
    }
    m_timeOut.stop();
    m_quiet.stop();
    m_busy = false;
    m_opening = false;
    emit BusyChanged(false);
}

void DeviceExchange::Send() {
    m_burst.clear();  // first: the discard may find the line gone and end the request
    const quint64 serial = m_serial;
    m_stray += m_comm.DiscardInput();
    if (!m_busy || serial != m_serial) {
        return;  // ended meanwhile (the line went away)
    }
    m_comm.SetInputLen(0);
    m_quiet.stop();
    m_quiet.setInterval(m_request.quietMs);
    ++m_attempts;
    m_comm.SetOutputHeld(true);
    for (const QString& text : m_request.texts) {
        SendHexText(m_comm, text);
    }
    m_comm.SetOutputHeld(false);
    m_timeOut.start(m_request.timeOutMs);
}

void DeviceExchange::OnComm() {
    if (m_comm.GetCommEvent() != CMSComm::kEvReceive) {
        return;
    }
    const short n = m_comm.GetInBufferCount();
    m_comm.SetInputLen(n);
    const QByteArray bytes = m_comm.GetInput();
    if (!m_busy || bytes.isEmpty()) {
        m_stray += bytes.size();  // nobody asked: dropped, and counted
        return;
    }
    if (!m_burst.isEmpty()) {
        // Per byte of the piece: bytes that waited while this thread was busy elsewhere (or
        // that the line held back until a frame was whole) came at their own pace meanwhile.
        const qint64 gap = m_sinceBytes.nsecsElapsed() / std::max<qint64>(1, bytes.size());
        m_longestGapNs = std::max(m_longestGapNs, gap);
    }
    m_sinceBytes.start();  // the time-out counts from here (see OnTimeOut)
    m_burst += bytes;
    // Quiet decides only about a lone refusal byte and a burst of a whole reply or more; a timer
    // restarted for every other piece would cost each byte at 9600 baud its own restart.
    const ReplyShape& shape = m_request.shape;
    if (m_burst.size() >= shape.length ||
        (shape.refusal && m_burst.size() == 1 &&
         static_cast<unsigned char>(m_burst[0]) == comm::kRefusalByte)) {
        m_quiet.start();
    } else {
        m_quiet.stop();
    }
    // The rest of a reply wakes this once, not once a byte; what is over is seen byte by byte.
    const qsizetype missing = shape.length - m_burst.size();
    if (missing <= 1 || !m_comm.SetWakeThreshold(static_cast<int>(missing))) {
        m_comm.SetWakeThreshold(1);
    }
    Judge(false);
}

void DeviceExchange::OnQuiet() {
    if (m_busy && !TookLateBytes()) {
        Judge(true);
    }
}

bool DeviceExchange::TookLateBytes() {
    // A thread kept busy elsewhere (a fleet's archive commit) may see the quiet or the time-out
    // before bytes that came in time: they are taken first, as if seen when they came, which
    // starts both waits again.
    const quint64 serial = m_serial;
    const qsizetype before = m_burst.size();
    if (!m_comm.ReceiveWaiting()) {
        return false;
    }
    return !m_busy || serial != m_serial || m_burst.size() != before;
}

bool DeviceExchange::Acceptable(const QByteArray& reply) const {
    return reply.size() == m_request.shape.length && (!m_request.accept || m_request.accept(reply));
}

void DeviceExchange::Judge(bool lineQuiet) {
    const ReplyShape& shape = m_request.shape;
    if (m_burst.isEmpty()) {
        return;
    }
    if (shape.refusal && m_burst.size() == 1 &&
        static_cast<unsigned char>(m_burst[0]) == comm::kRefusalByte) {
        if (lineQuiet) {
            Finish(ExchangeOutcome::Refused);
        }
        return;  // a reply may start with 0x5A: only quiet tells
    }
    if (m_burst.size() < shape.length) {
        return;  // more to come, or the time-out tells
    }
    if (!shape.resendable) {
        if (!lineQuiet && !shape.judgeWhenQuiet && m_burst.size() == shape.length &&
            Acceptable(m_burst) && (!m_request.acceptAtOnce || m_request.acceptAtOnce(m_burst))) {
            Finish(ExchangeOutcome::Success, m_burst);
            return;
        }
        if (!lineQuiet) {
            return;  // judged once the line falls quiet
        }
        if (m_burst.size() == shape.length && Acceptable(m_burst)) {
            Finish(ExchangeOutcome::Success, m_burst);  // whole and alone: as the device sent it
            return;
        }
        // Noise before the reply: the device's reply is what it sent last, and it must also be
        // plausible, since nothing else tells where the noise ended.
        const QByteArray tail = m_burst.right(shape.length);
        if (shape.tailAfterNoise && Acceptable(tail) &&
            (!m_request.acceptAtOnce || m_request.acceptAtOnce(tail))) {
            Finish(ExchangeOutcome::Success, tail);
        } else {
            TryAgainOrFail();
        }
        return;
    }
    if (!lineQuiet) {
        return;  // judged once nothing more comes, so that an over-long reply is caught
    }
    if (Acceptable(m_burst)) {
        Finish(ExchangeOutcome::Success, m_burst);
    } else {
        TryAgainOrFail();
    }
}

void DeviceExchange::TryAgainOrFail() {
    if (m_request.shape.resendable && m_attempts < m_request.maxAttempts) {
        Send();  // the line is quiet by now
    } else {
        Finish(ExchangeOutcome::BadReply, m_burst);
    }
}

void DeviceExchange::OnTimeOut() {
    const quint64 serial = m_serial;
    if (!m_busy || (TookLateBytes() && (!m_busy || serial != m_serial))) {
        return;
    }
    if (!m_burst.isEmpty()) {
        // The time-out runs from the request or from the last bytes, whichever came later.
        const qint64 since = m_sinceBytes.elapsed();
        if (since < m_request.timeOutMs) {
            m_timeOut.start(static_cast<int>(m_request.timeOutMs - since));
            return;
        }
    }
    if (m_burst.isEmpty()) {
        Finish(ExchangeOutcome::TimedOut);
        return;
    }
    // Part of a reply and then a second of silence.
    m_quiet.stop();
    TryAgainOrFail();
}

void DeviceExchange::OnLineLost(const QString& error) {
    if (!m_busy) {
        emit NoAnswer(m_comm.DeviceName(), error);
        emit LineLostWhileIdle(error);
        return;
    }
    Finish(ExchangeOutcome::LineLost, m_burst, error);  // with what had come of the reply
}

void DeviceExchange::Finish(ExchangeOutcome outcome, const QByteArray& reply,
                            const QString& error) {
    if (!m_busy) {
        return;  // cancelled meanwhile
    }
    m_timeOut.stop();
    m_quiet.stop();
    m_busy = false;
    ExchangeResult result;
    result.outcome = outcome;
    result.reply = reply;
    result.error = error;
    result.attempts = m_attempts;
    result.strayBytes = m_stray;
    m_stray = 0;
    const QString device = m_comm.DeviceName();
    switch (outcome) {
        case ExchangeOutcome::Success:
        case ExchangeOutcome::Refused:
            emit Answered(device);
            break;
        case ExchangeOutcome::BadReply:
        case ExchangeOutcome::TimedOut:
        case ExchangeOutcome::LineLost:
        case ExchangeOutcome::PortError:
            emit NoAnswer(device, error);
            break;
    }
    emit BusyChanged(false);
    emit Finished(result);
}
