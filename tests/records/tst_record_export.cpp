#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMenu>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

#include "common/globals.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "support/test_support.h"

namespace {

EventRecord Rec(const char* y, const char* mo, const char* d, const char* h, const char* mi,
                const char* s, const char* ms, const char* event) {
    return EventRecord{QString::fromUtf8(y),  QString::fromUtf8(mo),   QString::fromUtf8(d),
                       QString::fromUtf8(h),  QString::fromUtf8(mi),   QString::fromUtf8(s),
                       QString::fromUtf8(ms), QString::fromUtf8(event)};
}

// Transmitter: a command across midnight (and the year), an alarm, a record without a signal,
// a command still high at the end, and a record whose month is off the calendar.
std::vector<EventRecord> LogA() {
    return {
        Rec("2023", "12", "31", "23", "59", "59", "800", "命令1启动"),
        Rec("2024", "1", "1", "0", "0", "0", "300", "命令1返回"),
        Rec("2024", "1", "1", "0", "0", "1", "5", "功放过载告警"),
        Rec("2024", "1", "1", "0", "0", "2", "0", "事件代码错误!"),
        Rec("2024", "1", "1", "0", "0", "2", "50", "命令2启动"),
        Rec("2024", "1", "1", "0", "0", "3", "0", "功放过载告警返回"),
        Rec("2024", "13", "1", "0", "0", "4", "0", "say \"hi\", ok"),
    };
}

// Receiver: a record out of time order, a span of hours and a leap-day midnight.
std::vector<EventRecord> LogB() {
    return {
        Rec("2024", "2", "29", "10", "0", "0", "0", "信噪比告警"),
        Rec("2024", "2", "29", "10", "0", "0", "250", "命令3启动"),
        Rec("2024", "2", "29", "9", "59", "59", "900", "通道故障告警"),
        Rec("2024", "2", "29", "13", "0", "0", "0", "命令3返回"),
        Rec("2024", "3", "1", "0", "0", "0", "0", "信号过低告警"),
    };
}

QByteArray Expected(const QString& name) {
    QFile file(QFINDTESTDATA(QStringLiteral("records/export_data/") + name));
    if (!file.open(QIODevice::ReadOnly)) {
        return QByteArray("missing expected file ") + name.toUtf8();
    }
    return file.readAll();
}

// Compares line by line, so that a failure names the first line that differs.
void CompareLines(const QByteArray& actual, const QByteArray& expected) {
    const QList<QByteArray> a = actual.split('\n');
    const QList<QByteArray> e = expected.split('\n');
    for (int i = 0; i < std::min(a.size(), e.size()); ++i) {
        QVERIFY2(a[i] == e[i], qPrintable(QStringLiteral("line %1: '%2' != '%3'")
                                              .arg(i + 1)
                                              .arg(QString::fromUtf8(a[i]))
                                              .arg(QString::fromUtf8(e[i]))));
    }
    QCOMPARE(a.size(), e.size());
}

QList<QByteArray> Lines(const QByteArray& text) {
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.pop_back();
    }
    for (QByteArray& line : lines) {
        if (!line.endsWith('\r')) {
            return {};  // every line must end in CR LF
        }
        line.chop(1);
    }
    return lines;
}

}  // namespace

class TestRecordExport : public QObject {
    Q_OBJECT
private slots:
    void csvMatchesHandWrittenFile_data();
    void csvMatchesHandWrittenFile();
    void csvQuotesWhatNeedsIt_data();
    void csvQuotesWhatNeedsIt();
    void comtradeMatchesHandWrittenFiles_data();
    void comtradeMatchesHandWrittenFiles();
    void comtradeCfgFollowsTheStandardsFieldOrder_data();
    void comtradeCfgFollowsTheStandardsFieldOrder();
    void comtradeLongSpanRaisesTheTimeMultiplier();
    void comtradeWithoutTimedRecords();
    void comtradeFilesWrittenSideBySide();
    void tabTextOfRows();
    void listMenuExportsWhatTheListShows();
    void listMenuGraphsTheListedRecords();
    void copyPutsSelectedRowOnClipboard();
};

void TestRecordExport::csvMatchesHandWrittenFile_data() {
    QTest::addColumn<std::vector<EventRecord>>("log");
    QTest::addColumn<QString>("expected");
    QTest::newRow("A") << LogA() << "log_a.csv";
    QTest::newRow("B") << LogB() << "log_b.csv";
}

// Each special character alone is enough to quote a field (RFC 4180).
void TestRecordExport::csvQuotesWhatNeedsIt_data() {
    QTest::addColumn<QString>("event");
    QTest::addColumn<QByteArray>("field");
    QTest::newRow("quote only") << "5\"" << QByteArray("\"5\"\"\"");
    QTest::newRow("comma only") << "a,b" << QByteArray("\"a,b\"");
    QTest::newRow("line feed only") << "a\nb" << QByteArray("\"a\nb\"");
    QTest::newRow("plain") << "命令1启动" << QByteArray("命令1启动");
}

void TestRecordExport::csvQuotesWhatNeedsIt() {
    QFETCH(QString, event);
    QFETCH(QByteArray, field);
    const QByteArray csv =
        RecordsToCsv({Rec("2024", "13", "1", "0", "0", "4", "0", event.toUtf8().constData())});
    QCOMPARE(csv.mid(csv.indexOf("\r\n") + 2), "1,,2024,13,1,0,0,4,0," + field + "\r\n");
}

void TestRecordExport::csvMatchesHandWrittenFile() {
    QFETCH(std::vector<EventRecord>, log);
    QFETCH(QString, expected);
    const QByteArray csv = RecordsToCsv(log);
    QVERIFY(csv.startsWith("\xEF\xBB\xBF"));
    CompareLines(csv, Expected(expected));
    QCOMPARE(RecordsToCsv({}),
             QByteArray("\xEF\xBB\xBF") +
                 QStringLiteral("序号,时间,年,月,日,时,分,秒,毫秒,事件\r\n").toUtf8());
}

void TestRecordExport::comtradeMatchesHandWrittenFiles_data() {
    QTest::addColumn<std::vector<EventRecord>>("log");
    QTest::addColumn<int>("variant");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("skipped");
    QTest::newRow("A") << LogA() << int(kVariantA) << "log_a" << 1;
    QTest::newRow("B") << LogB() << int(kVariantB) << "log_b" << 0;
}

void TestRecordExport::comtradeMatchesHandWrittenFiles() {
    QFETCH(std::vector<EventRecord>, log);
    QFETCH(int, variant);
    QFETCH(QString, name);
    QFETCH(int, skipped);
    const ComtradeFiles files = RecordsToComtrade(log, variant);
    CompareLines(files.cfg, Expected(name + QStringLiteral(".cfg")));
    CompareLines(files.dat, Expected(name + QStringLiteral(".dat")));
    QCOMPARE(files.skipped, skipped);
}

void TestRecordExport::comtradeCfgFollowsTheStandardsFieldOrder_data() {
    comtradeMatchesHandWrittenFiles_data();
}

// The 1999 configuration file: station, device, revision; channel counts; one line of five
// fields per status channel; line frequency; number of rates; rate and last sample; first and
// trigger time; file type; time multiplier. Data lines: sample number, timestamp, one state per
// status channel.
void TestRecordExport::comtradeCfgFollowsTheStandardsFieldOrder() {
    QFETCH(std::vector<EventRecord>, log);
    QFETCH(int, variant);
    const ComtradeFiles files = RecordsToComtrade(log, variant);
    const QList<QByteArray> cfg = Lines(files.cfg);
    const QList<QByteArray> dat = Lines(files.dat);
    QVERIFY(!cfg.isEmpty());
    QVERIFY(!dat.isEmpty());
    const int digital = variant == kVariantA ? 5 : 7;
    QCOMPARE(cfg.size(), 2 + digital + 7);
    const QList<QByteArray> head = cfg[0].split(',');
    QCOMPARE(head.size(), 3);
    QCOMPARE(head[2], QByteArray("1999"));
    QCOMPARE(cfg[1], QByteArray::number(digital) + ",0A," + QByteArray::number(digital) + "D");
    for (int c = 0; c < digital; ++c) {
        const QList<QByteArray> ch = cfg[2 + c].split(',');
        QCOMPARE(ch.size(), 5);
        QCOMPARE(ch[0], QByteArray::number(c + 1));
        QVERIFY(!ch[1].isEmpty() && ch[1].size() <= 64);
        QCOMPARE(ch[4], QByteArray("0"));
    }
    int i = 2 + digital;
    QCOMPARE(cfg[i++], QByteArray("50"));
    QCOMPARE(cfg[i++], QByteArray("0"));
    QCOMPARE(cfg[i++], "0," + QByteArray::number(dat.size()));
    const QRegularExpression stamp(
        QStringLiteral("^\\d\\d/\\d\\d/\\d{4},\\d\\d:\\d\\d:\\d\\d\\.\\d{6}$"));
    QVERIFY(stamp.match(QString::fromLatin1(cfg[i++])).hasMatch());
    QVERIFY(stamp.match(QString::fromLatin1(cfg[i++])).hasMatch());
    QCOMPARE(cfg[i++], QByteArray("ASCII"));
    QVERIFY(cfg[i].toLongLong() >= 1);
    for (char c : files.cfg) {
        QVERIFY(static_cast<unsigned char>(c) < 0x80);
    }
    qint64 previous = -1;
    for (int n = 0; n < dat.size(); ++n) {
        const QList<QByteArray> f = dat[n].split(',');
        QCOMPARE(f.size(), 2 + digital);
        QCOMPARE(f[0], QByteArray::number(n + 1));
        QVERIFY(f[1].size() <= 10);
        QVERIFY(f[1].toLongLong() >= previous);
        previous = f[1].toLongLong();
        for (int c = 0; c < digital; ++c) {
            QVERIFY(f[2 + c] == "0" || f[2 + c] == "1");
        }
    }
}

void TestRecordExport::comtradeLongSpanRaisesTheTimeMultiplier() {
    // 200 days: too long for ten digits of milliseconds, so timestamps count tens of ms.
    const std::vector<EventRecord> log = {
        Rec("2024", "1", "1", "0", "0", "0", "0", "命令1启动"),
        Rec("2024", "7", "19", "0", "0", "0", "10", "命令1返回"),
    };
    const QList<QByteArray> cfg = Lines(RecordsToComtrade(log, kVariantA).cfg);
    QCOMPARE(cfg.back(), QByteArray("10000"));
    QCOMPARE(Lines(RecordsToComtrade(log, kVariantA).dat),
             (QList<QByteArray>{"1,0,1,0,0,0,0", "2,1728000001,0,0,0,0,0"}));
}

void TestRecordExport::comtradeWithoutTimedRecords() {
    const ComtradeFiles files =
        RecordsToComtrade({Rec("2024", "2", "30", "1", "0", "0", "0", "命令1启动")}, kVariantB);
    QCOMPARE(files.samples, 0);
    QCOMPARE(files.skipped, 1);
    QVERIFY(files.cfg.isEmpty());
}

void TestRecordExport::comtradeFilesWrittenSideBySide() {
    QTemporaryDir dir;
    const ComtradeFiles files = RecordsToComtrade(LogB(), kVariantB);
    const QString cfgPath = dir.filePath(QStringLiteral("事件.CFG"));
    QCOMPARE(ComtradeDataPath(cfgPath), dir.filePath(QStringLiteral("事件.DAT")));
    QCOMPARE(ComtradeDataPath(QStringLiteral("/x/log.cfg")), QStringLiteral("/x/log.dat"));
    QVERIFY(WriteComtradeFiles(cfgPath, files));
    QFile dat(dir.filePath(QStringLiteral("事件.DAT")));
    QVERIFY(dat.open(QIODevice::ReadOnly));
    QCOMPARE(dat.readAll(), Expected(QStringLiteral("log_b.dat")));
    QVERIFY(!WriteComtradeFiles(dir.filePath(QStringLiteral("missing/x.cfg")), files));
}

void TestRecordExport::tabTextOfRows() {
    std::vector<EventRecord> rows = {Rec("2024", "3", "5", "10", "0", "0", "500", "命令1启动"),
                                     Rec("2024", "3", "5", "10", "0", "1", "0", "a\tb\nc")};
    QCOMPARE(RecordsToTabText(rows, {7, 9}),
             QStringLiteral("7\t2024\t3\t5\t10\t0\t0\t500\t命令1启动\n"
                            "9\t2024\t3\t5\t10\t0\t1\t0\ta b c\n"));
}

void TestRecordExport::listMenuExportsWhatTheListShows() {
    QTemporaryDir dir;
    qputenv("KP650_HOME", dir.path().toLocal8Bit());
    g_variant = kVariantA;
    MessageBoxRecorder recorder;
    CRecordDlg dlg;
    ShowInList(dlg, LogA());
    QStringList titles;
    QString next;
    dlg.SetFileChooser([&](QWidget*, const RecordFileDialogSettings& s) {
        titles << s.title + QLatin1Char('|') + s.nameFilters.join(QLatin1Char(';')) +
                      QLatin1Char('|') + s.defaultSuffix;
        return next;
    });

    std::unique_ptr<QMenu> menu(dlg.CreateListMenu(nullptr));
    QStringList texts;
    for (QAction* a : menu->actions()) {
        if (!a->isSeparator()) {
            texts << a->text();
        }
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("复制"), QStringLiteral("导出CSV文件..."),
                                 QStringLiteral("导出COMTRADE文件..."),
                                 QStringLiteral("以图形显示列表记录")}));

    next = dir.filePath(QStringLiteral("list.csv"));
    dlg.OnExportCsv();
    next = dir.filePath(QStringLiteral("list.cfg"));
    dlg.OnExportComtrade();
    QCOMPARE(titles, (QStringList{QStringLiteral("导出CSV文件|CSV 文件(*.csv)|csv"),
                                  QStringLiteral("导出COMTRADE文件|COMTRADE 文件(*.cfg)|cfg")}));
    QFile csv(dir.filePath(QStringLiteral("list.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    CompareLines(csv.readAll(), Expected(QStringLiteral("log_a.csv")));
    QFile dat(dir.filePath(QStringLiteral("list.dat")));
    QVERIFY(dat.open(QIODevice::ReadOnly));
    CompareLines(dat.readAll(), Expected(QStringLiteral("log_a.dat")));
    // The record whose month is off the calendar is not in the COMTRADE files, and says so.
    QCOMPARE(recorder.Texts(),
             QStringList{QStringLiteral("1条记录的时间无效，未写入COMTRADE文件。")});

    // A file that cannot be written: the record files' own text.
    recorder.Clear();
    next = dir.filePath(QStringLiteral("no/such/dir.csv"));
    dlg.OnExportCsv();
    QCOMPARE(recorder.Texts(), QStringList{QStringLiteral("保存文件出错！")});

    // Cancelled: nothing written, nothing said.
    recorder.Clear();
    next.clear();
    dlg.OnExportCsv();
    QVERIFY(recorder.Texts().isEmpty());
    qunsetenv("KP650_HOME");
}

void TestRecordExport::listMenuGraphsTheListedRecords() {
    QTemporaryDir dir;
    qputenv("KP650_HOME", dir.path().toLocal8Bit());
    g_variant = kVariantB;
    MessageBoxRecorder recorder;
    CRecordDlg dlg;
    std::vector<EventRecord> seen;
    bool connectedDuringGraph = true;
    dlg.SetListGraphHandler([&](QWidget*, const std::vector<EventRecord>& rows) {
        seen = rows;
        connectedDuringGraph = dlg.Store().IsConnected();
    });
    dlg.Store().ConnectWorking(kVariantB);

    // An empty list offers nothing to draw.
    std::unique_ptr<QMenu> empty(dlg.CreateListMenu(nullptr));
    QVERIFY(!empty->actions().back()->isEnabled());

    ShowInList(dlg, LogB());
    std::unique_ptr<QMenu> menu(dlg.CreateListMenu(nullptr));
    QVERIFY(menu->actions().back()->isEnabled());
    menu->actions().back()->trigger();
    QCOMPARE(seen, LogB());
    QVERIFY(!connectedDuringGraph);
    QVERIFY(dlg.Store().IsConnected());
    QVERIFY(recorder.Texts().isEmpty());
    qunsetenv("KP650_HOME");
}

void TestRecordExport::copyPutsSelectedRowOnClipboard() {
    g_variant = kVariantA;
    CRecordDlg dlg;
    ShowInList(dlg, LogA());
    dlg.List().selectRow(2);
    QGuiApplication::clipboard()->clear();
    dlg.OnCopySelection();
    QCOMPARE(QGuiApplication::clipboard()->text(),
             QStringLiteral("3\t2024\t1\t1\t0\t0\t1\t5\t功放过载告警\n"));
}

QTEST_MAIN(TestRecordExport)
#include "tst_record_export.moc"
