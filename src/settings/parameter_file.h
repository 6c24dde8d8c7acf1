#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <vector>

#include "settings/parameter_codec.h"

// Parameter sets: one device's parameters as a value, as a file, and compared field by field.
// The dialogs, the command-line tool and the simulator share this code, and every check goes
// through the variant's frame codec, so a file is accepted or refused exactly as the dialog
// would accept or refuse the same values typed in, with the same texts.
//
// The file is UTF-8 JSON, one field per line so that two files diff well:
//
//   {
//       "format": "kp650-parameter-set",
//       "format_version": 1,
//       "device": "KPA-650",
//       "fields": [
//           {"name": "centre_frequency", "value": 200, "unit": "kHz"},
//           {"name": "work_mode", "value": 0, "unit": "", "text": "FSK方式："},
//           {"name": "input_delay_1", "value": 3, "unit": "ms", "text": "3ms"},
//           ...
//       ],
//       "frame": [
//           "00 00 00 00 00 28 F5 C3",
//           ...
//       ],
//       "provenance": {"read_from_device_at": "2024-05-01T10:30:00+08:00", "program": "kp650 1.0"}
//   }
//
// A list's value is its quantity in the unit ("ms") when its items name one, else the item's
// index (unit ""); "text" is the item as the dialog shows it. "frame" is the raw frame, eight
// bytes a line, as the program saves it; a file edited by hand may leave it out, and is then
// written from its fields. When present it must be exactly the frame the dialog writes for the
// fields. "provenance" and each of its entries are optional. No object may repeat a key.
namespace settings {

inline const QString kParameterFileFormat = QStringLiteral("kp650-parameter-set");
inline constexpr int kParameterFileVersion = 1;
inline const QString kParameterFileSuffix = QStringLiteral("json");
// A parameter file is a few hundred bytes; anything far bigger is not one.
inline constexpr qint64 kParameterFileMaxBytes = 1 << 20;
// Loading without a variant in mind (the simulator takes it from the file).
inline constexpr int kAnyVariant = -1;

inline const QString kCentreFrequencyName = QStringLiteral("centre_frequency");
inline const QString kFrameName = QStringLiteral("frame");

}  // namespace settings

// Where a set came from; every part is optional.
struct ParameterProvenance {
    QDateTime readAt;              // when it was read from a device; invalid: not read from one
    QString deviceIdentification;  // the device's identification; empty: not known
    QString program;               // program and version that made the set; empty: not known
};

// One device's parameters: the raw frame and what its fields say. Sets made from a frame keep
// whatever the frame holds (a device may hold list bytes beyond its lists); CheckParameterSet
// says whether the dialog would write exactly this frame. Sets loaded from files always pass.
struct ParameterSet {
    int variant = 0;                        // kVariantA or kVariantB
    QString frequencyText;                  // centre frequency in kHz, as a read shows it
    std::vector<std::uint64_t> listValues;  // per list in frame order: its byte (the index)
    QByteArray frame;                       // the raw frame
    ParameterProvenance provenance;
};

// A set, or the message that says why there is none.
struct ParameterSetResult {
    ParameterSet set;
    QString error;  // empty when `set` holds a set
    bool Ok() const { return error.isEmpty(); }
};

// One field of a variant's sets: the centre frequency, then one per list in frame order.
struct ParameterField {
    QString name;     // key in files and comparisons: "centre_frequency", "input_delay_1", ...
    QString caption;  // what the operator reads: "中心频率", "命令1输入延时", ...
    QString unit;     // "kHz", "ms", or "" for a list of choices
    int listId = -1;  // the list control's id; -1 for the centre frequency
};

// A field in which two sets differ, with each set's value as the dialog shows it.
struct FieldDifference {
    QString name;
    QString caption;
    QString a;
    QString b;
};

const ParameterCodec& ParameterCodecOf(int variant);
// kVariantA for the transmitter's codec, kVariantB for the receiver's.
int VariantOfCodec(const ParameterCodec& codec);
// "KPA-650" or "KPB-650".
QString DeviceModelName(int variant);
const std::vector<ParameterField>& ParameterFields(int variant);

// What the dialog would write for a frequency text and the lists' indexes (frame order); the
// error is the dialog's own message for the frequency text.
ParameterSetResult ParameterSetFromValues(int variant, const QString& frequencyText,
                                          const std::vector<int>& selections);
// What a frame read from a device (or kept by the simulator) says; refused only for a frame
// of the wrong length.
ParameterSetResult ParameterSetFromFrame(int variant, const QByteArray& frame);
// Empty when the dialog, given the set's fields, would write exactly its frame; otherwise a
// message naming the first field that is out of range or disagrees with the frame.
QString CheckParameterSet(const ParameterSet& set);
// The indexes to select in the lists (frame order); -1 for a byte beyond its list.
std::vector<int> ParameterSelections(const ParameterSet& set);
// A field's value as the dialog shows it: "200 kHz", "3ms", or the byte and a note when it lies
// beyond its list.
QString FieldValueText(const ParameterSet& set, std::size_t field);

// The list index that field `field` (1 and up, a list) takes for a value as files write it (a
// duration in ms or a choice's index) or for an item's text; none when no item is meant, or the
// message FieldMessage gives naming the field and the values it takes.
struct ListIndexResult {
    int index = -1;
    QString error;
};
ListIndexResult ListIndexOfFieldValue(int variant, std::size_t field, const QString& value);

// The fields in which `a` and `b` (same variant) differ, in field order. When every field agrees
// but the frames do not (a word that reads back as the same kHz), one entry "frame" shows the
// bytes that differ.
std::vector<FieldDifference> CompareParameterSets(const ParameterSet& a, const ParameterSet& b);

// The file's bytes, or why the set cannot be a file (CheckParameterSet's message).
struct ParameterFileBytes {
    QByteArray bytes;
    QString error;
};
ParameterFileBytes ParameterSetToFile(const ParameterSet& set);
// Parses and checks a file's bytes for `variant` (settings::kAnyVariant: either). The message
// names the field at fault.
ParameterSetResult ParameterSetFromFile(const QByteArray& bytes, int variant);

// The same on files. Writing replaces a file only once the new one is complete.
ParameterSetResult ReadParameterSetFile(const QString& path, int variant);
QString WriteParameterSetFile(const QString& path, const ParameterSet& set);
