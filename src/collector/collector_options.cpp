#include "collector/collector_options.h"

namespace collector {

bool ParseCollectorArguments(const QStringList& arguments, CollectorOptions* o, QString* error) {
    QStringList words;
    for (int i = 0; i < arguments.size(); ++i) {
        const QString a = arguments.at(i);
        const auto value = [&](QString* out) {
            if (i + 1 >= arguments.size()) {
                *error = a + QStringLiteral(" needs a value");
                return false;
            }
            *out = arguments.at(++i);
            return true;
        };
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o->help = true;
        } else if (a == QLatin1String("--version")) {
            o->version = true;
        } else if (a == QLatin1String("--json")) {
            o->json = true;
        } else if (a == QLatin1String("--archive")) {
            if (!value(&o->archive)) {
                return false;
            }
        } else if (a == QLatin1String("--id")) {
            if (!value(&o->id)) {
                return false;
            }
        } else if (a == QLatin1String("--rounds")) {
            QString text;
            bool ok = false;
            if (!value(&text)) {
                return false;
            }
            o->rounds = text.toInt(&ok);
            if (!ok || o->rounds < 1) {
                *error = QStringLiteral("--rounds must be a number from 1");
                return false;
            }
        } else if (a.startsWith(QLatin1Char('-'))) {
            *error = QStringLiteral("unknown option ") + a;
            return false;
        } else {
            words << a;
        }
    }
    if (o->help || o->version) {
        return true;
    }
    if (!words.isEmpty() &&
        (words.first() == QLatin1String("status") || words.first() == QLatin1String("check") ||
         words.first() == QLatin1String("run"))) {
        o->command = words.takeFirst();
    } else {
        o->command = QStringLiteral("run");
    }
    if (words.size() != 1) {
        *error = words.isEmpty() ? QStringLiteral("no fleet file given")
                                 : QStringLiteral("one fleet file, please");
        return false;
    }
    o->fleetFile = words.first();
    return true;
}

QString CollectorHelpText() {
    return QStringLiteral(
        "Usage: kp650-collector [run] [--rounds N] [--id NAME] [--archive WHERE] FLEET.json\n"
        "       kp650-collector status [--json] [--archive WHERE] FLEET.json\n"
        "       kp650-collector check FLEET.json\n"
        "\n"
        "Polls every device of the fleet file on its own schedule and gathers the event logs\n"
        "into the archive (an SQLite file, or postgresql://USER@HOST/DATABASE).\n"
        "  run      collect until SIGTERM (or N polls of every device with --rounds N)\n"
        "  status   every device: last success, last error, records archived, next poll\n"
        "  check    validate the fleet file and reach the archive, writing nothing\n"
        "Options: --id NAME (this collector in leases; default the fleet file's \"collector\",\n"
        "  else the host name), --archive WHERE (instead of the fleet file's), --json (status).\n"
        "Exit codes: 0 done, 1 failure, 2 usage, 3 fleet file wrong, 4 archive unreachable.\n");
}

}  // namespace collector
