#include "records/background_checkpoint.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>

namespace {

void Checkpoint(const QString& path) {
    // A connection belongs to the thread that made it: this one is made, used and removed here.
    const QString name =
        QStringLiteral("checkpoint-%1").arg(reinterpret_cast<quintptr>(QThread::currentThreadId()));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery(db).exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
}

}  // namespace

BackgroundCheckpoint::BackgroundCheckpoint() = default;

BackgroundCheckpoint::~BackgroundCheckpoint() {
    Wait();
}

void BackgroundCheckpoint::Start(const QString& path) {
    if (path == m_path) {
        // Running: ask for one more pass, unless the thread has just decided to stop.
        int state = m_state.load();
        while (state != kIdle) {
            if (m_state.compare_exchange_weak(state, kAgain)) {
                return;
            }
        }
    }
    Wait();  // finished or finishing
    m_path = path;
    m_state = kRunning;
    m_thread.reset(QThread::create([this, path] {
        for (;;) {
            Checkpoint(path);
            int state = kRunning;
            if (m_state.compare_exchange_strong(state, kIdle)) {
                return;
            }
            m_state = kRunning;  // was kAgain
        }
    }));
    m_thread->start(QThread::LowPriority);
}

bool BackgroundCheckpoint::Running() const {
    return m_thread != nullptr && m_thread->isRunning();
}

void BackgroundCheckpoint::Wait() {
    if (m_thread != nullptr) {
        m_thread->wait();
        m_thread.reset();
    }
}
