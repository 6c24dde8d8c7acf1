// Round trip of the identification exchange (0x56 0x58 out, 9 or 10 bytes back) through the
// serial control over a pseudo-terminal against kp650-sim: unpaced, in ms per exchange, and
// paced at 9600 baud, as a ratio to the wire time of the bytes exchanged. The same over the
// simulator's TCP port (a device server's raw mode on 127.0.0.1), and the time to open it.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "link/hex_text.h"
#include "link/ms_comm.h"
#include "link/open_port.h"
#include "link/port_names.h"
#include "support/sim_process.h"

namespace {

struct Figures {
    double meanMs = 0;
    double medianMs = 0;
    double worstMs = 0;
    int failures = 0;
};

void Summarise(std::vector<double> ms, Figures* f) {
    if (ms.empty()) {
        return;
    }
    double sum = 0;
    for (double v : ms) {
        sum += v;
    }
    f->meanMs = sum / ms.size();
    std::sort(ms.begin(), ms.end());
    f->medianMs = ms[ms.size() / 2];
    f->worstMs = ms.back();
}

// One exchange: the request as the about box sends it, then wait for the whole reply.
bool Exchange(CMSComm& comm, int replyBytes, qint64* elapsedNs) {
    QByteArray received;
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    const QMetaObject::Connection c = QObject::connect(&comm, &CMSComm::OnComm, &loop, [&] {
        comm.SetInputLen(comm.GetInBufferCount());
        received += comm.GetInput();
        if (received.size() >= replyBytes) {
            loop.quit();
        }
    });
    QElapsedTimer clock;
    clock.start();
    timeout.start(2000);
    SendHexText(comm, QStringLiteral("56"));
    SendHexText(comm, QStringLiteral("58"));
    loop.exec();
    *elapsedNs = clock.nsecsElapsed();
    QObject::disconnect(c);
    return received.size() == replyBytes;
}

Figures Measure(const char* variant, int baud, int count, bool tcp = false) {
    Figures f;
    SimProcess sim;
    QStringList args{QStringLiteral("--variant"), QString::fromLatin1(variant),
                     QStringLiteral("--baud"), QString::number(baud)};
    if (tcp) {
        args << QStringLiteral("--tcp") << QStringLiteral("0");
    }
    if (!sim.Start(args)) {
        std::fprintf(stderr, "%s\n", qPrintable(sim.ErrorText()));
        f.failures = count;
        return f;
    }
    SetPortDeviceOverride(1, tcp ? sim.TcpDevice() : sim.LinkPath());
    CMSComm comm;
    QString error;
    if (OpenPort(comm, 1, nullptr, &error) != OpenPortResult::Opened) {
        std::fprintf(stderr, "open: %s\n", qPrintable(error));
        f.failures = count;
        return f;
    }
    const int replyBytes = variant[0] == 'A' ? 9 : 10;
    qint64 ns = 0;
    for (int i = 0; i < 10; ++i) {  // warm-up
        Exchange(comm, replyBytes, &ns);
    }
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        if (!Exchange(comm, replyBytes, &ns)) {
            ++f.failures;
            continue;
        }
        ms.push_back(ns / 1e6);
    }
    Summarise(ms, &f);
    return f;
}

// Opening a tcp:// port: the connection to the simulator on 127.0.0.1, in ms per open.
Figures MeasureTcpOpen(int count) {
    Figures f;
    SimProcess sim;
    if (!sim.Start({QStringLiteral("--tcp"), QStringLiteral("0")})) {
        f.failures = count;
        return f;
    }
    SetPortDeviceOverride(1, sim.TcpDevice());
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) {
        CMSComm comm;
        QElapsedTimer clock;
        clock.start();
        if (OpenPort(comm, 1, nullptr) != OpenPortResult::Opened) {
            ++f.failures;
            continue;
        }
        ms.push_back(clock.nsecsElapsed() / 1e6);
        comm.SetPortOpen(false);
    }
    Summarise(ms, &f);
    return f;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int unpacedCount = 2000;
    const int pacedCount = 200;
    for (const char* variant : {"A", "B"}) {
        const Figures f = Measure(variant, 0, unpacedCount);
        std::printf(
            "variant %s unpaced:   %d exchanges, mean %.3f ms, median %.3f ms, worst %.3f ms, "
            "failures %d\n",
            variant, unpacedCount, f.meanMs, f.medianMs, f.worstMs, f.failures);
    }
    for (const char* variant : {"A", "B"}) {
        const int bytes = 2 + (variant[0] == 'A' ? 9 : 10);
        const double wireMs = bytes * 10.0 * 1000.0 / 9600.0;
        const Figures f = Measure(variant, 9600, pacedCount);
        std::printf(
            "variant %s 9600 baud: %d exchanges, wire time %.3f ms (%d bytes), mean %.3f ms "
            "(ratio %.3f), median %.3f ms (ratio %.3f), worst %.3f ms, failures %d\n",
            variant, pacedCount, wireMs, bytes, f.meanMs, f.meanMs / wireMs, f.medianMs,
            f.medianMs / wireMs, f.worstMs, f.failures);
    }
    for (const char* variant : {"A", "B"}) {
        const Figures f = Measure(variant, 0, unpacedCount, true);
        std::printf(
            "variant %s over TCP:  %d exchanges, mean %.3f ms, median %.3f ms, worst %.3f ms, "
            "failures %d\n",
            variant, unpacedCount, f.meanMs, f.medianMs, f.worstMs, f.failures);
    }
    const int opens = 200;
    const Figures o = MeasureTcpOpen(opens);
    std::printf(
        "tcp:// open:          %d opens, mean %.3f ms, median %.3f ms, worst %.3f ms, "
        "failures %d\n",
        opens, o.meanMs, o.medianMs, o.worstMs, o.failures);
    return 0;
}
