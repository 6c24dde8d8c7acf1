#include "settings/receiver_codec.h"

namespace receiver {

std::uint64_t TuningWord(std::uint64_t kHz) {
    return ((kHz + kOffsetKHz) * 134217728u + 5000u) / 10000u;
}

std::int64_t FrequencyFromWord(std::uint64_t word) {
    // x = w x 10^4 / 2^27 + 1/2 = q x 10^4 + (2 x 10^4 x r + 2^27) / 2^28 with w = q x 2^27 + r,
    // so no product can overflow.
    const std::uint64_t q = word >> 27;
    const std::uint64_t r = word & ((std::uint64_t{1} << 27) - 1);
    const std::uint64_t numerator = 20000u * r + (std::uint64_t{1} << 27);
    const std::uint64_t whole = q * 10000u + (numerator >> 28);
    const bool exact = (numerator & ((std::uint64_t{1} << 28) - 1)) == 0;
    // Truncation toward zero: floor(x) - 2000 above 2000, ceil(x) - 2000 below.
    const std::uint64_t truncated = whole >= kOffsetKHz || exact ? whole : whole + 1;
    return static_cast<std::int64_t>(truncated) - static_cast<std::int64_t>(kOffsetKHz);
}

const std::vector<ListSpec>& Lists() {
    static const std::vector<ListSpec> lists = [] {
        const QStringList discrimination = DelayItems(1);
        const QStringList widening = DelayItems(10);
        return std::vector<ListSpec>{
            {1009, discrimination, 0},
            {1008, widening, 0},
            {1014, discrimination, 0},
            {1012, widening, 0},
            {1015, discrimination, 0},
            {1013, widening, 0},
            {1007, {QStringLiteral("FSK方式"), QStringLiteral("编码方式")}, 0},
            {1010,
             {QStringLiteral("0ms"), QStringLiteral("500ms(默认)"), QStringLiteral("1s"),
              QStringLiteral("2s")},
             1},
            {1021, {QStringLiteral("不闭锁命令"), QStringLiteral("闭锁命令(默认)")}, 1},
        };
    }();
    return lists;
}

FrameBuild BuildFrame(const QString& frequencyText, const std::vector<int>& selections) {
    FrameBuild build;
    build.error = CheckFrequencyText(frequencyText, 0, kLimitKHz);
    if (!build.error.isEmpty()) {
        return build;
    }
    build.frame = WordField(TuningWord(DigitsValue(frequencyText)));  // the only word
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
    static const ParameterCodec codec{kWriteCommand, kReadCommand, kFrameBytes, true,     0,
                                      kLimitKHz,     Lists(),      BuildFrame,  ReadFrame};
    return codec;
}

}  // namespace receiver
