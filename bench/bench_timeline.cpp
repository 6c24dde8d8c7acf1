// Times LoadTimeline over tables of 1 000, 10 000 and 100 000 records of mixed commands and
// alarms, some periods cut, some starts unmatched.
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

#include "graph/timeline.h"

namespace {

std::vector<EventRecord> MakeTable(int count) {
    QRandomGenerator rng(42);
    const SignalTable& sig = SignalTableOf(1);
    std::vector<EventRecord> table;
    table.reserve(count);
    qint64 time = 0;
    int day = 1;
    for (int i = 0; i < count; ++i) {
        time += rng.bounded(i % 50 == 0 ? 120000 : 800);
        if (time >= 86400000) {
            time -= 86400000;
            day = day % 28 + 1;
        }
        const SignalTexts& s = sig[rng.bounded(graph::kTraceCount)];
        const QString& text = rng.bounded(2) ? s.start : s.ret;
        table.push_back(
            EventRecord{QStringLiteral("2024"), QStringLiteral("3"), QString::number(day),
                        QString::number(time / 3600000), QString::number(time / 60000 % 60),
                        QString::number(time / 1000 % 60), QString::number(time % 1000), text});
    }
    return table;
}

}  // namespace

int main() {
    for (int count : {1000, 10000, 100000}) {
        const std::vector<EventRecord> table = MakeTable(count);
        const int repeats = std::max(10, 200000 / count);
        double best = 1e30;
        double bestCpu = 1e30;
        qint64 end = 0;
        for (int r = 0; r < repeats; ++r) {
            QElapsedTimer timer;
            const std::clock_t cpuStart = std::clock();
            timer.start();
            TimelineBuilder builder(table, SignalTableOf(1));
            const Timeline t = builder.LoadTimeline(1, count);
            best = std::min(best, timer.nsecsElapsed() / 1e6);
            bestCpu = std::min(bestCpu, (std::clock() - cpuStart) * 1000.0 / CLOCKS_PER_SEC);
            end = t.end;
        }
        std::printf(
            "LoadTimeline %6d records: wall %8.3f ms, cpu %8.3f ms (best of %d), "
            "%.1f ns/record wall, end %lld ms\n",
            count, best, bestCpu, repeats, best * 1e6 / count, static_cast<long long>(end));
    }
    return 0;
}
