#include "common/user_settings.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {
QString PortKey(int portNumber) {
    return QStringLiteral("ports/com%1").arg(portNumber);
}

QString FolderKey(const QString& dialogKey) {
    return QStringLiteral("folders/") + dialogKey;
}
}  // namespace

std::unique_ptr<QSettings> common::UserSettings() {
    // Named explicitly: tests and tools built from the same library share the store's layout.
    return std::make_unique<QSettings>(QStringLiteral("kp650"), QStringLiteral("kp650"));
}

QString common::RememberedPortDevice(int portNumber) {
    return UserSettings()->value(PortKey(portNumber)).toString();
}

void common::RememberPortDevice(int portNumber, const QString& deviceName) {
    UserSettings()->setValue(PortKey(portNumber), deviceName);
}

QString common::RememberedFolder(const QString& dialogKey) {
    const QString folder = UserSettings()->value(FolderKey(dialogKey)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}

void common::RememberFolderOf(const QString& dialogKey, const QString& chosenFile) {
    if (chosenFile.isEmpty()) {
        return;
    }
    UserSettings()->setValue(FolderKey(dialogKey), QFileInfo(chosenFile).absolutePath());
}
