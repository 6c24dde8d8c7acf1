#include "link/identity_read.h"

#include "common/globals.h"
#include "link/device_link.h"

IdentityRead::IdentityRead(DeviceLink& link, QObject* parent)
    : QObject(parent), m_link(link), m_request(link) {
    connect(&m_request, &LinkRequest::Finished, this, &IdentityRead::OnFinished);
}

bool IdentityRead::Start() {
    m_detect = false;
    return m_request.Start(IdentityRequest(m_link.Variant()));
}

bool IdentityRead::StartDetect() {
    m_detect = true;
    return m_request.Start(IdentityRequest(kVariantA), 1);
}

void IdentityRead::OnFinished(const ExchangeResult& exchange) {
    IdentityReadResult result;
    result.exchange = exchange;
    if (!m_detect) {
        result.variant = m_link.Variant();
        if (exchange.outcome == ExchangeOutcome::Success) {
            result.identity = IdentityFromReply(exchange.reply, result.variant);
            m_link.SetIdentification(*result.identity);
        }
    } else {
        if (exchange.outcome == ExchangeOutcome::Success) {
            result.variant = kVariantA;
        } else if (exchange.outcome == ExchangeOutcome::BadReply) {
            result.variant = VariantOfIdentityReply(exchange.reply).value_or(-1);
        }
        // Kept by the caller once it trusts the variant.
        if (result.variant >= 0) {
            result.identity = IdentityFromReply(exchange.reply, result.variant);
        }
    }
    emit Finished(result);
}
