#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class CMSComm;

namespace comm {

inline const QString kEndByteText = QStringLiteral("58");
inline const QString kRefusalText = QStringLiteral("5A ");
inline const QString kGoodTrailerText = QStringLiteral("58 ");
inline const QString kConnectionFailedText =
    QStringLiteral("连接失败！请检查连线、串口选择及装置电源！");
inline const QString kCheckConnectionText = QStringLiteral("请检查装置与维护软件连接是否正确!");

}  // namespace comm

// One dialog's side of a conversation with the device. Each dialog owns its own instance.
struct ExchangeState {
    QString pending;  // command whose reply is awaited; empty when idle
    QString endByte = comm::kEndByteText;
    QString frame;       // data frame of the last write, "%02X " per byte
    QString buffer;      // reply data gathered so far, "%02X " per byte
    QString leading;     // byte set aside at the start of a reply
    QString trailer;     // byte that followed the reply data
    QString refusal;     // "5A " after a lone refusal byte
    bool scale = false;  // next DecimalToHexText produces a tuning word

    // What a dialog does when it opens: idle, end byte "58", no scale.
    void Open() {
        pending.clear();
        endByte = comm::kEndByteText;
        scale = false;
    }
    bool Idle() const { return pending.isEmpty(); }
    // Forgets everything gathered of a reply: the buffer and all three holders.
    void DropReply() {
        buffer.clear();
        leading.clear();
        trailer.clear();
        refusal.clear();
    }
    // Bytes held in the receive buffer.
    int BufferedBytes() const { return static_cast<int>(buffer.size() / 3); }
};

// How one dialog gathers its replies.
struct GatherRules {
    // Set the first byte of a reply aside (it is never examined).
    bool leadingByte = false;
    // A lone 0x5A in one receive event is a refusal.
    bool refusalWhenAlone = false;
    // While this command is pending every byte goes to the trailer holder (the record dialog's
    // clear request, whose reply has no data).
    QString trailerOnlyCommand;
    // Replies may be split anywhere across receive events (a line at 9600 baud often hands
    // over one byte at a time). When set, a leading byte set aside by an earlier event is kept
    // while the buffer is still empty (the dialog drops it with ExchangeState::DropReply once it
    // has judged the reply or before it sends), and a lone 0x5A is a refusal only where a reply
    // would start, never in the middle of one.
    bool splitReplies = false;
    // Reply data length in bytes for the pending command; bytes past it go to the trailer holder.
    std::function<int(const QString& pending)> dataLength;
};

// What one receive event left behind.
struct GatherResult {
    int received = 0;       // bytes in this event
    bool refused = false;   // lone refusal byte (only when the rules recognise it)
    bool complete = false;  // the trailer holder holds a byte: the reply can be judged
};

// Gathers one receive event's bytes into the exchange state by the rules. It does not stop
// timers or act on the reply: the dialog does, from the result.
class ReplyGatherer {
public:
    explicit ReplyGatherer(GatherRules rules = {}) : m_rules(std::move(rules)) {}

    GatherRules& Rules() { return m_rules; }
    const GatherRules& Rules() const { return m_rules; }

    // Reads the event's bytes from the control (InBufferCount, InputLen, one Input read) when
    // CommEvent is 2, then gathers them.
    GatherResult OnComm(CMSComm& comm, ExchangeState& state) const;
    // The same on bytes already read (pure); `dataEvent` false stands for another kind of event.
    GatherResult Gather(ExchangeState& state, const QByteArray& bytes, bool dataEvent = true) const;

private:
    GatherRules m_rules;
};

// Sends a request in the order every dialog uses: pending command set first, then command text,
// frame text (writes only), end byte text, back to back. Starting a time-out, where the dialog
// has one, belongs between setting the pending command and sending: pass it as `beforeSend`.
void SendRequest(CMSComm& comm, ExchangeState& state, const QString& command,
                 const QString& frame = QString(), const std::function<void()>& beforeSend = {});
// Sends the pending request again without touching any timer: command, the frame text when
// `withFrame` (writes), end byte.
void RepeatRequest(CMSComm& comm, const ExchangeState& state, bool withFrame);
