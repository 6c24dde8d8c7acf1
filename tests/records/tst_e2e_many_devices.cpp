// One process reading eight simulated devices' logs at once, each through its own DeviceLink:
// both variants, three over tcp://, one with line noise. Every read ends with its own device's
// exact log in its own database.

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <optional>

#include "link/device_link.h"
#include "records/log_read.h"
#include "records/record_store.h"
#include "records/record_text_file.h"
#include "records/temp_table_sink.h"
#include "support/log_files.h"
#include "support/sim_process.h"

namespace {

struct Device {
    int variant = 0;
    QByteArray log;
    SimProcess sim;
    DeviceLink link;
    RecordStore store;
    TempTableSink sink{store};
    LogRead read{link, sink};
    std::optional<LogReadResult> result;
};

}  // namespace

class TestE2eManyDevices : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void eightAtOnce();
};

void TestE2eManyDevices::eightAtOnce() {
    QTemporaryDir home;
    std::vector<std::unique_ptr<Device>> devices;
    for (int i = 0; i < 8; ++i) {
        auto d = std::make_unique<Device>();
        d->variant = i % 2;
        d->log = MakeLogFile(d->variant, 20 + 9 * i, false);
        const QString logPath = home.filePath(QStringLiteral("log%1.txt").arg(i));
        QFile file(logPath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(d->log);
        file.close();
        const bool tcp = i % 3 == 0;
        QStringList args{"--variant", d->variant == 0 ? "A" : "B",
                         "--baud",    i == 7 ? "9600" : "0",
                         "--log",     logPath};
        if (tcp) {
            args << "--tcp"
                 << "0";
        }
        if (i == 5) {
            args << "--fault"
                 << "garbage=0.2"
                 << "--seed"
                 << "7";
        }
        QVERIFY2(d->sim.Start(args), qPrintable(d->sim.ErrorText()));
        d->link.SetDevice(tcp ? d->sim.TcpDevice() : d->sim.LinkPath());
        d->link.SetVariant(d->variant);
        QString error;
        QVERIFY2(d->link.Open(&error), qPrintable(error));
        QVERIFY(d->store.Connect(home.filePath(QStringLiteral("device%1.mdb").arg(i))));
        Device* raw = d.get();
        connect(&d->read, &LogRead::Finished, this,
                [raw](const LogReadResult& result) { raw->result = result; });
        devices.push_back(std::move(d));
    }
    for (const auto& d : devices) {
        QVERIFY(d->read.Start());
    }
    QTRY_VERIFY_WITH_TIMEOUT(std::all_of(devices.begin(), devices.end(),
                                         [](const auto& d) { return d->result.has_value(); }),
                             60000);
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const Device& d = *devices[i];
        QVERIFY2(d.result->end == records::LogReadEnd::Complete, qPrintable(QString::number(i)));
        QByteArray stored;
        int serial = 0;
        for (const EventRecord& r : d.store.ReadAll(records::kTempTable)) {
            stored += FormatRecordLine(++serial, r) + "\r\n";
        }
        QCOMPARE(stored, d.log);
        QCOMPARE(d.result->stored, serial);
    }
}

QTEST_GUILESS_MAIN(TestE2eManyDevices)
#include "tst_e2e_many_devices.moc"
