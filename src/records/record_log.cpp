#include "records/record_log.h"

#include "common/globals.h"
#include "link/hex_text.h"

QString ReadLogCommand(int variant) {
    return variant == kVariantA ? QStringLiteral("44 46") : QStringLiteral("44 53");
}

QString AcknowledgeText(int variant) {
    return variant == kVariantA ? QStringLiteral("78") : QStringLiteral("58");
}

bool ClearConfirmed(int variant, const QString& trailer, int replyBytes) {
    if (variant == kVariantA) {
        return trailer == records::kEndOfLogType && replyBytes == 1;
    }
    return trailer == comm::kGoodTrailerText && replyBytes == 2;
}

GatherRules RecordGatherRules(int variant) {
    GatherRules rules;
    rules.leadingByte = variant != kVariantA;
    rules.refusalWhenAlone = true;
    rules.trailerOnlyCommand = records::kClearLogCommand;
    rules.dataLength = [](const QString&) { return records::kLogFrameDataBytes; };
    rules.splitReplies = true;
    return rules;
}

int CountFromFrame(const QString& buffer) {
    constexpr int at = 3 * (records::kLogFrameDataBytes - 1);
    if (buffer.size() < at + 2) {
        return 0;
    }
    return static_cast<int>(HexTextToValue(buffer.mid(at, 2)));
}
