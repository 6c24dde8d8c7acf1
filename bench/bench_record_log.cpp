// Reading a log of 255 records with the record dialog (real serial control, SQLite store,
// progress bar) over a pseudo-terminal from kp650-sim: paced at 9600 baud as a ratio of the
// whole read to the wire time of every byte exchanged, and unpaced in records per second.
// "--unpaced" leaves the paced reads out (for a profiler). Beside each figure, a bare reader's on
// the same simulator (blocking reads and writes, nothing checked or stored, no quiet after the
// end): what this machine's pseudo-terminals and the simulator's wake-ups leave to any program.

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "common/globals.h"
#include "common/message_box.h"
#include "link/port_names.h"
#include "records/record_dlg.h"
#include "records/record_log.h"
#include "support/sim_process.h"

namespace {
constexpr int kRecords = 255;

// Seconds from the click on "读取记录" to "读取记录完毕!", or -1.
double ReadOnce(CRecordDlg& dlg) {
    QEventLoop loop;
    QString shown;
    SetMessageBoxHandler(
        [&](const QString& text, const QString&, QMessageBox::StandardButtons, QMessageBox::Icon) {
            shown = text;
            loop.quit();
            return QMessageBox::Ok;
        });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    guard.start(60000);
    QElapsedTimer clock;
    clock.start();
    dlg.OnReadLog();
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    SetMessageBoxHandler({});
    if (shown != records::kReadDoneText) {
        std::fprintf(stderr, "read ended with \"%s\"\n", qPrintable(shown));
        return -1;
    }
    if (dlg.Store().RowCount(records::kTempTable) != kRecords) {
        std::fprintf(stderr, "%d records stored\n", dlg.Store().RowCount(records::kTempTable));
        return -1;
    }
    return seconds;
}

bool StartSim(SimProcess& sim, int variant, int baud) {
    if (sim.Start({QStringLiteral("--variant"),
                   variant == kVariantA ? QStringLiteral("A") : QStringLiteral("B"),
                   QStringLiteral("--baud"), QString::number(baud), QStringLiteral("--records"),
                   QString::number(kRecords)})) {
        return true;
    }
    std::fprintf(stderr, "%s\n", qPrintable(sim.ErrorText()));
    return false;
}

std::vector<double> Measure(int variant, int baud, int runs) {
    std::vector<double> seconds;
    SimProcess sim;
    if (!StartSim(sim, variant, baud)) {
        return seconds;
    }
    SetPortDeviceOverride(1, sim.LinkPath());
    g_variant = variant;
    CRecordDlg dlg;
    dlg.SetPortNumber(1);
    dlg.show();
    for (int run = 0; run < runs; ++run) {
        const double s = ReadOnce(dlg);
        if (s > 0) {
            seconds.push_back(s);
        }
        QTest::qWait(50);
    }
    dlg.reject();
    std::sort(seconds.begin(), seconds.end());
    return seconds;
}
// Seconds of the bare reader's reads of the whole log, or empty.
std::vector<double> MeasureBare(int variant, int baud, int runs) {
    std::vector<double> seconds;
    SimProcess sim;
    if (!StartSim(sim, variant, baud)) {
        return seconds;
    }
    const int fd = ::open(QFile::encodeName(sim.LinkPath()).constData(), O_RDWR | O_NOCTTY);
    if (fd < 0) {
        return seconds;
    }
    termios raw{};
    tcgetattr(fd, &raw);
    cfmakeraw(&raw);
    tcsetattr(fd, TCSANOW, &raw);
    const QByteArray command =
        variant == kVariantA ? QByteArray("\x44\x46") : QByteArray("\x44\x53");
    const QByteArray first = command + '\x58';
    const QByteArray next = command + (variant == kVariantA ? '\x78' : '\x58');
    const int frame = variant == kVariantA ? 10 : 11;
    const auto exchange = [&](const QByteArray& request) {
        if (::write(fd, request.constData(), static_cast<size_t>(request.size())) !=
            request.size()) {
            return false;
        }
        char buffer[16];
        for (int got = 0; got < frame;) {
            const ssize_t n = ::read(fd, buffer + got, static_cast<size_t>(frame - got));
            if (n <= 0) {
                return false;
            }
            got += static_cast<int>(n);
        }
        return true;
    };
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer clock;
        clock.start();
        bool ok = exchange(first);
        for (int k = 0; ok && k <= kRecords; ++k) {
            ok = exchange(next);
        }
        if (ok) {
            seconds.push_back(clock.nsecsElapsed() / 1e9);
        }
        ::usleep(50000);
    }
    ::close(fd);
    std::sort(seconds.begin(), seconds.end());
    return seconds;
}
}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("KP650_HOME", home.path().toLocal8Bit());
    const bool unpacedOnly = app.arguments().contains(QStringLiteral("--unpaced"));

    for (int variant : {kVariantA, kVariantB}) {
        const char* name = variant == kVariantA ? "A" : "B";
        // Read request and 256 acknowledges of 3 bytes; count frame, 255 records and the end
        // frame of 10 bytes (11 with variant B's leading byte).
        const int bytes =
            3 * (1 + kRecords + 1) + (kRecords + 2) * (variant == kVariantA ? 10 : 11);
        const double wire = bytes * 10.0 / 9600.0;
        const std::vector<double> paced =
            unpacedOnly ? std::vector<double>() : Measure(variant, 9600, 3);
        if (!paced.empty()) {
            std::printf(
                "variant %s 9600 baud: %d records, %d bytes, wire time %.3f s; read took median "
                "%.3f s (ratio %.3f), best %.3f s, worst %.3f s over %zu reads\n",
                name, kRecords, bytes, wire, paced[paced.size() / 2],
                paced[paced.size() / 2] / wire, paced.front(), paced.back(), paced.size());
            const std::vector<double> bare = MeasureBare(variant, 9600, 3);
            if (!bare.empty()) {
                std::printf("  bare reader: median %.3f s (ratio %.3f), best ratio %.3f\n",
                            bare[bare.size() / 2], bare[bare.size() / 2] / wire,
                            bare.front() / wire);
            }
        }
        const std::vector<double> unpaced = Measure(variant, 0, 9);
        if (!unpaced.empty()) {
            const double median = unpaced[unpaced.size() / 2];
            std::printf(
                "variant %s unpaced: %d records in median %.1f ms = %.0f records/s (best %.0f, "
                "worst %.0f records/s) over %zu reads\n",
                name, kRecords, median * 1000, kRecords / median, kRecords / unpaced.front(),
                kRecords / unpaced.back(), unpaced.size());
            const std::vector<double> bare = MeasureBare(variant, 0, 9);
            if (!bare.empty()) {
                std::printf("  bare reader: median %.1f ms = %.0f records/s\n",
                            bare[bare.size() / 2] * 1000, kRecords / bare[bare.size() / 2]);
            }
        }
    }
    return 0;
}
