#include "web/collected_fleet.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "records/event_record.h"
#include "records/record_text_file.h"

QByteArray LogOf(const std::vector<LogLine>& lines) {
    QByteArray out;
    int serial = 0;
    for (const LogLine& l : lines) {
        const EventRecord r{QString::number(l.year),    QString::number(l.month),
                            QString::number(l.day),     QString::number(l.hour),
                            QString::number(l.minute),  QString::number(l.second),
                            QString::number(l.msecond), QString::fromUtf8(l.event)};
        out += FormatRecordLine(++serial, r) + "\r\n";
    }
    return out;
}

bool CollectedFleet::Collect(const std::vector<SimulatedDevice>& devices, QString* error) {
    QJsonArray list;
    for (const SimulatedDevice& d : devices) {
        const QString logPath = m_dir.filePath(d.name + QStringLiteral(".txt"));
        QFile log(logPath);
        if (!log.open(QIODevice::WriteOnly) || log.write(d.log) != d.log.size()) {
            *error = logPath + QStringLiteral(": cannot write");
            return false;
        }
        log.close();
        auto sim = std::make_unique<SimProcess>();
        if (!sim->Start(QStringList{QStringLiteral("--variant"), d.variant,
                                    QStringLiteral("--baud"), QStringLiteral("0"),
                                    QStringLiteral("--tcp"), QStringLiteral("0"),
                                    QStringLiteral("--log"), logPath} +
                        d.extraArgs)) {
            *error = d.name + QStringLiteral(": ") + sim->ErrorText();
            return false;
        }
        list.append(QJsonObject{{QStringLiteral("name"), d.name},
                                {QStringLiteral("station"), d.station},
                                {QStringLiteral("channel"), d.channel},
                                {QStringLiteral("port"), sim->TcpDevice()},
                                {QStringLiteral("variant"), d.variant},
                                {QStringLiteral("interval"), 600}});
        m_names.push_back(d.name);
        m_sims.push_back(std::move(sim));
    }
    const QString fleetPath = m_dir.filePath(QStringLiteral("fleet.json"));
    QFile fleet(fleetPath);
    const QByteArray json =
        QJsonDocument(QJsonObject{{QStringLiteral("archive"), ArchivePath()},
                                  {QStringLiteral("collector"), QStringLiteral("test")},
                                  {QStringLiteral("devices"), list}})
            .toJson();
    if (!fleet.open(QIODevice::WriteOnly) || fleet.write(json) != json.size()) {
        *error = fleetPath + QStringLiteral(": cannot write");
        return false;
    }
    fleet.close();
    QProcess collector;
    collector.setProcessChannelMode(QProcess::MergedChannels);
    collector.start(
        QStringLiteral(KP650_COLLECTOR_PATH),
        {QStringLiteral("run"), QStringLiteral("--rounds"), QStringLiteral("1"), fleetPath});
    if (!collector.waitForFinished(120000) || collector.exitStatus() != QProcess::NormalExit) {
        collector.kill();
        collector.waitForFinished();
        *error = QStringLiteral("kp650-collector did not finish: ") +
                 QString::fromUtf8(collector.readAll());
        return false;
    }
    if (collector.exitCode() != 0) {
        *error = QStringLiteral("kp650-collector exit %1: ").arg(collector.exitCode()) +
                 QString::fromUtf8(collector.readAll());
        return false;
    }
    return true;
}

QString CollectedFleet::Address(const QString& name) const {
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        if (m_names[i] == name) {
            return m_sims[i]->TcpDevice();
        }
    }
    return {};
}
