// One device's events out of the fleet archive into the record list: the archive opened
// read-only, the devices of the variant in use, a range of days, the list and the working
// KPB650 filled as an opened file fills them, the archive itself untouched.

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDateEdit>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include "app/archive_records_dlg.h"
#include "archive/archive.h"
#include "common/globals.h"
#include "records/record_dlg.h"
#include "records/record_store.h"
#include "support/test_support.h"

namespace {

QByteArray Hash(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

QString Days(const std::vector<EventRecord>& records) {
    QStringList days;
    for (const EventRecord& r : records) {
        days << QStringLiteral("%1-%2-%3 %4").arg(r.year, r.month, r.day, r.event);
    }
    return days.join(QLatin1Char('|'));
}

}  // namespace

class TestArchiveRecords : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    QString m_archive;

private Q_SLOTS:
    void initTestCase() {
        qputenv("KP650_HOME", m_dir.filePath(QStringLiteral("home")).toLocal8Bit());
        m_archive = m_dir.filePath(QStringLiteral("fleet.db"));
        archive::Archive a;
        QCOMPARE(a.Open(m_archive), QString());
        const struct {
            const char* name;
            int variant;
            std::vector<int> days;
        } devices[] = {{"tx1", 0, {1, 2, 4, 4}}, {"rx1", 1, {3}}, {"new1", -1, {}}};
        for (const auto& d : devices) {
            archive::DeviceRow row;
            row.name = QString::fromLatin1(d.name);
            row.station = d.variant == 0 ? QStringLiteral("北站") : QString();
            row.variant = d.variant;
            QCOMPARE(a.SaveDevice(row), QString());
            archive::ReadToStore read;
            read.device = row.name;
            read.complete = true;
            for (int day : d.days) {
                read.records.push_back({"2024", "3", QString::number(day), "10", "0", "0", "500",
                                        QStringLiteral("命令1启动")});
            }
            QVERIFY(d.days.empty() || a.StoreRead(read).error.isEmpty());
        }
    }

    void loadsIntoRecordList_data() {
        QTest::addColumn<bool>("allDays");
        QTest::addColumn<QDate>("from");
        QTest::addColumn<QDate>("to");
        QTest::addColumn<QString>("listed");  // empty: nothing, the dialog says so and stays
        QTest::newRow("all days") << true << QDate() << QDate()
                                  << "2024-3-1 命令1启动|2024-3-2 命令1启动|2024-3-4 "
                                     "命令1启动|2024-3-4 命令1启动";
        QTest::newRow("days 2 to 4, twins kept")
            << false << QDate(2024, 3, 2) << QDate(2024, 3, 4)
            << "2024-3-2 命令1启动|2024-3-4 命令1启动|2024-3-4 命令1启动";
        QTest::newRow("day 3: the receiver's only")
            << false << QDate(2024, 3, 3) << QDate(2024, 3, 3) << "";
    }
    void loadsIntoRecordList() {
        QFETCH(bool, allDays);
        QFETCH(QDate, from);
        QFETCH(QDate, to);
        QFETCH(QString, listed);
        g_variant = kVariantA;
        const QByteArray before = Hash(m_archive);
        MessageBoxRecorder boxes;
        std::vector<EventRecord> records;
        {
            CArchiveRecordsDlg dlg(kVariantA);
            dlg.findChild<QLineEdit*>(QStringLiteral("archiveLocation"))->setText(m_archive);
            QSignalSpy opened(&dlg, &CArchiveRecordsDlg::ArchiveOpened);
            dlg.OpenArchive();
            // Read on the archive's own thread: the window goes on meanwhile, its controls held.
            QVERIFY(!dlg.findChild<QPushButton*>(QStringLiteral("archiveOpen"))->isEnabled());
            QVERIFY(opened.wait());
            QCOMPARE(opened.first().first().toBool(), true);
            auto* device = dlg.findChild<QComboBox*>(QStringLiteral("archiveDevice"));
            QStringList names;
            for (int i = 0; i < device->count(); ++i) {
                names << device->itemText(i);
            }
            // The receiver is left out; a device never identified may be either.
            QCOMPARE(names, (QStringList{"new1，0条记录", "tx1 (北站)，4条记录"}));
            device->setCurrentIndex(1);
            dlg.findChild<QCheckBox*>(QStringLiteral("archiveAllDays"))->setChecked(allDays);
            dlg.findChild<QDateEdit*>(QStringLiteral("archiveFrom"))->setDate(from);
            dlg.findChild<QDateEdit*>(QStringLiteral("archiveTo"))->setDate(to);
            dlg.show();
            QSignalSpy failed(&dlg, &CArchiveRecordsDlg::LoadFailed);
            QSignalSpy accepted(&dlg, &QDialog::accepted);
            dlg.Load();
            QTRY_VERIFY(failed.size() + accepted.size() == 1);
            if (listed.isEmpty()) {
                QCOMPARE(boxes.Texts(), QStringList{"所选日期内没有该装置的记录。"});
                QVERIFY(dlg.isVisible());
                return;
            }
            QCOMPARE(dlg.result(), int(QDialog::Accepted));
            records = dlg.TakeRecords();
        }
        CRecordDlg recordDlg;
        recordDlg.SetArchiveRecords(records);
        recordDlg.show();
        QCOMPARE(Days(recordDlg.ListedRecords()), listed);
        QCOMPARE(Days(recordDlg.Store().ReadAll(records::kKpb650Table)), listed);
        // No device is needed to look at an archive: no port, no box.
        QVERIFY(!recordDlg.Comm().GetPortOpen());
        QCOMPARE(boxes.Texts(), QStringList());
        recordDlg.reject();
        QCOMPARE(Hash(m_archive), before);
    }

    void refusesWhatIsNoArchive_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");  // empty: no such file
        QTest::addColumn<QString>("box");
        QTest::newRow("missing") << "none.db" << QByteArray() << ": no such archive";
        QTest::newRow("not a database")
            << "text.db" << QByteArray("not a database") << "not a fleet archive";
    }
    void refusesWhatIsNoArchive() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, box);
        const QString path = m_dir.filePath(name);
        if (!content.isEmpty()) {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        MessageBoxRecorder boxes;
        CArchiveRecordsDlg dlg(kVariantA);
        auto* location = dlg.findChild<QLineEdit*>(QStringLiteral("archiveLocation"));
        location->setText(path);
        QSignalSpy opened(&dlg, &CArchiveRecordsDlg::ArchiveOpened);
        dlg.show();
        QTest::keyClick(location, Qt::Key_Return);  // opens; never cancels
        QVERIFY(opened.wait());
        QCOMPARE(opened.first().first().toBool(), false);
        QVERIFY(dlg.isVisible());
        QCOMPARE(boxes.Texts().size(), 1);
        QVERIFY2(boxes.Texts().front().startsWith(QStringLiteral("归档库打开失败：")) &&
                     boxes.Texts().front().contains(box),
                 qPrintable(boxes.Texts().front()));
        QCOMPARE(QFile::exists(path), !content.isEmpty());
        QCOMPARE(dlg.findChild<QComboBox*>(QStringLiteral("archiveDevice"))->count(), 0);
    }
};

QTEST_MAIN(TestArchiveRecords)
#include "tst_archive_records.moc"
