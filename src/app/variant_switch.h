#pragma once

#include <QString>

#include <functional>

// The variant lives only in whether setting.ini exists beside the program. Its content is never
// read or written. The file operations are replaceable so tests can make them fail.
struct SettingFileOps {
    // Opens the file for reading and writing without creating it; true when that worked.
    std::function<bool(const QString& path)> openExisting;
    // Creates it empty; failures are ignored by the caller.
    std::function<bool(const QString& path)> create;
    std::function<bool(const QString& path)> remove;

    static SettingFileOps Real();
};

QString SettingFilePath();

// Outcome of one switch; the frame shows the menu and the message in between.
struct VariantSwitch {
    int variant = 0;  // the variant now in use
    bool filePresent = false;
};

// Decides the new variant from the file and, for variant B, creates the file.
// For variant A the caller removes the file after its message (RemoveSettingFile).
VariantSwitch DecideVariant(const QString& path, const SettingFileOps& ops);

namespace app {

inline const QString kSwitchedToAText = QStringLiteral("维护软件切换为KPA-650界面!");
inline const QString kSwitchedToBText = QStringLiteral("维护软件切换为KPB-650界面!");

}  // namespace app
