#include "records/record_text_file.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

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

EventRecord ParseRecordLine(const QByteArray& rawLine) {
    qsizetype end = rawLine.size();
    while (end > 0 && (rawLine.at(end - 1) == '\n' || rawLine.at(end - 1) == '\r')) {
        --end;
    }
    const char* data = rawLine.constData();
    EventRecord record;
    if (end <= kSerialBytes) {
        return record;
    }
    qsizetype pos = kSerialBytes;
    // A serial of six digits or more (record 100000 on) runs past the fixed offset.
    bool serialRunsOn = true;
    for (qsizetype i = 0; i < kSerialBytes; ++i) {
        if (data[i] == kBlank) {
            serialRunsOn = false;
            break;
        }
    }
    if (serialRunsOn) {
        while (pos < end && data[pos] != kBlank) {
            ++pos;
        }
    }
    for (int field = 0; field < records::kRecordFieldCount; ++field) {
        while (pos < end && data[pos] == kBlank) {
            ++pos;
        }
        const qsizetype start = pos;
        if (field == records::kRecordFieldCount - 1) {
            pos = end;  // the event runs to the end of the line
        } else {
            while (pos < end && data[pos] != kBlank) {
                ++pos;
            }
        }
        record.Field(field) = DecodeGbk(data + start, pos - start);
    }
    return record;
}
