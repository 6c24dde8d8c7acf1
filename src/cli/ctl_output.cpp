#include "cli/ctl_output.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

#include "records/record_store.h"

namespace cli {

RecordFileKind RecordFileKindOf(const QString& path) {
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("csv")) {
        return RecordFileKind::Csv;
    }
    if (suffix == QLatin1String("cfg")) {
        return RecordFileKind::Comtrade;
    }
    if (suffix == QLatin1String("json") || suffix == QLatin1String("jsonl")) {
        return RecordFileKind::JsonLines;
    }
    return RecordStore::IsDatabasePath(path) ? RecordFileKind::Database : RecordFileKind::Text;
}

QByteArray RecordsToJsonLines(const std::vector<EventRecord>& records) {
    QByteArray bytes;
    for (const EventRecord& record : records) {
        QJsonObject object;
        for (int i = 0; i < records::kRecordFieldCount; ++i) {
            object.insert(QLatin1String(records::kRecordFieldNames[static_cast<std::size_t>(i)]),
                          record.Field(i));
        }
        bytes += QJsonDocument(object).toJson(QJsonDocument::Compact);
        bytes += '\n';
    }
    return bytes;
}

QString ProgressBarText(int done, int total, int width) {
    if (total <= 0) {
        return QString::number(done);
    }
    const int shown = std::clamp(done, 0, total);
    const int filled = static_cast<int>(static_cast<qint64>(shown) * width / total);
    return QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
           QString(width - filled, QLatin1Char('.')) + QStringLiteral("]  ") +
           QString::number(done) + QLatin1Char('/') + QString::number(total);
}

}  // namespace cli
