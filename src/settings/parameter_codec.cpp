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

std::uint64_t DigitsValue(const QString& digits) {
    std::uint64_t value = 0;
    for (const QChar c : digits) {
        value = 10 * value + (c.unicode() - u'0');
    }
    return value;
}

QByteArray WordField(std::uint64_t word) {
    QByteArray field(8, '\0');
    for (int i = 7; i >= 0; --i, word >>= 8) {
        field[i] = static_cast<char>(word & 0xFF);
    }
    return field;
}

std::uint64_t FrameValue(const QByteArray& frame, int first, int count) {
    std::uint64_t value = 0;
    for (int i = first; i < first + count; ++i) {
        const std::uint64_t byte =
            i >= 0 && i < frame.size() ? static_cast<unsigned char>(frame.at(i)) : 0;
        value = value << 8 | byte;
    }
    return value;
}

int IndexToSend(int selected, const ListSpec& list) {
    return selected >= 0 && selected < list.items.size() ? selected : list.defaultIndex;
}

int SelectionFromByte(std::uint64_t byte, const ListSpec& list) {
    return byte < static_cast<std::uint64_t>(list.items.size()) ? static_cast<int>(byte)
                                                                : list.defaultIndex;
}

void AppendListBytes(QByteArray& frame, const std::vector<ListSpec>& lists,
                     const std::vector<int>& selections) {
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const int selected = i < selections.size() ? selections[i] : -1;
        frame += static_cast<char>(IndexToSend(selected, lists[i]));  // lists hold few items
    }
}

void ReadListBytes(FrameReading& reading, const QByteArray& frame, int first,
                   const std::vector<ListSpec>& lists) {
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const std::uint64_t byte = FrameValue(frame, first + static_cast<int>(i), 1);
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

QByteArray ParameterReplyFrame(const ParameterCodec& codec, const QByteArray& reply) {
    return reply.mid(codec.leadingByte ? 1 : 0, codec.frameBytes);
}

namespace {

bool WholeWithGoodTrailer(const ParameterCodec& codec, const QByteArray& reply) {
    return reply.size() == ParameterReplyLength(codec) &&
           static_cast<unsigned char>(reply.back()) == 0x58;
}

}  // namespace

bool WriteReplyConfirms(const ParameterCodec& codec, const QByteArray& reply,
                        const QByteArray& frame) {
    return WholeWithGoodTrailer(codec, reply) && ParameterReplyFrame(codec, reply) == frame;
}

std::optional<FrameReading> ReadReplyValues(const ParameterCodec& codec, const QByteArray& reply) {
    if (!WholeWithGoodTrailer(codec, reply)) {
        return std::nullopt;
    }
    FrameReading reading = codec.readFrame(ParameterReplyFrame(codec, reply));
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

ExchangeRequest ParameterWriteRequest(const ParameterCodec& codec, const QByteArray& frame) {
    ExchangeRequest request;
    request.texts = {codec.writeCommand, BytesToHexText(frame), comm::kEndByteText};
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
