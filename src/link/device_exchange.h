#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>

#include "link/exchange.h"

class CMSComm;

namespace comm {

// Every request waits this long for the line to say anything, and no more than this between two
// bytes of a reply.
inline constexpr int kReplyTimeOutMs = 1000;
// How often a request whose reply was malformed is sent in all. A clean line never needs a second
// try; noise that spoils five replies in a row means a line that should not be trusted with
// settings, and five tries keep a dead-end under half a second on an answering device.
inline constexpr int kMaxAttempts = 5;
// The line counts as quiet after this long without a byte: well above the pauses a reply may
// hold (USB adapters hand bytes over every 16 ms; the simulator's split replies pause up to
// 40 ms), yet short beside a person's patience.
inline constexpr int kQuietMs = 50;

inline constexpr unsigned char kEndByte = 0x58;
inline constexpr unsigned char kRefusalByte = 0x5A;

}  // namespace comm

// What a reply must look like to be judged at all. The protocol has no checksum, so the shape
// and the values are all there is to tell a reply from line noise.
struct ReplyShape {
    int length = 0;  // bytes of the whole reply: leading byte, data, trailer or type byte
    // A lone 0x5A followed by quiet, where the reply would start, is the device refusing.
    bool refusal = true;
    // Acknowledges of a log read ask for the next record, so they cannot be sent again: their
    // replies are taken from the end of a burst when noise came before them. Everything else
    // must arrive alone and exactly: then a quiet line is awaited before it counts, so that an
    // over-long reply is caught.
    bool resendable = true;
    // For replies that cannot be asked for again: whether a burst longer than the reply, judged
    // once the line is quiet, may still give its last `length` bytes as the reply. A caller
    // that cannot tell noise from a shifted reply turns this off and gets BadReply instead.
    bool tailAfterNoise = true;
    // For replies that cannot be asked for again: never taken before the line fell quiet.
    bool judgeWhenQuiet = false;
};

// One request: the hex texts sent back to back (each byte its own write, as every request is
// sent), the shape of its reply and the check of its values.
struct ExchangeRequest {
    QStringList texts;  // e.g. {"46 46", "58"} or {"41 46", frame, "58"}
    ReplyShape shape;
    // Whether a reply of the right length holds possible values (trailer, type byte, echo, value
    // ranges). Empty: any reply of the right length.
    std::function<bool(const QByteArray& reply)> accept;
    // For replies that cannot be asked for again: one that also passes this is taken as soon as
    // it is whole; otherwise the line must fall quiet first, to see whether noise came before it.
    // A reply taken from the end of a noisy burst must pass it too.
    std::function<bool(const QByteArray& reply)> acceptAtOnce;
    int timeOutMs = comm::kReplyTimeOutMs;
    int maxAttempts = comm::kMaxAttempts;  // tries in all for a resendable request
    int quietMs = comm::kQuietMs;          // how long without a byte counts as quiet
};

// How an exchange ended.
enum class ExchangeOutcome {
    Success,   // a reply of the right shape and values: ExchangeResult::reply
    Refused,   // a lone refusal byte
    BadReply,  // every try brought a malformed reply (or one that could not be tried again)
    TimedOut,  // no byte for the time-out
    LineLost,  // the port went away; it is closed and the next request opens it again
    PortError  // the port could not be opened: ExchangeResult::error
};

struct ExchangeResult {
    ExchangeOutcome outcome = ExchangeOutcome::TimedOut;
    // The judged reply on success; the last one gathered on BadReply; what had come of it on
    // LineLost.
    QByteArray reply;
    QString error;     // the serial facility's text for LineLost and PortError
    int attempts = 0;  // requests sent
    // Bytes nobody asked for: what arrived after the previous request had ended and what was
    // still waiting in the port when this one went out (thrown away unread).
    qint64 strayBytes = 0;
};

// What the operator is told when an exchange did not succeed: the refusal text for a refusal,
// the serial facility's text for a port that would not open, `badReplyText` for malformed
// replies, the connection text for silence and a lost line. Empty for a success.
QString ExchangeFailureText(const ExchangeResult& result,
                            const QString& badReplyText = comm::kConnectionFailedText);

// One dialog's (or the command-line tool's) conversation with the device over its own serial
// control, one request at a time. Widget-free.
//
// A request starts aligned: what was gathered and what waits in the port is thrown away first,
// and a repetition waits for the line to fall quiet. The reply is gathered by its exact shape and
// checked by the caller's rule; a malformed reply is sent again up to comm::kMaxAttempts times.
// Every request ends, in exactly one Finished, with one of the outcomes above.
class DeviceExchange : public QObject {
    Q_OBJECT
public:
    DeviceExchange(CMSComm& comm, QObject* parent = nullptr);
    ~DeviceExchange() override;

    // The port number to (re)open when a request finds the port closed.
    void SetPortNumber(int port) { m_portNumber = port; }

    // False (and nothing sent) while another request is under way.
    bool Start(ExchangeRequest request);
    // Ends the request under way without a Finished (the dialog closes).
    void Cancel();
    bool Busy() const { return m_busy; }
    // The longest pause per byte seen between two pieces of one reply since ForgetReplyGaps: how
    // the line delivers (a byte time on a plain port, a latency timer's tick behind some
    // adapters), whatever kept this thread busy meanwhile.
    qint64 LongestReplyGapNs() const { return m_longestGapNs; }
    void ForgetReplyGaps() { m_longestGapNs = 0; }

    // Opens the port as every device dialog does (stale bytes dropped, the operating system's
    // queue included); false with the facility's text in `error`. The one open sequence: the
    // dialogs' OpenPort and DeviceLink::Open use it.
    static bool OpenLine(CMSComm& comm, int portNumber, QString* error);
    // Its steps before and after the port opens, for an open that does not wait.
    static void PrepareLine(CMSComm& comm, int portNumber);
    static void SetUpOpenedLine(CMSComm& comm);

Q_SIGNALS:
    void Finished(const ExchangeResult& result);
    // Each request that ends says whether the device on `device` answered it (a well-formed
    // reply or a refusal) or not (time-out, lost line, bad replies, port error).
    void Answered(const QString& device);
    void NoAnswer(const QString& device, const QString& reason);
    void BusyChanged(bool busy);
    // The line went away while no request was under way.
    void LineLostWhileIdle(const QString& error);

private:
    void Send();
    void OnComm();
    void OnQuiet();
    void OnTimeOut();
    // Bytes the line held unreported were taken (and the exchange went on or ended with them).
    bool TookLateBytes();
    void OnLineLost(const QString& error);
    void OnPortOpened(bool ok);
    void Judge(bool lineQuiet);
    bool Acceptable(const QByteArray& reply) const;
    void TryAgainOrFail();
    void Finish(ExchangeOutcome outcome, const QByteArray& reply = {}, const QString& error = {});

    CMSComm& m_comm;
    int m_portNumber = 1;
    ExchangeRequest m_request;
    bool m_busy = false;
    bool m_opening = false;  // the request waits for the port to open
    quint64 m_serial = 0;    // which request a queued report belongs to
    QByteArray m_burst;      // every byte since the request went out
    int m_attempts = 0;
    qint64 m_stray = 0;          // bytes nobody asked for since the last request ended
    QTimer m_timeOut;            // no byte for the request's time-out
    QTimer m_quiet;              // the line has fallen quiet
    QElapsedTimer m_sinceBytes;  // since the last bytes of the reply came
    qint64 m_longestGapNs = 0;
};
