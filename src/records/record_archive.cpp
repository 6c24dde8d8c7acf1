#include "records/record_archive.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

#include "common/globals.h"
#include "common/program_directory.h"
#include "records/record_text_file.h"

QString ArchiveFolder() {
    return ProgramDirectory() + QLatin1Char('/') + records::kArchiveFolderName;
}

QString NewArchivePath(int variant, const QDateTime& at, const QString& folder,
                       const QString& prefix) {
    const QString stem = prefix + QString(variant == kVariantA ? "KPA650-" : "KPB650-") +
                         at.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString base = folder + QLatin1Char('/') + stem;
    QString path = base + QStringLiteral(".txt");
    for (int n = 2; QFileInfo::exists(path); ++n) {
        path = base + QLatin1Char('-') + QString::number(n) + QStringLiteral(".txt");
    }
    return path;
}

ArchiveResult ArchiveTemp(RecordStore& store, int variant, const QDateTime& at) {
    ArchiveResult result;
    if (!store.IsConnected()) {
        result.ok = true;
        return result;
    }
    result.records = store.RowCount(records::kTempTable);
    if (result.records < 0) {
        result.errors = store.Errors();
        return result;
    }
    if (result.records == 0) {
        result.ok = true;
        return result;
    }
    if (!QDir().mkpath(ArchiveFolder())) {
        result.errors.errors.push_back(records::StoreError{
            records::StoreError::What::SaveFile, records::kSaveFileErrorText, {}});
        return result;
    }
    const QString path = NewArchivePath(variant, at);
    const bool saved = store.SaveRecords(path);
    // Rows the database refused are told even when the file was written.
    result.errors = store.Errors();
    if (!saved) {
        return result;
    }
    result.ok = true;
    result.path = path;
    return result;
}

ArchiveResult KeepRecords(const std::vector<EventRecord>& records, int variant,
                          const QString& folder, const QString& prefix, const QDateTime& at) {
    ArchiveResult result;
    result.records = static_cast<int>(records.size());
    const auto fail = [&result](const QString& reason) {
        result.errors.errors.push_back(records::StoreError{records::StoreError::What::SaveFile,
                                                           records::kSaveFileErrorText, reason});
        return result;
    };
    if (!QDir().mkpath(folder)) {
        return fail(folder + QStringLiteral(": the folder cannot be made"));
    }
    const QString path = NewArchivePath(variant, at, folder, prefix);
    QByteArray text;
    int serial = 0;
    for (const EventRecord& record : records) {
        text += FormatRecordLine(++serial, record);
        text += "\r\n";
    }
    // QSaveFile writes beside the name and renames on commit, after flushing to the disk: a copy
    // that exists is whole.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        return fail(path + QStringLiteral(": ") + file.errorString());
    }
    result.ok = true;
    result.path = path;
    return result;
}
