#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include "link/device_exchange.h"

// The device identification: the reply to "56" and how it reads.

// The device identification as it is shown.
struct DeviceIdentity {
    QString version;   // "1.00"
    QString date;      // "2009-9-8"
    QString checksum;  // "ABCD"
};

namespace comm {

inline const QString kIdentityCommand = QStringLiteral("56");
inline const QString kIdentityErrorText = QStringLiteral("接收记录出错，请重试!");

}  // namespace comm

// Reads the eight digit bytes (0..0xF each) by offset: version, year, month, day, four
// checksum digits. Bytes beyond the eighth are ignored; missing ones count as 0.
DeviceIdentity IdentityFromDigits(const QByteArray& digits);

// Bytes of a whole reply: a transmitter sends eight digits and a closing byte of any value; a
// receiver frames the eight digits with 0x56 and 0x58.
int IdentityReplyLength(int variant);
// The identification in a whole reply of the variant's shape whose eight digits are 0..0xF and
// whose month and day are possible; none otherwise (a device of the other variant included).
std::optional<DeviceIdentity> IdentityFromReply(const QByteArray& reply, int variant);
// The variant whose reply shape a whole reply has (0 = A, 1 = B), or none.
std::optional<int> VariantOfIdentityReply(const QByteArray& reply);

// The identification request of a variant: "56", "58", a reply of the variant's shape whose
// identification reads.
ExchangeRequest IdentityRequest(int variant);
