#include <QSqlError>
#include <QtTest>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <memory>

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "records/background_checkpoint.h"
#include "records/record_snapshot.h"
#include "records/record_store.h"
#include "records/record_text_file.h"

namespace {

EventRecord MakeRecord(int i) {
    static const QStringList events = {QStringLiteral("命令1启动"), QStringLiteral("命令1返回"),
                                       QString(), QStringLiteral("事件代码错误!"),
                                       QStringLiteral("信号过低告警返回")};
    return EventRecord{QString::number(2000 + i % 256), QString::number(1 + i % 12),
                       QString::number(1 + i % 31),     QString::number(i % 24),
                       QString::number(i % 60),         QString::number((i * 7) % 60),
                       QString::number(i % 1000),       events.at(i % events.size())};
}

std::vector<EventRecord> MakeRecords(int count, int offset = 0) {
    std::vector<EventRecord> records;
    for (int i = 0; i < count; ++i) {
        records.push_back(MakeRecord(i + offset));
    }
    return records;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Runs statements on a database file through a connection of the test's own.
bool RunSql(const QString& path, const QStringList& statements) {
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "test-sql");
        db.setDatabaseName(path);
        ok = db.open();
        QSqlQuery query(db);
        for (const QString& statement : statements) {
            ok = ok && query.exec(statement);
        }
        db.close();
    }
    QSqlDatabase::removeDatabase("test-sql");
    return ok;
}

const QString kCreateKpb650 =
    "CREATE TABLE KPB650 (year TEXT, month TEXT, day TEXT, hour TEXT, minute TEXT, second TEXT, "
    "msecond TEXT, event TEXT)";

bool IsRoot() {
#ifdef Q_OS_UNIX
    return geteuid() == 0;
#else
    return false;
#endif
}

}  // namespace

class TestRecordStore : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void workingPaths();
    void isDatabasePath_data();
    void isDatabasePath();
    void proposedSaveName_data();
    void proposedSaveName();

    void connectCreatesMissingDatabase_data();
    void connectCreatesMissingDatabase();
    void connectRefusesNonDatabase();
    void appendCommitsEachRecord();
    void nullReadsAsEmptyText();
    void emptyAndCopy();

    void saveOpenRoundTrip_data();
    void saveOpenRoundTrip();
    void textFileBytes();
    void upperCaseMdbIsText();
    void saveReplacesExistingFile_data();
    void saveReplacesExistingFile();
    void openDoesNotShowOldRecordsAfterSave();
    void emptySourceDatabaseEmptiesWorkingTable();
    void openFailures_data();
    void openFailures();
    void saveTextCannotBeCreated();
    void saveDatabaseCannotBeCreated();
    void saveOntoWorkingDatabaseRefused();
    void readOnlyDirectory();
    void missingTemplateIsCreated();
    void templateCannotBeCreated();
    void brokenTemplateKeepsExistingFile();
    void notConnected();
    void legacyTextFile();
    void overLongAndInvalidLines();
    void rowErrorsShownOncePerOperation_data();
    void rowErrorsShownOncePerOperation();
    void errorScopeSpansCalls();
    void importEventFile();
    void foreignColumnsRefused_data();
    void foreignColumnsRefused();
    void workingTableWithForeignColumnsRefused();
    void databaseWithWriteAheadLogIsOnlyRead();
    void savedFileHasNewFileMode_data();
    void savedFileHasNewFileMode();
    void saveUnderWayLeavesNothingBesideDestination();
    void textFieldsStoredAsRead_data();
    void textFieldsStoredAsRead();
    void openTextInSlices();
    void snapshotPagesAndStaysAsTaken();
    void checkpointCopiesTheLogBack();
    void snapshotInStepsReadsOneState();

private:
    QString Home(const QString& name) const { return m_home->filePath(name); }
    void FillTemp(RecordStore& store, const std::vector<EventRecord>& records);

    std::unique_ptr<QTemporaryDir> m_home;
    // Gathers what each store call reports, in order: the texts the dialogs show.
    template <typename Result>
    Result Told(const RecordStore& store, Result result) {
        for (const records::StoreError& error : store.Errors().errors) {
            m_told << error.text;
        }
        return result;
    }

    QStringList m_told;
};

void TestRecordStore::init() {
    m_home = std::make_unique<QTemporaryDir>();
    QVERIFY(m_home->isValid());
    qputenv("KP650_HOME", m_home->path().toUtf8());
    m_told.clear();
}

void TestRecordStore::cleanup() {
    m_home.reset();
}

void TestRecordStore::FillTemp(RecordStore& store, const std::vector<EventRecord>& records) {
    QVERIFY(Told(store, store.EmptyTable(records::kTempTable)));
    for (const EventRecord& record : records) {
        QVERIFY(Told(store, store.Append(records::kTempTable, record)));
    }
}

void TestRecordStore::workingPaths() {
    QCOMPARE(RecordStore::WorkingDatabasePath(0), Home("KPA650.mdb"));
    QCOMPARE(RecordStore::WorkingDatabasePath(1), Home("KPB650.mdb"));
    QCOMPARE(RecordStore::TemplatePath(), Home("KPB.mdb"));
}

void TestRecordStore::isDatabasePath_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<bool>("database");
    QTest::newRow("mdb") << "/x/a.mdb" << true;
    QTest::newRow("MDB") << "/x/a.MDB" << false;
    QTest::newRow("txt") << "/x/a.txt" << false;
    QTest::newRow("no extension ending b") << "/x/ab" << true;
    QTest::newRow("empty") << "" << false;
}

void TestRecordStore::isDatabasePath() {
    QFETCH(QString, path);
    QFETCH(bool, database);
    QCOMPARE(RecordStore::IsDatabasePath(path), database);
}

void TestRecordStore::proposedSaveName_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("name");
    QTest::newRow("A September") << 0 << QDate(2009, 9, 5) << "KPA650(2009- 9- 5)";
    QTest::newRow("B December") << 1 << QDate(2026, 12, 31) << "KPB650(2026-12-31)";
}

void TestRecordStore::proposedSaveName() {
    QFETCH(int, variant);
    QFETCH(QDate, date);
    QFETCH(QString, name);
    QCOMPARE(RecordStore::ProposedSaveName(variant, date), name);
}

void TestRecordStore::connectCreatesMissingDatabase_data() {
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("file");
    QTest::newRow("A") << 0 << "KPA650.mdb";
    QTest::newRow("B") << 1 << "KPB650.mdb";
}

void TestRecordStore::connectCreatesMissingDatabase() {
    QFETCH(int, variant);
    QFETCH(QString, file);
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(variant)));
    QVERIFY(store.IsConnected());
    QVERIFY(QFileInfo::exists(Home(file)));
    QCOMPARE(Told(store, store.RowCount(records::kTempTable)), 0);
    QCOMPARE(Told(store, store.RowCount(records::kKpb650Table)), 0);
    QVERIFY(m_told.isEmpty());
}

void TestRecordStore::connectRefusesNonDatabase() {
    const QByteArray junk("not a database, just some text that must survive\n");
    QVERIFY(WriteFile(Home("KPA650.mdb"), junk));
    RecordStore store;
    QVERIFY(!Told(store, store.ConnectWorking(0)));
    QVERIFY(!store.IsConnected());
    QCOMPARE(store.Errors().errors.size(), std::size_t(1));
    QCOMPARE(store.Errors().errors[0].what, records::StoreError::What::WorkingDatabase);
    QCOMPARE(m_told,
             QStringList{QStringLiteral("数据库连接失败，确认数据库是否在当前路径下，并请重试!")});
    QCOMPARE(ReadFile(Home("KPA650.mdb")), junk);
}

void TestRecordStore::appendCommitsEachRecord() {
    RecordStore writer;
    QVERIFY(Told(writer, writer.ConnectWorking(1)));
    RecordStore reader;
    QVERIFY(Told(reader, reader.ConnectWorking(1)));
    const std::vector<EventRecord> records = MakeRecords(5);
    for (size_t i = 0; i < records.size(); ++i) {
        QVERIFY(Told(writer, writer.Append(records::kTempTable, records[i])));
        // Another connection sees every row at once: it was committed on its own.
        const std::vector<EventRecord> seen = Told(reader, reader.ReadAll(records::kTempTable));
        QCOMPARE(seen.size(), i + 1);
        QCOMPARE(seen.back(), records[i]);
    }
    QCOMPARE(Told(reader, reader.ReadAll(records::kTempTable)), records);
}

void TestRecordStore::nullReadsAsEmptyText() {
    {
        RecordStore store;
        QVERIFY(Told(store, store.ConnectWorking(0)));
    }
    QVERIFY(RunSql(Home("KPA650.mdb"), {"INSERT INTO KPB650 (year, event) VALUES ('2011', NULL)",
                                        "INSERT INTO KPB650 (year, month) VALUES (2012, 7)"}));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    const std::vector<EventRecord> rows = Told(store, store.ReadAll(records::kKpb650Table));
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(rows[0].FieldTexts(), (QStringList{"2011", "", "", "", "", "", "", ""}));
    QCOMPARE(rows[1].FieldTexts(), (QStringList{"2012", "7", "", "", "", "", "", ""}));
}

void TestRecordStore::emptyAndCopy() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(4));
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(99))));
    QVERIFY(Told(store, store.CopyTable(records::kTempTable, records::kKpb650Table)));
    std::vector<EventRecord> expected{MakeRecord(99)};
    for (const EventRecord& r : MakeRecords(4)) {
        expected.push_back(r);
    }
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), expected);
    QVERIFY(Told(store, store.EmptyTable(records::kKpb650Table)));
    QCOMPARE(Told(store, store.RowCount(records::kKpb650Table)), 0);
    QCOMPARE(Told(store, store.RowCount(records::kTempTable)), 4);
    QVERIFY(m_told.isEmpty());
}

void TestRecordStore::saveOpenRoundTrip_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    for (const char* file : {"out.mdb", "out.txt"}) {
        for (int count : {0, 3, 1000}) {
            QTest::addRow("%s %d", file, count) << QString(file) << count;
        }
    }
}

void TestRecordStore::saveOpenRoundTrip() {
    QFETCH(QString, file);
    QFETCH(int, count);
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(1)));
    const std::vector<EventRecord> records = MakeRecords(count);
    FillTemp(store, records);
    // Something to be replaced by the open.
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(500))));

    const QString path = Home(file);
    QVERIFY2(Told(store, store.SaveRecords(path)), qPrintable(m_told.join('|')));
    QVERIFY(QFileInfo::exists(path));
    const bool reload = Told(store, store.OpenRecords(path));
    // An empty database file leaves the list as it was; a text file always reloads it.
    QCOMPARE(reload, count > 0 || !RecordStore::IsDatabasePath(path));
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), records);
    QCOMPARE(Told(store, store.ReadAll(records::kTempTable)), records);
    QVERIFY2(m_told.isEmpty(), qPrintable(m_told.join('|')));
    // Nothing left beside the saved file.
    QCOMPARE(QDir(m_home->path()).entryList(QStringList{file + "*"}, QDir::Files),
             QStringList{file});
}

void TestRecordStore::textFileBytes() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(100));
    QVERIFY(Told(store, store.SaveRecords(Home("t.txt"))));
    const QByteArray content = ReadFile(Home("t.txt"));
    QVERIFY(content.endsWith("\r\n"));
    QCOMPARE(content.count("\r\n"), 100);
    const QList<QByteArray> lines = content.split('\n');
    QCOMPARE(lines.size(), 101);
    QVERIFY(lines[0].startsWith("1    2000  1  1   0  0  0  0  "));
    QVERIFY(lines[2].startsWith("3    2002  3  3   2  2  14  2  "));
    QVERIFY(lines[9].startsWith("10   "));
    QVERIFY(lines[99].startsWith("100  "));
    // 命令1启动 in GBK.
    QVERIFY(lines[0].endsWith("  " + QByteArray::fromHex("c3fcc1ee31c6f4b6af") + "\r"));
}

void TestRecordStore::upperCaseMdbIsText() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(2));
    QVERIFY(Told(store, store.SaveRecords(Home("upper.MDB"))));
    QVERIFY(ReadFile(Home("upper.MDB")).startsWith("1    2000  1  1"));
    QVERIFY(Told(store, store.OpenRecords(Home("upper.MDB"))));
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(2));
}

void TestRecordStore::saveReplacesExistingFile_data() {
    QTest::addColumn<QString>("file");
    QTest::newRow("database") << "again.mdb";
    QTest::newRow("text") << "again.txt";
}

void TestRecordStore::saveReplacesExistingFile() {
    QFETCH(QString, file);
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(50));
    QVERIFY(Told(store, store.SaveRecords(Home(file))));
    FillTemp(store, MakeRecords(3, 7));
    QVERIFY(Told(store, store.SaveRecords(Home(file))));
    QVERIFY(Told(store, store.OpenRecords(Home(file))));
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(3, 7));
}

void TestRecordStore::openDoesNotShowOldRecordsAfterSave() {
    // Save writes TEMP, whatever was opened last.
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(2));
    QVERIFY(Told(store, store.SaveRecords(Home("first.mdb"))));
    FillTemp(store, MakeRecords(4, 10));
    QVERIFY(Told(store, store.OpenRecords(Home("first.mdb"))));
    QVERIFY(Told(store, store.SaveRecords(Home("second.txt"))));
    QVERIFY(Told(store, store.OpenRecords(Home("second.txt"))));
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(4, 10));
}

void TestRecordStore::emptySourceDatabaseEmptiesWorkingTable() {
    QVERIFY(RunSql(Home("empty.mdb"), {kCreateKpb650}));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(1)));
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(1))));
    QVERIFY(!Told(store, store.OpenRecords(Home("empty.mdb"))));
    QCOMPARE(Told(store, store.RowCount(records::kKpb650Table)), 0);
    QVERIFY(m_told.isEmpty());
}

void TestRecordStore::openFailures_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("content");  // empty: no file
    QTest::addColumn<QString>("message");
    QTest::newRow("missing database")
        << "missing.mdb" << QByteArray()
        << QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!");
    QTest::newRow("not a database")
        << "junk.mdb" << QByteArray("hello, no SQLite here\r\n")
        << QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!");
    QTest::newRow("missing text") << "missing.txt" << QByteArray()
                                  << QStringLiteral("打开文件出错！");
}

void TestRecordStore::openFailures() {
    QFETCH(QString, file);
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    if (!content.isEmpty()) {
        QVERIFY(WriteFile(Home(file), content));
    }
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(3))));
    QVERIFY(!Told(store, store.OpenRecords(Home(file))));
    QCOMPARE(m_told, QStringList{message});
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(1, 3));
    // Neither created nor changed.
    QCOMPARE(QFileInfo::exists(Home(file)), !content.isEmpty());
    if (!content.isEmpty()) {
        QCOMPARE(ReadFile(Home(file)), content);
    }
}

void TestRecordStore::saveTextCannotBeCreated() {
    QVERIFY(WriteFile(Home("plain"), "x"));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    QVERIFY(!Told(store, store.SaveRecords(Home("plain/out.txt"))));
    QCOMPARE(m_told, QStringList{QStringLiteral("保存文件出错！")});
    QCOMPARE(Told(store, store.ReadAll(records::kTempTable)), MakeRecords(3));
}

void TestRecordStore::saveDatabaseCannotBeCreated() {
    QVERIFY(WriteFile(Home("plain"), "x"));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    QVERIFY(!Told(store, store.SaveRecords(Home("plain/out.mdb"))));
    QCOMPARE(m_told,
             QStringList{QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")});
    QCOMPARE(ReadFile(Home("plain")), QByteArray("x"));
}

void TestRecordStore::saveOntoWorkingDatabaseRefused() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(9))));
    QVERIFY(!Told(store, store.SaveRecords(RecordStore::WorkingDatabasePath(0))));
    QCOMPARE(m_told, QStringList{QStringLiteral("保存文件出错！")});
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(1, 9));
}

void TestRecordStore::readOnlyDirectory() {
    if (IsRoot()) {
        QSKIP("running as root: permissions do not stop writes");
    }
    QDir(m_home->path()).mkdir("locked");
    QVERIFY(WriteFile(Home("locked/old.txt"), "old"));
    QVERIFY(QFile::setPermissions(Home("locked"), QFile::ReadOwner | QFile::ExeOwner));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    const bool savedText = Told(store, store.SaveRecords(Home("locked/old.txt")));
    const bool savedDatabase = Told(store, store.SaveRecords(Home("locked/new.mdb")));
    QFile::setPermissions(Home("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!savedText);
    QVERIFY(!savedDatabase);
    QCOMPARE(m_told,
             (QStringList{QStringLiteral("保存文件出错！"),
                          QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")}));
    QCOMPARE(ReadFile(Home("locked/old.txt")), QByteArray("old"));
    QVERIFY(!QFileInfo::exists(Home("locked/new.mdb")));
}

void TestRecordStore::missingTemplateIsCreated() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    QVERIFY(!QFileInfo::exists(RecordStore::TemplatePath()));
    QVERIFY(Told(store, store.SaveRecords(Home("new.mdb"))));
    QVERIFY(QFileInfo::exists(RecordStore::TemplatePath()));
    QVERIFY(m_told.isEmpty());
    // The template itself stays empty.
    RecordStore templ;
    QVERIFY(templ.Connect(RecordStore::TemplatePath()));
    QCOMPARE(Told(templ, templ.RowCount(records::kKpb650Table)), 0);
}

void TestRecordStore::templateCannotBeCreated() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    // The program directory turns into a place where nothing can be created.
    QVERIFY(WriteFile(Home("plain"), "x"));
    qputenv("KP650_HOME", Home("plain/home").toUtf8());
    const bool saved = Told(store, store.SaveRecords(Home("new.mdb")));
    qputenv("KP650_HOME", m_home->path().toUtf8());
    QVERIFY(!saved);
    QCOMPARE(m_told,
             QStringList{QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")});
    QVERIFY(!QFileInfo::exists(Home("new.mdb")));
}

void TestRecordStore::brokenTemplateKeepsExistingFile() {
    QVERIFY(WriteFile(RecordStore::TemplatePath(), "this template is no database"));
    QVERIFY(WriteFile(Home("keep.mdb"), "precious"));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    QVERIFY(!Told(store, store.SaveRecords(Home("keep.mdb"))));
    QCOMPARE(m_told,
             QStringList{QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")});
    QCOMPARE(ReadFile(Home("keep.mdb")), QByteArray("precious"));
    QCOMPARE(QDir(m_home->path()).entryList(QStringList{"keep.mdb*"}, QDir::Files),
             QStringList{"keep.mdb"});
}

void TestRecordStore::notConnected() {
    QVERIFY(WriteFile(Home("in.txt"), "1    2000  1  1   0  0  0  0  x\r\n"));
    RecordStore store;
    QVERIFY(!store.IsConnected());
    QVERIFY(!Told(store, store.SaveRecords(Home("out.txt"))));
    QVERIFY(!Told(store, store.SaveRecords(Home("out.mdb"))));
    QVERIFY(!Told(store, store.OpenRecords(Home("in.txt"))));
    QCOMPARE(
        m_told,
        QStringList(3, QStringLiteral("数据库连接失败，确认数据库是否在当前路径下，并请重试!")));
    QVERIFY(!QFileInfo::exists(Home("out.txt")));
    QVERIFY(!QFileInfo::exists(Home("out.mdb")));
    QVERIFY(!Told(store, store.Append(records::kTempTable, MakeRecord(0))));
    QVERIFY(Told(store, store.ReadAll(records::kTempTable)).empty());
}

void TestRecordStore::legacyTextFile() {
    // Written by hand in the record line format: no header line, last line without CR LF.
    QByteArray content;
    content +=
        "1    2009  9  25   10  30  15  500  " + QByteArray::fromHex("c3fcc1ee31c6f4b6af") + "\r\n";
    content += "2    2009  9  25   10  30  16  5  \r\n";
    content += "\r\n";
    content += "4    2010  1";
    QVERIFY(WriteFile(Home("legacy.txt"), content));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QVERIFY(Told(store, store.OpenRecords(Home("legacy.txt"))));
    const std::vector<EventRecord> expected{
        {"2009", "9", "25", "10", "30", "15", "500", QStringLiteral("命令1启动")},
        {"2009", "9", "25", "10", "30", "16", "5", ""},
        {},
        {"2010", "1", "", "", "", "", "", ""}};
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), expected);
}

void TestRecordStore::overLongAndInvalidLines() {
    QByteArray content;
    content += "1    2001  1  1   1  1  1  1  a\r\n";
    content += QByteArray(70000, 'x') + "\r\n";
    content += "3    2003  3  3   3  3  3  3  \x81\xff\xfe\r\n";
    // Exactly the longest line accepted.
    const QByteArray longest = "4    2004  4  4   4  4  4  4  ";
    const qsizetype eventBytes = records::kMaxRecordLineBytes - longest.size();
    content += longest + QByteArray(eventBytes, 'y') + "\r\n";
    content +=
        QByteArray(records::kMaxRecordLineBytes + 1, 'z');  // last line, over-long, no line end
    QVERIFY(WriteFile(Home("odd.txt"), content));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QVERIFY(Told(store, store.OpenRecords(Home("odd.txt"))));
    const std::vector<EventRecord> rows = Told(store, store.ReadAll(records::kKpb650Table));
    QCOMPARE(rows.size(), size_t(3));
    QCOMPARE(rows[0].year, "2001");
    QCOMPARE(rows[1].year, "2003");
    QVERIFY(rows[1].event.contains(QChar::ReplacementCharacter));
    QCOMPARE(rows[2].year, "2004");
    QCOMPARE(rows[2].event.size(), eventBytes);
    QVERIFY(m_told.isEmpty());
}

void TestRecordStore::rowErrorsShownOncePerOperation_data() {
    QTest::addColumn<QString>("source");
    QTest::newRow("open text") << "text";
    QTest::newRow("open database") << "database";
    QTest::newRow("copy table") << "copy";
    QTest::newRow("save database") << "save";
}

void TestRecordStore::rowErrorsShownOncePerOperation() {
    QFETCH(QString, source);
    const QStringList events{"good", "bad", "bad", "fine"};
    const QString refuse =
        "CREATE TRIGGER refuse BEFORE INSERT ON KPB650 WHEN NEW.event = 'bad' "
        "BEGIN SELECT RAISE(ABORT, 'row refused'); END";
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QString text;
    QStringList inserts{kCreateKpb650};
    for (int i = 0; i < events.size(); ++i) {
        Told(store,
             store.Append(records::kTempTable, EventRecord{QString::number(2001 + i), "1", "1", "1",
                                                           "1", "1", "1", events[i]}));
        text +=
            QString("%1    %2  1  1   1  1  1  1  %3\r\n").arg(i + 1).arg(2001 + i).arg(events[i]);
        inserts << QString("INSERT INTO KPB650 VALUES ('%1','1','1','1','1','1','1','%2')")
                       .arg(2001 + i)
                       .arg(events[i]);
    }
    store.Close();
    QVERIFY(RunSql(
        source == "save" ? RecordStore::TemplatePath() : RecordStore::WorkingDatabasePath(0),
        {QString(kCreateKpb650).replace("CREATE TABLE", "CREATE TABLE IF NOT EXISTS"), refuse}));
    QVERIFY(Told(store, store.ConnectWorking(0)));

    std::vector<EventRecord> rows;
    if (source == "text") {
        QVERIFY(WriteFile(Home("four.txt"), text.toLatin1()));
        QVERIFY(Told(store, store.OpenRecords(Home("four.txt"))));
        rows = Told(store, store.ReadAll(records::kKpb650Table));
    } else if (source == "database") {
        QVERIFY(RunSql(Home("four.mdb"), inserts));
        QVERIFY(Told(store, store.OpenRecords(Home("four.mdb"))));
        rows = Told(store, store.ReadAll(records::kKpb650Table));
    } else if (source == "copy") {
        QVERIFY(Told(store, store.CopyTable(records::kTempTable, records::kKpb650Table)));
        rows = Told(store, store.ReadAll(records::kKpb650Table));
    } else {
        QVERIFY(Told(store, store.SaveRecords(Home("saved.mdb"))));
        RecordStore saved;
        QVERIFY(saved.Connect(Home("saved.mdb")));
        rows = Told(saved, saved.ReadAll(records::kKpb650Table));
    }
    // Two rows refused, one box; the other rows are kept.
    QCOMPARE(m_told, QStringList{"row refused"});
    QCOMPARE(rows.size(), size_t(2));
    QCOMPARE(rows[0].event, "good");
    QCOMPARE(rows[1].event, "fine");
}

void TestRecordStore::errorScopeSpansCalls() {
    {
        RecordStore store;
        QVERIFY(Told(store, store.ConnectWorking(1)));
    }
    QVERIFY(RunSql(RecordStore::WorkingDatabasePath(1),
                   {"CREATE TRIGGER refuse BEFORE INSERT ON TEMP WHEN NEW.event = 'bad' "
                    "BEGIN SELECT RAISE(ABORT, 'row refused'); END"}));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(1)));
    const EventRecord bad{"2009", "9", "25", "10", "30", "15", "500", "bad"};
    {
        // A log read storing record after record: one operation.
        RecordStore::ErrorScope read(store);
        QVERIFY(!Told(store, store.Append(records::kTempTable, bad)));
        QVERIFY(Told(store, store.Append(records::kTempTable, MakeRecord(1))));
        QVERIFY(!Told(store, store.Append(records::kTempTable, bad)));
        {
            RecordStore::ErrorScope inner(store);
            QVERIFY(!Told(store, store.Append(records::kTempTable, bad)));
        }
        QVERIFY(!Told(store, store.Append(records::kTempTable, bad)));
        QCOMPARE(m_told, QStringList{"row refused"});
        QCOMPARE(store.SuppressedErrors(), 3);
        // Each call's value tells of itself: this one's error was left out.
        QVERIFY(store.Errors().IsEmpty());
        QCOMPARE(store.Errors().suppressed, 1);
    }
    QCOMPARE(store.SuppressedErrors(), 0);
    // The next operation shows its own first error again.
    QVERIFY(!Told(store, store.Append(records::kTempTable, bad)));
    QVERIFY(!Told(store, store.Append(records::kTempTable, bad)));
    QCOMPARE(m_told, QStringList(3, "row refused"));
    QCOMPARE(Told(store, store.ReadAll(records::kTempTable)), MakeRecords(1, 1));
}

void TestRecordStore::importEventFile() {
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(1)));
    FillTemp(store, MakeRecords(5));
    QVERIFY(Told(store, store.SaveRecords(Home("graph.mdb"))));
    store.Close();

    RecordStore graph;
    QVERIFY(Told(graph, graph.ConnectWorking(1)));
    QVERIFY(Told(graph, graph.Append(records::kKpb650Table, MakeRecord(77))));
    QVERIFY(Told(graph, graph.ImportEventFile(Home("graph.mdb"))));
    QCOMPARE(Told(graph, graph.ReadAll(records::kKpb650Table)), MakeRecords(5));

    // A source without KPB650 is reported as a connection failure and changes nothing.
    QVERIFY(RunSql(Home("other.mdb"), {"CREATE TABLE t (a TEXT)"}));
    QVERIFY(!Told(graph, graph.ImportEventFile(Home("other.mdb"))));
    // The program's text, with the driver's reason beside it.
    QCOMPARE(graph.Errors().errors.at(0).what, records::StoreError::What::DatabaseFile);
    QCOMPARE(graph.Errors().errors.at(0).driverText, QStringLiteral("no such table: main.KPB650"));
    QVERIFY(!Told(graph, graph.ImportEventFile(Home("junk.txt"))));
    QCOMPARE(m_told,
             QStringList(2, QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")));
    QCOMPARE(Told(graph, graph.ReadAll(records::kKpb650Table)), MakeRecords(5));
}

void TestRecordStore::foreignColumnsRefused_data() {
    QTest::addColumn<QStringList>("statements");
    QTest::addColumn<bool>("graph");
    const QStringList eighthNamedOtherwise{
        "CREATE TABLE KPB650 (year TEXT, month TEXT, day TEXT, hour TEXT, minute TEXT, "
        "second TEXT, msecond TEXT, evt TEXT)",
        "INSERT INTO KPB650 VALUES ('2009','9','25','10','30','15','500','x')"};
    const QStringList twoOthers{"CREATE TABLE KPB650 (a INTEGER, b TEXT)",
                                "INSERT INTO KPB650 VALUES (1, 'x')"};
    for (bool graph : {false, true}) {
        const char* how = graph ? "graph import" : "open file";
        QTest::addRow("%s, 8th column evt", how) << eighthNamedOtherwise << graph;
        QTest::addRow("%s, columns a and b", how) << twoOthers << graph;
    }
}

void TestRecordStore::foreignColumnsRefused() {
    QFETCH(QStringList, statements);
    QFETCH(bool, graph);
    QVERIFY(RunSql(Home("foreign.mdb"), statements));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(3))));
    const bool opened = graph ? Told(store, store.ImportEventFile(Home("foreign.mdb")))
                              : Told(store, store.OpenRecords(Home("foreign.mdb")));
    QVERIFY(!opened);
    QCOMPARE(m_told,
             QStringList{QStringLiteral("数据库连接失败，确认数据库文件是否在当前路径下!")});
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(1, 3));
}

void TestRecordStore::workingTableWithForeignColumnsRefused() {
    QVERIFY(RunSql(Home("KPB650.mdb"), {"CREATE TABLE KPB650 (a INTEGER, b TEXT)"}));
    const QByteArray before = ReadFile(Home("KPB650.mdb"));
    RecordStore store;
    QVERIFY(!Told(store, store.ConnectWorking(1)));
    QCOMPARE(m_told,
             QStringList{QStringLiteral("数据库连接失败，确认数据库是否在当前路径下，并请重试!")});
    QCOMPARE(ReadFile(Home("KPB650.mdb")), before);
}

void TestRecordStore::databaseWithWriteAheadLogIsOnlyRead() {
    // A file whose records are still in its write-ahead log, as a writer that was killed leaves
    // it: copied while the writer holds it open.
    {
        RecordStore writer;
        QVERIFY(writer.Connect(Home("live.mdb")));
        for (const EventRecord& record : MakeRecords(3)) {
            QVERIFY(Told(writer, writer.Append(records::kKpb650Table, record)));
        }
        QVERIFY(QFile::copy(Home("live.mdb"), Home("wal.mdb")));
        QVERIFY(QFile::copy(Home("live.mdb-wal"), Home("wal.mdb-wal")));
    }
    const QByteArray file = ReadFile(Home("wal.mdb"));
    const QByteArray log = ReadFile(Home("wal.mdb-wal"));
    QVERIFY(!log.isEmpty());

    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QVERIFY(Told(store, store.OpenRecords(Home("wal.mdb"))));
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(3));
    QVERIFY(Told(store, store.EmptyTable(records::kKpb650Table)));
    QVERIFY(Told(store, store.ImportEventFile(Home("wal.mdb"))));
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(3));
    store.Close();
    QVERIFY(m_told.isEmpty());
    QCOMPARE(ReadFile(Home("wal.mdb")), file);
    QCOMPARE(ReadFile(Home("wal.mdb-wal")), log);
}

void TestRecordStore::savedFileHasNewFileMode_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("mask");
    QTest::addColumn<int>("existing");  // mode of a file saved over; 0: none
    QTest::addColumn<int>("mode");
    for (const char* file : {"out.mdb", "out.txt"}) {
        QTest::addRow("%s, umask 022, new", file) << QString(file) << 022 << 0 << 0644;
        QTest::addRow("%s, umask 027, new", file) << QString(file) << 027 << 0 << 0640;
        QTest::addRow("%s, umask 022, over 0644", file) << QString(file) << 022 << 0644 << 0644;
        QTest::addRow("%s, umask 022, over 0600", file) << QString(file) << 022 << 0600 << 0644;
    }
}

void TestRecordStore::savedFileHasNewFileMode() {
#ifdef Q_OS_UNIX
    QFETCH(QString, file);
    QFETCH(int, mask);
    QFETCH(int, existing);
    QFETCH(int, mode);
    if (existing != 0) {
        QVERIFY(WriteFile(Home(file), "old"));
        QVERIFY(::chmod(QFile::encodeName(Home(file)).constData(), mode_t(existing)) == 0);
    }
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(3));
    const mode_t before = ::umask(mode_t(mask));
    const bool saved = Told(store, store.SaveRecords(Home(file)));
    ::umask(before);
    QVERIFY(saved);
    struct stat info {};
    QVERIFY(::stat(QFile::encodeName(Home(file)).constData(), &info) == 0);
    QCOMPARE(int(info.st_mode & 0777), mode);
#else
    QSKIP("file modes are a Unix matter");
#endif
}

void TestRecordStore::saveUnderWayLeavesNothingBesideDestination() {
    // A row the template's table refuses is reported and the rest saved: the destination is
    // replaced whole and nothing is left beside it.
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, {MakeRecord(0), EventRecord{"2009", "9", "25", "10", "30", "15", "5", "bad"}});
    QVERIFY(RunSql(RecordStore::TemplatePath(),
                   {kCreateKpb650,
                    "CREATE TRIGGER refuse BEFORE INSERT ON KPB650 WHEN NEW.event = 'bad' "
                    "BEGIN SELECT RAISE(ABORT, 'row refused'); END"}));
    QVERIFY(QDir(m_home->path()).mkdir("out"));
    QVERIFY(WriteFile(Home("out/saved.mdb"), "older"));
    QVERIFY(Told(store, store.SaveRecords(Home("out/saved.mdb"))));
    QCOMPARE(m_told, QStringList{"row refused"});
    QCOMPARE(ReadFile(Home("out/saved.mdb")).left(6), QByteArray("SQLite"));
    QCOMPARE(QDir(Home("out")).entryList(QDir::Files | QDir::Hidden | QDir::System),
             QStringList{"saved.mdb"});
}

void TestRecordStore::textFieldsStoredAsRead_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<QStringList>("fields");
    const QByteArray start = "1    2009  9  25   10  30  15  500  ";
    const QStringList numbers{"2009", "9", "25", "10", "30", "15", "500"};
    QTest::newRow("quote and backslash") << start + "a\"b\\c" << numbers + QStringList{"a\"b\\c"};
    QTest::newRow("tab and control bytes")
        << start + "x\ty\x01z\x1f" << numbers + QStringList{"x\ty\u0001z\u001f"};
    QTest::newRow("GBK event, trailing blanks")
        << start + QByteArray::fromHex("c3fcc1ee31c6f4b6af") + "   "
        << numbers + QStringList{QStringLiteral("命令1启动")};
    QTest::newRow("invalid GBK") << start + "\x81"
                                 << numbers + QStringList{QStringLiteral("\uFFFD")};
    QTest::newRow("non-ASCII number")
        << QByteArray("1    ") + QByteArray::fromHex("a3b2a3b0") + "  1"
        << QStringList{QStringLiteral("２０"), "1", "", "", "", "", "", ""};
    QTest::newRow("short line") << QByteArray("12") << QStringList(8, QString());
}

void TestRecordStore::textFieldsStoredAsRead() {
    QFETCH(QByteArray, line);
    QFETCH(QStringList, fields);
    QVERIFY(WriteFile(Home("one.txt"), line + "\r\n"));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    QVERIFY(Told(store, store.OpenRecords(Home("one.txt"))));
    const std::vector<EventRecord> rows = Told(store, store.ReadAll(records::kKpb650Table));
    QCOMPARE(rows.size(), size_t(1));
    QCOMPARE(rows[0].FieldTexts(), fields);
    QVERIFY(m_told.isEmpty());
}

void TestRecordStore::openTextInSlices() {
    QByteArray ten;
    for (int i = 0; i < 10; ++i) {
        ten += FormatRecordLine(i + 1, MakeRecord(i)) + "\r\n";
    }
    QVERIFY(WriteFile(Home("ten.txt"), ten));
    QVERIFY(WriteFile(Home("three.txt"), ten.left(ten.indexOf("4    "))));
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(1)));
    QVERIFY(Told(store, store.Append(records::kKpb650Table, MakeRecord(99))));

    QVERIFY(Told(store, store.BeginOpenText(Home("ten.txt"))));
    QVERIFY(store.IsOpeningText());
    QVERIFY(!Told(store, store.ContinueOpenText(4)));
    QVERIFY(store.OpenTextPercent() > 0);
    QVERIFY(store.OpenTextPercent() < 100);
    // Until the end, everyone else still sees the table as it was.
    {
        RecordStore other;
        QVERIFY(Told(other, other.ConnectWorking(1)));
        QCOMPARE(Told(other, other.ReadAll(records::kKpb650Table)), MakeRecords(1, 99));
    }
    QVERIFY(!Told(store, store.ContinueOpenText(4)));
    QVERIFY(Told(store, store.ContinueOpenText(4)));
    QCOMPARE(store.OpenTextPercent(), 100);
    QVERIFY(Told(store, store.EndOpenText()));
    QVERIFY(!store.IsOpeningText());
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(10));

    // Given up half-way: nothing changes.
    QVERIFY(Told(store, store.BeginOpenText(Home("three.txt"))));
    QVERIFY(!Told(store, store.ContinueOpenText(2)));
    store.CancelOpenText();
    QVERIFY(!store.IsOpeningText());
    QCOMPARE(Told(store, store.ReadAll(records::kKpb650Table)), MakeRecords(10));
    QVERIFY(m_told.isEmpty());
}

void TestRecordStore::checkpointCopiesTheLogBack() {
    const QString path = Home("wal.db");
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "wal");
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec("PRAGMA journal_mode=WAL"));
        QVERIFY(q.exec("PRAGMA wal_autocheckpoint=0"));
        QVERIFY(q.exec("CREATE TABLE t (x BLOB)"));
        QVERIFY(db.transaction());
        QVERIFY(q.prepare("INSERT INTO t VALUES (?)"));
        for (int i = 0; i < 2000; ++i) {
            q.addBindValue(QByteArray(200, char('a' + i % 26)));
            QVERIFY(q.exec());
        }
        QVERIFY(db.commit());
        // Everything is still in the log, the file holds the first pages only.
        QVERIFY(QFileInfo(path).size() < 64 * 1024);
        BackgroundCheckpoint checkpoint;
        checkpoint.Start(path);
        checkpoint.Start(path);  // asked again while it runs: one more pass, no second thread
        checkpoint.Wait();
        QVERIFY(!checkpoint.Running());
        QVERIFY(QFileInfo(path).size() > 400 * 1024);
        QVERIFY(q.exec("SELECT count(*) FROM t"));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toInt(), 2000);
    }
    QSqlDatabase::removeDatabase("wal");
}

void TestRecordStore::snapshotPagesAndStaysAsTaken() {
    constexpr int kRows = 5000;  // more pages than are kept decoded
    RecordStore store;
    QVERIFY(Told(store, store.ConnectWorking(0)));
    FillTemp(store, MakeRecords(kRows));
    RecordSnapshot snapshot;
    QVERIFY(Told(store, store.TakeSnapshot(records::kTempTable, snapshot)));
    QCOMPARE(snapshot.Count(), kRows);
    // Later changes to the table do not show.
    QVERIFY(Told(store, store.EmptyTable(records::kTempTable)));
    QVERIFY(Told(store, store.Append(records::kTempTable, MakeRecord(kRows))));
    for (int row : {0, 255, 256, 257, 4999, 1000, 0}) {
        QCOMPARE(snapshot.At(row), MakeRecord(row));
    }
    for (int row = kRows - 1; row >= 0; --row) {
        if (snapshot.At(row) != MakeRecord(row)) {
            QFAIL(qPrintable(QString("row %1 differs").arg(row)));
        }
    }
    QCOMPARE(snapshot.At(kRows), EventRecord{});
    QCOMPARE(snapshot.At(-1), EventRecord{});
    // Moved, it goes on showing the same rows.
    RecordSnapshot moved = std::move(snapshot);
    QCOMPARE(snapshot.Count(), 0);
    QCOMPARE(moved.At(4321), MakeRecord(4321));

    QVERIFY(Told(store, store.TakeSnapshot(records::kTempTable, moved)));
    QCOMPARE(moved.Count(), 1);
    QCOMPARE(moved.At(0), MakeRecord(kRows));
    store.Close();
    QVERIFY(!Told(store, store.TakeSnapshot(records::kTempTable, moved)));
    QCOMPARE(moved.Count(), 0);
    QVERIFY(m_told.isEmpty());
}

// Taken a slice at a time, the rows are those of the moment the copy began.
void TestRecordStore::snapshotInStepsReadsOneState() {
    constexpr int kRows = 2500;
    RecordStore store;
    QVERIFY(store.ConnectWorking(0));
    FillTemp(store, MakeRecords(kRows));
    RecordSnapshot snapshot;
    QVERIFY(store.BeginSnapshot(records::kTempTable, snapshot));
    QSqlError error;
    bool failed = false;
    int steps = 0;
    while (!snapshot.Continue(1000, &error, &failed)) {
        if (++steps == 1) {
            QCOMPARE(snapshot.Count(), 1000);
            QVERIFY(store.EmptyTable(records::kTempTable));
            QVERIFY(store.Append(records::kTempTable, MakeRecord(kRows)));
        }
    }
    QVERIFY(!failed);
    QCOMPARE(steps, 2);
    QVERIFY(!snapshot.Copying());
    QCOMPARE(snapshot.Count(), kRows);
    for (int row : {0, 999, 1000, 1001, 2499}) {
        QCOMPARE(snapshot.At(row), MakeRecord(row));
    }
    QVERIFY(store.Errors().IsEmpty());
}

QTEST_MAIN(TestRecordStore)
#include "tst_record_store.moc"
