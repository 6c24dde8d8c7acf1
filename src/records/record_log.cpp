#include "records/record_log.h"

#include <algorithm>

#include "common/globals.h"

QString ReadLogCommand(int variant) {
    return variant == kVariantA ? QStringLiteral("44 46") : QStringLiteral("44 53");
}

QString AcknowledgeText(int variant) {
    return variant == kVariantA ? QStringLiteral("78") : QStringLiteral("58");
}

namespace {

constexpr unsigned char kCountType = 0x59;
constexpr unsigned char kRecordType = 0x58;
constexpr unsigned char kEndType = 0x78;

unsigned char At(const QByteArray& bytes, int i) {
    return static_cast<unsigned char>(bytes.at(i));
}

// Whether nine record bytes can be an event the device logged.
bool PossibleRecord(const QByteArray& d) {
    const int msecond = At(d, 6) * 256 + At(d, 7);
    return At(d, 0) <= 99 && At(d, 1) >= 1 && At(d, 1) <= 12 && At(d, 2) >= 1 && At(d, 2) <= 31 &&
           At(d, 3) <= 23 && At(d, 4) <= 59 && At(d, 5) <= 59 && msecond <= 999;
}

}  // namespace

int LogReplyLength(int variant) {
    return (variant == kVariantA ? 0 : 1) + records::kLogFrameDataBytes + 1;
}

records::LogFrame ClassifyLogReply(const QByteArray& reply, int variant, bool countExpected) {
    using records::LogFrame;
    if (reply.size() != LogReplyLength(variant)) {
        return LogFrame::Malformed;
    }
    const unsigned char type = At(reply, static_cast<int>(reply.size()) - 1);
    if (countExpected) {
        return type == kCountType ? LogFrame::Count : LogFrame::Malformed;
    }
    if (type == kEndType) {
        return LogFrame::End;
    }
    return type == kRecordType ? LogFrame::Record : LogFrame::Malformed;
}

bool LogReplyPlausible(const QByteArray& reply, int variant, bool countExpected) {
    const records::LogFrame kind = ClassifyLogReply(reply, variant, countExpected);
    return kind != records::LogFrame::Malformed &&
           (kind != records::LogFrame::Record || PossibleRecord(LogFrameData(reply, variant)));
}

QByteArray LogFrameData(const QByteArray& reply, int variant) {
    return reply.mid(variant == kVariantA ? 0 : 1, records::kLogFrameDataBytes);
}

int CountFromFrame(const QByteArray& data) {
    return data.size() > 8 ? At(data, 8) : 0;
}

int ClearReplyLength(int variant) {
    return variant == kVariantA ? 1 : 2;
}

bool ClearReplyConfirms(const QByteArray& reply, int variant) {
    if (reply.size() != ClearReplyLength(variant)) {
        return false;
    }
    return At(reply, static_cast<int>(reply.size()) - 1) ==
           (variant == kVariantA ? kEndType : 0x58);
}

int records::LogEndQuietMs(qint64 longestReplyGapNs) {
    constexpr qint64 kNsPerMs = 1000000;
    const qint64 ns = 2 * std::max<qint64>(0, longestReplyGapNs) + kNsPerMs;
    const qint64 ms = (ns + kNsPerMs - 1) / kNsPerMs;
    return static_cast<int>(std::clamp<qint64>(ms, 2, records::kLogQuietMs));
}

ExchangeRequest LogFrameRequest(int variant, bool first, bool careful) {
    ExchangeRequest request;
    request.texts = {ReadLogCommand(variant),
                     first ? comm::kEndByteText : AcknowledgeText(variant)};
    request.shape.length = LogReplyLength(variant);
    request.shape.resendable = false;
    // A burst longer than a frame cannot be told from a shifted frame: the read judges it,
    // unless every frame waits for quiet, so that no frame's bytes can still be on their way.
    request.shape.tailAfterNoise = careful;
    request.shape.judgeWhenQuiet = careful;
    // A careful read waits as long as every other reply does (split replies pause up to 40 ms).
    request.quietMs = careful ? comm::kQuietMs : records::kLogQuietMs;
    request.accept = [variant, first](const QByteArray& reply) {
        return ClassifyLogReply(reply, variant, first) != records::LogFrame::Malformed;
    };
    // The frames after which nothing more comes (the end, a count of 0) count only once the line
    // stayed quiet, so that bytes still on their way are seen.
    request.acceptAtOnce = [variant, first, careful](const QByteArray& reply) {
        const records::LogFrame kind = ClassifyLogReply(reply, variant, first);
        if (careful) {
            return LogReplyPlausible(reply, variant, first);
        }
        if (kind == records::LogFrame::End || (kind == records::LogFrame::Count &&
                                               CountFromFrame(LogFrameData(reply, variant)) == 0)) {
            return false;
        }
        return LogReplyPlausible(reply, variant, first);
    };
    return request;
}

ExchangeRequest LogDrainRequest(int variant) {
    ExchangeRequest request;
    request.texts = {ReadLogCommand(variant), AcknowledgeText(variant)};
    request.shape.length = LogReplyLength(variant);
    request.shape.resendable = false;
    request.shape.judgeWhenQuiet = true;
    request.accept = [variant](const QByteArray& reply) {
        return ClassifyLogReply(reply, variant, false) != records::LogFrame::Malformed ||
               ClassifyLogReply(reply, variant, true) == records::LogFrame::Count;
    };
    return request;
}

ExchangeRequest ClearLogRequest(int variant) {
    ExchangeRequest request;
    request.texts = {records::kClearLogCommand, comm::kEndByteText};
    request.shape.length = ClearReplyLength(variant);
    request.accept = [variant](const QByteArray& reply) {
        return ClearReplyConfirms(reply, variant);
    };
    return request;
}
