#include "settings/parameter_file.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <cmath>
#include <optional>

#include "common/globals.h"
#include "link/hex_text.h"
#include "settings/receiver_codec.h"
#include "settings/transmitter_codec.h"

namespace {

using settings::kCentreFrequencyName;
using settings::kFrameName;

// Names and captions of the lists, by control id.
struct ListName {
    int id;
    const char* name;
    const char* caption;
};

constexpr ListName kListNamesA[] = {
    {1007, "work_mode", "工作方式"},
    {1008, "input_delay_1", "命令1输入延时"},
    {1012, "input_delay_2", "命令2输入延时"},
    {1013, "input_delay_3", "命令3输入延时"},
    {1010, "pa_low_alarm_delay", "功放过低告警延时"},
    {1014, "pa_overload_alarm_delay", "功放过载告警延时"},
};

constexpr ListName kListNamesB[] = {
    {1009, "discrimination_time_1", "命令1判别时间"},
    {1008, "output_widening_1", "命令1输出展宽"},
    {1014, "discrimination_time_2", "命令2判别时间"},
    {1012, "output_widening_2", "命令2输出展宽"},
    {1015, "discrimination_time_3", "命令3判别时间"},
    {1013, "output_widening_3", "命令3输出展宽"},
    {1007, "work_mode", "工作方式"},
    {1010, "channel_fault_alarm_delay", "告警延时"},
    {1021, "snr_alarm_blocks_commands", "信噪比告警闭锁命令"},
};

const QString kUnitKHz = QStringLiteral("kHz");
const QString kUnitMs = QStringLiteral("ms");

const QString kKeyFormat = QStringLiteral("format");
const QString kKeyVersion = QStringLiteral("format_version");
const QString kKeyDevice = QStringLiteral("device");
const QString kKeyFields = QStringLiteral("fields");
const QString kKeyProvenance = QStringLiteral("provenance");
const QString kKeyName = QStringLiteral("name");
const QString kKeyValue = QStringLiteral("value");
const QString kKeyUnit = QStringLiteral("unit");
const QString kKeyText = QStringLiteral("text");
const QString kKeyReadAt = QStringLiteral("read_from_device_at");
const QString kKeyIdentification = QStringLiteral("device_identification");
const QString kKeyProgram = QStringLiteral("program");

constexpr int kFrameBytesPerLine = 8;

// An item's duration in ms ("500ms(默认)" 500, "1s" 1000); none for an item naming no duration.
std::optional<qint64> ItemMs(const QString& item) {
    static const QRegularExpression pattern(QStringLiteral("^(\\d{1,9})(ms|s)(\\(默认\\))?$"));
    const QRegularExpressionMatch m = pattern.match(item);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    const qint64 value = m.captured(1).toLongLong();
    return m.captured(2) == QLatin1String("s") ? 1000 * value : value;
}

bool IsDurationList(const ListSpec& list) {
    for (const QString& item : list.items) {
        if (!ItemMs(item)) {
            return false;
        }
    }
    return !list.items.isEmpty();
}

// What a list's item `index` is called in a file: its duration, or the index for choices.
qint64 FileValue(const ListSpec& list, int index) {
    if (IsDurationList(list)) {
        return *ItemMs(list.items[index]);
    }
    return index;
}

QString AllowedValues(const ListSpec& list, const QString& unit) {
    QStringList values;
    for (int i = 0; i < list.items.size(); ++i) {
        values << QString::number(FileValue(list, i));
    }
    QString text = values.join(QStringLiteral("、"));
    if (!unit.isEmpty()) {
        text += QLatin1Char(' ') + unit;
    }
    return text;
}

QString Quoted(const QString& text) {
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString FieldMessage(const QString& field, const QString& text) {
    return QStringLiteral("字段 %1：%2").arg(Quoted(field), text);
}

QString ByteHex(std::uint8_t byte) {
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

// "00 28 F5 C3": bytes separated by blanks, no trailing one.
QString SpacedHex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QByteArray FrameBytes(const QString& frameText) {
    return QByteArray::fromHex(frameText.toLatin1());
}

const ParameterField& FieldOfByte(int variant, int byte) {
    const ParameterCodec& codec = ParameterCodecOf(variant);
    const int listsAt = codec.frameBytes - static_cast<int>(codec.lists.size());
    const std::vector<ParameterField>& fields = ParameterFields(variant);
    return byte < listsAt ? fields.front() : fields[static_cast<std::size_t>(1 + byte - listsAt)];
}

int FirstDifference(const QByteArray& a, const QByteArray& b) {
    int i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) {
        ++i;
    }
    return i;
}

// Empty when `actual` is `expected`; else names the first byte that differs and its field.
QString FrameDisagreement(int variant, const QByteArray& actual, const QByteArray& expected) {
    const int i = FirstDifference(actual, expected);
    if (i >= actual.size() || i >= expected.size()) {
        return QString();
    }
    return QStringLiteral("字段 \"frame\" 的字节 %1 为 %2，与字段 %3 不符，应为 %4")
        .arg(QString::number(i), ByteHex(static_cast<std::uint8_t>(actual[i])),
             Quoted(FieldOfByte(variant, i).name), ByteHex(static_cast<std::uint8_t>(expected[i])));
}

QString JsonString(const QString& text) {
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(array.mid(1, array.size() - 2));
}

QString TimeText(const QDateTime& time) {
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODate);
}

// The text the dialog would hold for a number in a file: digits for a whole number, so that the
// dialog's own checks judge it; anything else keeps a sign, point or exponent they refuse.
QString FrequencyTextOf(double value) {
    if (!std::isfinite(value) || std::floor(value) != value) {
        return QString::number(value, 'g', 17);
    }
    const QString digits = QString::number(std::fabs(value), 'f', 0);
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

QString TypeName(QJsonValue::Type type) {
    switch (type) {
        case QJsonValue::Double:
            return QStringLiteral("数字");
        case QJsonValue::String:
            return QStringLiteral("文字");
        case QJsonValue::Array:
            return QStringLiteral("数组");
        default:
            return QStringLiteral("对象");
    }
}

// The first key that an object of a well-formed JSON text holds twice; empty when none does.
// The JSON reader keeps the last of them, so a hand-edited file could silently lose a value.
QString RepeatedKey(const QByteArray& json) {
    struct Container {
        bool object = false;
        bool keyNext = false;
        QSet<QString> keys;
    };
    std::vector<Container> open;
    for (qsizetype i = 0; i < json.size(); ++i) {
        const char c = json[i];
        if (c == '"') {
            const qsizetype start = i;
            for (++i; i < json.size() && json[i] != '"'; ++i) {
                i += json[i] == '\\' ? 1 : 0;
            }
            if (open.empty() || !open.back().object || !open.back().keyNext) {
                continue;
            }
            open.back().keyNext = false;
            // Decoded, so that an escaped spelling of a key is the same key.
            const QByteArray literal = '[' + json.mid(start, i + 1 - start) + ']';
            const QString key = QJsonDocument::fromJson(literal).array().at(0).toString();
            if (open.back().keys.contains(key)) {
                return key;
            }
            open.back().keys.insert(key);
        } else if (c == '{' || c == '[') {
            open.push_back({c == '{', c == '{', {}});
        } else if ((c == '}' || c == ']') && !open.empty()) {
            open.pop_back();
        } else if (c == ',' && !open.empty() && open.back().object) {
            open.back().keyNext = true;
        }
    }
    return QString();
}

// Reads one file; each step returns an error text, empty to go on.
class FileReader {
public:
    FileReader(const QJsonObject& root, int variant) : m_root(root), m_variant(variant) {}

    QString Read(ParameterSetResult* result) {
        QString error;
        if (!(error = Header()).isEmpty() || !(error = Keys()).isEmpty() ||
            !(error = Fields()).isEmpty() || !(error = Frame()).isEmpty() ||
            !(error = Provenance()).isEmpty()) {
            return error;
        }
        const ParameterCodec& codec = ParameterCodecOf(m_variant);
        const FrameBuild build = codec.buildFrame(m_frequencyText, m_selections);
        if (!build.error.isEmpty()) {
            return FieldMessage(kCentreFrequencyName, build.error);
        }
        const QByteArray built = FrameBytes(build.frame);
        // A file edited by hand usually has no frame: its fields are what is written.
        if (m_frame.isEmpty()) {
            m_frame = built;
        }
        error = FrameDisagreement(m_variant, m_frame, built);
        if (!error.isEmpty()) {
            // Either the fields were edited and the frame was left behind, or the other way round;
            // only the person who edited the file knows which one holds what is meant.
            return error +
                   QStringLiteral(
                       "。若字段是有意修改的，请删除 \"frame\" 一项，按字段写入；"
                       "否则请把字段 %1 改回与 \"frame\" 相符的值")
                       .arg(Quoted(FieldOfByte(m_variant, FirstDifference(m_frame, built)).name));
        }
        *result = ParameterSetFromFrame(m_variant, m_frame);
        result->set.provenance = m_provenance;
        return result->error;
    }

private:
    QString Header() {
        if (m_root.value(kKeyFormat) != QJsonValue(settings::kParameterFileFormat)) {
            return QStringLiteral("这不是参数文件：字段 \"format\" 应为 %1")
                .arg(Quoted(settings::kParameterFileFormat));
        }
        const QJsonValue version = m_root.value(kKeyVersion);
        if (!version.isDouble()) {
            return Missing(kKeyVersion, version, QJsonValue::Double);
        }
        if (version.toDouble() != settings::kParameterFileVersion) {
            return QStringLiteral("字段 \"format_version\" 为 %1，本程序只能读取第 %2 版")
                .arg(QString::number(version.toDouble()))
                .arg(settings::kParameterFileVersion);
        }
        const QJsonValue device = m_root.value(kKeyDevice);
        int fileVariant = -1;
        for (const int v : {kVariantA, kVariantB}) {
            if (device == QJsonValue(DeviceModelName(v))) {
                fileVariant = v;
            }
        }
        if (fileVariant < 0) {
            return QStringLiteral("字段 \"device\" 应为 %1 或 %2")
                .arg(Quoted(DeviceModelName(kVariantA)), Quoted(DeviceModelName(kVariantB)));
        }
        if (m_variant != settings::kAnyVariant && m_variant != fileVariant) {
            return QStringLiteral("字段 \"device\" 为 %1：这是 %2 的参数，不能用于 %3")
                .arg(Quoted(DeviceModelName(fileVariant)), DeviceModelName(fileVariant),
                     DeviceModelName(m_variant));
        }
        m_variant = fileVariant;
        return QString();
    }

    QString Keys() const {
        static const QSet<QString> known{kKeyFormat, kKeyVersion, kKeyDevice,
                                         kKeyFields, kFrameName,  kKeyProvenance};
        for (const QString& key : m_root.keys()) {
            if (!known.contains(key)) {
                return QStringLiteral("未知字段 %1").arg(Quoted(key));
            }
        }
        return QString();
    }

    static QString Missing(const QString& key, const QJsonValue& value, QJsonValue::Type type) {
        if (value.isUndefined()) {
            return QStringLiteral("缺少字段 %1").arg(Quoted(key));
        }
        return QStringLiteral("字段 %1 应为%2").arg(Quoted(key), TypeName(type));
    }

    QString Fields() {
        const QJsonValue fieldsValue = m_root.value(kKeyFields);
        if (!fieldsValue.isArray()) {
            return Missing(kKeyFields, fieldsValue, QJsonValue::Array);
        }
        const std::vector<ParameterField>& fields = ParameterFields(m_variant);
        const ParameterCodec& codec = ParameterCodecOf(m_variant);
        m_selections.assign(codec.lists.size(), -1);
        std::vector<bool> seen(fields.size(), false);
        const QJsonArray entries = fieldsValue.toArray();
        for (qsizetype n = 0; n < entries.size(); ++n) {
            const QJsonObject entry = entries[n].toObject();
            if (!entries[n].isObject() || !entry.value(kKeyName).isString()) {
                return QStringLiteral("字段 \"fields\" 的第 %1 项应为带 \"name\" 的对象")
                    .arg(n + 1);
            }
            const QString name = entry.value(kKeyName).toString();
            std::size_t f = 0;
            while (f < fields.size() && fields[f].name != name) {
                ++f;
            }
            if (f == fields.size()) {
                return QStringLiteral("未知字段 %1").arg(Quoted(name));
            }
            if (seen[f]) {
                return QStringLiteral("字段 %1 出现了两次").arg(Quoted(name));
            }
            seen[f] = true;
            const QString error = Field(fields[f], f == 0 ? nullptr : &codec.lists[f - 1], entry,
                                        f == 0 ? nullptr : &m_selections[f - 1]);
            if (!error.isEmpty()) {
                return error;
            }
        }
        for (std::size_t f = 0; f < fields.size(); ++f) {
            if (!seen[f]) {
                return QStringLiteral("缺少字段 %1").arg(Quoted(fields[f].name));
            }
        }
        return QString();
    }

    // The centre frequency (`list` null) or one list, from its entry.
    QString Field(const ParameterField& field, const ListSpec* list, const QJsonObject& entry,
                  int* selection) {
        QStringList keys{kKeyName, kKeyValue, kKeyUnit};
        if (list) {
            keys << kKeyText;
        }
        for (const QString& key : entry.keys()) {
            if (!keys.contains(key)) {
                return QStringLiteral("字段 %1 中有未知项 %2").arg(Quoted(field.name), Quoted(key));
            }
        }
        for (const QString& key : keys) {
            const QJsonValue value = entry.value(key);
            if (value.isUndefined()) {
                return QStringLiteral("字段 %1 缺少 %2").arg(Quoted(field.name), Quoted(key));
            }
            const QJsonValue::Type want =
                key == kKeyValue ? QJsonValue::Double : QJsonValue::String;
            if (value.type() != want) {
                return QStringLiteral("字段 %1 的 %2 应为%3")
                    .arg(Quoted(field.name), Quoted(key), TypeName(want));
            }
        }
        const QString unit = entry.value(kKeyUnit).toString();
        if (unit != field.unit) {
            return QStringLiteral("字段 %1 的单位应为 %2，不是 %3")
                .arg(Quoted(field.name), Quoted(field.unit), Quoted(unit));
        }
        const double value = entry.value(kKeyValue).toDouble();
        if (!list) {
            m_frequencyText = FrequencyTextOf(value);
            // The dialog's own checks judge the text, with its own messages.
            const FrameBuild build = ParameterCodecOf(m_variant).buildFrame(m_frequencyText, {});
            return build.error.isEmpty() ? QString() : FieldMessage(field.name, build.error);
        }
        int index = -1;
        for (int i = 0; i < list->items.size(); ++i) {
            if (static_cast<double>(FileValue(*list, i)) == value) {
                index = i;
            }
        }
        if (index < 0) {
            return FieldMessage(field.name,
                                QStringLiteral("值 %1 不在列表中（可选值：%2）")
                                    .arg(FrequencyTextOf(value), AllowedValues(*list, field.unit)));
        }
        const QString text = entry.value(kKeyText).toString();
        if (text != list->items[index]) {
            return FieldMessage(field.name, QStringLiteral("文字 %1 与值 %2 不符，应为 %3")
                                                .arg(Quoted(text), FrequencyTextOf(value),
                                                     Quoted(list->items[index])));
        }
        *selection = index;
        return QString();
    }

    QString Frame() {
        const QJsonValue frameValue = m_root.value(kFrameName);
        if (frameValue.isUndefined()) {
            return QString();  // built from the fields
        }
        if (!frameValue.isArray()) {
            return Missing(kFrameName, frameValue, QJsonValue::Array);
        }
        static const QRegularExpression blanks(QStringLiteral("\\s+"));
        static const QRegularExpression pair(QStringLiteral("^[0-9A-Fa-f]{2}$"));
        const QString notHex =
            QStringLiteral("字段 \"frame\" 应为十六进制字节的文字，每字节两位数字，以空格分隔");
        QStringList tokens;
        for (const QJsonValue line : frameValue.toArray()) {
            if (!line.isString()) {
                return notHex;
            }
            tokens += line.toString().split(blanks, Qt::SkipEmptyParts);
        }
        for (const QString& token : tokens) {
            if (!pair.match(token).hasMatch()) {
                return notHex;
            }
        }
        const int want = ParameterCodecOf(m_variant).frameBytes;
        if (tokens.size() != want) {
            return QStringLiteral("字段 \"frame\" 应有 %1 字节，文件中有 %2 字节")
                .arg(want)
                .arg(tokens.size());
        }
        m_frame = QByteArray::fromHex(tokens.join(QString()).toLatin1());
        return QString();
    }

    QString Provenance() {
        const QJsonValue value = m_root.value(kKeyProvenance);
        if (value.isUndefined()) {
            return QString();
        }
        if (!value.isObject()) {
            return Missing(kKeyProvenance, value, QJsonValue::Object);
        }
        const QJsonObject provenance = value.toObject();
        for (const QString& key : provenance.keys()) {
            if (key != kKeyReadAt && key != kKeyIdentification && key != kKeyProgram) {
                return QStringLiteral("字段 \"provenance\" 中有未知项 %1").arg(Quoted(key));
            }
            if (!provenance.value(key).isString()) {
                return QStringLiteral("字段 \"provenance\" 的 %1 应为文字").arg(Quoted(key));
            }
        }
        if (provenance.contains(kKeyReadAt)) {
            m_provenance.readAt =
                QDateTime::fromString(provenance.value(kKeyReadAt).toString(), Qt::ISODate);
            if (!m_provenance.readAt.isValid()) {
                return QStringLiteral(
                    "字段 \"provenance\" 的 \"read_from_device_at\" 不是有效的时间，"
                    "应如 2024-05-01T10:30:00+08:00");
            }
        }
        m_provenance.deviceIdentification = provenance.value(kKeyIdentification).toString();
        m_provenance.program = provenance.value(kKeyProgram).toString();
        return QString();
    }

    const QJsonObject m_root;
    int m_variant;
    QString m_frequencyText;
    std::vector<int> m_selections;
    QByteArray m_frame;
    ParameterProvenance m_provenance;
};

}  // namespace

const ParameterCodec& ParameterCodecOf(int variant) {
    return variant == kVariantB ? receiver::Codec() : transmitter::Codec();
}

int VariantOfCodec(const ParameterCodec& codec) {
    return &codec == &receiver::Codec() ? kVariantB : kVariantA;
}

QString DeviceModelName(int variant) {
    return variant == kVariantB ? QStringLiteral("KPB-650") : QStringLiteral("KPA-650");
}

const std::vector<ParameterField>& ParameterFields(int variant) {
    static const auto make = [](int v) {
        std::vector<ParameterField> fields{
            {kCentreFrequencyName, QStringLiteral("中心频率"), kUnitKHz, -1}};
        for (const ListSpec& list : ParameterCodecOf(v).lists) {
            const auto named = [&list](const auto& names) {
                for (const ListName& name : names) {
                    if (name.id == list.id) {
                        return name;
                    }
                }
                return ListName{list.id, "", ""};
            };
            const ListName name = v == kVariantB ? named(kListNamesB) : named(kListNamesA);
            Q_ASSERT(name.name[0] != '\0');
            fields.push_back({QString::fromUtf8(name.name), QString::fromUtf8(name.caption),
                              IsDurationList(list) ? kUnitMs : QString(), list.id});
        }
        return fields;
    };
    static const std::vector<ParameterField> a = make(kVariantA);
    static const std::vector<ParameterField> b = make(kVariantB);
    return variant == kVariantB ? b : a;
}

ParameterSetResult ParameterSetFromValues(int variant, const QString& frequencyText,
                                          const std::vector<int>& selections) {
    const FrameBuild build = ParameterCodecOf(variant).buildFrame(frequencyText, selections);
    if (!build.error.isEmpty()) {
        return {ParameterSet(), build.error};
    }
    return ParameterSetFromFrame(variant, FrameBytes(build.frame));
}

ParameterSetResult ParameterSetFromFrame(int variant, const QByteArray& frame) {
    const ParameterCodec& codec = ParameterCodecOf(variant);
    ParameterSetResult result;
    if (frame.size() != codec.frameBytes) {
        result.error = QStringLiteral("%1 的参数帧应有 %2 字节，实有 %3 字节")
                           .arg(DeviceModelName(variant))
                           .arg(codec.frameBytes)
                           .arg(frame.size());
        return result;
    }
    const FrameReading reading = codec.readFrame(BytesToHexText(frame));
    result.set.variant = variant == kVariantB ? kVariantB : kVariantA;
    result.set.frequencyText = reading.frequencyText;
    result.set.listValues = reading.listBytes;
    result.set.frame = frame;
    return result;
}

QString CheckParameterSet(const ParameterSet& set) {
    const ParameterCodec& codec = ParameterCodecOf(set.variant);
    const std::vector<ParameterField>& fields = ParameterFields(set.variant);
    if (set.frame.size() != codec.frameBytes || set.listValues.size() != codec.lists.size()) {
        return QStringLiteral("%1 的参数帧应有 %2 字节，实有 %3 字节")
            .arg(DeviceModelName(set.variant))
            .arg(codec.frameBytes)
            .arg(set.frame.size());
    }
    for (std::size_t i = 0; i < codec.lists.size(); ++i) {
        const auto count = static_cast<std::uint64_t>(codec.lists[i].items.size());
        if (set.listValues[i] >= count) {
            return FieldMessage(fields[i + 1].name,
                                QStringLiteral("字节 %1 超出列表（列表有 %2 项）")
                                    .arg(set.listValues[i])
                                    .arg(count));
        }
    }
    const FrameBuild build = codec.buildFrame(set.frequencyText, ParameterSelections(set));
    if (!build.error.isEmpty()) {
        return FieldMessage(kCentreFrequencyName, build.error);
    }
    return FrameDisagreement(set.variant, set.frame, FrameBytes(build.frame));
}

std::vector<int> ParameterSelections(const ParameterSet& set) {
    const ParameterCodec& codec = ParameterCodecOf(set.variant);
    std::vector<int> selections;
    for (std::size_t i = 0; i < codec.lists.size(); ++i) {
        const std::uint64_t value = i < set.listValues.size() ? set.listValues[i] : ~0ull;
        const bool within = value < static_cast<std::uint64_t>(codec.lists[i].items.size());
        selections.push_back(within ? static_cast<int>(value) : -1);
    }
    return selections;
}

QString FieldValueText(const ParameterSet& set, std::size_t field) {
    if (field == 0) {
        return set.frequencyText + QLatin1Char(' ') + kUnitKHz;
    }
    const ParameterCodec& codec = ParameterCodecOf(set.variant);
    const std::size_t list = field - 1;
    if (list >= codec.lists.size() || list >= set.listValues.size()) {
        return QString();
    }
    const std::uint64_t value = set.listValues[list];
    if (value < static_cast<std::uint64_t>(codec.lists[list].items.size())) {
        return codec.lists[list].items[static_cast<int>(value)];
    }
    return QStringLiteral("%1（超出列表）").arg(value);
}

ListIndexResult ListIndexOfFieldValue(int variant, std::size_t field, const QString& value) {
    const ParameterCodec& codec = ParameterCodecOf(variant);
    const std::vector<ParameterField>& fields = ParameterFields(variant);
    ListIndexResult result;
    if (field == 0 || field > codec.lists.size()) {
        return result;
    }
    const ListSpec& list = codec.lists[field - 1];
    const QString wanted = value.trimmed();
    bool isNumber = false;
    const qint64 number = wanted.toLongLong(&isNumber);
    for (int i = 0; i < list.items.size(); ++i) {
        if (list.items[i] == wanted || (isNumber && FileValue(list, i) == number)) {
            result.index = i;
            return result;
        }
    }
    result.error = FieldMessage(fields[field].name,
                                QStringLiteral("值 %1 不在可选值之内（%2）")
                                    .arg(Quoted(wanted), AllowedValues(list, fields[field].unit)));
    return result;
}

std::vector<FieldDifference> CompareParameterSets(const ParameterSet& a, const ParameterSet& b) {
    if (a.variant != b.variant) {
        return {{QStringLiteral("device"), QStringLiteral("装置型号"), DeviceModelName(a.variant),
                 DeviceModelName(b.variant)}};
    }
    std::vector<FieldDifference> differences;
    const std::vector<ParameterField>& fields = ParameterFields(a.variant);
    for (std::size_t f = 0; f < fields.size(); ++f) {
        const bool same = f == 0 ? a.frequencyText == b.frequencyText
                                 : f - 1 < a.listValues.size() && f - 1 < b.listValues.size() &&
                                       a.listValues[f - 1] == b.listValues[f - 1];
        if (!same) {
            differences.push_back(
                {fields[f].name, fields[f].caption, FieldValueText(a, f), FieldValueText(b, f)});
        }
    }
    if (differences.empty() && a.frame != b.frame) {
        int first = 0;
        while (first < a.frame.size() && first < b.frame.size() &&
               a.frame[first] == b.frame[first]) {
            ++first;
        }
        int last = static_cast<int>(std::max(a.frame.size(), b.frame.size())) - 1;
        while (last > first && last < a.frame.size() && last < b.frame.size() &&
               a.frame[last] == b.frame[last]) {
            --last;
        }
        const auto bytes = [first, last](const QByteArray& frame) {
            const QString range = first == last ? QString::number(first)
                                                : QStringLiteral("%1–%2").arg(first).arg(last);
            return QStringLiteral("字节 %1：%2")
                .arg(range, SpacedHex(frame.mid(first, last - first + 1)));
        };
        differences.push_back(
            {kFrameName, QStringLiteral("原始帧"), bytes(a.frame), bytes(b.frame)});
    }
    return differences;
}

ParameterFileBytes ParameterSetToFile(const ParameterSet& set) {
    ParameterFileBytes file;
    file.error = CheckParameterSet(set);
    if (!file.error.isEmpty()) {
        return file;
    }
    const ParameterCodec& codec = ParameterCodecOf(set.variant);
    const std::vector<ParameterField>& fields = ParameterFields(set.variant);
    QStringList lines;
    lines << QStringLiteral("{");
    lines << QStringLiteral("    \"format\": %1,").arg(JsonString(settings::kParameterFileFormat));
    lines << QStringLiteral("    \"format_version\": %1,").arg(settings::kParameterFileVersion);
    lines << QStringLiteral("    \"device\": %1,").arg(JsonString(DeviceModelName(set.variant)));
    lines << QStringLiteral("    \"fields\": [");
    for (std::size_t f = 0; f < fields.size(); ++f) {
        QString line =
            QStringLiteral("        {\"name\": %1, \"value\": ").arg(JsonString(fields[f].name));
        if (f == 0) {
            line += QString::number(set.frequencyText.toLongLong());  // no leading zeros in JSON
        } else {
            const int index = static_cast<int>(set.listValues[f - 1]);
            line += QString::number(FileValue(codec.lists[f - 1], index));
        }
        line += QStringLiteral(", \"unit\": %1").arg(JsonString(fields[f].unit));
        if (f > 0) {
            line += QStringLiteral(", \"text\": %1").arg(JsonString(FieldValueText(set, f)));
        }
        line += f + 1 < fields.size() ? QStringLiteral("},") : QStringLiteral("}");
        lines << line;
    }
    lines << QStringLiteral("    ],");
    lines << QStringLiteral("    \"frame\": [");
    for (int at = 0; at < set.frame.size(); at += kFrameBytesPerLine) {
        const bool last = at + kFrameBytesPerLine >= set.frame.size();
        lines << QStringLiteral("        \"%1\"%2")
                     .arg(SpacedHex(set.frame.mid(at, kFrameBytesPerLine)),
                          last ? QString() : QStringLiteral(","));
    }
    QStringList provenance;
    const ParameterProvenance& p = set.provenance;
    if (p.readAt.isValid()) {
        provenance << QStringLiteral("\"%1\": %2").arg(kKeyReadAt, JsonString(TimeText(p.readAt)));
    }
    if (!p.deviceIdentification.isEmpty()) {
        provenance << QStringLiteral("\"%1\": %2")
                          .arg(kKeyIdentification, JsonString(p.deviceIdentification));
    }
    if (!p.program.isEmpty()) {
        provenance << QStringLiteral("\"%1\": %2").arg(kKeyProgram, JsonString(p.program));
    }
    if (provenance.isEmpty()) {
        lines << QStringLiteral("    ]");
    } else {
        lines << QStringLiteral("    ],");
        lines << QStringLiteral("    \"provenance\": {");
        lines << QStringLiteral("        ") + provenance.join(QStringLiteral(",\n        "));
        lines << QStringLiteral("    }");
    }
    lines << QStringLiteral("}");
    file.bytes = (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
    return file;
}

ParameterSetResult ParameterSetFromFile(const QByteArray& bytes, int variant) {
    ParameterSetResult result;
    // An editor on Windows may have put a byte order mark in front.
    const QByteArray bom("\xEF\xBB\xBF");
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(bytes.startsWith(bom) ? bytes.mid(bom.size()) : bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        result.error =
            QStringLiteral("参数文件不是有效的 JSON（第 %1 字节附近）").arg(parseError.offset);
        return result;
    }
    if (!document.isObject()) {
        result.error = QStringLiteral("参数文件的内容应为一个 JSON 对象");
        return result;
    }
    const QString repeated = RepeatedKey(bytes);
    if (!repeated.isEmpty()) {
        result.error = QStringLiteral("字段 %1 出现了两次").arg(Quoted(repeated));
        return result;
    }
    const QString error = FileReader(document.object(), variant).Read(&result);
    if (!error.isEmpty()) {
        return {ParameterSet(), error};
    }
    return result;
}

ParameterSetResult ReadParameterSetFile(const QString& path, int variant) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {ParameterSet(), QStringLiteral("无法打开参数文件：%1").arg(file.errorString())};
    }
    if (file.size() > settings::kParameterFileMaxBytes) {
        return {ParameterSet(),
                QStringLiteral("这不是参数文件：文件过大（%1 字节）").arg(file.size())};
    }
    const QByteArray bytes = file.read(settings::kParameterFileMaxBytes + 1);
    if (bytes.size() > settings::kParameterFileMaxBytes) {
        return {ParameterSet(), QStringLiteral("这不是参数文件：文件过大")};
    }
    return ParameterSetFromFile(bytes, variant);
}

QString WriteParameterSetFile(const QString& path, const ParameterSet& set) {
    const ParameterFileBytes content = ParameterSetToFile(set);
    if (!content.error.isEmpty()) {
        return content.error;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content.bytes) != content.bytes.size() ||
        !file.commit()) {
        return QStringLiteral("无法写入参数文件：%1").arg(file.errorString());
    }
    return QString();
}
