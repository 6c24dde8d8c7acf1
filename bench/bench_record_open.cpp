// Opening a text record file of 1 000 000 lines through the record dialog's "打开文件", as the
// operator does: the time until the list shows every row, the longest time the event loop went
// without a turn (the window frozen), and the growth of the process's peak memory.

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

#include "common/globals.h"
#include "common/message_box.h"
#include "link/fake_serial_line.h"
#include "records/record_dlg.h"
#include "records/record_list_model.h"
#include "records/record_text_file.h"

namespace {

// Peak resident memory of the process so far, in MB (0 where unknown).
double PeakMegabytes() {
#ifdef Q_OS_UNIX
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
#else
    return 0;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen")
                                                                    : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    const int lines = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;

    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    g_variant = kVariantB;
    SetMessageBoxHandler(
        [](const QString& text, const QString&, QMessageBox::StandardButtons, QMessageBox::Icon) {
            std::fprintf(stderr, "box: %s\n", qPrintable(text));
            return QMessageBox::Ok;
        });

    const QString path = home.filePath(QStringLiteral("many.txt"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        const char* events[] = {"命令1启动", "命令1返回", "信噪比告警", "通道故障告警返回"};
        QByteArray block;
        for (int i = 0; i < lines; ++i) {
            const EventRecord r{QString::number(2000 + i % 30), QString::number(1 + i % 12),
                                QString::number(1 + i % 28),    QString::number(i % 24),
                                QString::number(i % 60),        QString::number((7 * i) % 60),
                                QString::number(i % 1000),      QString::fromUtf8(events[i % 4])};
            block += FormatRecordLine(i + 1, r) + "\r\n";
            if (block.size() > (1 << 20)) {
                file.write(block);
                block.clear();
            }
        }
        file.write(block);
    }

    FakeSerialLine line;
    CRecordDlg dlg;
    dlg.SetFileChooser([&path](QWidget*, const RecordFileDialogSettings&) { return path; });
    dlg.show();
    QApplication::processEvents();
    const double peakBefore = PeakMegabytes();

    // A heartbeat that notes the longest gap between turns of the event loop.
    QElapsedTimer sinceBeat;
    qint64 longestGap = 0;
    int beats = 0;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGap = std::max(longestGap, sinceBeat.nsecsElapsed());
        sinceBeat.restart();
        ++beats;
    });

    QElapsedTimer clock;
    clock.start();
    sinceBeat.start();
    heartbeat.start();
    // Clicked from the event loop, as a person would.
    QTimer::singleShot(0, dlg.findChild<QPushButton*>(QStringLiteral("id1026")),
                       &QPushButton::click);
    while (dlg.ListModel().rowCount() < lines && clock.elapsed() < 600000) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double seconds = clock.nsecsElapsed() / 1e9;
    heartbeat.stop();
    longestGap = std::max(longestGap, sinceBeat.nsecsElapsed());

    std::printf("lines in the file: %d, rows listed: %d\n", lines, dlg.ListModel().rowCount());
    std::printf("open until listed: %.2f s\n", seconds);
    std::printf("longest time without an event-loop turn: %.0f ms (%d turns)\n", longestGap / 1e6,
                beats);
    std::printf("peak memory: %.0f MB before the open, %.0f MB after (+%.0f MB)\n", peakBefore,
                PeakMegabytes(), PeakMegabytes() - peakBefore);
    return 0;
}
