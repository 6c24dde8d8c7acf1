#include "cli/ctl_journal.h"

#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

#include "archive/archive.h"
#include "journal/journal.h"
#include "journal/journal_report.h"

namespace cli {

namespace {

void Write(FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream);
    std::fflush(stream);
}

void OutJson(const QJsonValue& value) {
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    Write(stdout, QString::fromUtf8(doc.toJson(QJsonDocument::Compact)) + QLatin1Char('\n'));
}

int Fail(int code, const QString& text) {
    Write(stderr, QStringLiteral("kp650ctl: ") + text +
                      (code == kExitUsage ? QStringLiteral(" (see kp650ctl --help)") : QString()) +
                      QLatin1Char('\n'));
    return code;
}

// "2026-12-01" (its start) or "2026-12-01T08:00[:ss]", local time; invalid otherwise.
QDateTime SinceTime(const QString& text) {
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (date.isValid()) {
        return date.startOfDay();
    }
    return QDateTime::fromString(text, Qt::ISODate);
}

QString FieldLines(const journal::Fields& fields) {
    QString text;
    for (const auto& [name, value] : fields) {
        text += QStringLiteral("    %1: %2\n").arg(name, value);
    }
    return text;
}

int ListJournal(const journal::Journal& file, const CtlOptions& o) {
    journal::Filter filter;
    filter.device = o.device;
    if (!o.since.isEmpty()) {
        filter.since = SinceTime(o.since);
        if (!filter.since.isValid()) {
            return Fail(kExitUsage, QStringLiteral("--since takes 2026-12-01 or 2026-12-01T08:00"));
        }
    }
    QString error;
    const std::vector<journal::Entry> entries =
        file.IsOpen() ? file.Entries(filter, &error) : std::vector<journal::Entry>();
    if (!error.isEmpty()) {
        return Fail(kExitFile, file.Path() + QStringLiteral(": ") + error);
    }
    if (o.json) {
        QJsonArray array;
        for (const journal::Entry& e : entries) {
            array.append(journal::EntryToJson(e));
        }
        OutJson(array);
        return kExitOk;
    }
    for (const journal::Entry& e : entries) {
        QString text =
            QStringLiteral("#%1  %2  %3  %4\n")
                .arg(e.id)
                .arg(e.local, journal::KindName(e.write.kind),
                     journal::OutcomeName(e.outcome) +
                         (e.detail.isEmpty() ? QString()
                                             : QStringLiteral(" (") + e.detail + QLatin1Char(')')));
        text += QStringLiteral("    %1%2  %3@%4  %5\n")
                    .arg(e.write.device,
                         e.write.identification.isEmpty()
                             ? QString()
                             : QStringLiteral("  ") + e.write.identification,
                         e.origin.user, e.origin.host, e.origin.program);
        for (const QString& line : journal::DifferenceLines(e)) {
            text += QStringLiteral("    ") + line + QLatin1Char('\n');
        }
        text += QStringLiteral("    sent: ") + e.write.sentBytes + QLatin1Char('\n');
        Write(stdout, text);
    }
    return kExitOk;
}

// The device key `wanted` names: itself, or the one key it is part of.
int ResolveDevice(const journal::Journal& file, const QString& wanted, QString* device) {
    const QStringList devices = file.Devices();
    if (devices.contains(wanted)) {
        *device = wanted;
        return kExitOk;
    }
    const QStringList matches = devices.filter(wanted, Qt::CaseInsensitive);
    if (matches.size() == 1) {
        *device = matches.constFirst();
        return kExitOk;
    }
    if (matches.isEmpty()) {
        return Fail(kExitFailure, QStringLiteral("no device in the journal matches ") + wanted);
    }
    return Fail(
        kExitUsage,
        QStringLiteral("--device %1 matches %2").arg(wanted, matches.join(QStringLiteral(", "))));
}

int ShowHistory(const journal::Journal& file, const CtlOptions& o) {
    if (o.device.isEmpty()) {
        return Fail(kExitUsage, QStringLiteral("history needs --device"));
    }
    QString device;
    if (const int code = ResolveDevice(file, o.device, &device)) {
        return code;
    }
    if (o.diff) {
        bool okA = false;
        bool okB = false;
        const qint64 idA = o.words.value(1).toLongLong(&okA);
        const qint64 idB = o.words.value(2).toLongLong(&okB);
        const std::optional<journal::KeptSet> a = file.KeptSetById(idA);
        const std::optional<journal::KeptSet> b = file.KeptSetById(idB);
        if (!okA || !okB || o.words.size() != 3) {
            return Fail(kExitUsage, QStringLiteral("--diff takes two set numbers: --diff A B"));
        }
        if (!a || !b || a->device != device || b->device != device) {
            return Fail(
                kExitFailure,
                QStringLiteral("sets %1 and %2 are not both kept for ").arg(idA).arg(idB) + device);
        }
        const QStringList lines = journal::CompareKeptSets(*a, *b);
        if (o.json) {
            OutJson(
                QJsonObject{{QStringLiteral("device"), device},
                            {QStringLiteral("a"), idA},
                            {QStringLiteral("b"), idB},
                            {QStringLiteral("differences"), QJsonArray::fromStringList(lines)}});
        } else {
            Write(stdout, lines.isEmpty() ? QStringLiteral("no differences\n")
                                          : lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        }
        return kExitOk;
    }
    if (o.words.size() != 1) {
        return Fail(kExitUsage, QStringLiteral("history takes no arguments without --diff"));
    }
    QJsonArray array;
    for (const journal::KeptSet& set : file.History(device)) {
        const journal::Fields fields = journal::KeptSetFields(set);
        if (o.json) {
            QJsonArray jsonFields;
            for (const auto& [name, value] : fields) {
                jsonFields.append(
                    QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}});
            }
            array.append(QJsonObject{{QStringLiteral("id"), set.id},
                                     {QStringLiteral("device"), set.device},
                                     {QStringLiteral("utc"), set.utc.toString(Qt::ISODateWithMs)},
                                     {QStringLiteral("local"), set.local},
                                     {QStringLiteral("source"), set.source},
                                     {QStringLiteral("user"), set.origin.user},
                                     {QStringLiteral("host"), set.origin.host},
                                     {QStringLiteral("program"), set.origin.program},
                                     {QStringLiteral("fields"), jsonFields},
                                     {QStringLiteral("frame"), set.frameHex}});
        } else {
            Write(stdout, QStringLiteral("#%1  %2  %3  %4@%5  %6\n")
                                  .arg(set.id)
                                  .arg(set.local, set.source, set.origin.user, set.origin.host,
                                       set.origin.program) +
                              FieldLines(fields));
        }
    }
    if (o.json) {
        OutJson(array);
    }
    return kExitOk;
}

// `journal push ARCHIVE`: the entries (and completions) the archive lacks, in one transaction.
int PushJournal(const journal::Journal& file, const CtlOptions& o) {
    const QString where = o.words.at(2);
    archive::Location location;
    QString error;
    if (!archive::ParseLocation(where, &location, &error)) {
        return Fail(kExitUsage, error);
    }
    // The fleet's archive is made by the collector; a mistyped path must not become a new one.
    if (location.dialect == archive::Dialect::Sqlite && !QFileInfo::exists(location.path)) {
        return Fail(kExitFile, location.path + QStringLiteral(": no such archive"));
    }
    const std::vector<journal::Entry> entries =
        file.IsOpen() ? file.Entries({}, &error) : std::vector<journal::Entry>();
    if (!error.isEmpty()) {
        return Fail(kExitFile, file.Path() + QStringLiteral(": ") + error);
    }
    archive::Archive target;
    error = target.Open(where);
    if (!error.isEmpty()) {
        return Fail(kExitFile, where + QStringLiteral(": ") + error);
    }
    const archive::JournalPushResult pushed = target.PushJournal(entries);
    if (!pushed.error.isEmpty()) {
        return Fail(kExitFile, where + QStringLiteral(": ") + pushed.error);
    }
    if (o.json) {
        OutJson(QJsonObject{{QStringLiteral("entries"), pushed.entries},
                            {QStringLiteral("completions"), pushed.completions},
                            {QStringLiteral("journal"), static_cast<int>(entries.size())}});
    } else if (o.verbosity > 0) {
        Write(stdout, QStringLiteral("%1 new entries and %2 completions pushed (%3 entries in the"
                                     " journal)\n")
                          .arg(pushed.entries)
                          .arg(pushed.completions)
                          .arg(entries.size()));
    }
    return kExitOk;
}

}  // namespace

int RunJournalCommand(const CtlOptions& options) {
    const bool history = options.words.value(0) == QLatin1String("history");
    const bool push = !history && options.words.value(1) == QLatin1String("push");
    if (push && options.words.size() != 3) {
        return Fail(kExitUsage, QStringLiteral("journal push takes the archive: journal push"
                                               " ARCHIVE"));
    }
    if (!history && !push && options.words.size() != 1) {
        return Fail(kExitUsage, QStringLiteral("journal takes no arguments"));
    }
    journal::Journal file;
    const QString path = journal::DefaultJournalPath();
    // No journal yet: nothing has been written from this computer.
    if (QFileInfo::exists(path)) {
        const QString error = file.Open(path, false);
        if (!error.isEmpty()) {
            return Fail(kExitFile, path + QStringLiteral(": ") + error);
        }
    }
    if (push) {
        return PushJournal(file, options);
    }
    return history ? ShowHistory(file, options) : ListJournal(file, options);
}

}  // namespace cli
