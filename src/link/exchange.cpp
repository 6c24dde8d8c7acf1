#include "link/exchange.h"

#include "link/hex_text.h"
#include "link/ms_comm.h"

GatherResult ReplyGatherer::OnComm(CMSComm& comm, ExchangeState& state) const {
    if (comm.GetCommEvent() != CMSComm::kEvReceive) {
        return Gather(state, QByteArray(), false);
    }
    const short n = comm.GetInBufferCount();
    comm.SetInputLen(n);
    const QByteArray bytes = comm.GetInput();
    return Gather(state, bytes, true);
}

GatherResult ReplyGatherer::Gather(ExchangeState& state, const QByteArray& bytes,
                                   bool dataEvent) const {
    GatherResult result;
    if (state.buffer.isEmpty()) {
        if (!m_rules.splitReplies) {
            state.leading.clear();
        }
        state.trailer.clear();
        state.refusal.clear();
    }
    // Where a reply would start: nothing of one gathered yet.
    const bool atReplyStart = state.buffer.isEmpty() && state.leading.isEmpty();
    if (dataEvent) {
        result.received = static_cast<int>(bytes.size());
        const int dataChars = 3 * (m_rules.dataLength ? m_rules.dataLength(state.pending) : 0);
        for (const char b : bytes) {
            const QString text = ByteText(static_cast<unsigned char>(b));
            if (m_rules.refusalWhenAlone && result.received == 1 && text == comm::kRefusalText &&
                (!m_rules.splitReplies || atReplyStart)) {
                state.refusal = text;
                continue;
            }
            if (m_rules.leadingByte && state.leading.isEmpty()) {
                state.leading = text;
                continue;
            }
            if (state.buffer.size() >= dataChars || (!m_rules.trailerOnlyCommand.isEmpty() &&
                                                     state.pending == m_rules.trailerOnlyCommand)) {
                state.trailer = text;  // a later byte replaces it
                continue;
            }
            state.buffer += text;
        }
    }
    result.refused = state.refusal == comm::kRefusalText && result.received == 1;
    result.complete = !state.trailer.isEmpty();
    return result;
}

void SendRequest(CMSComm& comm, ExchangeState& state, const QString& command, const QString& frame,
                 const std::function<void()>& beforeSend) {
    state.pending = command;
    if (beforeSend) {
        beforeSend();
    }
    SendHexText(comm, command);
    if (!frame.isEmpty()) {
        SendHexText(comm, frame);
    }
    SendHexText(comm, state.endByte);
}

void RepeatRequest(CMSComm& comm, const ExchangeState& state, bool withFrame) {
    SendHexText(comm, state.pending);
    if (withFrame) {
        SendHexText(comm, state.frame);
    }
    SendHexText(comm, state.endByte);
}
