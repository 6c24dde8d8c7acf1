// kp650ctl reading a log of 255 records from kp650-sim over a pseudo-terminal, the tool run as
// a process as a script would: at 9600 baud as a ratio to the wire time of every byte exchanged,
// unpaced in records per second, and the time from the process start to its first request
// byte on the line (the simulator's --verbose trace, polled every millisecond).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

#include "support/sim_process.h"

namespace {

constexpr int kRecords = 255;

struct Timing {
    double firstByteS = -1;
    double totalS = -1;
    int exitCode = -1;
};

Timing ReadLog(const QString& variant, const QString& baud) {
    SimProcess sim;
    if (!sim.Start({"--variant", variant, "--baud", baud, "--records", QString::number(kRecords),
                    "--verbose"})) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.ErrorText()));
        return {};
    }
    sim.StandardError();  // the start-up lines
    QTemporaryDir home;
    QProcess ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KP650_HOME"), home.path());
    ctl.setProcessEnvironment(env);
    Timing timing;
    QElapsedTimer clock;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (timing.firstByteS < 0 && sim.StandardError().contains(QStringLiteral("<-"))) {
            timing.firstByteS = clock.nsecsElapsed() / 1e9;
        }
    });
    QObject::connect(&ctl, &QProcess::finished, &loop, [&](int code) {
        timing.totalS = clock.nsecsElapsed() / 1e9;
        timing.exitCode = code;
        loop.quit();
    });
    clock.start();
    ctl.start(QStringLiteral(KP650_CTL_PATH), {"--port", sim.LinkPath(), "--variant", variant, "-q",
                                               "log", "read", "-o", home.filePath("log.txt")});
    poll.start();
    loop.exec();
    return timing;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    // Wire time of a 255-record read at 9600 baud: every request and reply byte, 10 bits each.
    const struct {
        const char* variant;
        double wireS;
    } runs[] = {{"A", 3.48}, {"B", 3.75}};
    for (const auto& run : runs) {
        const Timing paced = ReadLog(QString::fromLatin1(run.variant), QStringLiteral("9600"));
        const Timing unpaced = ReadLog(QString::fromLatin1(run.variant), QStringLiteral("0"));
        std::printf(
            "variant %s, %d records: 9600 baud %.3f s (exit %d), ratio to wire time %.3f "
            "(%.3f from the first byte); unpaced %.3f s, %.0f records/s (%.0f from the first "
            "byte); process start to first byte %.1f ms (paced) %.1f ms (unpaced)\n",
            run.variant, kRecords, paced.totalS, paced.exitCode, paced.totalS / run.wireS,
            (paced.totalS - paced.firstByteS) / run.wireS, unpaced.totalS,
            kRecords / unpaced.totalS, kRecords / (unpaced.totalS - unpaced.firstByteS),
            paced.firstByteS * 1000, unpaced.firstByteS * 1000);
    }
    return 0;
}
