#include "common/file_dialog_folder.h"

#include <QFileDialog>

#include "common/user_settings.h"

void common::UseRememberedFolder(QFileDialog& dialog, const QString& dialogKey) {
    const QString folder = RememberedFolder(dialogKey);
    if (!folder.isEmpty()) {
        dialog.setDirectory(folder);
    }
    QObject::connect(&dialog, &QFileDialog::fileSelected, &dialog,
                     [dialogKey](const QString& file) { RememberFolderOf(dialogKey, file); });
}
