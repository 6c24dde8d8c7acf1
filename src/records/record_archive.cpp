#include "records/record_archive.h"

#include <QDir>
#include <QFileInfo>

#include "common/globals.h"
#include "common/message_box.h"
#include "common/program_directory.h"
#include "records/record_store.h"

QString ArchiveFolder() {
    return ProgramDirectory() + QLatin1Char('/') + records::kArchiveFolderName;
}

QString NewArchivePath(int variant, const QDateTime& at) {
    const QString stem = QString(variant == kVariantA ? "KPA650-" : "KPB650-") +
                         at.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = ArchiveFolder() + QLatin1Char('/') + stem;
    QString path = base + QStringLiteral(".txt");
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".txt");
    }
    return path;
}

ArchiveResult ArchiveTemp(RecordStore& store, int variant, QWidget* parent, const QDateTime& at) {
    ArchiveResult result;
    if (!store.IsConnected()) {
        result.ok = true;
        return result;
    }
    result.records = store.RowCount(records::kTempTable);
    if (result.records < 0) {
        return result;  // the store has shown the database's text
    }
    if (result.records == 0) {
        result.ok = true;
        return result;
    }
    if (!QDir().mkpath(ArchiveFolder())) {
        ShowMessageBox(parent, records::kSaveFileErrorText);
        return result;
    }
    const QString path = NewArchivePath(variant, at);
    if (!store.SaveRecords(path, parent)) {
        return result;
    }
    result.ok = true;
    result.path = path;
    return result;
}
