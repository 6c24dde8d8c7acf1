#include "support/sim_fleet.h"

#include <QFile>

#include "records/record_text_file.h"
#include "support/log_files.h"

SimFleet::SimFleet() = default;
SimFleet::~SimFleet() = default;

bool SimFleet::Launch(Device& d, int tcpPort) {
    const QString log = m_dir.filePath(d.setup.name + QStringLiteral("-%1.txt").arg(d.records));
    QFile file(log);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(MakeLogFile(d.setup.variant, d.records, false)) < 0) {
        m_error = log + QStringLiteral(": not written");
        return false;
    }
    file.close();
    d.sim = std::make_unique<SimProcess>();
    QStringList args{QStringLiteral("--variant"), d.setup.variant == 0 ? "A" : "B",
                     QStringLiteral("--tcp"),     QString::number(tcpPort),
                     QStringLiteral("--baud"),    QStringLiteral("0")};
    if (d.records > 0) {
        args << QStringLiteral("--log") << log;
    }
    // A later --baud wins over the default above.
    if (!d.sim->Start(args + d.setup.extra)) {
        m_error = d.setup.name + QStringLiteral(": ") + d.sim->ErrorText();
        return false;
    }
    d.port = d.sim->TcpDevice();
    return true;
}

bool SimFleet::Start(const std::vector<Setup>& setups) {
    for (const Setup& setup : setups) {
        auto d = std::make_unique<Device>();
        d->setup = setup;
        d->records = setup.records;
        if (!Launch(*d, 0)) {
            return false;
        }
        m_devices.push_back(std::move(d));
    }
    return true;
}

bool SimFleet::Restart(int i, int records) {
    Device& d = *m_devices[static_cast<std::size_t>(i)];
    const int port = d.port.section(QLatin1Char(':'), -1).toInt();
    d.sim->Stop();
    d.records = records;
    return Launch(d, port);
}

std::vector<EventRecord> SimFleet::Log(int i) const {
    const Device& d = *m_devices[static_cast<std::size_t>(i)];
    std::vector<EventRecord> out;
    for (const QByteArray& line : MakeLogFile(d.setup.variant, d.records, false).split('\n')) {
        if (!line.trimmed().isEmpty()) {
            out.push_back(ParseRecordLine(line.trimmed()));
        }
    }
    return out;
}

QByteArray SimFleet::FleetJson(const QString& archive, double intervalS, const QString& top) const {
    QStringList devices;
    for (const auto& d : m_devices) {
        QString fields = QStringLiteral("\"name\": \"%1\", \"port\": \"%2\", \"interval\": %3")
                             .arg(d->setup.name, d->port)
                             .arg(intervalS);
        if (d->setup.giveVariant) {
            fields +=
                QStringLiteral(", \"variant\": \"%1\"").arg(d->setup.variant == 0 ? "A" : "B");
        }
        if (!d->setup.fleetFields.isEmpty()) {
            fields += QStringLiteral(", ") + d->setup.fleetFields;
        }
        devices << QStringLiteral("{") + fields + QStringLiteral("}");
    }
    QString json = QStringLiteral("{\"archive\": \"%1\", ").arg(archive);
    if (!top.isEmpty()) {
        json += top + QStringLiteral(", ");
    }
    json += QStringLiteral("\"devices\": [\n") + devices.join(QStringLiteral(",\n")) +
            QStringLiteral("]}\n");
    return json.toUtf8();
}
