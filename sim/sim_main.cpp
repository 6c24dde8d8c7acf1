// kp650-sim: a simulated KPA-650 / KPB-650 on a pseudo-terminal (see --help).

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSaveFile>
#include <QTime>

#include <cstdio>

#include "line_server.h"
#include "model/device_model.h"
#include "model/event_log.h"
#include "model/sim_options.h"
#include "records/record_text_file.h"

namespace {

// --channel-logs: the pair of record files, written as the program saves text record files.
int WriteChannelLogs(const sim::SimOptions& options) {
    QDateTime start(QDate::currentDate().addDays(-7), QTime(8, 0));
    if (options.clock) {
        const sim::TimeFrame& c = *options.clock;
        start = QDateTime(QDate(2000 + c[0], c[1], c[2]), QTime(c[3], c[4], c[5]));
    }
    const sim::ChannelLogs logs = sim::GenerateChannelLogs(options.channel, start);
    for (const auto& [path, records] : {std::pair{options.channelTxFile, &logs.transmitter},
                                        std::pair{options.channelRxFile, &logs.receiver}}) {
        QSaveFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(path),
                         qPrintable(file.errorString()));
            return 1;
        }
        int serial = 0;
        for (const EventRecord& r : *records) {
            file.write(FormatRecordLine(++serial, r) + "\r\n");
        }
        if (!file.commit()) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(path),
                         qPrintable(file.errorString()));
            return 1;
        }
    }
    std::printf("kp650-sim: %d commands, %zu transmitter and %zu receiver records\n",
                options.channel.commands, logs.transmitter.size(), logs.receiver.size());
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    sim::SimOptions options;
    QString message;
    switch (sim::ParseSimOptions(app.arguments().mid(1), &options, &message)) {
        case sim::ParseOutcome::Help:
            std::fputs(qPrintable(message), stdout);
            return 0;
        case sim::ParseOutcome::Error:
            std::fprintf(stderr, "kp650-sim: %s\n", qPrintable(message));
            return 2;
        case sim::ParseOutcome::Run:
            break;
    }

    if (!options.channelTxFile.isEmpty()) {
        return WriteChannelLogs(options);
    }

    if (!options.paramsFile.isEmpty()) {
        QFile file(options.paramsFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(options.paramsFile),
                         qPrintable(file.errorString()));
            return 2;
        }
        if (!sim::ApplyParameterFile(file.read(settings::kParameterFileMaxBytes), &options,
                                     &message)) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(options.paramsFile),
                         qPrintable(message));
            return 2;
        }
    }

    sim::DeviceModel model(options.variant);
    model.SetIdentification(options.identification);
    if (!options.parameters.isEmpty()) {
        model.SetParameters(options.parameters);
    } else if (options.frequencyKHz) {
        model.SetParameters(
            sim::DeviceModel::DefaultParameters(options.variant, *options.frequencyKHz));
    }
    if (options.clock) {
        model.SetClock(*options.clock);
    }
    if (!options.logFile.isEmpty()) {
        QFile file(options.logFile);
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(options.logFile),
                         qPrintable(file.errorString()));
            return 2;
        }
        std::vector<sim::LogRecord> records;
        if (!sim::ParseRecordText(options.variant, file.readAll(), &records, &message)) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(options.logFile),
                         qPrintable(message));
            return 2;
        }
        model.SetLog(std::move(records));
    } else if (options.records > 0) {
        // A week back, so the events sit in the recent past of the device clock.
        const QDateTime start(QDate::currentDate().addDays(-7), QTime(8, 0));
        model.SetLog(sim::GenerateLog(options.variant, options.records, options.seed, start));
    }
    model.SetFaultPlan(options.faults);

    LineServer server(model, options);
    if (!server.Open(&message)) {
        std::fprintf(stderr, "kp650-sim: %s\n", qPrintable(message));
        return 1;
    }
    const QString tcp = server.TcpPort() > 0
                            ? QStringLiteral(" and tcp://127.0.0.1:%1").arg(server.TcpPort())
                            : QString();
    std::printf(
        "kp650-sim: variant %s on %s%s%s%s, %d records, %s\n",
        options.variant == sim::DeviceVariant::A ? "A (KPA-650)" : "B (KPB-650)",
        qPrintable(server.SlavePath()), options.link.isEmpty() ? "" : " linked at ",
        qPrintable(options.link), qPrintable(tcp), static_cast<int>(model.Log().size()),
        options.baud > 0 ? qPrintable(QStringLiteral("%1 baud").arg(options.baud)) : "unpaced");
    std::fflush(stdout);
    const int status = server.Run();
    if (!options.saveParamsFile.isEmpty()) {
        const QString error = WriteParameterSetFile(
            options.saveParamsFile, sim::DeviceParameterSet(model, QDateTime::currentDateTime()));
        if (!error.isEmpty()) {
            std::fprintf(stderr, "kp650-sim: %s: %s\n", qPrintable(options.saveParamsFile),
                         qPrintable(error));
            return 1;
        }
    }
    return status;
}
