#include "records/csv_export.h"

#include <QStringList>

#include "records/record_time.h"

QString CsvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n'))) {
        return text;
    }
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

QString TabField(QString text) {
    for (QChar& c : text) {
        if (c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n')) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}

}  // namespace

QByteArray RecordsToCsv(const std::vector<EventRecord>& records) {
    QString text = QStringLiteral("序号,时间,年,月,日,时,分,秒,毫秒,事件\r\n");
    int serial = 0;
    for (const EventRecord& r : records) {
        const std::optional<qint64> time = RecordTimeMs(r);
        QStringList fields;
        fields << QString::number(++serial) << (time ? IsoDateTimeText(*time) : QString());
        for (int i = 0; i < records::kRecordFieldCount; ++i) {
            fields << CsvField(r.Field(i));
        }
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QString RecordsToTabText(const std::vector<EventRecord>& records, const std::vector<int>& serials) {
    QString text;
    for (std::size_t k = 0; k < records.size(); ++k) {
        QStringList fields;
        fields << QString::number(k < serials.size() ? serials[k] : static_cast<int>(k) + 1);
        for (int i = 0; i < records::kRecordFieldCount; ++i) {
            fields << TabField(records[k].Field(i));
        }
        text += fields.join(QLatin1Char('\t')) + QLatin1Char('\n');
    }
    return text;
}
