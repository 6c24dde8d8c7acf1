#include "link/fake_serial_line.h"

namespace {
quint64 g_openSerial = 0;
}

FakeSerialLine::FakeSerialLine(QObject* parent) : QObject(parent) {
    SetCommBackendFactory([this]() -> std::unique_ptr<CommBackend> {
        auto backend = std::make_unique<FakeCommBackend>(this);
        m_backends.append(backend.get());
        return backend;
    });
}

FakeSerialLine::~FakeSerialLine() {
    SetCommBackendFactory({});
}

FakeCommBackend* FakeSerialLine::OpenBackend() const {
    // With several open (which the modal dialogs never cause), the latest opened receives.
    FakeCommBackend* latest = nullptr;
    for (const auto& backend : m_backends) {
        if (backend && backend->m_open &&
            (!latest || backend->m_openSerial > latest->m_openSerial)) {
            latest = backend;
        }
    }
    return latest;
}

void FakeSerialLine::Deliver(const QByteArray& bytes) {
    FakeCommBackend* backend = OpenBackend();
    if (!backend || bytes.isEmpty()) {
        return;
    }
    backend->m_buffer.append(bytes);
    emit backend->BytesArrived();
}

void FakeSerialLine::Hold(const QByteArray& bytes) {
    if (FakeCommBackend* backend = OpenBackend()) {
        backend->m_buffer.append(bytes);
    }
}

void FakeSerialLine::ClearWritten() {
    m_written.clear();
    m_writes.clear();
}

void FakeSerialLine::HangUp(const QString& error) {
    if (FakeCommBackend* backend = OpenBackend()) {
        backend->m_open = false;
        backend->m_buffer.clear();
        emit backend->Lost(error);
    }
}

bool FakeSerialLine::IsOpen() const {
    return OpenBackend() != nullptr;
}

bool FakeCommBackend::Open(const QString& deviceName, QString* error) {
    if (!m_line) {
        return false;
    }
    if (!m_line->m_openError.isEmpty()) {
        if (error) {
            *error = m_line->m_openError;
        }
        return false;
    }
    m_open = true;
    m_openSerial = ++g_openSerial;
    m_buffer = m_line->m_waitingAtOpen;
    m_line->m_waitingAtOpen.clear();
    m_line->m_openedDevice = deviceName;
    ++m_line->m_openCount;
    return true;
}

void FakeCommBackend::Close() {
    if (m_line && m_line->m_closeIgnored) {
        return;
    }
    m_open = false;
    m_buffer.clear();
}

bool FakeCommBackend::Apply(const LineSettings& settings) {
    if (m_line) {
        m_line->m_settings = settings;
    }
    return true;
}

QByteArray FakeCommBackend::Read(qint64 maxSize) {
    const QByteArray out = m_buffer.left(maxSize);
    m_buffer.remove(0, out.size());
    return out;
}

bool FakeCommBackend::Write(const QByteArray& bytes) {
    if (!m_open || !m_line) {
        return false;
    }
    m_line->m_written.append(bytes);
    m_line->m_writes.append(bytes);
    if (m_line->m_responder) {
        m_line->m_responder(bytes);
    }
    return true;
}
