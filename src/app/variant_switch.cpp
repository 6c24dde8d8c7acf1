#include "app/variant_switch.h"

#include <QFile>

#include "common/program_directory.h"

SettingFileOps SettingFileOps::Real() {
    SettingFileOps ops;
    ops.openExisting = [](const QString& path) {
        QFile file(path);
        const bool ok = file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly);
        file.close();
        return ok;
    };
    ops.create = [](const QString& path) {
        QFile file(path);
        const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.close();
        return ok;
    };
    ops.remove = [](const QString& path) { return QFile::remove(path); };
    return ops;
}

QString SettingFilePath() {
    return ProgramFile(QStringLiteral("setting.ini"));
}

VariantSwitch DecideVariant(const QString& path, const SettingFileOps& ops) {
    VariantSwitch result;
    result.filePresent = ops.openExisting(path);
    if (result.filePresent) {
        result.variant = 0;
    } else {
        ops.create(path);
        result.variant = 1;
    }
    return result;
}
