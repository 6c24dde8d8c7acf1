#include "link/identity.h"

#include "common/globals.h"
#include "link/exchange.h"

DeviceIdentity IdentityFromDigits(const QByteArray& digits) {
    const auto digit = [&digits](int offset) -> int {
        return offset < digits.size() ? static_cast<unsigned char>(digits.at(offset)) : 0;
    };
    DeviceIdentity identity;
    identity.version = QString::number(digit(0)) + QStringLiteral(".00");
    const int year = digit(1);
    identity.date = (year < 10 ? QStringLiteral("200") : QStringLiteral("20")) +
                    QString::number(year) + QLatin1Char('-') + QString::number(digit(2)) +
                    QLatin1Char('-') + QString::number(digit(3));
    for (int i = 4; i < 8; ++i) {
        identity.checksum += QString::number(digit(i), 16).toUpper();
    }
    return identity;
}

int IdentityReplyLength(int variant) {
    return variant == kVariantA ? 9 : 10;
}

std::optional<DeviceIdentity> IdentityFromReply(const QByteArray& reply, int variant) {
    if (reply.size() != IdentityReplyLength(variant)) {
        return std::nullopt;
    }
    const auto at = [&reply](int i) { return static_cast<unsigned char>(reply.at(i)); };
    const int first = variant == kVariantA ? 0 : 1;
    if (variant != kVariantA && (at(0) != 0x56 || at(9) != 0x58)) {
        return std::nullopt;
    }
    for (int i = first; i < first + 8; ++i) {
        if (at(i) > 0xF) {
            return std::nullopt;
        }
    }
    const int month = at(first + 2);
    const int day = at(first + 3);
    if (month < 1 || month > 12 || day < 1) {
        return std::nullopt;
    }
    return IdentityFromDigits(reply.mid(first, 8));
}

std::optional<int> VariantOfIdentityReply(const QByteArray& reply) {
    for (const int variant : {kVariantA, kVariantB}) {
        if (IdentityFromReply(reply, variant)) {
            return variant;
        }
    }
    return std::nullopt;
}

ExchangeRequest IdentityRequest(int variant) {
    ExchangeRequest request;
    request.texts = {comm::kIdentityCommand, comm::kEndByteText};
    request.shape.length = IdentityReplyLength(variant);
    request.accept = [variant](const QByteArray& reply) {
        return IdentityFromReply(reply, variant).has_value();
    };
    return request;
}
