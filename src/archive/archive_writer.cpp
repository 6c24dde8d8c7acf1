#include "archive/archive_writer.h"

#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QThread>

#include <vector>

#include "archive/archive_holder.h"

namespace archive {

struct ArchiveWriter::Queue {
    QMutex mutex;
    std::vector<std::function<Then(Archive&)>> work;
    bool drainPosted = false;
};

ArchiveWriter::ArchiveWriter(QObject* parent)
    : QObject(parent), m_queue(std::make_shared<Queue>()) {
    m_thread = new QThread(this);
    m_thread->setObjectName(QStringLiteral("archive writer"));
    m_worker = new ArchiveHolder;
    m_worker->moveToThread(m_thread);
    m_thread->start();
}

ArchiveWriter::~ArchiveWriter() {
    QMetaObject::invokeMethod(
        m_worker,
        [this] {
            Drain();
            m_worker->archive.Close();
        },
        Qt::BlockingQueuedConnection);
    m_thread->quit();
    m_thread->wait();
    delete m_worker;
}

QString ArchiveWriter::Open(const QString& location) {
    QString error;
    QMetaObject::invokeMethod(
        m_worker, [this, &location, &error] { error = m_worker->archive.Open(location); },
        Qt::BlockingQueuedConnection);
    return error;
}

QString ArchiveWriter::RunAndWait(const std::function<QString(Archive&)>& work) {
    QString error;
    QMetaObject::invokeMethod(
        m_worker,
        [this, &work, &error] {
            Archive& archive = m_worker->archive;
            Batch batch(archive);
            error = work(archive);
            const QString committed = batch.Commit();
            if (error.isEmpty()) {
                error = committed;
            }
        },
        Qt::BlockingQueuedConnection);
    return error;
}

void ArchiveWriter::Post(std::function<Then(Archive&)> work) {
    ++m_pending;
    QMutexLocker lock(&m_queue->mutex);
    m_queue->work.push_back(std::move(work));
    if (!m_queue->drainPosted) {
        m_queue->drainPosted = true;
        QMetaObject::invokeMethod(
            m_worker, [this] { Drain(); }, Qt::QueuedConnection);
    }
}

void ArchiveWriter::Drain() {
    std::vector<std::function<Then(Archive&)>> work;
    {
        QMutexLocker lock(&m_queue->mutex);
        work.swap(m_queue->work);
        m_queue->drainPosted = false;
    }
    if (work.empty()) {
        return;
    }
    Archive& archive = m_worker->archive;
    std::vector<Then> answers;
    answers.reserve(work.size());
    QString committed;
    {
        Batch batch(archive);
        for (auto& w : work) {
            answers.push_back(w(archive));
        }
        committed = batch.Commit();
    }
    for (Then& answer : answers) {
        // Posted to the writer: dropped with it, should it go first.
        QMetaObject::invokeMethod(
            this,
            [this, answer = std::move(answer), committed] {
                --m_pending;
                if (answer) {
                    answer(committed);
                }
            },
            Qt::QueuedConnection);
    }
}

}  // namespace archive
