// Filling the record dialog's list from a table of 100 000 rows: the whole FillListFromTable
// (snapshot of the table, one model reset, select the first row), the first paint of the list
// afterwards, a paint scrolled to the last row, and every row read through RecordAt (as an export
// does), each in ms; for comparison, reading every row as records with ReadAll.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/globals.h"
#include "common/message_box.h"
#include "link/fake_serial_line.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "records/record_text_file.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    constexpr int kRows = 100000;
    constexpr int kRuns = 5;

    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    g_variant = kVariantB;
    SetMessageBoxHandler(
        [](const QString& text, const QString&, QMessageBox::StandardButtons, QMessageBox::Icon) {
            std::fprintf(stderr, "box: %s\n", qPrintable(text));
            return QMessageBox::Ok;
        });

    // A text file of kRows records, opened into KPB650 the way "打开文件" does.
    const QString path = home.filePath(QStringLiteral("many.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        const char* events[] = {"命令1启动", "命令1返回", "信噪比告警", "通道故障告警返回"};
        for (int i = 0; i < kRows; ++i) {
            const EventRecord r{QString::number(2000 + i % 30), QString::number(1 + i % 12),
                                QString::number(1 + i % 28),    QString::number(i % 24),
                                QString::number(i % 60),        QString::number((7 * i) % 60),
                                QString::number(i % 1000),      QString::fromUtf8(events[i % 4])};
            file.write(FormatRecordLine(i + 1, r) + "\r\n");
        }
    }

    FakeSerialLine line;
    CRecordDlg dlg;
    dlg.show();
    QApplication::processEvents();
    if (!dlg.Store().OpenRecords(path)) {
        std::fprintf(stderr, "could not load the rows\n");
        return 1;
    }
    std::vector<double> fill;
    std::vector<double> paint;
    std::vector<double> read;
    std::vector<double> bottom;
    std::vector<double> every;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer clock;
        clock.start();
        const auto rows = dlg.Store().ReadAll(records::kKpb650Table);
        read.push_back(clock.nsecsElapsed() / 1e6);

        clock.restart();
        dlg.FillListFromTable(false);
        fill.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        dlg.List().viewport()->repaint();
        paint.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        dlg.List().scrollToBottom();
        dlg.List().viewport()->repaint();
        bottom.push_back(clock.nsecsElapsed() / 1e6);
        clock.restart();
        qsizetype characters = 0;
        for (int row = 0; row < dlg.ListModel().rowCount(); ++row) {
            characters += dlg.ListModel().RecordAt(row).event.size();
        }
        every.push_back(clock.nsecsElapsed() / 1e6);
        if (characters == 0) {
            return 1;
        }
    }
    // What storing one record during a log read costs: one row appended and committed.
    constexpr int kAppends = 1000;
    QElapsedTimer appendClock;
    appendClock.start();
    for (int i = 0; i < kAppends; ++i) {
        dlg.Store().Append(records::kTempTable, EventRecord{"2009", "9", "25", "10", "30", "15",
                                                            QString::number(i), "命令1启动"});
    }
    const double appendUs = appendClock.nsecsElapsed() / 1e3 / kAppends;
    // And one step of the progress bar that moves its edge (a synchronous repaint).
    auto* bar = dlg.findChild<QWidget*>(QStringLiteral("id1040"));
    QElapsedTimer paintClock;
    paintClock.start();
    for (int i = 0; i < kAppends; ++i) {
        bar->repaint();
    }
    const double repaintUs = paintClock.nsecsElapsed() / 1e3 / kAppends;

    std::sort(fill.begin(), fill.end());
    std::sort(paint.begin(), paint.end());
    std::sort(read.begin(), read.end());
    std::sort(bottom.begin(), bottom.end());
    std::sort(every.begin(), every.end());
    std::printf("rows listed: %d\n", dlg.ListModel().rowCount());
    std::printf("FillListFromTable, %d rows: median %.1f ms, best %.1f ms, worst %.1f ms\n", kRows,
                fill[kRuns / 2], fill.front(), fill.back());
    std::printf("first paint of the list after filling: median %.1f ms\n", paint[kRuns / 2]);
    std::printf("paint scrolled to the last row: median %.1f ms\n", bottom[kRuns / 2]);
    std::printf("every row through RecordAt: median %.1f ms\n", every[kRuns / 2]);
    std::printf("for comparison, ReadAll of the table as records: median %.1f ms\n",
                read[kRuns / 2]);
    std::printf("append one record to TEMP (own commit): mean %.1f us\n", appendUs);
    std::printf("repaint of the progress bar: mean %.1f us\n", repaintUs);
    return 0;
}
