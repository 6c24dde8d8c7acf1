#include "support/log_files.h"

#include "records/event_record.h"
#include "records/record_text_file.h"

QByteArray MakeLogFile(int variant, int count, bool oddRecords) {
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const int code = i % 23;  // 22 is the error code
        // Every eighth record holds bytes no clock gives (month 200, hour 250...): the program
        // stores them all the same, byte for byte.
        const bool odd = oddRecords && i % 8 == 7;
        const EventRecord r{QString::number(2000 + (i * 37) % 100),
                            QString::number(odd ? (i * 5) % 256 : 1 + i % 12),
                            QString::number(1 + i % 31),
                            QString::number(odd ? (i * 11) % 256 : i % 24),
                            QString::number(i % 60),
                            QString::number((i * 3) % 60),
                            QString::number(odd ? (i * 257) % 65536 : (i * 7) % 1000),
                            EventText(code, variant)};
        out += FormatRecordLine(i + 1, r) + "\r\n";
    }
    return out;
}

QByteArray LogWithThirdMillisecond(int variant, int msecond) {
    QByteArray out;
    for (int i = 0; i < 5; ++i) {
        const EventRecord r{QStringLiteral("2024"),
                            QStringLiteral("5"),
                            QString::number(8 + i),
                            QStringLiteral("8"),
                            QString::number(i == 2 ? 2 : 10 + i),
                            QStringLiteral("30"),
                            QString::number(i == 2 ? msecond : 100 * i + 1),
                            EventText(i + 1, variant)};
        out += FormatRecordLine(i + 1, r) + "\r\n";
    }
    return out;
}
