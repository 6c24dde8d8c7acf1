#include "cli/ctl_link.h"

#include <QEventLoop>
#include <QTimer>

#include <algorithm>

#include "common/globals.h"
#include "link/exchange_outcomes.h"
#include "link/hex_text.h"
#include "link/identity.h"

namespace cli {

namespace {

QString OutcomeName(ExchangeOutcome outcome) {
    return QString::fromLatin1(comm::RowOf(outcome).name);
}

}  // namespace

CtlLink::CtlLink(int timeOutMs, int retries, QObject* parent)
    : QObject(parent), m_device(this), m_timeOutMs(timeOutMs), m_retries(retries) {
    m_device.SetPortNumber(1);
}

bool CtlLink::Open(QString* error) {
    return m_device.Open(error);
}

QString CtlLink::DeviceName() const {
    return m_device.DeviceName();
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
    QByteArray previous;  // the last whole reply of either shape, judged alone on a quiet line
    // Noise in front of a transmitter's reply can make exactly a receiver's: a variant counts
    // only when two replies in a row are the same bytes of one variant's shape.
    for (int i = 0; i < 2 * std::max(1, tries); ++i) {
        // One send per try: a receiver's reply is never acceptable here, and only its exact
        // burst, judged once the line is quiet, tells the variant.
        probe.result = link.Run(IdentityRequest(kVariantA), 1);
        int variant = -1;
        switch (probe.result.outcome) {
            case ExchangeOutcome::Success:
                variant = kVariantA;
                break;
            case ExchangeOutcome::BadReply:
                if (VariantOfIdentityReply(probe.result.reply) == kVariantB &&
                    IdentityFromReply(probe.result.reply, kVariantB)) {
                    variant = kVariantB;
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
        if (variant < 0) {
            previous.clear();
            continue;
        }
        if (probe.result.reply == previous) {
            probe.variant = variant;
            return probe;
        }
        previous = probe.result.reply;
    }
    if (probe.result.outcome == ExchangeOutcome::Success) {
        probe.result.outcome = ExchangeOutcome::BadReply;  // never confirmed
    }
    return probe;
}

}  // namespace cli
