#include "cli/ctl_link.h"

#include <QTimer>

#include <algorithm>

#include "common/globals.h"

namespace cli {

CtlLink::CtlLink(int timeOutMs, int retries, QObject* parent) : QObject(parent), m_device(this) {
    m_device.SetPortNumber(1);
    m_device.Comm().SetInlineReceive(true);  // the tool waits only in its top-level loops
    comm::RetryPolicy policy = m_device.Policy();
    policy.timeOutMs = timeOutMs;
    policy.attempts = 1 + retries;
    policy.silenceAttempts = 1 + retries;
    m_device.SetPolicy(policy);
}

bool CtlLink::Open(QString* error) {
    return m_device.Open(error);
}

QString CtlLink::DeviceName() const {
    return m_device.DeviceName();
}

VariantProbe DetectVariant(CtlLink& link, int tries) {
    VariantProbe probe;
    IdentityRead read(link.Link());
    QByteArray previous;  // the last whole reply of either shape, judged alone on a quiet line
    for (int i = 0; i < 2 * std::max(1, tries); ++i) {
        probe.read = Await(read, &IdentityRead::Finished, [&read] { return read.StartDetect(); });
        const ExchangeResult& result = probe.read.exchange;
        if (result.outcome == ExchangeOutcome::PortError) {
            return probe;
        }
        if (result.outcome == ExchangeOutcome::LineLost) {
            QEventLoop loop;
            QTimer::singleShot(link.Link().Policy().lineBackMs, &loop, &QEventLoop::quit);
            loop.exec();
        }
        if (!probe.read.identity) {
            previous.clear();
            continue;
        }
        if (result.reply == previous) {
            probe.variant = probe.read.variant;
            link.Link().SetVariant(probe.variant);
            link.Link().SetIdentification(*probe.read.identity);
            return probe;
        }
        previous = result.reply;
    }
    if (probe.read.exchange.outcome == ExchangeOutcome::Success) {
        probe.read.exchange.outcome = ExchangeOutcome::BadReply;  // never confirmed
    }
    return probe;
}

}  // namespace cli
