// kp650-collector's figures: records per second from 64 unpaced simulators into SQLite and into
// PostgreSQL; one round of 64 devices at 9600 baud against one device's wire time; the
// collector's CPU time and peak resident memory for 64 and 256 devices. Beside each, a bare reader
// of the same simulators (one epoll loop, nothing checked or stored) gives what this machine's
// simulators allow at most. Run by hand:
//   bench_collector [--quick]

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "archive/archive.h"
#include "support/pg_server.h"
#include "support/sim_fleet.h"

namespace {

struct Figures {
    qint64 archived = 0;  // events in the archive afterwards
    double seconds = 0;
    double cpuSeconds = 0;
    long maxRssKb = 0;
    int exitCode = -1;
    QMap<QString, int> failures;  // failed polls by kind
    QString example;
};

// Runs the collector once over every device (--rounds 1) and measures it.
Figures Collect(const QString& fleetFile, const QString& where) {
    Figures f;
    const QByteArray program = QByteArrayLiteral(KP650_COLLECTOR_PATH);
    const QByteArray file = QFile::encodeName(fleetFile);
    QElapsedTimer clock;
    clock.start();
    const pid_t pid = fork();
    if (pid == 0) {
        const QByteArray log = QFile::encodeName(fleetFile + QStringLiteral(".log"));
        const int out = ::open(log.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 2);
        execl(program.constData(), program.constData(), "--rounds", "1", file.constData(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    f.seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    f.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    f.maxRssKb = usage.ru_maxrss;
    f.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    QFile log(fleetFile + QStringLiteral(".log"));
    if (log.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : log.readAll().split('\n')) {
            for (const char* kind : {": silent", ": bad reply", ": port error", ": line lost",
                                     ": refused", ": not archived"}) {
                if (line.contains(kind)) {
                    f.failures[QString::fromLatin1(kind + 2)] += 1;
                    if (f.example.isEmpty()) {
                        f.example = QString::fromUtf8(line);
                    }
                }
            }
        }
    }
    archive::Archive a;
    if (a.Open(where).isEmpty()) {
        for (const archive::DeviceRow& d : a.Devices()) {
            f.archived += d.records;
        }
    }
    return f;
}

std::vector<SimFleet::Setup> Devices(int count, int records, const QString& baud) {
    std::vector<SimFleet::Setup> setups;
    for (int i = 0; i < count; ++i) {
        setups.push_back({QStringLiteral("d%1").arg(i),
                          i % 2,
                          records,
                          {QStringLiteral("--baud"), baud},
                          {},
                          true});
    }
    return setups;
}

QString WriteFleet(const SimFleet& fleet, const QString& folder, const QString& archive,
                   const QString& name) {
    const QString path = folder + QLatin1Char('/') + name;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(fleet.FleetJson(archive, 3600));
    }
    return path;
}

void Print(const char* what, const Figures& f, int records) {
    std::printf(
        "%-44s %7.2f s wall  %6.2f s CPU  %7ld KiB peak RSS  %8.0f records/s  "
        "(%lld of %d archived, exit %d)\n",
        what, f.seconds, f.cpuSeconds, f.maxRssKb, static_cast<double>(f.archived) / f.seconds,
        static_cast<long long>(f.archived), records, f.exitCode);
    std::fflush(stdout);
}

// Reads every device's whole log at once over raw sockets: the count, each record, the end frame,
// with nothing checked or stored. Returns the wall time, or a negative value when a device failed.
double BareRound(const SimFleet& fleet, int records) {
    struct Line {
        int fd = -1;
        QByteArray next;
        int frame = 0;
        int got = 0;
        int left = 0;  // frames still to come
    };
    const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
    std::vector<Line> lines(static_cast<std::size_t>(fleet.Size()));
    bool ok = epoll >= 0;
    for (int i = 0; ok && i < fleet.Size(); ++i) {
        Line& line = lines[static_cast<std::size_t>(i)];
        const bool a = fleet.At(i).variant == 0;
        line.next = a ? QByteArray("\x44\x46\x78") : QByteArray("\x44\x53\x58");
        line.frame = a ? 10 : 11;
        line.left = records + 2;
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(fleet.Port(i).section(QLatin1Char(':'), -1).toUShort());
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        line.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(line.fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ok = line.fd >= 0 && ::connect(line.fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
        epoll_event watch{};
        watch.events = EPOLLIN;
        watch.data.u32 = static_cast<std::uint32_t>(i);
        ok = ok && ::epoll_ctl(epoll, EPOLL_CTL_ADD, line.fd, &watch) == 0;
    }
    QElapsedTimer clock;
    clock.start();
    int busy = 0;
    for (Line& line : lines) {
        const QByteArray first = line.next.left(2) + '\x58';
        ok = ok && ::write(line.fd, first.constData(), 3) == 3;
        ++busy;
    }
    epoll_event ready[64];
    while (ok && busy > 0) {
        const int n = ::epoll_wait(epoll, ready, 64, 5000);
        ok = n > 0;
        for (int k = 0; ok && k < n; ++k) {
            Line& line = lines[ready[k].data.u32];
            char buffer[16];
            const ssize_t got =
                ::read(line.fd, buffer, static_cast<std::size_t>(line.frame - line.got));
            ok = got > 0;
            line.got += static_cast<int>(got);
            if (ok && line.got == line.frame) {
                line.got = 0;
                if (--line.left == 0) {
                    --busy;
                } else {
                    ok = ::write(line.fd, line.next.constData(), 3) == 3;
                }
            }
        }
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    for (const Line& line : lines) {
        if (line.fd >= 0) {
            ::close(line.fd);
        }
    }
    if (epoll >= 0) {
        ::close(epoll);
    }
    return ok ? seconds : -1;
}

void PrintBare(const char* what, double seconds, int records) {
    if (seconds < 0) {
        std::printf("%-44s failed\n", what);
    } else {
        std::printf("%-44s %7.2f s wall  %35s %8.0f records/s\n", what, seconds, "",
                    records / seconds);
    }
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const bool quick = app.arguments().contains(QStringLiteral("--quick"));
    QTemporaryDir dir;
    std::printf("load average at start: ");
    QFile load(QStringLiteral("/proc/loadavg"));
    if (load.open(QIODevice::ReadOnly)) {
        std::printf("%s", load.readAll().constData());
    }
    constexpr int kRecords = 255;
    {
        SimFleet fleet;
        if (!fleet.Start(Devices(64, kRecords, QStringLiteral("0")))) {
            std::fprintf(stderr, "%s\n", qPrintable(fleet.ErrorText()));
            return 1;
        }
        PrintBare("64 unpaced devices, bare reader", BareRound(fleet, kRecords), 64 * kRecords);
        const QString sqlite = dir.filePath(QStringLiteral("bench.db"));
        Print("64 unpaced devices into SQLite",
              Collect(WriteFleet(fleet, dir.path(), sqlite, QStringLiteral("s.json")), sqlite),
              64 * kRecords);
        PgServer pg;
        if (!pg.Start(true)) {
            std::fprintf(stderr, "%s\n", qPrintable(pg.ErrorText()));
            return 1;
        }
        Print("64 unpaced devices into PostgreSQL (fsync on)",
              Collect(WriteFleet(fleet, dir.path(), pg.Url(), QStringLiteral("p.json")), pg.Url()),
              64 * kRecords);
    }
    {
        // One device's wire time alone, then 64 at once.
        const int records = quick ? 40 : kRecords;
        SimFleet one;
        if (!one.Start(Devices(1, records, QStringLiteral("9600")))) {
            return 1;
        }
        const QString oneDb = dir.filePath(QStringLiteral("one.db"));
        const Figures alone =
            Collect(WriteFleet(one, dir.path(), oneDb, QStringLiteral("o.json")), oneDb);
        Print("1 device at 9600 baud into SQLite", alone, records);
        const double bareAlone = BareRound(one, records);
        PrintBare("1 device at 9600 baud, bare reader", bareAlone, records);
        SimFleet many;
        if (!many.Start(Devices(64, records, QStringLiteral("9600")))) {
            return 1;
        }
        const QString manyDb = dir.filePath(QStringLiteral("many.db"));
        const Figures all =
            Collect(WriteFleet(many, dir.path(), manyDb, QStringLiteral("m.json")), manyDb);
        Print("64 devices at 9600 baud into SQLite", all, 64 * records);
        std::printf("one round of 64 / one device: %.2f\n", all.seconds / alone.seconds);
        const double bareAll = BareRound(many, records);
        PrintBare("64 devices at 9600 baud, bare reader", bareAll, 64 * records);
        std::printf("bare reader, one round of 64 / one device: %.2f\n", bareAll / bareAlone);
    }
    if (!quick) {
        SimFleet fleet;
        if (!fleet.Start(Devices(256, 100, QStringLiteral("0")))) {
            std::fprintf(stderr, "%s\n", qPrintable(fleet.ErrorText()));
            return 1;
        }
        Print("256 unpaced devices (100 records) into SQLite",
              Collect(WriteFleet(fleet, dir.path(), dir.filePath(QStringLiteral("256.db")),
                                 QStringLiteral("q.json")),
                      dir.filePath(QStringLiteral("256.db"))),
              256 * 100);
    }
    return 0;
}
