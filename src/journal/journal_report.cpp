#include "journal/journal_report.h"

#include <QJsonArray>

#include "journal/write_recorder.h"
#include "link/identity.h"
#include "records/csv_export.h"
#include "settings/parameter_file.h"

namespace journal {

namespace {

const QString* ValueOf(const Fields& fields, const QString& name) {
    for (const auto& [n, v] : fields) {
        if (n == name) {
            return &v;
        }
    }
    return nullptr;
}

QJsonArray FieldsToJson(const Fields& fields) {
    QJsonArray array;
    for (const auto& [name, value] : fields) {
        array.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("value"), value}});
    }
    return array;
}

std::optional<ParameterSet> SetOf(const KeptSet& kept) {
    const ParameterSetResult result =
        ParameterSetFromFrame(kept.variant, QByteArray::fromHex(kept.frameHex.toLatin1()));
    if (!result.Ok()) {
        return std::nullopt;
    }
    return result.set;
}

}  // namespace

QStringList DifferenceLines(const Entry& entry) {
    QStringList lines;
    const PlannedWrite& w = entry.write;
    if (w.kind == WriteKind::LogClear) {
        lines << QStringLiteral("log: cleared");
        if (!w.archiveFile.isEmpty()) {
            const QString* count = ValueOf(w.sent, QStringLiteral("archived_records"));
            lines << QStringLiteral("archive: %1 (%2 records)")
                         .arg(w.archiveFile, count ? *count : QStringLiteral("?"));
        }
        return lines;
    }
    for (const auto& [name, sent] : w.sent) {
        const QString* before = w.before.empty() ? nullptr : ValueOf(w.before, name);
        if (w.before.empty() || !before) {
            lines << QStringLiteral("%1: ? -> %2").arg(name, sent);
        } else if (*before != sent) {
            lines << QStringLiteral("%1: %2 -> %3").arg(name, *before, sent);
        }
    }
    for (const auto& [name, after] : entry.after) {
        const QString* sent = ValueOf(w.sent, name);
        // A clock reads back a moment later than it was set; only its own check tells.
        if (sent && *sent != after && w.kind == WriteKind::ParameterWrite) {
            lines << QStringLiteral("%1: read back %2").arg(name, after);
        }
    }
    return lines;
}

QString OutcomeCaption(WriteOutcome outcome) {
    switch (outcome) {
        case WriteOutcome::Confirmed:
            return QStringLiteral("已确认");
        case WriteOutcome::Refused:
            return QStringLiteral("被拒绝");
        case WriteOutcome::Failed:
            return QStringLiteral("失败");
        case WriteOutcome::Unknown:
            break;
    }
    return QStringLiteral("未知");
}

QString KindCaption(WriteKind kind) {
    switch (kind) {
        case WriteKind::ParameterWrite:
            return QStringLiteral("参数写入");
        case WriteKind::ClockSet:
            return QStringLiteral("时间设置");
        case WriteKind::LogClear:
            break;
    }
    return QStringLiteral("清除记录");
}

QString IdentificationText(const DeviceIdentity& id) {
    return QStringLiteral("v%1 %2 %3").arg(id.version, id.date, id.checksum);
}

QByteArray EntriesToCsv(const std::vector<Entry>& entries) {
    QString text = QStringLiteral(
        "id,utc,local,user,host,program,port,device,identification,kind,outcome,completed_utc,"
        "changes,sent_bytes,archive_file,detail\r\n");
    for (const Entry& e : entries) {
        const QStringList fields{
            QString::number(e.id),
            e.utc.toString(Qt::ISODateWithMs),
            e.local,
            e.origin.user,
            e.origin.host,
            e.origin.program,
            e.write.port,
            e.write.device,
            e.write.identification,
            KindName(e.write.kind),
            OutcomeName(e.outcome),
            e.completedUtc.isValid() ? e.completedUtc.toString(Qt::ISODateWithMs) : QString(),
            DifferenceLines(e).join(QStringLiteral("; ")),
            e.write.sentBytes,
            e.write.archiveFile,
            e.detail};
        QStringList quoted;
        for (const QString& field : fields) {
            quoted << CsvField(field);
        }
        text += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArray("\xEF\xBB\xBF") + text.toUtf8();
}

QJsonObject EntryToJson(const Entry& e) {
    return QJsonObject{
        {QStringLiteral("id"), e.id},
        {QStringLiteral("uid"), e.uid},
        {QStringLiteral("utc"), e.utc.toString(Qt::ISODateWithMs)},
        {QStringLiteral("local"), e.local},
        {QStringLiteral("user"), e.origin.user},
        {QStringLiteral("host"), e.origin.host},
        {QStringLiteral("program"), e.origin.program},
        {QStringLiteral("port"), e.write.port},
        {QStringLiteral("device"), e.write.device},
        {QStringLiteral("identification"), e.write.identification},
        {QStringLiteral("kind"), KindName(e.write.kind)},
        {QStringLiteral("sent"), FieldsToJson(e.write.sent)},
        {QStringLiteral("sent_bytes"), e.write.sentBytes},
        {QStringLiteral("before"), FieldsToJson(e.write.before)},
        {QStringLiteral("archive_file"), e.write.archiveFile},
        {QStringLiteral("outcome"), OutcomeName(e.outcome)},
        {QStringLiteral("completed_utc"),
         e.completedUtc.isValid() ? QJsonValue(e.completedUtc.toString(Qt::ISODateWithMs))
                                  : QJsonValue()},
        {QStringLiteral("after"), FieldsToJson(e.after)},
        {QStringLiteral("detail"), e.detail},
        {QStringLiteral("changes"), QJsonArray::fromStringList(DifferenceLines(e))}};
}

QStringList CompareKeptSets(const KeptSet& a, const KeptSet& b) {
    if (a.variant != b.variant) {
        return {QStringLiteral("the sets belong to different device models")};
    }
    const std::optional<ParameterSet> setA = SetOf(a);
    const std::optional<ParameterSet> setB = SetOf(b);
    if (!setA || !setB) {
        return {QStringLiteral("a kept frame has the wrong length")};
    }
    QStringList lines;
    for (const FieldDifference& d : CompareParameterSets(*setA, *setB)) {
        lines << QStringLiteral("%1: %2 -> %3").arg(d.name, d.a, d.b);
    }
    return lines;
}

Fields KeptSetFields(const KeptSet& set) {
    const std::optional<ParameterSet> parameters = SetOf(set);
    return parameters ? ParameterSetFields(*parameters)
                      : Fields{{QStringLiteral("frame"), set.frameHex}};
}

}  // namespace journal
