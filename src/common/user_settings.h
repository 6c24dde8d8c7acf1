#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace common {

// What the program remembers for its user between runs, in one per-user settings store
// (QSettings, organisation and application "kp650": ~/.config/kp650/kp650.conf on Linux). Never
// the program's own files: setting.ini and the databases stay as they are.
std::unique_ptr<QSettings> UserSettings();

// The device chosen for port 1 or 2; empty when none was chosen.
QString RememberedPortDevice(int portNumber);
void RememberPortDevice(int portNumber, const QString& deviceName);

// The folder a kind of file dialog was last left in; empty when none (or it is gone).
QString RememberedFolder(const QString& dialogKey);
void RememberFolderOf(const QString& dialogKey, const QString& chosenFile);

}  // namespace common
