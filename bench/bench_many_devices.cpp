// 32 simulated devices (255 records each, both variants, unpaced, over tcp://) read at once in
// one process, each through its own DeviceLink and its own database: aggregate records per
// second and the process's CPU time per record.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "link/device_link.h"
#include "records/log_read.h"
#include "records/record_store.h"
#include "records/temp_table_sink.h"
#include "support/log_files.h"
#include "support/sim_process.h"

namespace {

constexpr int kDevices = 32;
constexpr int kRecords = 255;

struct Device {
    SimProcess sim;
    DeviceLink link;
    RecordStore store;
    TempTableSink sink{store};
    LogRead read{link, sink};
    std::optional<LogReadResult> result;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    std::vector<std::unique_ptr<Device>> devices;
    for (int i = 0; i < kDevices; ++i) {
        auto d = std::make_unique<Device>();
        const int variant = i % 2;
        const QString logPath = home.filePath(QStringLiteral("log%1.txt").arg(i));
        QFile file(logPath);
        if (!file.open(QIODevice::WriteOnly)) {
            return 1;
        }
        file.write(MakeLogFile(variant, kRecords, false));
        file.close();
        if (!d->sim.Start({"--variant", variant == 0 ? "A" : "B", "--baud", "0", "--log", logPath,
                           "--tcp", "0"})) {
            std::fprintf(stderr, "%s\n", qPrintable(d->sim.ErrorText()));
            return 1;
        }
        d->link.SetDevice(d->sim.TcpDevice());
        d->link.SetVariant(variant);
        QString error;
        if (!d->link.Open(&error) ||
            !d->store.Connect(home.filePath(QStringLiteral("device%1.mdb").arg(i)))) {
            std::fprintf(stderr, "device %d: %s\n", i, qPrintable(error));
            return 1;
        }
        Device* raw = d.get();
        QObject::connect(&d->read, &LogRead::Finished, &app,
                         [raw](const LogReadResult& r) { raw->result = r; });
        devices.push_back(std::move(d));
    }
    QEventLoop loop;
    int finished = 0;
    for (const auto& d : devices) {
        QObject::connect(&d->read, &LogRead::Finished, &loop, [&] {
            if (++finished == kDevices) {
                loop.quit();
            }
        });
    }
    const std::clock_t cpuBefore = std::clock();
    QElapsedTimer wall;
    wall.start();
    for (const auto& d : devices) {
        d->read.Start();
    }
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    loop.exec();
    const double seconds = wall.nsecsElapsed() / 1e9;
    const double cpu = double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    int complete = 0;
    long records = 0;
    for (const auto& d : devices) {
        if (d->result && d->result->end == records::LogReadEnd::Complete) {
            ++complete;
            records += d->result->stored;
        }
    }
    std::printf(
        "%d devices over tcp://, unpaced, %d records each: %d reads complete, %ld records in "
        "%.3f s = %.0f records/s aggregate; CPU %.3f s = %.1f us per record\n",
        kDevices, kRecords, complete, records, seconds, records / seconds, cpu,
        records > 0 ? cpu * 1e6 / records : 0.0);
    return complete == kDevices ? 0 : 1;
}
