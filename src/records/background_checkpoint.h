#pragma once

#include <QString>

#include <atomic>
#include <memory>

class QThread;

// Copies a WAL database's log back into its file on a thread and a connection of its own, so
// that the checkpoint after a large commit (tens of megabytes) does not stall the event loop of
// the connection that committed. Writers and readers carry on meanwhile; SQLite lets one
// checkpoint run beside them.
class BackgroundCheckpoint {
public:
    BackgroundCheckpoint();
    // Waits for a checkpoint under way: it is bounded by the size of the log.
    ~BackgroundCheckpoint();
    BackgroundCheckpoint(const BackgroundCheckpoint&) = delete;
    BackgroundCheckpoint& operator=(const BackgroundCheckpoint&) = delete;

    // Checkpoints the database at `path`; asked again while one runs, it runs once more.
    void Start(const QString& path);
    bool Running() const;
    void Wait();

private:
    enum State { kIdle, kRunning, kAgain };
    std::unique_ptr<QThread> m_thread;
    std::atomic<int> m_state{kIdle};
    QString m_path;
};
