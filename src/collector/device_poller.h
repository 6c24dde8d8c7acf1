#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

#include "journal/write_recorder.h"
#include "link/device_exchange.h"
#include "link/device_link.h"
#include "link/identity.h"
#include "records/event_record.h"
#include "records/log_read.h"

// The device side of one poll, for a service that polls many devices from one thread: its own
// line (DeviceLink) per device, every step a signal away (no waiting loops). The log is read by
// the program's one verified log read (LogRead).
// Identification (telling the variant when it is not given), clock read (the offset to the host
// clock), the clock set when it is off by more than a threshold, the log read from its start; on
// request afterwards, the clear. The port is released after each poll and each clear. The writes
// (clock set, clear) leave entries in the journal of writes, as the dialogs' and the tool's do.

namespace collector {

struct PollOutcome {
    enum class Result { Ok, PortError, Silent, Refused, BadReply, LineLost, Stopped };
    Result result = Result::Ok;
    QString error;     // what went wrong, for the log and the status
    int variant = -1;  // as identified
    std::optional<DeviceIdentity> identity;
    std::optional<qint64> clockOffsetMs;  // device clock minus host clock
    bool clockSet = false;
    QString parameters;  // the parameter frame as hex text; empty when it could not be read
    std::vector<EventRecord> records;  // the log from its start, as far as it was read
    std::vector<int> codes;
    bool complete = false;  // the log was read to its end
    QDateTime started;
    QDateTime finished;
};

// "ok", "port error", "silent", "refused", "bad reply", "line lost", "stopped".
QString ResultName(PollOutcome::Result result);

class DevicePoller : public QObject {
    Q_OBJECT
public:
    // `portNumber` is this device's own port number, bound to `deviceName`.
    DevicePoller(int portNumber, const QString& deviceName, int variant,
                 std::optional<int> clockSyncMs, QObject* parent = nullptr);
    ~DevicePoller() override;

    bool Busy() const { return m_step != Step::Idle; }
    // Starts a poll; false while one is under way.
    bool Poll();
    // Clears the device's log (only after its records were archived and copied to `keptFile`,
    // `keptRecords` of them, which the journal entry names); ends in ClearFinished.
    bool Clear(const QString& keptFile, int keptRecords);
    // Ends the poll under way once the exchange in flight is over (a record in flight is kept).
    void Stop();

Q_SIGNALS:
    void Polled(const collector::PollOutcome& outcome);
    void ClearFinished(bool ok, const QString& error);
    // A write's journal entry could not be made or completed; the write went out all the same.
    void JournalFailed(const QString& error);

private:
    enum class Step { Idle, Identify, ClockRead, ClockSet, Parameters, Log, Clear };
    // The records of a log read, kept in memory until the read is verified.
    class RecordSink : public LogSink {
    public:
        bool Begin() override;
        bool Add(const EventRecord& record) override;
        bool Commit() override;
        void Rollback() override;
        std::vector<EventRecord> Verified() const;

    private:
        std::vector<EventRecord> m_records;
        std::size_t m_verified = 0;
    };
    void Begin(Step step);
    void OnFinished(const ExchangeResult& result);
    void OnLogRead(const LogReadResult& result);
    void End(PollOutcome::Result result, const QString& error = {});
    void JournalBegin(const journal::PlannedWrite& write);

    DeviceLink m_link;
    RecordSink m_sink;
    LogRead m_logRead{m_link, m_sink};
    int m_givenVariant;
    std::optional<int> m_clockSyncMs;
    Step m_step = Step::Idle;
    bool m_stopping = false;
    bool m_identifyRetried = false;
    PollOutcome m_outcome;
    journal::WriteRecorder m_journal{QStringLiteral("kp650-collector")};
    QString m_clockBefore;  // the device time the poll read, as the journal writes it
    QString m_keptFile;
    int m_keptRecords = 0;
};

}  // namespace collector
