#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "link/device_exchange.h"

namespace settings {

inline const QString kFrequencyEmptyText = QStringLiteral("中心频率值不能为空!");
inline const QString kFrequencyInvalidText = QStringLiteral("请输入正确的中心频率值!");
inline const QString kFrequencyOverLimitText = QStringLiteral("中心频率植超过上限，请重新输入!");
inline const QString kWriteDoneText = QStringLiteral("配置成功!");
inline const QString kReadDoneText = QStringLiteral("读取成功!");

}  // namespace settings

// One drop-down list of a parameter dialog: its selected index travels in the frame.
struct ListSpec {
    int id;
    QStringList items;
    int defaultIndex;
};

// A write frame, or the message that refuses the frequency text.
struct FrameBuild {
    QByteArray frame;  // empty when refused
    QString error;     // empty when the frame was built
};

// What a read reply says.
struct FrameReading {
    QString frequencyText;
    // Per list in frame order: the raw byte, and the index to select (the list's default when
    // the byte lies beyond its items, so that the screen shows what a write would send).
    std::vector<std::uint64_t> listBytes;
    std::vector<int> selections;
};

// The frame rules of one device variant.
struct ParameterCodec {
    QString writeCommand;
    QString readCommand;
    int frameBytes = 0;
    bool leadingByte = false;
    // The frequencies the dialog takes, lowest..limit-1 kHz; a read must decode within them.
    std::uint64_t lowestKHz = 0;
    std::uint64_t limitKHz = 0;
    std::vector<ListSpec> lists;  // in the order their indexes travel in the frame
    // Frequency text and the lists' selected indexes (frame order; -1 for none).
    std::function<FrameBuild(const QString&, const std::vector<int>&)> buildFrame;
    // The frame of a reply (frameBytes long; missing bytes read as zero).
    std::function<FrameReading(const QByteArray&)> readFrame;
};

// Bytes of a whole reply to a write or a read: leading byte (receiver), frame, trailer.
int ParameterReplyLength(const ParameterCodec& codec);
// Writes a frame: write command, the frame as hex text, "58"; confirmed by its echo.
ExchangeRequest ParameterWriteRequest(const ParameterCodec& codec, const QByteArray& frame);
// Reads the settings: read command, "58"; a reply that cannot be settings is tried again.
ExchangeRequest ParameterReadRequest(const ParameterCodec& codec);
// The frame of a whole reply: the bytes after the leading byte (receiver), before the trailer.
QByteArray ParameterReplyFrame(const ParameterCodec& codec, const QByteArray& reply);
// A write is confirmed by its echo: the whole reply, trailer 0x58, its frame equal to `frame`.
bool WriteReplyConfirms(const ParameterCodec& codec, const QByteArray& reply,
                        const QByteArray& frame);
// What a whole read reply says, when it can be the device's settings: trailer 0x58, every list
// byte within its list, the frequency within the dialog's limits. Empty otherwise.
std::optional<FrameReading> ReadReplyValues(const ParameterCodec& codec, const QByteArray& reply);

// Checks a centre frequency text before any arithmetic: empty, anything but '0'-'9', a value
// below `lowestKHz`, and a value of `limitKHz` or more are refused with their message. The
// comparison works on the digits, so texts of any length are safe. Empty result: accepted.
QString CheckFrequencyText(const QString& text, std::uint64_t lowestKHz, std::uint64_t limitKHz);

// Whether a digit string (leading zeros allowed) stands for a value below `limit`.
bool DigitsBelow(const QString& digits, std::uint64_t limit);

// The value of a digit string CheckFrequencyText accepted (leading zeros allowed).
std::uint64_t DigitsValue(const QString& digits);

// A tuning word as the frame's 8-byte field, most significant byte first.
QByteArray WordField(std::uint64_t word);

// `count` bytes from byte `first` of a frame, most significant first, as one value; bytes
// beyond the frame read as zero.
std::uint64_t FrameValue(const QByteArray& frame, int first, int count);

// The index a list sends: its selection, or its default when it has none within its items.
int IndexToSend(int selected, const ListSpec& list);
// The index a read selects for a received byte: the byte, or the default when it lies beyond.
int SelectionFromByte(std::uint64_t byte, const ListSpec& list);

// Appends the selected indexes of `lists` to a frame, one byte each.
void AppendListBytes(QByteArray& frame, const std::vector<ListSpec>& lists,
                     const std::vector<int>& selections);
// Reads one byte per list starting at byte `first` of the frame.
void ReadListBytes(FrameReading& reading, const QByteArray& frame, int first,
                   const std::vector<ListSpec>& lists);

// The eleven items "0ms(默认)", then `step`, 2 x `step` ... 10 x `step` with "ms".
QStringList DelayItems(int step);
