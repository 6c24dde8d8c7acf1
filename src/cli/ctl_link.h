#pragma once

#include <QEventLoop>
#include <QObject>
#include <QString>

#include <functional>

#include "link/device_link.h"
#include "link/identity_read.h"

// kp650ctl's line to the device: a DeviceLink on port 1 with the tool's time-out and number of
// tries (sent again also after silence or a lost line), each conversation awaited in a local
// event loop (the tool has no window to keep alive).

namespace cli {

class CtlLink : public QObject {
    Q_OBJECT
public:
    CtlLink(int timeOutMs, int retries, QObject* parent = nullptr);

    // Port 1, opened as every dialog opens it; false with the facility's text.
    bool Open(QString* error);
    // The device name port 1 stands for.
    QString DeviceName() const;
    DeviceLink& Link() { return m_device; }

    // Receives each request sent and each reply judged (-v).
    void SetTrace(std::function<void(const QString&)> trace) {
        m_device.SetTrace(std::move(trace));
    }

private:
    DeviceLink m_device;
};

// Starts a conversation and waits for its Finished; a conversation that would not start ends
// with a default result.
template <typename Conversation, typename Result>
Result Await(Conversation& conversation, void (Conversation::*finished)(const Result&),
             const std::function<bool()>& start) {
    QEventLoop loop;
    Result result;
    bool done = false;
    const QMetaObject::Connection connection =
        QObject::connect(&conversation, finished, &loop, [&](const Result& r) {
            result = r;
            done = true;
            loop.quit();
        });
    if (start() && !done) {
        loop.exec();
    }
    QObject::disconnect(connection);
    return result;
}

struct VariantProbe {
    IdentityReadResult read;  // the last try's
    int variant = -1;         // kVariantA, kVariantB, or -1 when no try told
};

// Tells the variant from the identification reply's shape (IdentityRead::StartDetect). The
// variant counts only once a second reply right after is the same bytes (noise before an A
// reply can look exactly like a B reply); then the link keeps the identification. At most
// 2 x tries requests.
VariantProbe DetectVariant(CtlLink& link, int tries);

}  // namespace cli
