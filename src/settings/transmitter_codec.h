#pragma once

#include <QString>

#include <array>
#include <cstdint>
#include <vector>

#include "settings/parameter_codec.h"

// The transmitter's (KPA-650) parameter frame: 70 bytes, eight 8-byte tuning words for the
// centre frequency and its FSK offsets, then six list indexes.
namespace transmitter {

inline const QString kWriteCommand = QStringLiteral("41 46");
inline const QString kReadCommand = QStringLiteral("46 46");
constexpr int kFrameBytes = 70;
// The word of 320 000 kHz is 2^32, one digit more than the device's 8 hex digits take.
constexpr std::uint64_t kLimitKHz = 320000;
// Below 2 kHz the lowest offset (-1200 Hz) would be a negative frequency.
constexpr std::uint64_t kLowestKHz = 2;
// Offsets in Hz of the eight words, in frame order.
constexpr std::array<int, 8> kOffsetsHz{0, -300, 300, 600, -600, -900, 900, -1200};
constexpr int kListsAt = 64;

// Nearest integer to hz x 2^27 / 10^7 (halves cannot occur).
std::uint64_t TuningWord(std::uint64_t hz);
// Centre frequency in kHz of a word read back: (w + 0.5) x 10^4 / 2^27, truncated; exact for
// every 64-bit word.
std::uint64_t FrequencyFromWord(std::uint64_t word);

// Lists in frame order: 1007 work mode, 1008/1012/1013 input delays, 1010 low and 1014 overload
// alarm delays.
const std::vector<ListSpec>& Lists();

FrameBuild BuildFrame(const QString& frequencyText, const std::vector<int>& selections);
FrameReading ReadFrame(const QByteArray& frame);

const ParameterCodec& Codec();

}  // namespace transmitter
