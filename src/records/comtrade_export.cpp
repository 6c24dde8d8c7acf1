#include "records/comtrade_export.h"

#include <QDateTime>
#include <QFileInfo>
#include <QSaveFile>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <optional>

#include "records/event_signals.h"
#include "records/record_time.h"

namespace {

constexpr qint64 kMaxTimestamp = 9999999999;  // ten digits

// "dd/mm/yyyy,hh:mm:ss.ssssss"
QByteArray CfgDateTime(qint64 timeMs) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(timeMs, QTimeZone::utc());
    return t.toString(QStringLiteral("dd/MM/yyyy,HH:mm:ss.zzz")).toLatin1() + "000";
}

}  // namespace

ComtradeFiles RecordsToComtrade(const std::vector<EventRecord>& records, int variant) {
    ComtradeFiles files;
    const SignalTable& table = SignalTableOf(variant);
    const int channels = SignalCountOf(variant);

    struct Timed {
        qint64 time;
        SignalEvent event;
    };
    std::vector<Timed> timed;
    timed.reserve(records.size());
    for (const EventRecord& r : records) {
        const std::optional<qint64> time = RecordTimeMs(r);
        if (!time) {
            ++files.skipped;
            continue;
        }
        timed.push_back(Timed{*time, SignalEventOf(table, r.event)});
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Timed& a, const Timed& b) { return a.time < b.time; });
    files.samples = static_cast<int>(timed.size());
    if (timed.empty()) {
        return files;
    }

    const qint64 first = timed.front().time;
    const qint64 spanUs = (timed.back().time - first) * 1000;
    qint64 timemult = 1;
    while (spanUs / timemult > kMaxTimestamp) {
        timemult = timemult == 1 ? 1000 : timemult * 10;
    }

    const QByteArray model = variant == 0 ? "KPA-650" : "KPB-650";
    QByteArray cfg;
    cfg += model + ',' + model + (variant == 0 ? " transmitter" : " receiver") + ",1999\r\n";
    cfg += QByteArray::number(channels) + ",0A," + QByteArray::number(channels) + "D\r\n";
    for (int c = 0; c < channels; ++c) {
        cfg += QByteArray::number(c + 1) + ',' +
               table[static_cast<std::size_t>(c)].channel.toLatin1() + ",,,0\r\n";
    }
    cfg += "50\r\n";  // line frequency of the grids these devices serve
    cfg += "0\r\n";
    cfg += "0," + QByteArray::number(files.samples) + "\r\n";
    cfg += CfgDateTime(first) + "\r\n";
    cfg += CfgDateTime(first) + "\r\n";
    cfg += "ASCII\r\n";
    cfg += QByteArray::number(timemult) + "\r\n";
    files.cfg = cfg;

    QByteArray dat;
    std::array<bool, records::kSignalCount> states{};
    int n = 0;
    for (const Timed& t : timed) {
        if (t.event.row >= 0) {
            states[static_cast<std::size_t>(t.event.row)] = t.event.start;
        }
        dat +=
            QByteArray::number(++n) + ',' + QByteArray::number((t.time - first) * 1000 / timemult);
        for (int c = 0; c < channels; ++c) {
            dat += states[static_cast<std::size_t>(c)] ? ",1" : ",0";
        }
        dat += "\r\n";
    }
    files.dat = dat;
    return files;
}

QString ComtradeDataPath(const QString& cfgPath) {
    const QFileInfo info(cfgPath);
    const QString suffix = info.suffix();
    if (suffix.isEmpty()) {
        return cfgPath + QStringLiteral(".dat");
    }
    // Keep the case style of the chosen name: NAME.CFG goes with NAME.DAT.
    const bool upper = suffix == suffix.toUpper() && suffix != suffix.toLower();
    return cfgPath.left(cfgPath.size() - suffix.size()) +
           (upper ? QStringLiteral("DAT") : QStringLiteral("dat"));
}

bool WriteComtradeFiles(const QString& cfgPath, const ComtradeFiles& files) {
    return WriteWholeFile(ComtradeDataPath(cfgPath), files.dat) &&
           WriteWholeFile(cfgPath, files.cfg);
}

bool WriteWholeFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return false;
    }
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
