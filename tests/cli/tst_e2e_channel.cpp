// kp650ctl channel over the pair of logs kp650-sim writes for a channel.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Run {
    int code = -1;
    QByteArray out;
};

Run Start(const QString& program, const QStringList& args, const QString& dir) {
    QProcess process;
    process.setWorkingDirectory(dir);
    process.start(program, args);
    Run run;
    if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit) {
        run.code = process.exitCode();
        run.out = process.readAllStandardOutput();
    }
    return run;
}

}  // namespace

class TestE2eChannel : public QObject {
    Q_OBJECT
private slots:
    void simulatedChannel_data();
    void simulatedChannel();
};

void TestE2eChannel::simulatedChannel_data() {
    QTest::addColumn<QStringList>("simArgs");
    QTest::addColumn<QStringList>("ctlArgs");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("counts");  // paired/missing/unwanted over the three commands
    QTest::newRow("clean, offset estimated")
        << QStringList{"--channel-offset", "-4200"} << QStringList{} << 0 << "40/0/0";
    QTest::newRow("two lost, one unwanted, offset given")
        << QStringList{"--channel-offset",   "3000", "--channel-missing", "2",
                       "--channel-unwanted", "1"}
        << QStringList{"--offset", "3000"} << 1 << "38/2/1";
    QTest::newRow("the offset given wrong: nothing pairs")
        << QStringList{"--channel-commands", "5"} << QStringList{"--offset", "9000"} << 1
        << "0/5/5";
    QTest::newRow("a window that is no number")
        << QStringList{} << QStringList{"--window", "x"} << 2 << "";
}

void TestE2eChannel::simulatedChannel() {
    QFETCH(QStringList, simArgs);
    QFETCH(QStringList, ctlArgs);
    QFETCH(int, exitCode);
    QFETCH(QString, counts);
    QTemporaryDir dir;
    const Run sim =
        Start(QStringLiteral(KP650_SIM_PATH),
              QStringList{"--channel-logs", "tx.txt,rx.txt", "--seed", "7"} + simArgs, dir.path());
    QCOMPARE(sim.code, 0);
    const Run ctl =
        Start(QStringLiteral(KP650_CTL_PATH),
              QStringList{"channel", "tx.txt", "rx.txt", "--json"} + ctlArgs, dir.path());
    QCOMPARE(ctl.code, exitCode);
    if (counts.isEmpty()) {
        return;
    }
    const QJsonObject report = QJsonDocument::fromJson(ctl.out).object();
    int paired = 0;
    int missing = 0;
    int unwanted = 0;
    for (const QJsonValue c : report.value(QStringLiteral("commands")).toArray()) {
        paired += c.toObject().value(QStringLiteral("paired")).toInt();
        missing += c.toObject().value(QStringLiteral("missing")).toInt();
        unwanted += c.toObject().value(QStringLiteral("unwanted")).toInt();
    }
    QCOMPARE(QStringLiteral("%1/%2/%3").arg(paired).arg(missing).arg(unwanted), counts);
    QCOMPARE(report.value(QStringLiteral("missing")).toArray().size(), missing);
}

QTEST_GUILESS_MAIN(TestE2eChannel)
#include "tst_e2e_channel.moc"
