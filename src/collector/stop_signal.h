#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <QString>

#include <memory>

// SIGTERM and SIGINT as a Qt signal on the thread that made the object (the handler only writes
// a byte to a socket pair that a notifier watches). One object per process.
class StopSignal : public QObject {
    Q_OBJECT
public:
    explicit StopSignal(QObject* parent = nullptr);
    ~StopSignal() override;

Q_SIGNALS:
    void Raised(const QString& name);

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};
