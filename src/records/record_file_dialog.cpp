#include "records/record_file_dialog.h"

#include <QFileDialog>

#include "common/file_dialog_folder.h"
#include "records/record_store.h"

namespace {
QStringList RecordNameFilters() {
    return {QStringLiteral("mdb 文件(*.mdb)"), QStringLiteral("txt 文件(*.txt)")};
}
}  // namespace

RecordFileDialogSettings OpenRecordsDialogSettings() {
    RecordFileDialogSettings s;
    s.save = false;
    s.title = records::kOpenRecordsTitle;
    s.nameFilters = RecordNameFilters();
    s.defaultSuffix = QStringLiteral("mdb");
    return s;
}

RecordFileDialogSettings SaveRecordsDialogSettings(int variant, QDate date) {
    RecordFileDialogSettings s;
    s.save = true;
    s.title = records::kSaveRecordsTitle;
    s.nameFilters = RecordNameFilters();
    s.defaultSuffix = QStringLiteral("mdb");
    s.initialName = RecordStore::ProposedSaveName(variant, date);
    return s;
}

QString RunRecordFileDialog(QWidget* parent, const RecordFileDialogSettings& settings) {
    QFileDialog dialog(parent, settings.title);
    dialog.setAcceptMode(settings.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(settings.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setNameFilters(settings.nameFilters);
    dialog.setDefaultSuffix(settings.defaultSuffix);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
    common::UseRememberedFolder(
        dialog, settings.save ? QStringLiteral("records-save") : QStringLiteral("records-open"));
    if (!settings.initialName.isEmpty()) {
        dialog.selectFile(settings.initialName);
    }
    // A name typed while the text filter is chosen gets ".txt", not the default ".mdb".
    QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                     [&dialog, &settings](const QString& filter) {
                         dialog.setDefaultSuffix(filter.contains(QLatin1String("*.txt"))
                                                     ? QStringLiteral("txt")
                                                     : settings.defaultSuffix);
                     });
    if (dialog.exec() != QDialog::Accepted) {
        return QString();
    }
    return dialog.selectedFiles().value(0);
}
