#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>

#include <array>
#include <optional>

#include "link/link_request.h"
#include "settings/time_frame.h"

class DeviceLink;
namespace journal {
class WriteRecorder;
}

// The device clock's two conversations over a DeviceLink, widget-free: the clock dialog,
// kp650ctl and the collector run them alike.

namespace settings {

// A clock set from this computer that reads back further off than this was not set.
inline constexpr double kClockToleranceSeconds = 2.0;

}  // namespace settings

struct ClockReadResult {
    ExchangeResult exchange;
    // The six values of a whole reply with its trailer, also when a device kept telling an
    // impossible time (BadReply); then `badField` names the first field out of range.
    std::optional<std::array<int, 6>> values;
    std::optional<TimeField> badField;
    QDateTime pcTime;  // this computer's local time when the reply was judged
    // The device's time as a local time; invalid without a good reply, or for a day the
    // calendar does not have (31 April).
    QDateTime DeviceDateTime() const;
};

// Reads the device clock: "42", "58".
class ClockRead : public QObject {
    Q_OBJECT
public:
    explicit ClockRead(DeviceLink& link, QObject* parent = nullptr);

    // `tries`: sends in all (0: the link's policy). False (nothing sent) while the link is busy.
    bool Start(int tries = 0);
    void Cancel() { m_request.Cancel(); }
    bool Busy() const { return m_request.Busy(); }

Q_SIGNALS:
    void Finished(const ClockReadResult& result);

private:
    void OnFinished(const ExchangeResult& exchange);

    LinkRequest m_request;
};

struct ClockSetResult {
    ExchangeResult exchange;  // the write's
    // The journal entry could not be made and the write needs one: nothing was sent.
    bool notSent = false;
    QString journalError;  // why the entry could not be made or completed; empty when it was
    // The clock read after a confirmed write, when asked for, and how far off it is from this
    // computer's clock (none for a day the calendar does not have).
    std::optional<ClockReadResult> readBack;
    std::optional<double> offsetSeconds;
    bool Verified() const {
        return offsetSeconds && *offsetSeconds <= settings::kClockToleranceSeconds &&
               *offsetSeconds >= -settings::kClockToleranceSeconds;
    }
};

// Sets the device clock ("43", the six bytes, "58") with its journal entry committed before the
// frame goes out and completed after; optionally reads the clock back to see it was taken.
class ClockSet : public QObject {
    Q_OBJECT
public:
    // `journal` may be null (nothing journalled).
    ClockSet(DeviceLink& link, journal::WriteRecorder* journal, QObject* parent = nullptr);

    // The tool: no write without its journal entry.
    void SetJournalRequired(bool required) { m_journalRequired = required; }
    void SetReadBack(bool readBack) { m_readBack = readBack; }

    // Sets `time`; `before` is the device time a read found earlier (DeviceTimeText), empty if
    // none. False (nothing sent) while the link is busy.
    bool Start(const DeviceTime& time, const QString& before);
    void Cancel();
    bool Busy() const { return m_request.Busy() || m_read.Busy(); }

Q_SIGNALS:
    void Finished(const ClockSetResult& result);

private:
    void OnWritten(const ExchangeResult& exchange);
    void OnReadBack(const ClockReadResult& read);
    void Finish();

    DeviceLink& m_link;
    journal::WriteRecorder* m_journal;
    LinkRequest m_request;
    ClockRead m_read;
    bool m_journalRequired = false;
    bool m_readBack = false;
    ClockSetResult m_result;
};
