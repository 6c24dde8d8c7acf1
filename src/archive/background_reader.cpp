#include "archive/background_reader.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include "archive/archive_holder.h"

namespace archive {

// What the thread and the reader share: where answers go, while there is a reader.
struct BackgroundReader::Shared {
    QMutex mutex;
    BackgroundReader* owner = nullptr;
};

BackgroundReader::BackgroundReader(QObject* parent)
    : QObject(parent), m_shared(std::make_shared<Shared>()) {
    m_shared->owner = this;
    m_thread = new QThread;
    m_thread->setObjectName(QStringLiteral("archive reader"));
    m_worker = new ArchiveHolder;
    m_worker->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    m_thread->start();
}

BackgroundReader::~BackgroundReader() {
    {
        QMutexLocker lock(&m_shared->mutex);
        m_shared->owner = nullptr;
    }
    m_thread->quit();
    if (m_pending == 0) {
        m_thread->wait();  // at once: nothing runs there
    }
}

void BackgroundReader::Post(std::function<std::function<void()>(Archive&)> work) {
    ++m_pending;
    auto* holder = static_cast<ArchiveHolder*>(m_worker);
    QMetaObject::invokeMethod(
        m_worker,
        [holder, work = std::move(work), shared = m_shared] {
            std::function<void()> answer = work(holder->archive);
            QMutexLocker lock(&shared->mutex);
            if (shared->owner) {
                // Posted to the reader: dropped with it if it goes before the answer runs.
                QMetaObject::invokeMethod(shared->owner, std::move(answer), Qt::QueuedConnection);
            }
        },
        Qt::QueuedConnection);
}

void BackgroundReader::Open(const QString& location) {
    const quint64 serial = ++m_serial;
    Post([this, location, serial](Archive& archive) -> std::function<void()> {
        archive.Close();
        QString error = archive.OpenReadOnly(location);
        std::vector<DeviceRow> devices;
        if (error.isEmpty()) {
            devices = archive.Devices(&error);
        }
        if (!error.isEmpty()) {
            archive.Close();
            devices.clear();
        }
        // Runs on the reader's own thread, only while it exists.
        return [this, serial, error, devices] {
            --m_pending;
            if (serial == m_serial) {
                emit Opened(error, devices);
            }
        };
    });
}

void BackgroundReader::ReadRecords(const DeviceEventsQuery& query) {
    const quint64 serial = ++m_serial;
    Post([this, query, serial](Archive& archive) -> std::function<void()> {
        QString error;
        std::vector<EventRecord> records = DeviceRecords(archive, query, &error);
        if (!error.isEmpty()) {
            records.clear();
        }
        return [this, serial, error, records] {
            --m_pending;
            if (serial == m_serial) {
                emit RecordsRead(error, records);
            }
        };
    });
}

}  // namespace archive
