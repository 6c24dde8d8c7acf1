// What the journal adds to a parameter write: in process, the entry committed before the write,
// its completion and the set kept in the history (each commit synced to disk), timed one by one
// on a journal in a folder beside the benchmark (a real disk, not /tmp); and end to end, kp650ctl
// writing parameters to an unpaced kp650-sim with and without --no-journal, run as a process.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "journal/write_recorder.h"
#include "link/device_exchange.h"
#include "settings/parameter_codec.h"
#include "settings/parameter_file.h"
#include "support/sim_process.h"

namespace {

constexpr int kEntries = 200;
constexpr int kRuns = 15;

void Report(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%-44s median %7.2f ms  p95 %7.2f ms  max %7.2f ms  (n=%zu)\n", what,
                ms[ms.size() / 2], ms[ms.size() * 95 / 100], ms.back(), ms.size());
}

void InProcess() {
    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-journal-XXXXXX"));
    journal::WriteRecorder recorder(QStringLiteral("bench"));
    recorder.SetPath(dir.filePath(QStringLiteral("journal.sqlite")));
    const ParameterCodec& codec = ParameterCodecOf(0);
    std::vector<double> begin, complete, keep, total;
    for (int i = 0; i < kEntries; ++i) {
        const ParameterSetResult set =
            ParameterSetFromValues(0, QString::number(200 + i), {0, 1, 2, 3, 1, 1});
        const ParameterSetResult held =
            ParameterSetFromValues(0, QStringLiteral("200"), {0, 0, 0, 0, 1, 1});
        const ExchangeRequest request = ParameterWriteRequest(codec, set.set.frame);
        QElapsedTimer clock;
        clock.start();
        const QString e1 = recorder.Begin(
            journal::ParameterWrite(QStringLiteral("/dev/ttyUSB0"), set.set, held.set, request));
        const double t1 = clock.nsecsElapsed() / 1e6;
        const QString e2 = recorder.Complete(ExchangeResult{ExchangeOutcome::Success, {}, {}, 1},
                                             journal::ParameterSetFields(set.set));
        const double t2 = clock.nsecsElapsed() / 1e6;
        const QString e3 = recorder.KeepParameterSet(QStringLiteral("/dev/ttyUSB0"), set.set,
                                                     QStringLiteral("write"));
        const double t3 = clock.nsecsElapsed() / 1e6;
        if (!e1.isEmpty() || !e2.isEmpty() || !e3.isEmpty()) {
            std::fprintf(stderr, "journal: %s%s%s\n", qPrintable(e1), qPrintable(e2),
                         qPrintable(e3));
            return;
        }
        begin.push_back(t1);
        complete.push_back(t2 - t1);
        keep.push_back(t3 - t2);
        total.push_back(t3);
    }
    Report("entry committed before the write", begin);
    Report("entry completed after", complete);
    Report("set kept in the history", keep);
    Report("all three (added to one write)", total);
}

double CtlWrite(const QString& link, const QString& home, bool journal, int frequency) {
    QProcess ctl;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("KP650_HOME"), home);
    ctl.setProcessEnvironment(env);
    QStringList args{"--port", link,          "--variant",
                     "A",      "-q",          "params",
                     "write",  "--frequency", QString::number(frequency)};
    if (!journal) {
        args << QStringLiteral("--no-journal");
    }
    QElapsedTimer clock;
    clock.start();
    ctl.start(QStringLiteral(KP650_CTL_PATH), args);
    ctl.waitForFinished(60000);
    if (ctl.exitCode() != 0) {
        std::fprintf(stderr, "kp650ctl exit %d: %s\n", ctl.exitCode(),
                     ctl.readAllStandardError().constData());
    }
    return clock.nsecsElapsed() / 1e6;
}

void EndToEnd() {
    SimProcess sim;
    if (!sim.Start({"--variant", "A", "--baud", "0"})) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.ErrorText()));
        return;
    }
    QTemporaryDir home(QDir::currentPath() + QStringLiteral("/bench-journal-XXXXXX"));
    std::vector<double> with, without;
    // Alternating, so that load from elsewhere falls on both alike.
    for (int i = 0; i < kRuns; ++i) {
        with.push_back(CtlWrite(sim.LinkPath(), home.path(), true, 300 + 2 * i));
        without.push_back(CtlWrite(sim.LinkPath(), home.path(), false, 301 + 2 * i));
    }
    Report("kp650ctl params write, journalled", with);
    Report("kp650ctl params write, --no-journal", without);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    InProcess();
    EndToEnd();
    return 0;
}
