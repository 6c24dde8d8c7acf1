#pragma once

#include <QDate>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

// How the record dialog asks for a file to open or to save.
struct RecordFileDialogSettings {
    bool save = false;
    QString title;
    QStringList nameFilters;
    QString defaultSuffix;
    QString initialName;  // without the suffix, which the dialog adds
};

namespace records {

inline const QString kOpenRecordsTitle = QStringLiteral("选择读取文件");
inline const QString kSaveRecordsTitle = QStringLiteral("选择保存文件");

}  // namespace records

// Open: empty initial name. Save: the store's proposed name for the variant and date.
RecordFileDialogSettings OpenRecordsDialogSettings();
RecordFileDialogSettings SaveRecordsDialogSettings(int variant, QDate date);

// Shows a modal file dialog with the settings (a save asks before overwriting); returns the
// chosen path, empty when cancelled.
QString RunRecordFileDialog(QWidget* parent, const RecordFileDialogSettings& settings);

// Chooses a file: RunRecordFileDialog, or a test's stand-in that returns a path at once.
using RecordFileChooser =
    std::function<QString(QWidget* parent, const RecordFileDialogSettings& settings)>;
