#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

#include "link/comm_backend.h"

class FakeCommBackend;

// The device end of a pretend serial line, for tests. While one exists, every CMSComm created
// uses it instead of a real port. Deliver() hands bytes to the open control as exactly one
// receive event, synchronously; everything written arrives in Written() in order.
class FakeSerialLine : public QObject {
    Q_OBJECT
public:
    explicit FakeSerialLine(QObject* parent = nullptr);
    ~FakeSerialLine() override;

    // One receive event at the control that has the line open (nothing happens when none has).
    void Deliver(const QByteArray& bytes);
    // Bytes that reach the open control's buffer without a receive event (yet), as bytes the
    // port holds but has not signalled.
    void Hold(const QByteArray& bytes);
    // Bytes already waiting in the line when the next control opens it.
    void SetWaitingAtOpen(const QByteArray& bytes) { m_waitingAtOpen = bytes; }

    QByteArray Written() const { return m_written; }
    // One entry per write made by the control (the dialogs write each byte on its own).
    QList<QByteArray> Writes() const { return m_writes; }
    void ClearWritten();

    // Opening fails with this text while it is not empty.
    void SetOpenError(const QString& error) { m_openError = error; }
    // Closing is ignored: the port stays open.
    void SetCloseIgnored(bool ignored) { m_closeIgnored = ignored; }
    // The device vanishes: the open control's port closes and reports the loss.
    void HangUp(const QString& error = QStringLiteral("device removed"));

    bool IsOpen() const;
    QString OpenedDevice() const { return m_openedDevice; }
    int OpenCount() const { return m_openCount; }
    LineSettings AppliedSettings() const { return m_settings; }

    // Called with every write, e.g. to answer like a device.
    void SetResponder(std::function<void(const QByteArray&)> responder) {
        m_responder = std::move(responder);
    }

private:
    friend class FakeCommBackend;
    FakeCommBackend* OpenBackend() const;

    QList<QPointer<FakeCommBackend>> m_backends;
    QByteArray m_written;
    QList<QByteArray> m_writes;
    QByteArray m_waitingAtOpen;
    QString m_openError;
    bool m_closeIgnored = false;
    QString m_openedDevice;
    int m_openCount = 0;
    LineSettings m_settings;
    std::function<void(const QByteArray&)> m_responder;
};

class FakeCommBackend : public CommBackend {
    Q_OBJECT
public:
    explicit FakeCommBackend(FakeSerialLine* line) : m_line(line) {}

    bool Open(const QString& deviceName, QString* error) override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    bool Apply(const LineSettings& settings) override;
    void SetReadBufferSize(qint64) override {}
    qint64 BytesAvailable() const override { return m_buffer.size(); }
    QByteArray Read(qint64 maxSize) override;
    bool Write(const QByteArray& bytes) override;
    qint64 DiscardInput() override {
        const qint64 n = m_buffer.size();
        m_buffer.clear();
        return n;
    }

private:
    friend class FakeSerialLine;
    QPointer<FakeSerialLine> m_line;
    QByteArray m_buffer;
    bool m_open = false;
    quint64 m_openSerial = 0;
};
