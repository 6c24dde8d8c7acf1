#pragma once

#include <QDate>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "records/background_checkpoint.h"
#include "records/event_record.h"

class QSqlDatabase;
class QSqlError;
class RecordSnapshot;

namespace records {

// Table names. KPB650 is the same for both variants.
inline const QString kTempTable = QStringLiteral("TEMP");
inline const QString kKpb650Table = QStringLiteral("KPB650");

// Message texts of the record files.
extern const QString
    kWorkingDatabaseConnectFailedText;  // "数据库连接失败，确认数据库是否在当前路径下，并请重试!"
extern const QString
    kDatabaseFileConnectFailedText;  // "数据库连接失败，确认数据库文件是否在当前路径下!"
extern const QString kOpenFileErrorText;  // "打开文件出错！"
extern const QString kSaveFileErrorText;  // "保存文件出错！"

// One failure of a store operation, for the caller to show or print.
struct StoreError {
    enum class What {
        WorkingDatabase,  // the working database is not connected or cannot be
        DatabaseFile,     // a record database file cannot be read, made or put in place
        OpenFile,         // a text record file cannot be read
        SaveFile,         // a file cannot be written or put in place
        Database,         // the database refused a statement
    };
    What what = What::Database;
    QString text;        // the program's text for it: what the user is told
    QString driverText;  // the database driver's text, when the driver failed; else empty
};

// The failures of one store operation in the order they happened; each is one message.
struct StoreErrors {
    std::vector<StoreError> errors;
    // Database failures of the operation left out by the first-error rule (see ErrorScope).
    int suppressed = 0;

    bool IsEmpty() const { return errors.empty(); }
};

}  // namespace records

// One connection (SQLite, unique connection name per instance) to one record database file.
// Record tables have eight TEXT columns named as the EventRecord fields. The store shows nothing:
// every operation leaves its failures in Errors(), in order, for the caller to show. Errors
// raised by the database during a row operation carry the driver's text and the operation goes
// on with the next row; within one operation (see ErrorScope) only the first of them is kept.
// Use from one thread.
class RecordStore {
public:
    // While one lives, only the first database error of the store is reported; later ones are
    // counted and dropped, so that a table that refuses every row gives one message, not one per
    // row. Scopes nest; the outermost one ends the operation. Every bulk operation of the store
    // opens its own; an operation that spans several calls (a log read storing record after
    // record) holds one from its start to its end.
    class ErrorScope {
    public:
        explicit ErrorScope(const RecordStore& store);
        ~ErrorScope();
        ErrorScope(const ErrorScope&) = delete;
        ErrorScope& operator=(const ErrorScope&) = delete;

    private:
        const RecordStore& m_store;
    };
    // Errors left out by the scope under way (0 outside one).
    int SuppressedErrors() const { return m_suppressedErrors; }

    RecordStore();
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    // The failures of the last operation (empty when it had none). Every public operation but
    // the plain accessors replaces them.
    const records::StoreErrors& Errors() const { return m_errors; }

    // "KPA650.mdb" (variant A) or "KPB650.mdb" (variant B) in ProgramDirectory().
    static QString WorkingDatabasePath(int variant);
    // "KPB.mdb" in ProgramDirectory(): a database holding KPB650, copied by a database save.
    static QString TemplatePath();
    // A path whose last character is a lowercase 'b' names a database file; any other a text file.
    static bool IsDatabasePath(const QString& path);
    // "KPA650(" or "KPB650(" + date "%4d-%2d-%2d" (blank-padded) + ")".
    static QString ProposedSaveName(int variant, QDate localDate);

    // Opens a working database: a missing file is created with TEMP and KPB650, missing tables are
    // added. A file that is not a usable database, or whose record tables lack record columns, is
    // left untouched and false is returned; no error is reported (see ConnectErrorText). Any
    // previous connection is closed first.
    bool Connect(const QString& path);
    // Connect(WorkingDatabasePath(variant)); on failure reports
    // records::kWorkingDatabaseConnectFailedText.
    bool ConnectWorking(int variant);
    void Close();
    bool IsConnected() const;
    QString Path() const { return m_path; }
    // The database driver's text of the last failed Connect; empty after a successful one.
    QString ConnectErrorText() const { return m_connectError; }

    // Deletes every row of the table, in one transaction.
    bool EmptyTable(const QString& table);
    // Appends one row, committed on its own (a crash keeps every row appended before it).
    bool Append(const QString& table, const EventRecord& record);
    // Rows appended one after another into one open transaction (a log read): each is written
    // as it comes, and all of them count only once committed; a crash or a rollback leaves the
    // table as the last commit left it. One such batch at a time per store.
    bool BeginAppending(const QString& table);
    bool AppendRow(const EventRecord& record);
    bool CommitAppended();
    void RollbackAppended();
    // Rows in the order stored; NULL reads as the empty text. On error reports it and returns
    // what was read before it.
    std::vector<EventRecord> ReadAll(const QString& table) const;
    // Calls visit for every row in the order stored, without holding them all; false on error.
    bool ForEachRow(const QString& table,
                    const std::function<void(const EventRecord&)>& visit) const;
    // Number of rows, -1 on error.
    int RowCount(const QString& table) const;
    // Replaces every row of the table by `records`, in one transaction; false (the table as it
    // was) on failure.
    bool ReplaceRecords(const QString& table, const std::vector<EventRecord>& records);
    // Appends every row of source to destination (same database), in source order, one transaction.
    bool CopyTable(const QString& source, const QString& destination);
    // Replaces `into` by a snapshot of the table (see RecordSnapshot); an error is reported and
    // leaves it empty. False also when not connected.
    bool TakeSnapshot(const QString& table, RecordSnapshot& into) const;
    // TakeSnapshot in steps: the caller goes on with into.Continue().
    bool BeginSnapshot(const QString& table, RecordSnapshot& into) const;

    // Writes TEMP to a new file at path: a database made from the template (its KPB650 holds the
    // rows) or a GBK text file, chosen by IsDatabasePath. The file is built in a directory of its
    // own under the system's temporary directory (which the system cleans, should the program
    // be killed half-way) and then put in place of the destination in one step, so a failed save
    // leaves an existing file as it was. A saved file gets the permissions of any new file.
    bool SaveRecords(const QString& path);
    // Replaces the working KPB650 by the records of a database file's KPB650 or of a text file.
    // Returns true when the record list should be reloaded: false on failure (nothing changed)
    // and when a database file's KPB650 is empty (the working KPB650 is then empty). A database
    // file is only read, never changed (a file with a write-ahead log keeps it); one whose
    // KPB650 lacks any record column is refused with records::kDatabaseFileConnectFailedText.
    bool OpenRecords(const QString& path);
    // The graph's open-file import: replaces KPB650 of this database by KPB650 of the database
    // file at path. Any failure reports records::kDatabaseFileConnectFailedText. True when rows
    // were copied.
    bool ImportEventFile(const QString& path);

    // Opening a text file a slice at a time, for a caller that keeps its window responsive:
    // BeginOpenText, then ContinueOpenText until it returns true, then EndOpenText (or
    // CancelOpenText). OpenRecords does the same at once. Until the end the working KPB650 is
    // as it was for every other connection; this store must not be used for anything else
    // meanwhile. BeginOpenText false: nothing started, the reason reported.
    bool BeginOpenText(const QString& path);
    // Reads up to `lines` more lines; true when the whole file has been read (or a failure
    // ended the reading).
    bool ContinueOpenText(int lines);
    // Share of the file read so far, 0 to 100.
    int OpenTextPercent() const;
    bool IsOpeningText() const { return m_textOpening != nullptr; }
    // Makes the new KPB650 visible. True when the list should be reloaded; false on failure
    // (reported; KPB650 as it was).
    bool EndOpenText();
    // Drops what was read; KPB650 stays as it was.
    void CancelOpenText();

private:
    struct TextOpening;
    struct Appending;
    std::unique_ptr<Appending> m_appending;
    class Operation;

    QSqlDatabase Database() const;
    // A program text; `cause` the driver's failure behind it, if any.
    void Report(records::StoreError::What what, const QString& text,
                const QSqlError* cause = nullptr) const;
    // A database failure, under the first-error rule.
    void ReportDatabase(const QSqlError& error) const;
    // Build the saved file at `staging`, a path where nothing is yet.
    bool SaveDatabase(const QString& staging);
    bool SaveText(const QString& staging);
    enum class ImportMessages { DriverText, ConnectFailedText };
    int ImportDatabase(const QString& path, ImportMessages messages);
    bool OpenText(const QString& path);

    QString m_connectionName;
    QString m_path;
    QString m_connectError;
    std::unique_ptr<TextOpening> m_textOpening;
    // After an opening's commit, on a thread and a connection of its own.
    BackgroundCheckpoint m_checkpoint;
    mutable records::StoreErrors m_errors;
    mutable int m_operations = 0;
    mutable int m_errorScopes = 0;
    mutable bool m_errorReported = false;
    mutable int m_suppressedErrors = 0;
};
