#include "cli/ctl_channel.h"

#include <cstdio>

#include "records/channel_pairing.h"
#include "records/record_file_read.h"

namespace cli {

int RunChannel(const CtlOptions& o) {
    const QString txPath = o.words.value(1);
    const QString rxPath = o.words.value(2);
    const RecordFileRead tx = ReadRecordFile(txPath);
    const RecordFileRead rx = ReadRecordFile(rxPath);
    for (const auto& [path, read] : {std::pair{txPath, &tx}, std::pair{rxPath, &rx}}) {
        for (const records::StoreError& e : read->errors.errors) {
            const QString text = e.driverText.isEmpty() ? e.text
                                                        : e.text + QStringLiteral(" (") +
                                                              e.driverText + QLatin1Char(')');
            std::fprintf(stderr, "kp650ctl: %s: %s\n", path.toUtf8().constData(),
                         text.toUtf8().constData());
        }
        if (read->records.empty()) {
            std::fprintf(stderr, "kp650ctl: %s: no records\n", path.toUtf8().constData());
            return kExitFile;
        }
    }
    ChannelOptions options;
    options.windowMs = o.windowMs;
    options.offsetMs = o.offsetMs;
    options.wideningMs = o.wideningMs;
    const ChannelReport report = PairChannel(tx.records, rx.records, options);
    const QByteArray out = o.json ? ChannelReportJson(report) : ChannelReportText(report).toUtf8();
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stdout);
    return report.Faulty() ? kExitFailure : kExitOk;
}

}  // namespace cli
