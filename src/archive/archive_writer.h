#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

#include "archive/archive.h"

class QThread;

namespace archive {

class ArchiveHolder;

// An archive written on a thread of its own, so that a commit waiting for a disk's sync or a
// distant server holds up no device's line. Work runs in the order posted; work posted while a
// commit is under way goes into the next transaction, so a busy fleet commits in groups (each
// piece of work atomic on its own through the archive's savepoints). What the work returns runs
// on the thread that made the writer, once the work's transaction is committed, never before.
class ArchiveWriter : public QObject {
    Q_OBJECT
public:
    // Runs after the commit that made the work durable; `committed` is empty on success, else
    // the commit's error (and nothing of that transaction was kept).
    using Then = std::function<void(const QString& committed)>;

    explicit ArchiveWriter(QObject* parent = nullptr);
    // Writes and commits what is queued, closes the archive on its thread, ends the thread.
    ~ArchiveWriter() override;
    ArchiveWriter(const ArchiveWriter&) = delete;
    ArchiveWriter& operator=(const ArchiveWriter&) = delete;

    // Opens (creates or migrates) `location` for writing and waits for it; the error or empty.
    QString Open(const QString& location);
    // Runs `work` in a transaction of its own and waits for it (set-up, before any Post): the
    // work's error, else the commit's.
    QString RunAndWait(const std::function<QString(Archive&)>& work);
    void Post(std::function<Then(Archive&)> work);
    // Work posted whose answer has not run yet.
    int Pending() const { return m_pending; }

private:
    struct Queue;
    void Drain();  // on the writer's thread

    QThread* m_thread = nullptr;
    ArchiveHolder* m_worker = nullptr;  // lives on m_thread
    std::shared_ptr<Queue> m_queue;
    int m_pending = 0;
};

}  // namespace archive
