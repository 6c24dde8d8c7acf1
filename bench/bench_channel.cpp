// Pairs a channel's two logs of 100 000 records each (goal: at most 50 ms), and times one
// repaint of the channel view's picture over them at its first size and zoomed in.
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "graph/channel_traces.h"
#include "graph/channel_view_dlg.h"
#include "model/channel_logs.h"

namespace {

template <typename F>
double Best(F&& f, int repeats, double* cpu = nullptr) {
    double best = 1e30;
    double bestCpu = 1e30;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        const std::clock_t c = std::clock();
        timer.start();
        f();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
        bestCpu = std::min(bestCpu, (std::clock() - c) * 1000.0 / CLOCKS_PER_SEC);
    }
    if (cpu != nullptr) {
        *cpu = bestCpu;
    }
    return best;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    sim::ChannelPlan plan;
    plan.commands = 50000;  // a start and a return each: 100 000 records per end
    plan.delayMs = 20;
    plan.jitterMs = 8;
    plan.offsetMs = -3700;
    plan.missing = 40;
    plan.unwanted = 25;
    const sim::ChannelLogs logs =
        sim::GenerateChannelLogs(plan, QDateTime(QDate(2024, 3, 1), QTime(8, 0)));

    ChannelReport report;
    double cpu = 0;
    const double estimated =
        Best([&] { report = PairChannel(logs.transmitter, logs.receiver); }, 10, &cpu);
    std::printf(
        "PairChannel %zu + %zu records, offset estimated: wall %.2f ms, cpu %.2f ms; "
        "%zu pairs, %zu missing, %zu unwanted, offset %lld ms\n",
        logs.transmitter.size(), logs.receiver.size(), estimated, cpu, report.pairs.size(),
        report.missing.size(), report.unwanted.size(), static_cast<long long>(report.offsetMs));
    ChannelOptions given;
    given.offsetMs = -3700;
    const double fixed =
        Best([&] { report = PairChannel(logs.transmitter, logs.receiver, given); }, 10, &cpu);
    std::printf("PairChannel, offset given: wall %.2f ms, cpu %.2f ms\n", fixed, cpu);

    CChannelPlot plot;
    plot.resize(1100, 400);
    plot.SetReport(report);
    QImage image(plot.size(), QImage::Format_RGB32);
    const double first = Best(
        [&] {
            QPainter painter(&image);
            PaintGraphPicture(painter, plot.Picture());
        },
        10);
    std::printf("Channel view repaint 1100x400, %zu links, whole span: %.2f ms\n",
                report.pairs.size(), first);
    return 0;
}
