#pragma once

#include <QDate>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>
#include <vector>

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

}  // namespace records

// One connection (SQLite, unique connection name per instance) to one record database file.
// Record tables have eight TEXT columns named as the EventRecord fields. Errors raised by the
// database during a row operation are shown in a box with the driver's message text and the
// operation goes on with the next row; within one operation (see ErrorScope) only the first of
// them is shown. Use on the UI thread only.
class RecordStore {
public:
    // While one lives, only the first database error of the store is shown; later ones are
    // counted and dropped, so that a table that refuses every row gives one box, not one per
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
    // Errors not shown by the operation under way (0 outside one).
    int SuppressedErrors() const { return m_suppressedErrors; }

    // Boxes of operations that take no parent of their own are shown over messageParent.
    explicit RecordStore(QWidget* messageParent = nullptr);
    ~RecordStore();
    RecordStore(const RecordStore&) = delete;
    RecordStore& operator=(const RecordStore&) = delete;

    void SetMessageParent(QWidget* parent) { m_parent = parent; }

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
    // left untouched and false is returned; no message is shown. Any previous connection is
    // closed first.
    bool Connect(const QString& path);
    // Connect(WorkingDatabasePath(variant)); on failure shows
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
    // Rows in the order stored; NULL reads as the empty text. On error shows the message and
    // returns what was read before it.
    std::vector<EventRecord> ReadAll(const QString& table) const;
    // Calls visit for every row in the order stored, without holding them all; false on error.
    bool ForEachRow(const QString& table,
                    const std::function<void(const EventRecord&)>& visit) const;
    // Number of rows, -1 on error.
    int RowCount(const QString& table) const;
    // Appends every row of source to destination (same database), in source order, one transaction.
    bool CopyTable(const QString& source, const QString& destination);
    // Replaces `into` by a snapshot of the table (see RecordSnapshot); an error is shown and
    // leaves it empty. False also when not connected.
    bool TakeSnapshot(const QString& table, RecordSnapshot& into) const;

    // Writes TEMP to a new file at path: a database made from the template (its KPB650 holds the
    // rows) or a GBK text file, chosen by IsDatabasePath. The file is built in a directory of its
    // own under the system's temporary directory (which the system cleans, should the program
    // be killed half-way) and then put in place of the destination in one step, so a failed save
    // leaves an existing file as it was. A saved file gets the permissions of any new file.
    bool SaveRecords(const QString& path, QWidget* parent);
    // Replaces the working KPB650 by the records of a database file's KPB650 or of a text file.
    // Returns true when the record list should be reloaded: false on failure (nothing changed)
    // and when a database file's KPB650 is empty (the working KPB650 is then empty). A database
    // file is only read, never changed (a file with a write-ahead log keeps it); one whose
    // KPB650 lacks any record column is refused with records::kDatabaseFileConnectFailedText.
    bool OpenRecords(const QString& path, QWidget* parent);
    // The graph's open-file import: replaces KPB650 of this database by KPB650 of the database
    // file at path. Any failure shows records::kDatabaseFileConnectFailedText. True when rows were
    // copied.
    bool ImportEventFile(const QString& path, QWidget* parent);

    // Opening a text file a slice at a time, for a caller that keeps its window responsive:
    // BeginOpenText, then ContinueOpenText until it returns true, then EndOpenText (or
    // CancelOpenText). OpenRecords does the same at once. Until the end the working KPB650 is
    // as it was for every other connection; this store must not be used for anything else
    // meanwhile. BeginOpenText false: nothing started, the reason shown.
    bool BeginOpenText(const QString& path, QWidget* parent);
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

    QSqlDatabase Database() const;
    QWidget* MessageParent(QWidget* parent) const;
    void ShowError(QWidget* parent, const QSqlError& error) const;
    // Build the saved file at `staging`, a path where nothing is yet.
    bool SaveDatabase(const QString& staging, QWidget* parent);
    bool SaveText(const QString& staging, QWidget* parent);
    enum class ImportMessages { DriverText, ConnectFailedText };
    int ImportDatabase(const QString& path, QWidget* parent, ImportMessages messages);
    bool OpenText(const QString& path, QWidget* parent);

    QString m_connectionName;
    QString m_path;
    QString m_connectError;
    QPointer<QWidget> m_parent;
    std::unique_ptr<TextOpening> m_textOpening;
    mutable int m_errorScopes = 0;
    mutable bool m_errorShown = false;
    mutable int m_suppressedErrors = 0;
};
