#include "common/remembered_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

namespace {

QString Key(const QString& purpose) {
    return QStringLiteral("folders/") + purpose;
}

}  // namespace

QString RememberedFolder(const QString& purpose) {
    const QString folder = QSettings().value(Key(purpose)).toString();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
        return folder;
    }
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

void RememberFolder(const QString& purpose, const QString& chosenFile) {
    if (chosenFile.isEmpty()) {
        return;
    }
    QSettings().setValue(Key(purpose), QFileInfo(chosenFile).absolutePath());
}
