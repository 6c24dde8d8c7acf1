// Stale staging folders: only the program's own, only those no running process holds.

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtTest>

#include <chrono>
#include <filesystem>
#include <memory>

#include "common/staging_dir.h"

class TestStagingDir : public QObject {
    Q_OBJECT
private slots:
    void removesOnlyStaleOwnFolders_data();
    void removesOnlyStaleOwnFolders();
};

namespace {

// A process id that no process has any more.
qint64 DeadProcessId() {
    QProcess process;
    process.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
    const qint64 pid = process.waitForStarted() ? process.processId() : 0;
    process.waitForFinished();
    return pid;
}

}  // namespace

void TestStagingDir::removesOnlyStaleOwnFolders_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("owner");  // "dead", "none", or "" for a folder made by this test
    QTest::addColumn<int>("ageHours");
    QTest::addColumn<bool>("removed");
    QTest::newRow("save left by a killed run") << "kp650-save-Ab12Cd"
                                               << "dead" << 0 << true;
    QTest::newRow("tool scratch left by a killed run") << "kp650ctl-Zz99Yy"
                                                       << "dead" << 0 << true;
    QTest::newRow("old folder without a lock") << "kp650-save-OLD123"
                                               << "none" << 2 << true;
    QTest::newRow("fresh folder without a lock") << "kp650-save-NEW123"
                                                 << "none" << 0 << false;
    QTest::newRow("another program's folder") << "kp650-sav-OLD123"
                                              << "none" << 48 << false;
    QTest::newRow("in use by a running copy") << ""
                                              << "" << 48 << false;
}

void TestStagingDir::removesOnlyStaleOwnFolders() {
    QFETCH(QString, name);
    QFETCH(QString, owner);
    QFETCH(int, ageHours);
    QFETCH(bool, removed);
    QTemporaryDir parent;
    QVERIFY(parent.isValid());
    std::unique_ptr<common::StagingDir> live;
    QString path;
    if (name.isEmpty()) {
        live = std::make_unique<common::StagingDir>(QStringLiteral("kp650-save"), parent.path());
        QVERIFY(live->IsValid());
        path = live->Path();
    } else {
        path = QDir(parent.path()).filePath(name);
        QVERIFY(QDir().mkpath(path));
    }
    QFile staged(QDir(path).filePath(QStringLiteral("staged")));
    QVERIFY(staged.open(QIODevice::WriteOnly));
    staged.write(QByteArray(4096, 'x'));
    staged.close();
    if (owner == QLatin1String("dead")) {
        const qint64 pid = DeadProcessId();
        QVERIFY(pid > 0);
        QFile lock(QDir(path).filePath(QStringLiteral("owner.lock")));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(QByteArray::number(pid) + "\nkp650\n" + QSysInfo::machineHostName().toUtf8() +
                   "\n");
    }
    namespace fs = std::filesystem;
    fs::last_write_time(fs::path(path.toStdString()),
                        fs::file_time_type::clock::now() - std::chrono::hours(ageHours));

    QCOMPARE(common::RemoveStaleStagingDirs(parent.path()), removed ? 1 : 0);
    QCOMPARE(QFileInfo::exists(path), !removed);
}

QTEST_GUILESS_MAIN(TestStagingDir)
#include "tst_staging_dir.moc"
