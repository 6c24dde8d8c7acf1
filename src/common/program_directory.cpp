#include "common/program_directory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ProgramDirectory() {
    const QString home = qEnvironmentVariable("KP650_HOME");
    if (!home.isEmpty()) {
        QDir().mkpath(home);
        return QDir::cleanPath(QDir(home).absolutePath());
    }
    const QString appDir = QCoreApplication::applicationDirPath();
    // An installed program (/usr/bin/kp650) keeps its files per user even when run by someone
    // who may write to the bin directory.
    const bool installed = QDir(appDir).dirName() == QLatin1String("bin");
    if (!appDir.isEmpty() && !installed && QFileInfo(appDir).isWritable()) {
        return QDir::cleanPath(appDir);
    }
    const QString dataDir = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(dataDir);
    return QDir::cleanPath(dataDir);
}

QString ProgramFile(const QString& name) {
    return ProgramDirectory() + QLatin1Char('/') + name;
}
