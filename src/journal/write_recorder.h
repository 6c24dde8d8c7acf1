#pragma once

#include <QString>

#include <functional>
#include <optional>

#include "journal/journal.h"
#include "link/device_exchange.h"

class DeviceLink;
struct ParameterSet;
struct DeviceTime;

// The one way a write to a device goes into the journal: Begin just before the request goes
// out, Complete once its outcome is known. The write conversations (clock set, parameter write)
// and the log clears make the two calls around their request.

namespace journal {

// Told to the operator, once per showing of a dialog, when a write could not be journalled; the
// write itself goes out all the same.
inline const QString kNotJournalledText =
    QStringLiteral("本次写入无法记入操作日志（%1），写入照常进行。");

// What an exchange's end says of a write: the device's confirmation, its refusal, a port that
// never opened (nothing sent: failed), and otherwise unknown: the request may have reached the
// device although no good reply came back.
WriteOutcome OutcomeOf(const ExchangeResult& result);
QString OutcomeDetail(const ExchangeResult& result);

// The bytes a request sends: "41 46 00 ... 58".
QString RequestBytesText(const ExchangeRequest& request);
// A parameter set's fields by their file names, each as the dialog shows it ("200 kHz", "3ms").
Fields ParameterSetFields(const ParameterSet& set);
// A device time as the clock dialog shows it: "2026-12-7 08:05:09".
QString DeviceTimeText(int year, int month, int day, int hour, int minute, int second);

PlannedWrite ParameterWrite(const QString& port, const ParameterSet& sent,
                            const std::optional<ParameterSet>& before,
                            const ExchangeRequest& request);
// `before`: the device time a read found in the same showing (DeviceTimeText), empty if none.
PlannedWrite ClockSet(const QString& port, int variant, const DeviceTime& sent,
                      const QString& before, const ExchangeRequest& request);
// The write with the identification the link read from the device it goes to, when it has one.
PlannedWrite Identified(PlannedWrite write, const DeviceLink& link);

// `archiveFile` and `archivedRecords`: the copy of TEMP made before the clear.
PlannedWrite LogClear(const QString& port, int variant, const QString& archiveFile,
                      int archivedRecords, const ExchangeRequest& request);

class WriteRecorder {
public:
    // `program`: "kp650" or "kp650ctl"; the version is added.
    explicit WriteRecorder(const QString& program);

    // The journal file; DefaultJournalPath() (looked up at each write) unless set.
    void SetPath(const QString& path) { m_path = path; }
    // Off: nothing is journalled and Begin always succeeds (kp650ctl --no-journal).
    void SetEnabled(bool enabled) { m_enabled = enabled; }

    // Commits the entry of a write about to go out; empty on success, else why not.
    QString Begin(PlannedWrite write);
    // Completes the entry Begin made (nothing when it made none); empty on success.
    QString Complete(WriteOutcome outcome, const Fields& after = {}, const QString& detail = {});
    QString Complete(const ExchangeResult& result, const Fields& after = {});
    bool Pending() const { return m_pending != 0; }

    // Keeps a set read from or written to the device on `port` in its history; empty on success.
    QString KeepParameterSet(const QString& port, const ParameterSet& set, const QString& source);

    // A dialog's way to tell the operator: called with kNotJournalledText for the first failure
    // of each showing (Begin, Complete or KeepParameterSet), not again until NewShowing().
    void SetFailureNotice(std::function<void(const QString& text)> notice) {
        m_notice = std::move(notice);
    }
    void NewShowing() { m_noticeGiven = false; }

private:
    QString EnsureOpen();
    QString Told(const QString& error);

    Journal m_journal;
    Origin m_origin;
    QString m_path;
    bool m_enabled = true;
    bool m_noticeGiven = false;
    qint64 m_pending = 0;
    std::function<void(const QString&)> m_notice;
};

}  // namespace journal
