#include "link/ms_comm.h"

#include <QTimer>

#include <algorithm>

#include "link/port_names.h"

CMSComm::CMSComm(QObject* parent) : QObject(parent) {
    UseBackend(CreateCommBackend(DeviceName()));
}

void CMSComm::UseBackend(std::unique_ptr<CommBackend> backend) {
    if (m_backend) {
        m_backend->disconnect(this);
        m_backend->Close();
    }
    m_backend = std::move(backend);
    connect(m_backend.get(), &CommBackend::BytesArrived, this, &CMSComm::RaiseIfWaiting);
    connect(m_backend.get(), &CommBackend::Lost, this, &CMSComm::HandleLost);
    connect(m_backend.get(), &CommBackend::Opened, this, &CMSComm::HandleOpened);
    m_backend->SetReadBufferSize(m_inBufferSize > 0 ? m_inBufferSize : 0);
    m_backend->SetInlineNotification(m_inlineReceive);
}

void CMSComm::SetInlineReceive(bool on) {
    m_inlineReceive = on;
    m_backend->SetInlineNotification(on);
}

CMSComm::~CMSComm() {
    if (m_backend) {
        m_backend->disconnect(this);
        m_backend->Close();
    }
}

void CMSComm::SetCommPort(short port) {
    m_commPort = port;
}

void CMSComm::SetInBufferSize(short size) {
    m_inBufferSize = size;
    m_backend->SetReadBufferSize(size > 0 ? size : 0);
}

short CMSComm::GetInBufferCount() const {
    const qint64 waiting = m_backend->IsOpen() ? m_backend->BytesAvailable() : 0;
    const qint64 limit = m_inBufferSize > 0 ? m_inBufferSize : 32767;
    return static_cast<short>(std::min(waiting, limit));
}

void CMSComm::SetInBufferCount(short count) {
    if (count == 0) {
        DiscardInput();
    }
}

qint64 CMSComm::DiscardInput() {
    return m_backend->IsOpen() ? m_backend->DiscardInput() : 0;
}

bool CMSComm::SetPortOpen(bool open) {
    m_opening = false;
    if (!open) {
        m_backend->Close();
        return !m_backend->IsOpen();
    }
    if (m_backend->IsOpen()) {
        return true;
    }
    const QString device = BackendForDevice();
    QString error;
    if (!m_backend->Open(device, &error)) {
        m_lastError = error;
        return false;
    }
    m_lastError.clear();
    ConfigureOpened();
    return true;
}

void CMSComm::OpenPortAsync() {
    if (m_backend->IsOpen()) {
        emit PortOpened(true);
        return;
    }
    const QString device = BackendForDevice();
    m_opening = true;
    m_backend->OpenAsync(device);
}

void CMSComm::HandleOpened(bool ok, const QString& error) {
    if (!m_opening) {
        return;  // a synchronous open's own report, or an open given up
    }
    m_opening = false;
    ok = ok && m_backend->IsOpen();
    m_lastError = ok ? QString() : error;
    if (ok) {
        ConfigureOpened();
    }
    emit PortOpened(ok);
}

QString CMSComm::BackendForDevice() {
    // The port's device is known only now: a device path is a serial port, tcp://HOST:PORT a
    // device server.
    const QString device = DeviceName();
    if (!m_backend->Serves(device)) {
        UseBackend(CreateCommBackend(device));
    }
    return device;
}

void CMSComm::ConfigureOpened() {
    m_backend->SetReadBufferSize(m_inBufferSize > 0 ? m_inBufferSize : 0);
    m_backend->Apply(m_settings);
}

bool CMSComm::GetPortOpen() const {
    return m_backend->IsOpen();
}

bool CMSComm::SetSettings(const QString& settings) {
    LineSettings parsed;
    if (!LineSettings::Parse(settings, &parsed)) {
        return false;
    }
    m_settings = parsed;
    if (m_backend->IsOpen()) {
        return m_backend->Apply(m_settings);
    }
    return true;
}

void CMSComm::SetOutput(const QByteArray& bytes) {
    if (m_backend->IsOpen()) {
        m_backend->Write(bytes);
        if (!m_outputHeld) {
            m_backend->Flush();
        }
    }
}

void CMSComm::SetOutputHeld(bool held) {
    m_outputHeld = held;
    if (!held) {
        m_backend->Flush();
    }
}

QByteArray CMSComm::GetInput() {
    if (!m_backend->IsOpen()) {
        return {};
    }
    const qint64 want = m_inputLen > 0 ? m_inputLen : m_backend->BytesAvailable();
    return m_backend->Read(want);
}

QString CMSComm::DeviceName() const {
    return m_deviceName.isEmpty() ? PortDeviceName(m_commPort) : m_deviceName;
}

bool CMSComm::ReceiveWaiting() {
    if (m_rThreshold <= 0 || !m_backend->IsOpen() || !m_backend->FetchWaiting() ||
        m_backend->BytesAvailable() < m_rThreshold) {
        return false;
    }
    RaiseIfWaiting();
    return true;
}

void CMSComm::RaiseIfWaiting() {
    if (m_rThreshold <= 0 || !m_backend->IsOpen()) {
        return;
    }
    const qint64 before = m_backend->BytesAvailable();
    if (before < m_rThreshold) {
        return;
    }
    m_commEvent = kEvReceive;
    emit OnComm();
    // A handler reads at most InBufferSize bytes per event; what it leaves behind raises the
    // next event once control returns to the loop. A handler that reads nothing is not pestered.
    if (m_backend && m_backend->IsOpen()) {
        const qint64 after = m_backend->BytesAvailable();
        if (after >= m_rThreshold && after < before) {
            QTimer::singleShot(0, this, &CMSComm::RaiseIfWaiting);
        }
    }
}

void CMSComm::HandleLost(const QString& error) {
    m_lastError = error;
    emit LineLost(error);
}

bool LineSettings::Parse(const QString& text, LineSettings* out) {
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4) {
        return false;
    }
    LineSettings s;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0) {
        return false;
    }
    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n")) {
        s.parity = QSerialPort::NoParity;
    } else if (parity == QLatin1String("e")) {
        s.parity = QSerialPort::EvenParity;
    } else if (parity == QLatin1String("o")) {
        s.parity = QSerialPort::OddParity;
    } else if (parity == QLatin1String("m")) {
        s.parity = QSerialPort::MarkParity;
    } else if (parity == QLatin1String("s")) {
        s.parity = QSerialPort::SpaceParity;
    } else {
        return false;
    }
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8) {
        return false;
    }
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1")) {
        s.stopBits = QSerialPort::OneStop;
    } else if (stop == QLatin1String("1.5")) {
        s.stopBits = QSerialPort::OneAndHalfStop;
    } else if (stop == QLatin1String("2")) {
        s.stopBits = QSerialPort::TwoStop;
    } else {
        return false;
    }
    *out = s;
    return true;
}
