#include "settings/parameter_codec.h"

#include "link/exchange.h"
#include "link/hex_text.h"

QString CheckFrequencyText(const QString& text, std::uint64_t lowestKHz, std::uint64_t limitKHz) {
    if (text.isEmpty()) {
        return settings::kFrequencyEmptyText;
    }
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return settings::kFrequencyInvalidText;
        }
    }
    if (!DigitsBelow(text, limitKHz)) {
        return settings::kFrequencyOverLimitText;
    }
    if (DigitsBelow(text, lowestKHz)) {
        return settings::kFrequencyInvalidText;
    }
    return QString();
}

bool DigitsBelow(const QString& digits, std::uint64_t limit) {
    qsizetype first = 0;
    while (first < digits.size() && digits[first] == QLatin1Char('0')) {
        ++first;
    }
    const QString significant = digits.mid(first);
    if (significant.isEmpty()) {
        return limit > 0;  // the value is 0
    }
    const QString bound = QString::number(limit);
    if (significant.size() != bound.size()) {
        return significant.size() < bound.size();
    }
    return significant < bound;  // same length: digit order is value order
}

QString WordField(const QString& hexDigits) {
    QString field;
    for (qsizetype i = hexDigits.size(); i < 16; i += 2) {
        field += QStringLiteral("00 ");
    }
    for (qsizetype i = 0; i + 1 < hexDigits.size(); i += 2) {
        field += hexDigits.mid(i, 2) + QLatin1Char(' ');
    }
    return field;
}

std::uint64_t ReplyValue(const QString& replyText, int first, int count) {
    QString digits;
    for (int i = 0; i < count; ++i) {
        digits += replyText.mid(3 * (first + i), 2);
    }
    return HexTextToValue(digits);
}

int IndexToSend(int selected, const ListSpec& list) {
    return selected >= 0 && selected < list.items.size() ? selected : list.defaultIndex;
}

int SelectionFromByte(std::uint64_t byte, const ListSpec& list) {
    return byte < static_cast<std::uint64_t>(list.items.size()) ? static_cast<int>(byte)
                                                                : list.defaultIndex;
}

void AppendListBytes(QString& frame, const std::vector<ListSpec>& lists,
                     const std::vector<int>& selections) {
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const int selected = i < selections.size() ? selections[i] : -1;
        frame +=
            DecimalToHexText(QString::number(IndexToSend(selected, lists[i]))) + QLatin1Char(' ');
    }
}

void ReadListBytes(FrameReading& reading, const QString& replyText, int first,
                   const std::vector<ListSpec>& lists) {
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const std::uint64_t byte = ReplyValue(replyText, first + static_cast<int>(i), 1);
        reading.listBytes.push_back(byte);
        reading.selections.push_back(SelectionFromByte(byte, lists[i]));
    }
}

QStringList DelayItems(int step) {
    QStringList items{QStringLiteral("0ms(默认)")};
    for (int i = 1; i <= 10; ++i) {
        items << QStringLiteral("%1ms").arg(i * step);
    }
    return items;
}

int ParameterReplyLength(const ParameterCodec& codec) {
    return (codec.leadingByte ? 1 : 0) + codec.frameBytes + 1;
}

QString ParameterReplyText(const ParameterCodec& codec, const QByteArray& reply) {
    return BytesToHexText(reply.mid(codec.leadingByte ? 1 : 0, codec.frameBytes));
}

namespace {

bool WholeWithGoodTrailer(const ParameterCodec& codec, const QByteArray& reply) {
    return reply.size() == ParameterReplyLength(codec) &&
           static_cast<unsigned char>(reply.back()) == 0x58;
}

}  // namespace

bool WriteReplyConfirms(const ParameterCodec& codec, const QByteArray& reply,
                        const QString& frame) {
    return WholeWithGoodTrailer(codec, reply) && ParameterReplyText(codec, reply) == frame;
}

std::optional<FrameReading> ReadReplyValues(const ParameterCodec& codec, const QByteArray& reply) {
    if (!WholeWithGoodTrailer(codec, reply)) {
        return std::nullopt;
    }
    FrameReading reading = codec.readFrame(ParameterReplyText(codec, reply));
    for (std::size_t i = 0; i < codec.lists.size(); ++i) {
        if (i >= reading.listBytes.size() ||
            reading.listBytes[i] >= static_cast<std::uint64_t>(codec.lists[i].items.size())) {
            return std::nullopt;
        }
    }
    if (!CheckFrequencyText(reading.frequencyText, codec.lowestKHz, codec.limitKHz).isEmpty()) {
        return std::nullopt;
    }
    return reading;
}

ExchangeRequest ParameterWriteRequest(const ParameterCodec& codec, const QString& frame) {
    ExchangeRequest request;
    request.texts = {codec.writeCommand, frame, comm::kEndByteText};
    request.shape.length = ParameterReplyLength(codec);
    request.accept = [codec = &codec, frame](const QByteArray& reply) {
        return WriteReplyConfirms(*codec, reply, frame);
    };
    return request;
}

ExchangeRequest ParameterReadRequest(const ParameterCodec& codec) {
    ExchangeRequest request;
    request.texts = {codec.readCommand, comm::kEndByteText};
    request.shape.length = ParameterReplyLength(codec);
    request.accept = [codec = &codec](const QByteArray& reply) {
        return ReadReplyValues(*codec, reply).has_value();
    };
    return request;
}
