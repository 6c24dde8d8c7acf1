// kp650-collector: the fleet's event logs gathered into one archive, headless.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>

#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "collector/collector.h"
#include "collector/collector_options.h"
#include "collector/fleet_file.h"
#include "collector/stop_signal.h"
#include "common/program_version.h"
#include "records/record_archive.h"

using namespace collector;

namespace {

void Err(const QString& text) {
    const QByteArray bytes =
        (QStringLiteral("kp650-collector: ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
}

void Out(const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stdout);
}

QString TimeText(const QDateTime& time) {
    return time.isValid() ? time.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                          : QStringLiteral("-");
}

QString IsoOrNull(const QDateTime& time) {
    return time.isValid() ? time.toUTC().toString(Qt::ISODateWithMs) : QString();
}

// Whether the archive can be reached without writing to it: an SQLite file or its folder, a
// PostgreSQL server that takes the connection.
// The folder the copies of cleared logs go to, when it can never be made or written (a device
// would then never be cleared, which the first clear would tell only after a whole poll), or
// empty. Found without writing anything: the nearest folder on the way that exists must be one
// this user may write.
QString UnwritableCopies(const Fleet& fleet) {
    const bool clears = std::any_of(fleet.devices.begin(), fleet.devices.end(),
                                    [](const FleetDevice& d) { return d.clearAfterArchive; });
    if (!clears) {
        return {};
    }
    const QString folder = fleet.clearCopies.isEmpty() ? ArchiveFolder() : fleet.clearCopies;
    QString probe = QDir::cleanPath(QDir(folder).absolutePath());
    while (!QFileInfo::exists(probe)) {
        const QString up = QFileInfo(probe).path();
        if (up == probe) {
            break;
        }
        probe = up;
    }
    const QFileInfo on(probe);
    return on.isDir() && on.isWritable() ? QString() : folder;
}

QString Reachable(const QString& where) {
    archive::Location loc;
    QString error;
    if (!archive::ParseLocation(where, &loc, &error)) {
        return error;
    }
    if (loc.dialect == archive::Dialect::Sqlite) {
        const QFileInfo file(loc.path);
        const QFileInfo folder(file.absolutePath());
        if (file.exists() ? !file.isWritable() : !(folder.isDir() && folder.isWritable())) {
            return loc.path + QStringLiteral(": cannot be written (missing or read-only folder)");
        }
        return {};
    }
    archive::Archive probe;
    return probe.Open(loc);
}

int Status(const Fleet& fleet, archive::Archive& a, bool json) {
    QString error;
    const std::vector<archive::DeviceRow> rows = a.Devices(&error);
    if (!error.isEmpty()) {
        Err(error);
        return kExitArchive;
    }
    QJsonArray list;
    QString table = QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                        .arg(QStringLiteral("device"), -16)
                        .arg(QStringLiteral("last success"), -19)
                        .arg(QStringLiteral("next poll"), -19)
                        .arg(QStringLiteral("records"), 8)
                        .arg(QStringLiteral("collector"), -12)
                        .arg(QStringLiteral("last error"));
    for (const FleetDevice& d : fleet.devices) {
        archive::DeviceRow row;
        row.name = d.name;
        for (const archive::DeviceRow& r : rows) {
            if (r.name == d.name) {
                row = r;
            }
        }
        const QString lastError = row.lastError.isEmpty() ? QString()
                                                          : TimeText(row.lastErrorAt) +
                                                                QStringLiteral(" ") + row.lastError;
        list.append(QJsonObject{{QStringLiteral("name"), d.name},
                                {QStringLiteral("station"), d.station},
                                {QStringLiteral("channel"), d.channel},
                                {QStringLiteral("port"), d.port},
                                {QStringLiteral("last_success"), IsoOrNull(row.lastSuccess)},
                                {QStringLiteral("last_error"), row.lastError},
                                {QStringLiteral("last_error_at"), IsoOrNull(row.lastErrorAt)},
                                {QStringLiteral("records"), row.records},
                                {QStringLiteral("next_poll"), IsoOrNull(row.nextPoll)},
                                {QStringLiteral("collector"), row.collector}});
        table += QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                     .arg(d.name, -16)
                     .arg(TimeText(row.lastSuccess), -19)
                     .arg(TimeText(row.nextPoll), -19)
                     .arg(row.records, 8)
                     .arg(row.collector.isEmpty() ? QStringLiteral("-") : row.collector, -12)
                     .arg(lastError.isEmpty() ? QStringLiteral("-") : lastError);
    }
    Out(json ? QString::fromUtf8(QJsonDocument(list).toJson(QJsonDocument::Compact)) +
                   QLatin1Char('\n')
             : table);
    return kExitOk;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    CollectorOptions o;
    QString error;
    if (!ParseCollectorArguments(app.arguments().mid(1), &o, &error)) {
        Err(error + QStringLiteral(" (see kp650-collector --help)"));
        return kExitUsage;
    }
    if (o.help) {
        Out(CollectorHelpText());
        return kExitOk;
    }
    if (o.version) {
        Out(QStringLiteral("kp650-collector ") + ProgramVersion() + QLatin1Char('\n'));
        return kExitOk;
    }
    QFile file(o.fleetFile);
    if (!file.open(QIODevice::ReadOnly)) {
        Err(o.fleetFile + QStringLiteral(": ") + file.errorString());
        return kExitFleetFile;
    }
    Fleet fleet;
    if (!ParseFleet(file.readAll(), o.fleetFile, QFileInfo(o.fleetFile).absolutePath(), &fleet,
                    &error)) {
        Err(error);
        return kExitFleetFile;
    }
    if (!o.archive.isEmpty()) {
        fleet.archive = o.archive;
    }
    // check refuses it; a running collector says so and collects on (the devices are then
    // never cleared, which loses nothing).
    const QString copies = UnwritableCopies(fleet);
    if (!copies.isEmpty() && o.command != QLatin1String("status")) {
        Err(o.fleetFile + QStringLiteral(": clear_copies \"") + copies +
            QStringLiteral("\" cannot be written: no device will be cleared"));
        if (o.command == QLatin1String("check")) {
            return kExitFleetFile;
        }
    }
    const QString reach = Reachable(fleet.archive);
    if (!reach.isEmpty()) {
        Err(o.fleetFile + QStringLiteral(": archive \"") + fleet.archive +
            QStringLiteral("\" cannot be reached: ") + reach);
        return kExitArchive;
    }
    if (o.command == QLatin1String("check")) {
        Out(QStringLiteral("%1: %2 devices, archive %3\n")
                .arg(o.fleetFile)
                .arg(fleet.devices.size())
                .arg(fleet.archive));
        return kExitOk;
    }
    if (o.command == QLatin1String("status")) {
        archive::Location loc;
        archive::ParseLocation(fleet.archive, &loc, &error);
        if (loc.dialect == archive::Dialect::Sqlite && !QFileInfo::exists(loc.path)) {
            Err(loc.path + QStringLiteral(": no archive yet (the collector has not run)"));
            return kExitArchive;
        }
        // The status only reads: a replica or an archive of another user's serves as well.
        archive::Archive archive;
        error = archive.OpenReadOnly(fleet.archive);
        if (!error.isEmpty()) {
            Err(fleet.archive + QStringLiteral(": ") + error);
            return kExitArchive;
        }
        return Status(fleet, archive, o.json);
    }
    archive::ArchiveWriter archive;
    error = archive.Open(fleet.archive);
    if (!error.isEmpty()) {
        Err(fleet.archive + QStringLiteral(": ") + error);
        return kExitArchive;
    }
    const QString id = !o.id.isEmpty()              ? o.id
                       : !fleet.collector.isEmpty() ? fleet.collector
                                                    : QHostInfo::localHostName();
    Collector collector(fleet, archive, id);
    if (o.rounds > 0) {
        collector.SetRounds(o.rounds);
    }
    StopSignal stop;
    QObject::connect(&stop, &StopSignal::Raised, &collector, [&collector](const QString& name) {
        Err(name + QStringLiteral(": finishing the exchanges in flight"));
        collector.Stop();
    });
    QObject::connect(&collector, &Collector::Finished, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    if (!collector.Start(&error)) {
        Err(error);
        return kExitArchive;
    }
    return app.exec();
}
