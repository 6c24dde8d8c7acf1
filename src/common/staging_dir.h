#pragma once

#include <QLockFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

// The program's private folders under the system's temporary folder (a save being built, the
// tool's scratch database). Each holds a lock file naming its process, so that the next start can
// remove what a killed run left behind without touching a folder another running copy still uses.

namespace common {

// Folder name prefixes of the program's staging folders ("PREFIX-XXXXXX").
inline const QStringList kStagingPrefixes{QStringLiteral("kp650-save"), QStringLiteral("kp650ctl")};
// A folder without a lock file (an older version's, or one killed before its lock was taken) is
// left alone until it is this old.
inline constexpr qint64 kUnlockedStagingAgeMs = 60 * 60 * 1000;
inline const QString kStagingLockName = QStringLiteral("owner.lock");

class StagingDir {
public:
    // A new folder `prefix`-XXXXXX under `parent` (default: the system's temporary folder).
    explicit StagingDir(const QString& prefix, const QString& parent = QString());

    bool IsValid() const;
    QString Path() const { return m_dir.path(); }
    QString FilePath(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;                // removed last, with everything in it
    std::unique_ptr<QLockFile> m_lock;  // released first
};

// Removes the staging folders under `parent` (default: the system's temporary folder) that no
// running process holds, and returns how many it removed.
int RemoveStaleStagingDirs(const QString& parent = QString(),
                           qint64 unlockedAgeMs = kUnlockedStagingAgeMs);

}  // namespace common
