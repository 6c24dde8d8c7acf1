#pragma once

#include <QString>

#include <cstdint>
#include <vector>

#include "settings/parameter_codec.h"

// The receiver's (KPB-650) parameter frame: 17 bytes, one 8-byte tuning word for the centre
// frequency, then nine list indexes. Its replies start with a leading byte.
namespace receiver {

inline const QString kWriteCommand = QStringLiteral("41 53");
inline const QString kReadCommand = QStringLiteral("46 53");
constexpr int kFrameBytes = 17;
// The word of 81 918 000 kHz is 2^40, one digit more than the 10 hex digits the device takes.
constexpr std::uint64_t kLimitKHz = 81918000;
constexpr std::uint64_t kOffsetKHz = 2000;
constexpr int kListsAt = 8;

// Nearest integer to (k + 2000) x 2^27 / 10^4 for k kHz (halves cannot occur).
std::uint64_t TuningWord(std::uint64_t kHz);
// Centre frequency in kHz of a word read back: w x 10^4 / 2^27 + 0.5 - 2000, truncated toward
// zero (a word below 1999.5 kHz worth gives zero or less); exact for every 64-bit word.
std::int64_t FrequencyFromWord(std::uint64_t word);

// Lists in frame order: 1009/1008, 1014/1012, 1015/1013 (discrimination time and output
// widening per command), 1007 work mode, 1010 alarm delay, 1021 blocking.
const std::vector<ListSpec>& Lists();

FrameBuild BuildFrame(const QString& frequencyText, const std::vector<int>& selections);
FrameReading ReadFrame(const QByteArray& frame);

const ParameterCodec& Codec();

}  // namespace receiver
