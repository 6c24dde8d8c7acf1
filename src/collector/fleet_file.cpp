#include "collector/fleet_file.h"

#include <QDir>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include <cmath>

#include "archive/archive.h"

namespace collector {

namespace {

// Line and column (from 1) of a byte offset.
QString PlaceOf(const QByteArray& json, int offset) {
    const QByteArray before = json.left(offset);
    const int line = before.count('\n') + 1;
    const int column = offset - (before.lastIndexOf('\n') + 1) + 1;
    return QStringLiteral("line %1, column %2").arg(line).arg(column);
}

bool UnknownField(const QJsonObject& object, const QStringList& known, const QString& place,
                  QString* error) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (!known.contains(it.key())) {
            *error = place + QStringLiteral(": unknown field \"%1\" (known: %2)")
                                 .arg(it.key(), known.join(QStringLiteral(", ")));
            return true;
        }
    }
    return false;
}

// Seconds (a positive number) as milliseconds.
bool Seconds(const QJsonValue& value, const QString& place, int* ms, QString* error) {
    if (!value.isDouble() || !(value.toDouble() > 0) || value.toDouble() > 86400.0 * 365) {
        *error = place + QStringLiteral(": must be a number of seconds above 0");
        return false;
    }
    *ms = static_cast<int>(std::lround(value.toDouble() * 1000));
    return true;
}

bool Text(const QJsonObject& object, const QString& key, bool required, const QString& place,
          QString* out, QString* error) {
    const QJsonValue value = object.value(key);
    if (value.isUndefined() && !required) {
        return true;
    }
    if (!value.isString() || (required && value.toString().trimmed().isEmpty())) {
        *error = place + QStringLiteral(": \"%1\" must be a non-empty text").arg(key);
        return false;
    }
    *out = value.toString().trimmed();
    return true;
}

bool ParseDevice(const QJsonValue& value, const QString& place, FleetDevice* d, QString* error) {
    if (!value.isObject()) {
        *error = place + QStringLiteral(": must be an object");
        return false;
    }
    const QJsonObject o = value.toObject();
    if (!Text(o, QStringLiteral("name"), true, place, &d->name, error)) {
        return false;
    }
    const QString named = place + QStringLiteral(" (\"%1\")").arg(d->name);
    if (UnknownField(o,
                     {"name", "station", "channel", "port", "variant", "interval", "clock_sync",
                      "clear_after_archive"},
                     named, error) ||
        !Text(o, QStringLiteral("station"), false, named, &d->station, error) ||
        !Text(o, QStringLiteral("channel"), false, named, &d->channel, error) ||
        !Text(o, QStringLiteral("port"), true, named, &d->port, error)) {
        return false;
    }
    const QJsonValue variant = o.value(QStringLiteral("variant"));
    const QString v = variant.toString();
    if (variant.isUndefined() || v == QLatin1String("detect")) {
        d->variant = -1;
    } else if (v == QLatin1String("A") || v == QLatin1String("B")) {
        d->variant = v == QLatin1String("A") ? 0 : 1;
    } else {
        *error = named + QStringLiteral(": \"variant\" must be \"A\", \"B\" or \"detect\"");
        return false;
    }
    if (o.contains(QStringLiteral("interval")) &&
        !Seconds(o.value(QStringLiteral("interval")), named + QStringLiteral(": \"interval\""),
                 &d->intervalMs, error)) {
        return false;
    }
    if (o.contains(QStringLiteral("clock_sync"))) {
        int ms = 0;
        if (!Seconds(o.value(QStringLiteral("clock_sync")),
                     named + QStringLiteral(": \"clock_sync\""), &ms, error)) {
            return false;
        }
        d->clockSyncMs = ms;
    }
    const QJsonValue clear = o.value(QStringLiteral("clear_after_archive"));
    if (!clear.isUndefined() && !clear.isBool()) {
        *error = named + QStringLiteral(": \"clear_after_archive\" must be true or false");
        return false;
    }
    d->clearAfterArchive = clear.toBool(false);
    return true;
}

}  // namespace

bool ParseFleet(const QByteArray& json, const QString& fileName, const QString& folder,
                Fleet* fleet, QString* error) {
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        // The parser reports the offset just past the character it stumbled on.
        *error = fileName + QStringLiteral(": ") +
                 PlaceOf(json, std::max(0, parseError.offset - 1)) + QStringLiteral(": ") +
                 parseError.errorString();
        return false;
    }
    if (!doc.isObject()) {
        *error = fileName + QStringLiteral(": the file must hold one JSON object");
        return false;
    }
    const QJsonObject root = doc.object();
    Fleet f;
    if (UnknownField(root, {"archive", "collector", "lease", "clear_copies", "devices"}, fileName,
                     error) ||
        !Text(root, QStringLiteral("archive"), true, fileName, &f.archive, error) ||
        !Text(root, QStringLiteral("collector"), false, fileName, &f.collector, error) ||
        !Text(root, QStringLiteral("clear_copies"), false, fileName, &f.clearCopies, error)) {
        return false;
    }
    if (!f.clearCopies.isEmpty()) {
        f.clearCopies = QDir::cleanPath(QDir(folder).filePath(f.clearCopies));
    }
    archive::Location location;
    QString locationError;
    if (!archive::ParseLocation(f.archive, &location, &locationError)) {
        *error = fileName + QStringLiteral(": \"archive\": ") + locationError;
        return false;
    }
    if (location.dialect == archive::Dialect::Sqlite && QDir::isRelativePath(location.path)) {
        f.archive = QDir(folder).filePath(location.path);
    }
    if (root.contains(QStringLiteral("lease")) &&
        !Seconds(root.value(QStringLiteral("lease")), fileName + QStringLiteral(": \"lease\""),
                 &f.leaseMs, error)) {
        return false;
    }
    const QJsonValue devices = root.value(QStringLiteral("devices"));
    if (!devices.isArray() || devices.toArray().isEmpty()) {
        *error = fileName + QStringLiteral(": \"devices\" must be a list of at least one device");
        return false;
    }
    QHash<QString, int> names;
    QHash<QString, int> ports;
    const QJsonArray list = devices.toArray();
    for (int i = 0; i < list.size(); ++i) {
        const QString place = fileName + QStringLiteral(": devices[%1]").arg(i);
        FleetDevice d;
        if (!ParseDevice(list.at(i), place, &d, error)) {
            return false;
        }
        if (names.contains(d.name)) {
            *error = place + QStringLiteral(": name \"%1\" is already used by devices[%2]")
                                 .arg(d.name)
                                 .arg(names.value(d.name));
            return false;
        }
        // A line has one owner: two devices on one port would talk over each other.
        const QString portKey = d.port.toLower();
        if (ports.contains(portKey)) {
            *error = place + QStringLiteral(" (\"%1\"): port \"%2\" is already used by devices[%3]")
                                 .arg(d.name, d.port)
                                 .arg(ports.value(portKey));
            return false;
        }
        names.insert(d.name, i);
        ports.insert(portKey, i);
        f.devices.push_back(d);
    }
    *fleet = f;
    return true;
}

}  // namespace collector
