#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <array>

#include "records/event_record.h"

class QIODevice;

// Text record files: GBK, one record a line, CR LF line ends, no header line.
// Line: serial (1-based, padded on the right with blanks to 3 characters), "  ", year, "  ",
// month, "  ", day, "   ", hour, "  ", minute, "  ", second, "  ", msecond, "  ", event.

namespace records {

// Longest line the reader accepts (line end excluded); longer lines are skipped.
inline constexpr int kMaxRecordLineBytes = 64 * 1024;

// The eight fields of one line as byte ranges of that line, in field order.
using RecordLineFields = std::array<QByteArrayView, kRecordFieldCount>;

}  // namespace records

// One line in GBK, without its line end.
QByteArray FormatRecordLine(int serial, const EventRecord& record);

// The fields of one line (a trailing CR and/or LF is ignored). The serial occupies the first five
// bytes (a longer serial is skipped whole); then every field, the event included, is a run of
// non-blank bytes after the blanks that end the one before, as the writer puts them. Missing
// fields are empty; a line of five bytes or fewer has only empty fields.
records::RecordLineFields SplitRecordLine(QByteArrayView line);

// A field's GBK bytes as text. Bytes that are not valid GBK, and a lead byte cut off by the end
// of the field, become the replacement character.
QString DecodeRecordField(QByteArrayView gbk);

// SplitRecordLine with every field decoded.
EventRecord ParseRecordLine(QByteArrayView line);

// Hands out the lines of a text record file one at a time, reading the file in large blocks.
// Lines longer than records::kMaxRecordLineBytes, and lines holding a zero byte, are skipped
// whole. The device must stay open
// and unread by others while this reads it.
class RecordLineReader {
public:
    explicit RecordLineReader(QIODevice& device);

    // The next line without its line end, valid until the next call; false at the end of the
    // file or on a read error (see Failed).
    bool Next(QByteArrayView* line);
    bool Failed() const { return m_failed; }
    // Bytes of the file consumed so far.
    qint64 Consumed() const { return m_consumed; }

private:
    bool Fill();

    QIODevice& m_device;
    QByteArray m_buffer;
    qsizetype m_pos = 0;
    qint64 m_consumed = 0;
    bool m_atEnd = false;
    bool m_failed = false;
};
