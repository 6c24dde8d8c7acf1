#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// The journal of writes: one SQLite file in which every write to a device leaves an entry, made
// and committed before the request goes out and completed once its outcome is known, so that a
// crash or a lost line leaves an entry whose outcome reads "unknown". Beside it, the parameter
// history: every parameter set read or written, kept per device when it differs from the last
// one kept.
//
// The file only grows: entries, completions and kept sets are inserted, never updated or deleted
// (triggers refuse both). An entry's completion is a row of its own. Every failure comes back as
// a value; nothing here shows anything.

namespace journal {

inline const QString kJournalFileName = QStringLiteral("journal.sqlite");
// The schema this program writes; a file of a later one is read but not written.
inline constexpr int kSchemaVersion = 1;

enum class WriteKind { ParameterWrite, ClockSet, LogClear };
enum class WriteOutcome { Unknown, Confirmed, Refused, Failed };

// Names as the file, the tool and the CSV export spell them: "parameter_write", "clock_set",
// "log_clear"; "unknown", "confirmed", "refused", "failed".
QString KindName(WriteKind kind);
std::optional<WriteKind> KindFromName(const QString& name);
QString OutcomeName(WriteOutcome outcome);
WriteOutcome OutcomeFromName(const QString& name);

// Named values in a fixed order: a parameter set's fields by their file names, a clock's time.
using Fields = std::vector<std::pair<QString, QString>>;

// Fields as the file keeps them: a JSON array of [name, value] pairs.
QString FieldsText(const Fields& fields);
Fields FieldsFromText(const QString& text);

// Who writes: the same for every entry a process makes.
struct Origin {
    QString user;     // the operating-system user
    QString host;     // this computer's name
    QString program;  // "kp650 1.0", "kp650ctl 1.0"
};
// The user and host of this process, and `program` with the version ("kp650ctl 1.0").
Origin CurrentOrigin(const QString& program);

// One write as it is about to go out.
struct PlannedWrite {
    WriteKind kind = WriteKind::ParameterWrite;
    QString port;            // the device name of the line: "/dev/ttyUSB0", "tcp://10.0.0.5:4001"
    QString device;          // DeviceKey(): which device's history the write belongs to
    QString identification;  // the device identification, when the conversation read it
    Fields sent;             // what was sent, as fields
    QString sentBytes;       // ... and as bytes ("41 46 00 ... 58")
    Fields before;           // what the device held before; empty: not known
    QString archiveFile;     // a log clear's copy of the records read
};

struct Entry {
    qint64 id = 0;
    QString uid;  // unique across journals, so an archive takes each entry once
    QDateTime utc;
    QString local;  // local time with its offset, as the writing computer saw it
    Origin origin;
    PlannedWrite write;
    // Completion; Unknown with no completion time when none was made (crash, lost process).
    WriteOutcome outcome = WriteOutcome::Unknown;
    QDateTime completedUtc;
    Fields after;  // what was read back after, when it was
    QString detail;
};

struct Filter {
    QString device;    // a part of the device key, the port or the identification; empty: all
    QDateTime since;   // invalid: from the start
    QDateTime before;  // invalid: to the end
};

// A parameter set kept in the history.
struct KeptSet {
    qint64 id = 0;
    QString device;
    int variant = 0;
    QDateTime utc;
    QString local;
    QString source;  // "read" or "write"
    Origin origin;
    QString frameHex;  // the raw frame, "%02X " per byte without the last space
};

// Which device's history a write or a set belongs to: the model and the line it is on
// ("KPA-650 @ /dev/ttyUSB0"). The protocol carries no serial number, and the identification
// (firmware version, date, checksum) is the same on every device of a firmware, so the line
// is what tells two devices apart; the identification is kept beside.
QString DeviceKey(int variant, const QString& port);

// The journal file. One open file per object; copies are not allowed.
class Journal {
public:
    Journal() = default;
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    // Opens (and creates) the file; empty on success, else why not. `writable` false opens an
    // existing file for reading only.
    QString Open(const QString& path, bool writable = true);
    void Close();
    bool IsOpen() const { return !m_connection.isEmpty(); }
    QString Path() const { return m_path; }

    // Commits the entry and returns its id; 0 and the reason in `error` when it could not be.
    qint64 Begin(const PlannedWrite& write, const Origin& origin, QString* error,
                 const QDateTime& at = QDateTime::currentDateTime());
    // Adds the entry's completion; empty on success.
    QString Complete(qint64 id, WriteOutcome outcome, const Fields& after, const QString& detail,
                     const QDateTime& at = QDateTime::currentDateTime());

    // Entries that pass the filter, newest first.
    std::vector<Entry> Entries(const Filter& filter, QString* error = nullptr) const;
    // The device keys of the entries and kept sets, sorted.
    QStringList Devices() const;

    // Keeps a parameter set (its raw frame) when it differs from the last one kept for the
    // device. The id of the new set, 0 when the last one kept was the same, -1 with `error` set
    // on failure.
    qint64 KeepParameterSet(const QString& device, int variant, const QByteArray& frame,
                            const QString& source, const Origin& origin, QString* error,
                            const QDateTime& at = QDateTime::currentDateTime());
    // Kept sets of the device (exact key), oldest first.
    std::vector<KeptSet> History(const QString& device, QString* error = nullptr) const;
    std::optional<KeptSet> KeptSetById(qint64 id) const;

private:
    QString Migrate();

    QString m_connection;
    QString m_path;
};

// ProgramDirectory() + "/journal.sqlite": the journal lives with the record databases and the
// archive folder of cleared logs, so its clear entries and their archive files stay together,
// and KP650_HOME moves all of them at once.
QString DefaultJournalPath();

}  // namespace journal
