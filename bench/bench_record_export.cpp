// Times exporting a full device log (255 records) to every format: CSV and COMTRADE (codec and
// files), and the graph of it as PNG, SVG and PDF.
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPrinter>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "graph/graph_picture.h"
#include "graph/timeline.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"

namespace {

std::vector<EventRecord> MakeLog() {
    const SignalTable& sig = SignalTableOf(1);
    std::vector<EventRecord> log;
    qint64 ms = 10 * 3600000LL;
    for (int i = 0; i < 255; ++i) {
        ms += 150 + (i * 97) % 4000;
        const SignalTexts& s = sig[static_cast<std::size_t>((i / 2) % 7)];
        log.push_back(EventRecord{QStringLiteral("2024"), QStringLiteral("3"), QStringLiteral("5"),
                                  QString::number(ms / 3600000), QString::number(ms / 60000 % 60),
                                  QString::number(ms / 1000 % 60), QString::number(ms % 1000),
                                  i % 2 ? s.ret : s.start});
    }
    return log;
}

double Best(const std::function<void()>& run, int repeats) {
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        QElapsedTimer timer;
        timer.start();
        run();
        best = std::min(best, timer.nsecsElapsed() / 1e6);
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTemporaryDir dir;
    const std::vector<EventRecord> log = MakeLog();

    std::printf("255 records:\n");
    std::printf("  CSV text              %.3f ms\n", Best([&] { RecordsToCsv(log); }, 50));
    std::printf(
        "  CSV file              %.3f ms\n",
        Best([&] { WriteWholeFile(dir.filePath(QStringLiteral("log.csv")), RecordsToCsv(log)); },
             50));
    std::printf("  COMTRADE text         %.3f ms\n", Best([&] { RecordsToComtrade(log, 1); }, 50));
    std::printf("  COMTRADE files        %.3f ms\n",
                Best(
                    [&] {
                        WriteComtradeFiles(dir.filePath(QStringLiteral("log.cfg")),
                                           RecordsToComtrade(log, 1));
                    },
                    50));

    // The graph as the dialog shows it grown to 1600 pixels: seven strips 60 pixels high.
    const Timeline timeline =
        BuildTimeline(log, SignalTableOf(1), DateKey(2024, 3, 5), DateKey(2024, 3, 5));
    GraphPicture picture;
    picture.caption = QStringLiteral("KPB-650  2024-03-05 至 2024-03-05");
    for (int row = 0; row < graph::kTraceCount; ++row) {
        picture.rows.push_back(GraphPictureRow{QStringLiteral("信号%1").arg(row + 1),
                                               timeline.traces[row], QColor(0, 255, 255), 60});
    }
    picture.view = FitView(timeline.end, 1600);
    picture.anchors = timeline.anchors;
    picture.end = timeline.end;
    std::printf("  graph PNG             %.3f ms\n",
                Best([&] { SaveGraphPng(picture, dir.filePath(QStringLiteral("g.png"))); }, 10));
    std::printf("  graph SVG             %.3f ms\n",
                Best([&] { SaveGraphSvg(picture, dir.filePath(QStringLiteral("g.svg"))); }, 10));
    std::printf("  graph PDF             %.3f ms\n",
                Best(
                    [&] {
                        QPrinter printer(QPrinter::HighResolution);
                        printer.setOutputFormat(QPrinter::PdfFormat);
                        printer.setOutputFileName(dir.filePath(QStringLiteral("g.pdf")));
                        PrintGraph(picture, printer);
                    },
                    10));
    return 0;
}
