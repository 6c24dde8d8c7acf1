#include "cli/ctl_link.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

#include "common/globals.h"
#include "link/hex_text.h"
#include "link/identity.h"

namespace cli {

namespace {

QString OutcomeName(ExchangeOutcome outcome) {
    switch (outcome) {
        case ExchangeOutcome::Success:
            return QStringLiteral("success");
        case ExchangeOutcome::Refused:
            return QStringLiteral("refused");
        case ExchangeOutcome::BadReply:
            return QStringLiteral("bad reply");
        case ExchangeOutcome::TimedOut:
            return QStringLiteral("no reply");
        case ExchangeOutcome::LineLost:
            return QStringLiteral("line lost");
        case ExchangeOutcome::PortError:
            return QStringLiteral("port error");
    }
    return QString();
}

}  // namespace

CtlLink::CtlLink(int timeOutMs, int retries, QObject* parent)
    : QObject(parent),
      m_comm(this),
      m_exchange(m_comm, this),
      m_timeOutMs(timeOutMs),
      m_retries(retries) {
    m_exchange.SetPortNumber(1);
}

bool CtlLink::Open(QString* error) {
    return DeviceExchange::OpenLine(m_comm, 1, error);
}

QString CtlLink::DeviceName() const {
    return m_comm.DeviceName();
}

ExchangeResult CtlLink::Run(ExchangeRequest request, int tries) {
    request.timeOutMs = m_timeOutMs;
    if (tries <= 0) {
        tries = 1 + m_retries;
    }
    request.maxAttempts = tries;
    int sent = 0;
    for (;;) {
        ExchangeResult result = RunOnce(request);
        sent += std::max(1, result.attempts);
        const bool again = result.outcome == ExchangeOutcome::TimedOut ||
                           result.outcome == ExchangeOutcome::LineLost ||
                           result.outcome == ExchangeOutcome::PortError;
        if (!again || sent >= tries) {
            result.attempts = sent;
            return result;
        }
        if (result.outcome != ExchangeOutcome::TimedOut) {
            Pause(kLineBackMs);
        }
    }
}

ExchangeResult CtlLink::RunOnce(const ExchangeRequest& request) {
    if (m_trace) {
        m_trace(QStringLiteral("-> ") + request.texts.join(QLatin1Char(' ')).simplified());
    }
    QEventLoop loop;
    ExchangeResult result;
    bool finished = false;
    const QMetaObject::Connection connection =
        connect(&m_exchange, &DeviceExchange::Finished, &loop, [&](const ExchangeResult& r) {
            result = r;
            finished = true;
            loop.quit();
        });
    if (m_exchange.Start(request) && !finished) {
        loop.exec();
    }
    disconnect(connection);
    if (m_trace) {
        m_trace(QStringLiteral("<- %1 %2")
                    .arg(OutcomeName(result.outcome), BytesToHexText(result.reply).trimmed()));
    }
    return result;
}

void CtlLink::Pause(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

VariantProbe DetectVariant(CtlLink& link, int tries) {
    VariantProbe probe;
    for (int i = 0; i < std::max(1, tries); ++i) {
        // One send per try: a receiver's reply is never acceptable here, and only its exact
        // burst, judged once the line is quiet, tells the variant.
        probe.result = link.Run(IdentityRequest(kVariantA), 1);
        switch (probe.result.outcome) {
            case ExchangeOutcome::Success:
                probe.variant = kVariantA;
                return probe;
            case ExchangeOutcome::BadReply:
                if (VariantOfIdentityReply(probe.result.reply) == kVariantB &&
                    IdentityFromReply(probe.result.reply, kVariantB)) {
                    probe.variant = kVariantB;
                    return probe;
                }
                break;
            case ExchangeOutcome::PortError:
                return probe;
            case ExchangeOutcome::Refused:
            case ExchangeOutcome::TimedOut:
            case ExchangeOutcome::LineLost:
                if (probe.result.outcome == ExchangeOutcome::LineLost) {
                    QEventLoop loop;
                    QTimer::singleShot(kLineBackMs, &loop, &QEventLoop::quit);
                    loop.exec();
                }
                break;
        }
    }
    return probe;
}

}  // namespace cli
