#include "records/record_text_file.h"

#include <QIODevice>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>
#include <cstring>

namespace {

constexpr char kBlank = ' ';
constexpr int kSerialBytes = 5;  // serial padded to 3, then two blanks

// Invalid bytes become U+FFFD. A lead byte cut off by the end of the field would be swallowed
// by the decoder as pending input, so it is replaced here.
QString DecodeGbk(const char* data, qsizetype size) {
    qsizetype complete = 0;
    while (complete < size) {
        const auto byte = static_cast<quint8>(data[complete]);
        const bool lead = byte >= 0x81 && byte <= 0xFE;
        if (lead && complete + 1 >= size) {
            break;
        }
        complete += lead ? 2 : 1;
    }
    QString text;
    if (std::all_of(data, data + complete, [](char c) { return static_cast<quint8>(c) < 0x80; })) {
        text = QString::fromLatin1(data, complete);  // numbers: no converter needed
    } else {
        // Opening a converter costs more than a line; only whole sequences reach it, so it is
        // never left holding a partial character between calls.
        thread_local QStringDecoder decoder("GBK");
        decoder.resetState();
        text = decoder.decode(QByteArrayView(data, complete));
    }
    if (complete < size) {
        text.append(QChar::ReplacementCharacter);
    }
    return text;
}

QByteArray EncodeGbk(const QString& text) {
    const bool ascii =
        std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        return text.toLatin1();
    }
    thread_local QStringEncoder encoder("GBK");
    encoder.resetState();
    return encoder.encode(text);
}

}  // namespace

QByteArray FormatRecordLine(int serial, const EventRecord& record) {
    QByteArray line = QByteArray::number(serial);
    while (line.size() < 3) {
        line.append(kBlank);
    }
    static constexpr const char* kSeparators[records::kRecordFieldCount] = {"  ", "  ", "  ", "   ",
                                                                            "  ", "  ", "  ", "  "};
    for (int i = 0; i < records::kRecordFieldCount; ++i) {
        line.append(kSeparators[i]);
        line.append(EncodeGbk(record.Field(i)));
    }
    return line;
}

records::RecordLineFields SplitRecordLine(QByteArrayView line) {
    qsizetype end = line.size();
    while (end > 0 && (line.at(end - 1) == '\n' || line.at(end - 1) == '\r')) {
        --end;
    }
    const char* data = line.data();
    records::RecordLineFields fields;
    if (end <= kSerialBytes) {
        return fields;
    }
    qsizetype pos = kSerialBytes;
    // A serial of six digits or more (record 100000 on) runs past the fixed offset.
    if (std::none_of(data, data + kSerialBytes, [](char c) { return c == kBlank; })) {
        while (pos < end && data[pos] != kBlank) {
            ++pos;
        }
    }
    for (QByteArrayView& field : fields) {
        while (pos < end && data[pos] == kBlank) {
            ++pos;
        }
        const qsizetype start = pos;
        while (pos < end && data[pos] != kBlank) {
            ++pos;
        }
        field = QByteArrayView(data + start, pos - start);
    }
    return fields;
}

QString DecodeRecordField(QByteArrayView gbk) {
    return DecodeGbk(gbk.data(), gbk.size());
}

EventRecord ParseRecordLine(QByteArrayView line) {
    const records::RecordLineFields fields = SplitRecordLine(line);
    EventRecord record;
    for (int i = 0; i < records::kRecordFieldCount; ++i) {
        record.Field(i) = DecodeRecordField(fields[static_cast<std::size_t>(i)]);
    }
    return record;
}

namespace {
// Read size: large enough that a read costs little per line, small enough to stay in cache.
constexpr qint64 kReadBlockBytes = 256 * 1024;
// Bytes a line may hold before its LF: the longest accepted line and its CR.
constexpr qsizetype kLongestRawLine = records::kMaxRecordLineBytes + 1;
}  // namespace

RecordLineReader::RecordLineReader(QIODevice& device) : m_device(device) {}

bool RecordLineReader::Fill() {
    if (m_atEnd || m_failed) {
        return false;
    }
    m_buffer.remove(0, m_pos);
    m_pos = 0;
    const qsizetype kept = m_buffer.size();
    m_buffer.resize(kept + kReadBlockBytes);
    const qint64 got = m_device.read(m_buffer.data() + kept, kReadBlockBytes);
    m_buffer.resize(kept + std::max<qint64>(got, 0));
    if (got < 0) {
        m_failed = true;
    } else if (got == 0) {
        m_atEnd = true;
    }
    return got > 0;
}

bool RecordLineReader::Next(QByteArrayView* line) {
    bool skipping = false;  // inside a line that is too long
    for (;;) {
        const char* data = m_buffer.constData();
        const qsizetype size = m_buffer.size();
        const auto* lf = static_cast<const char*>(
            m_pos < size ? std::memchr(data + m_pos, '\n', static_cast<std::size_t>(size - m_pos))
                         : nullptr);
        qsizetype start = m_pos;
        qsizetype end = 0;
        if (lf != nullptr) {
            end = lf - data;
            m_consumed += end + 1 - m_pos;
            m_pos = end + 1;
            if (skipping) {
                skipping = false;
                continue;
            }
        } else if (size - m_pos > kLongestRawLine) {
            // Too long already: drop what is here and the rest of the line as it comes.
            m_consumed += size - m_pos;
            m_pos = size;
            skipping = true;
            if (!Fill()) {
                return false;
            }
            continue;
        } else if (Fill()) {
            continue;
        } else {
            // The last line has no line end.
            if (skipping || m_failed || m_pos == m_buffer.size()) {
                return false;
            }
            data = m_buffer.constData();
            start = m_pos;
            end = m_buffer.size();
            m_consumed += end - m_pos;
            m_pos = end;
        }
        while (end > start && data[end - 1] == '\r') {
            --end;
        }
        if (end - start > records::kMaxRecordLineBytes) {
            continue;
        }
        // No field the program writes holds a zero byte, and the database would cut the field
        // at it: such a line is skipped as a line too long is.
        if (std::memchr(data + start, 0, static_cast<std::size_t>(end - start)) != nullptr) {
            continue;
        }
        *line = QByteArrayView(data + start, end - start);
        return true;
    }
}
