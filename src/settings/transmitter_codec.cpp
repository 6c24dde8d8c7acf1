#include "settings/transmitter_codec.h"

namespace transmitter {

std::uint64_t TuningWord(std::uint64_t hz) {
    return (hz * 134217728u + 5000000u) / 10000000u;
}

std::uint64_t FrequencyFromWord(std::uint64_t word) {
    // Split the word so that no product can overflow: w = q x 2^27 + r.
    const std::uint64_t q = word >> 27;
    const std::uint64_t r = word & ((std::uint64_t{1} << 27) - 1);
    return q * 10000u + ((2 * r + 1) * 10000u >> 28);
}

const std::vector<ListSpec>& Lists() {
    static const std::vector<ListSpec> lists = [] {
        const QStringList alarm{
            QStringLiteral("0ms"),   QStringLiteral("100ms"), QStringLiteral("200ms"),
            QStringLiteral("300ms"), QStringLiteral("400ms"), QStringLiteral("500ms(默认)"),
            QStringLiteral("600ms"), QStringLiteral("700ms"), QStringLiteral("800ms"),
            QStringLiteral("900ms"), QStringLiteral("1000ms")};
        const QStringList input = DelayItems(1);
        return std::vector<ListSpec>{
            {1007, {QStringLiteral("FSK方式："), QStringLiteral("编码方式：")}, 0},
            {1008, input, 0},
            {1012, input, 0},
            {1013, input, 0},
            {1010, alarm, 5},
            {1014, alarm, 5},
        };
    }();
    return lists;
}

FrameBuild BuildFrame(const QString& frequencyText, const std::vector<int>& selections) {
    FrameBuild build;
    build.error = CheckFrequencyText(frequencyText, kLowestKHz, kLimitKHz);
    if (!build.error.isEmpty()) {
        return build;
    }
    const std::uint64_t hz = 1000 * DigitsValue(frequencyText);
    for (const int offset : kOffsetsHz) {
        const std::uint64_t f =
            offset < 0 ? hz - std::uint64_t(-offset) : hz + std::uint64_t(offset);
        build.frame += WordField(TuningWord(f));
    }
    AppendListBytes(build.frame, Lists(), selections);
    return build;
}

FrameReading ReadFrame(const QByteArray& frame) {
    FrameReading reading;
    reading.frequencyText = QString::number(FrequencyFromWord(FrameValue(frame, 0, 8)));
    ReadListBytes(reading, frame, kListsAt, Lists());
    return reading;
}

const ParameterCodec& Codec() {
    static const ParameterCodec codec{kWriteCommand, kReadCommand, kFrameBytes,
                                      false,         kLowestKHz,   kLimitKHz,
                                      Lists(),       BuildFrame,   ReadFrame};
    return codec;
}

}  // namespace transmitter
