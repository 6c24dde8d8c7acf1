#include "common/staging_dir.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>

namespace common {

namespace {
QString ParentOrTemp(const QString& parent) {
    return parent.isEmpty() ? QDir::tempPath() : parent;
}
}  // namespace

StagingDir::StagingDir(const QString& prefix, const QString& parent)
    : m_dir(QDir(ParentOrTemp(parent)).filePath(prefix + QStringLiteral("-XXXXXX"))) {
    if (!m_dir.isValid()) {
        return;
    }
    m_lock = std::make_unique<QLockFile>(m_dir.filePath(kStagingLockName));
    m_lock->setStaleLockTime(0);  // held as long as the folder lives, however long that is
    if (!m_lock->tryLock(0)) {
        m_lock.reset();
    }
}

bool StagingDir::IsValid() const {
    return m_dir.isValid() && m_lock != nullptr;
}

int RemoveStaleStagingDirs(const QString& parent, qint64 unlockedAgeMs) {
    QStringList patterns;
    for (const QString& prefix : kStagingPrefixes) {
        patterns << prefix + QStringLiteral("-??????");
    }
    const QDir dir(ParentOrTemp(parent));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    int removed = 0;
    for (const QFileInfo& folder :
         dir.entryInfoList(patterns, QDir::Dirs | QDir::NoDotAndDotDot | QDir::NoSymLinks)) {
        const QString lockPath = QDir(folder.filePath()).filePath(kStagingLockName);
        bool stale = false;
        if (QFileInfo::exists(lockPath)) {
            // Taken only when the process that held it is gone.
            QLockFile lock(lockPath);
            lock.setStaleLockTime(0);
            stale = lock.tryLock(0);
            if (stale) {
                lock.unlock();
            }
        } else {
            stale = folder.lastModified().toUTC().msecsTo(now) > unlockedAgeMs;
        }
        if (stale && QDir(folder.filePath()).removeRecursively()) {
            ++removed;
        }
    }
    return removed;
}

}  // namespace common
