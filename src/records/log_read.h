#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "link/device_exchange.h"
#include "records/event_record.h"

class DeviceLink;

// Where a log read puts the records it reads. The read calls Begin at each start (the table is
// emptied and a batch opened), Add for each record in the device's order, Commit once the
// records added so far are known to be the device's, and Rollback for records in doubt.
class LogSink {
public:
    virtual ~LogSink() = default;
    virtual bool Begin() = 0;
    virtual bool Add(const EventRecord& record) = 0;
    virtual bool Commit() = 0;
    virtual void Rollback() = 0;
};

namespace records {

// Why a read ended.
enum class LogReadEnd {
    Complete,  // every announced record, then the end frame: all of them in the sink
    Empty,     // the device holds no records
    Failed,    // see LogReadResult::exchange and ::doubt
    Cancelled,
};

}  // namespace records

struct LogReadResult {
    records::LogReadEnd end = records::LogReadEnd::Failed;
    int announced = -1;  // the trusted count of the last start; -1 before one was trusted
    int stored = 0;      // records the sink holds as the device's
    int starts = 0;      // reads started from the first request
    // The exchange that ended the read (Success when the read ended on doubt).
    ExchangeResult exchange;
    // The last start ended because the bytes could not be trusted (extra bytes, a record after
    // the count, an end before it, a reply that was not a count frame).
    bool doubt = false;
    bool Complete() const {
        return end == records::LogReadEnd::Complete || end == records::LogReadEnd::Empty;
    }
};

// What the operator is told of a read that failed: the exchange's failure text (the connection
// text for a read in doubt) and, once a count was announced, how many of them were kept.
QString LogReadFailureText(const LogReadResult& result);

// Reading a device's whole event log over its DeviceLink into a sink: the count frame, one
// request per record, the end frame. Widget-free; the record dialog, kp650ctl and services run
// it alike.
//
// When a read counts as the device's log: the first reply is a count frame, exactly the
// announced number of records follows, then the end frame; every reply of the read arrived as a
// burst of exactly one frame's length, nothing else was on the line between the first request
// and the end (no byte waiting before a request, none arriving between requests), and the line
// stayed quiet after the end frame (or after a count of 0). Noise on the line only adds bytes:
// when every byte received is accounted for by the frames the device sent, there was no noise,
// so no frame was taken from a shifted place. A record accepted as soon as its last byte came
// (which keeps a clean read at the line's speed) whose true last bytes were still on their way
// is caught this way: those bytes turn up before a later request or in a later burst, at the
// latest before the quiet after the end. Records go into an open batch of the sink that is
// committed only when the read is verified, so none in doubt is ever kept; a killed read
// leaves the table as its start emptied it.
//
// A read in doubt is started again from its first request (the device keeps its log until a
// clear), up to the link's RetryPolicy::logReadStarts starts in all; one broken off by silence
// or a lost line as often as the policy sends again after silence (the dialogs: never). A read
// that stops after silence with every byte accounted for keeps the records it had (verified). After
// noise the further starts judge every frame only once the line is quiet (some milliseconds a
// frame): no frame's bytes can then be on their way, and a burst longer than a frame is noise in
// front of it, so its last frame's bytes are taken when they are plausible (the device sends
// nothing after a reply). A device still in an earlier read (a receiver answers its read request
// with the next record) is first acknowledged to the end of that read.
class LogRead : public QObject {
    Q_OBJECT
public:
    LogRead(DeviceLink& link, LogSink& sink, QObject* parent = nullptr);
    ~LogRead() override;

    // False (nothing sent) while a read or another request is under way.
    bool Start();
    // Ends the read without Finished; the sink's batch is rolled back.
    void Cancel();
    bool Busy() const { return m_busy; }

Q_SIGNALS:
    // The count frame of a start was taken: `announced` records follow.
    void Announced(int announced);
    // A record was received and handed to the sink (`received` of `announced` in this start).
    void Received(int received, int announced);
    // A start in doubt is begun again (`start` counts from 1).
    void Restarted(int start);
    void Finished(const LogReadResult& result);

private:
    enum class Phase { Idle, Count, Records, Draining };
    void BeginStart();
    void Request(bool first);
    void OnExchangeFinished(const ExchangeResult& result);
    void HandleFrame(const ExchangeResult& result);
    // A start that cannot be trusted (or broke off): begin again if allowed, else fail.
    void Doubt(const ExchangeResult& result, bool doubt);
    // Tells the records received and not yet told, in order.
    void ReportProgress();
    void Finish(records::LogReadEnd end, const ExchangeResult& result, bool doubt = false);

    DeviceLink& m_link;
    LogSink& m_sink;
    bool m_busy = false;
    Phase m_phase = Phase::Idle;
    int m_announced = -1;
    int m_received = 0;  // record frames taken (and handed to the sink) in this start
    int m_reported = 0;  // ... of which told with Received
    int m_starts = 0;
    int m_committed = 0;     // records of this start the sink holds as verified
    int m_drained = 0;       // frames acknowledged to end an earlier read
    bool m_heard = false;    // the device answered some request of this read
    bool m_careful = false;  // every frame judged once the line is quiet (after noise)
    QTimer m_pause;          // a lost line's time to come back
};
