#pragma once

#include <QObject>
#include <QString>

#include <optional>
#include <vector>

#include "link/link_request.h"
#include "settings/parameter_file.h"

class DeviceLink;
namespace journal {
class WriteRecorder;
}

// The parameter conversations over a DeviceLink, widget-free: read, compare (read and list the
// fields that differ from another set) and write (optionally read back and compared). The
// parameter dialogs and kp650ctl run them alike; the collector reads. The codec is the link's
// variant's. Every set read or written is kept in the parameter history when a recorder is
// given.

struct ParameterReadResult {
    ExchangeResult exchange;
    // The set the device holds (read at this computer's time) when the reply was good; the
    // frame's message otherwise.
    ParameterSetResult read;
    QString historyError;  // the history could not be written; empty when it was
    bool Ok() const { return exchange.outcome == ExchangeOutcome::Success && read.Ok(); }
};

class ParameterRead : public QObject {
    Q_OBJECT
public:
    // `history` may be null (nothing kept).
    ParameterRead(DeviceLink& link, journal::WriteRecorder* history, QObject* parent = nullptr);

    // `tries`: sends in all (0: the link's policy). False (nothing sent) while the link is busy.
    bool Start(int tries = 0);
    void Cancel() { m_request.Cancel(); }
    bool Busy() const { return m_request.Busy(); }

Q_SIGNALS:
    void Finished(const ParameterReadResult& result);

private:
    void OnFinished(const ExchangeResult& exchange);

    DeviceLink& m_link;
    journal::WriteRecorder* m_history;
    LinkRequest m_request;
};

struct ParameterCompareResult {
    ParameterReadResult device;
    // Field by field, the device's value (a) against the other set's (b), when the read was good.
    std::vector<FieldDifference> differences;
};

class ParameterCompare : public QObject {
    Q_OBJECT
public:
    ParameterCompare(DeviceLink& link, journal::WriteRecorder* history, QObject* parent = nullptr);

    bool Start(const ParameterSet& other);
    void Cancel() { m_read.Cancel(); }
    bool Busy() const { return m_read.Busy(); }

Q_SIGNALS:
    void Finished(const ParameterCompareResult& result);

private:
    void OnRead(const ParameterReadResult& read);

    ParameterRead m_read;
    ParameterSet m_other;
};

struct ParameterWriteResult {
    ExchangeResult exchange;  // the write's
    // The journal entry could not be made and the write needs one: nothing was sent.
    bool notSent = false;
    QString journalError;  // why the entry could not be made or completed; empty when it was
    QString historyError;
    // The read back after a confirmed write, when asked for, compared with what was written.
    std::optional<ParameterCompareResult> readBack;
    bool Verified() const {
        return readBack && readBack->device.Ok() && readBack->differences.empty();
    }
};

// Writes a set (its frame, confirmed by the device's echo) with its journal entry committed
// before the frame goes out and completed after.
class ParameterWrite : public QObject {
    Q_OBJECT
public:
    ParameterWrite(DeviceLink& link, journal::WriteRecorder* journal, QObject* parent = nullptr);

    // The tool: no write without its journal entry.
    void SetJournalRequired(bool required) { m_journalRequired = required; }
    // After a confirmed write, read the device and compare it with what was written; the journal
    // entry then ends with what was read.
    void SetReadBack(bool readBack) { m_readBack = readBack; }

    // `before`: what the device held as far as the caller knows. False (nothing sent) while
    // the link is busy.
    bool Start(const ParameterSet& set, const std::optional<ParameterSet>& before);
    void Cancel();
    bool Busy() const { return m_request.Busy() || m_compare.Busy(); }

Q_SIGNALS:
    void Finished(const ParameterWriteResult& result);

private:
    void OnWritten(const ExchangeResult& exchange);
    void OnReadBack(const ParameterCompareResult& readBack);

    DeviceLink& m_link;
    journal::WriteRecorder* m_journal;
    LinkRequest m_request;
    ParameterCompare m_compare;
    bool m_journalRequired = false;
    bool m_readBack = false;
    ParameterSet m_writing;
    ParameterWriteResult m_result;
};
