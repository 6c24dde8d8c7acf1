#include "web/web_api.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <optional>

#include "graph/timeline.h"
#include "records/comtrade_export.h"
#include "records/csv_export.h"
#include "records/event_signals.h"

namespace web {

namespace {

const QString kUtcFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ");
const QString kLocalFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz");

// A bad request: Chinese for the page's users, plain text for scripts.
struct Problem {
    int status = 400;
    QString chinese;
    QString plain;
};

void AddHeader(WebAnswer& answer, const QPair<QByteArray, QByteArray>& header) {
    answer.headers.append(header);
}

WebAnswer JsonAnswer(const QJsonObject& object, int status = 200) {
    WebAnswer a;
    a.status = status;
    a.contentType = "application/json; charset=utf-8";
    a.body = QJsonDocument(object).toJson(QJsonDocument::Compact);
    return a;
}

WebAnswer ProblemAnswer(const Problem& p) {
    return JsonAnswer({{QStringLiteral("error"), p.chinese}, {QStringLiteral("message"), p.plain}},
                      p.status);
}

WebAnswer StorageAnswer(const QString& error) {
    return ProblemAnswer({500, QStringLiteral("读取档案库失败"),
                          QStringLiteral("the archive could not be read: ") + error});
}

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue() : QJsonValue(text);
}

QJsonValue NumberOrNull(const std::optional<qint64>& n) {
    return n ? QJsonValue(static_cast<double>(*n)) : QJsonValue();
}

QJsonValue VariantName(int variant) {
    if (variant == 0) {
        return QStringLiteral("A");
    }
    if (variant == 1) {
        return QStringLiteral("B");
    }
    return QJsonValue();
}

QJsonValue UtcOrNull(const QDateTime& time) {
    return time.isValid() ? QJsonValue(time.toUTC().toString(kUtcFormat)) : QJsonValue();
}

QString LocalText(const QDateTime& time) {
    return time.isValid() ? time.toString(kLocalFormat) : QString();
}

// The query's parameters, each at most once and all of them known to the route.
class Parameters {
public:
    Parameters(const QList<QPair<QString, QString>>& query,
               std::initializer_list<const char*> known, std::optional<Problem>* problem) {
        QSet<QString> allowed;
        for (const char* k : known) {
            allowed.insert(QString::fromLatin1(k));
        }
        for (const auto& [name, value] : query) {
            if (!allowed.contains(name)) {
                *problem = Problem{400, QStringLiteral("未知参数 ") + name,
                                   QStringLiteral("unknown parameter ") + name};
                return;
            }
            if (m_values.contains(name)) {
                *problem =
                    Problem{400, QStringLiteral("参数 ") + name + QStringLiteral(" 重复"),
                            QStringLiteral("parameter ") + name + QStringLiteral(" given twice")};
                return;
            }
            m_values.insert(name, value);
        }
    }
    std::optional<QString> Value(const QString& name) const {
        const auto it = m_values.constFind(name);
        if (it == m_values.constEnd()) {
            return std::nullopt;
        }
        return *it;
    }

private:
    QHash<QString, QString> m_values;
};

// An integer parameter in [lowest, highest], `fallback` when absent.
std::optional<qint64> Integer(const Parameters& p, const char* name, qint64 lowest, qint64 highest,
                              qint64 fallback, std::optional<Problem>* problem) {
    const QString key = QString::fromLatin1(name);
    const std::optional<QString> text = p.Value(key);
    if (!text) {
        return fallback;
    }
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,10}$"));
    bool ok = digits.match(*text).hasMatch();
    const qint64 n = ok ? text->toLongLong(&ok) : 0;
    if (!ok || n < lowest || n > highest) {
        *problem = Problem{
            400, QStringLiteral("参数 %1 应为 %2 到 %3 的整数").arg(key).arg(lowest).arg(highest),
            QStringLiteral("parameter %1 must be an integer from %2 to %3")
                .arg(key)
                .arg(lowest)
                .arg(highest)};
        return std::nullopt;
    }
    return n;
}

// A time bound: a date (its midnight) or a date and time, as the events' local time text.
std::optional<QDateTime> TimeBound(const Parameters& p, const char* name,
                                   std::optional<Problem>* problem) {
    const QString key = QString::fromLatin1(name);
    const std::optional<QString> text = p.Value(key);
    if (!text || text->isEmpty()) {
        return QDateTime();
    }
    static const QRegularExpression shape(QStringLiteral(
        "^[0-9]{4}-[0-9]{2}-[0-9]{2}(T[0-9]{2}:[0-9]{2}(:[0-9]{2}(\\.[0-9]{3})?)?)?$"));
    // Read as a plain wall-clock reading, as the device clock is: no zone, no daylight saving.
    QDateTime t;
    if (shape.match(*text).hasMatch()) {
        const QDate date = QDate::fromString(text->left(10), QStringLiteral("yyyy-MM-dd"));
        QTime time(0, 0);
        if (text->size() > 10) {
            const QString clock = text->mid(11);
            time = QTime::fromString(clock, clock.size() == 5   ? QStringLiteral("HH:mm")
                                            : clock.size() == 8 ? QStringLiteral("HH:mm:ss")
                                                                : QStringLiteral("HH:mm:ss.zzz"));
        }
        if (date.isValid() && time.isValid()) {
            t = QDateTime(date, time, Qt::UTC);
        }
    }
    if (!t.isValid()) {
        *problem =
            Problem{400,
                    QStringLiteral("参数 %1 应为日期 (yyyy-MM-dd) 或日期时间 (yyyy-MM-ddTHH:mm:ss)")
                        .arg(key),
                    QStringLiteral("parameter %1 must be a date (yyyy-MM-dd) or a date and time"
                                   " (yyyy-MM-ddTHH:mm:ss)")
                        .arg(key)};
        return std::nullopt;
    }
    return t;
}

struct DeviceChoice {
    QString name;
    int variant = -1;
};

// The device parameter, required, and present in the archive.
std::optional<DeviceChoice> Device(const Parameters& p, const archive::Archive& archive,
                                   std::optional<Problem>* problem) {
    const std::optional<QString> name = p.Value(QStringLiteral("device"));
    if (!name || name->isEmpty()) {
        *problem = Problem{400, QStringLiteral("缺少参数 device"),
                           QStringLiteral("parameter device is missing")};
        return std::nullopt;
    }
    if (name->size() > 200) {
        *problem = Problem{400, QStringLiteral("参数 device 过长"),
                           QStringLiteral("parameter device is too long")};
        return std::nullopt;
    }
    QString error;
    const std::optional<archive::DeviceRow> row = archive.Device(*name, &error);
    if (!error.isEmpty()) {
        *problem = Problem{500, QStringLiteral("读取档案库失败"),
                           QStringLiteral("the archive could not be read: ") + error};
        return std::nullopt;
    }
    if (!row) {
        *problem =
            Problem{404, QStringLiteral("档案库中没有装置 ") + *name,
                    QStringLiteral("no device ") + *name + QStringLiteral(" in the archive")};
        return std::nullopt;
    }
    return DeviceChoice{*name, row->variant};
}

// Device, range and page of an events request.
struct EventQuery {
    DeviceChoice device;
    archive::EventQuery range;  // the device and the bounds, in time order
    qint64 offset = 0;
    int limit = 100;
};

// maxLimit 0: the request takes no page (offset and limit are unknown parameters).
std::optional<EventQuery> ParseEventQuery(const WebRequest& request,
                                          const archive::Archive& archive, int maxLimit,
                                          std::optional<Problem>* problem) {
    const Parameters p =
        maxLimit > 0
            ? Parameters(request.query, {"device", "from", "to", "offset", "limit"}, problem)
            : Parameters(request.query, {"device", "from", "to"}, problem);
    if (*problem) {
        return std::nullopt;
    }
    EventQuery q;
    const std::optional<QDateTime> from = TimeBound(p, "from", problem);
    const std::optional<QDateTime> to = from ? TimeBound(p, "to", problem) : std::nullopt;
    const std::optional<qint64> offset =
        to ? Integer(p, "offset", 0, 1000000000, 0, problem) : std::nullopt;
    const std::optional<qint64> limit =
        offset ? Integer(p, "limit", 1, maxLimit, std::min(100, maxLimit), problem) : std::nullopt;
    if (!limit) {
        return std::nullopt;
    }
    if (from->isValid() && to->isValid() && *from > *to) {
        *problem = Problem{400, QStringLiteral("起始时间晚于结束时间"),
                           QStringLiteral("from is later than to")};
        return std::nullopt;
    }
    const std::optional<DeviceChoice> device = Device(p, archive, problem);
    if (!device) {
        return std::nullopt;
    }
    q.device = *device;
    q.range.device = device->name;
    q.range.from = *from;
    q.range.to = *to;
    q.range.order = archive::EventOrder::Time;
    q.offset = *offset;
    q.limit = static_cast<int>(*limit);
    return q;
}

// An events page written as text directly: it is most of what the service answers, and
// building it as a tree of QJsonObjects first cost more than the archive's query. Keys come in
// the order QJsonDocument writes them (sorted), so the bytes are the same as its compact form.
class JsonText {
public:
    explicit JsonText(qsizetype bytes) { m_out.reserve(bytes); }
    JsonText& Key(const char* key) {
        if (m_comma) {
            m_out += ',';
        }
        m_out += '"';
        m_out += key;
        m_out += "\":";
        m_comma = false;
        return *this;
    }
    JsonText& String(const QString& text) {
        m_out += '"';
        for (const char c : text.toUtf8()) {
            const auto u = static_cast<unsigned char>(c);
            if (c == '"' || c == '\\') {
                m_out += '\\';
                m_out += c;
            } else if (u < 0x20) {
                static const char* const kShort = "\b\f\n\r\t";
                static const char* const kLetter = "bfnrt";
                const char* at = std::strchr(kShort, c);
                m_out += at != nullptr && c != 0
                             ? QByteArray("\\") + kLetter[at - kShort]
                             : "\\u00" + QByteArray::number(u, 16).rightJustified(2, '0');
            } else {
                m_out += c;
            }
        }
        m_out += '"';
        return Value();
    }
    JsonText& StringOrNull(const QString& text) { return text.isEmpty() ? Null() : String(text); }
    JsonText& Number(qint64 n) {
        m_out += QByteArray::number(n);
        return Value();
    }
    JsonText& Null() {
        m_out += "null";
        return Value();
    }
    JsonText& Open(char bracket) {
        if (m_comma) {
            m_out += ',';
        }
        m_out += bracket;
        m_comma = false;
        return *this;
    }
    JsonText& Close(char bracket) {
        m_out += bracket;
        return Value();
    }
    QByteArray Take() { return std::move(m_out); }

private:
    JsonText& Value() {
        m_comma = true;
        return *this;
    }

    QByteArray m_out;
    bool m_comma = false;
};

void EventJson(JsonText& json, const archive::EventRow& e) {
    const EventRecord& r = e.record;
    json.Open('{');
    json.Key("code");
    e.code >= 0 ? json.Number(e.code) : json.Null();
    json.Key("day").String(r.day).Key("event").String(r.event);
    json.Key("generation").Number(e.generation).Key("hour").String(r.hour);
    json.Key("minute").String(r.minute).Key("month").String(r.month);
    json.Key("msecond").String(r.msecond).Key("position").Number(e.position);
    json.Key("read").Number(e.readId).Key("second").String(r.second);
    json.Key("time").StringOrNull(e.at).Key("year").String(r.year);
    json.Close('}');
}

// The graph's label of a signal: its start text without the trailing "启动".
QString SignalLabel(const SignalTexts& texts) {
    QString label = texts.start;
    if (label.endsWith(QStringLiteral("启动"))) {
        label.chop(2);
    }
    return label;
}

QJsonArray SignalsJson(int variant) {
    QJsonArray list;
    const SignalTable& table = SignalTableOf(variant);
    for (int s = 0; s < SignalCountOf(variant); ++s) {
        const SignalTexts& t = table[static_cast<std::size_t>(s)];
        list.append(QJsonObject{{QStringLiteral("label"), SignalLabel(t)},
                                {QStringLiteral("start"), t.start},
                                {QStringLiteral("return"), t.ret},
                                {QStringLiteral("channel"), t.channel}});
    }
    return list;
}

QJsonArray NumbersJson(const std::vector<qint64>& numbers) {
    QJsonArray list;
    for (qint64 n : numbers) {
        list.append(static_cast<double>(n));
    }
    return list;
}

// A download's file name: the device and the range, every character outside a safe set
// replaced, so no header or path can be made of it.
QByteArray DownloadName(const EventQuery& q, const char* suffix) {
    QString name = q.device.name;
    if (q.range.from.isValid()) {
        name += QLatin1Char('_') + LocalText(q.range.from).left(10);
    }
    if (q.range.to.isValid()) {
        name += QLatin1Char('_') + LocalText(q.range.to).left(10);
    }
    QByteArray ascii;
    for (const QChar c : name) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                          c == QLatin1Char('-') || c == QLatin1Char('_');
        ascii += safe ? static_cast<char>(c.unicode()) : '_';
    }
    return "attachment; filename=\"" + ascii.left(120) + suffix + '"';
}

QString PromLabel(const QString& value) {
    QString v = value;
    v.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    v.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    v.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return v;
}

struct StaticFile {
    const char* path;
    const char* resource;
    const char* type;
};

constexpr StaticFile kStaticFiles[] = {
    {"/", ":/web/index.html", "text/html; charset=utf-8"},
    {"/index.html", ":/web/index.html", "text/html; charset=utf-8"},
    {"/device.html", ":/web/device.html", "text/html; charset=utf-8"},
    {"/app.css", ":/web/app.css", "text/css; charset=utf-8"},
    {"/common.js", ":/web/common.js", "text/javascript; charset=utf-8"},
    {"/fleet.js", ":/web/fleet.js", "text/javascript; charset=utf-8"},
    {"/device.js", ":/web/device.js", "text/javascript; charset=utf-8"},
};

bool SameSecret(const QByteArray& a, const QByteArray& b) {
    // Compares digests, so the time taken says nothing about how much of a guess was right.
    return QCryptographicHash::hash(a, QCryptographicHash::Sha256) ==
           QCryptographicHash::hash(b, QCryptographicHash::Sha256);
}

}  // namespace

bool MissedLastPoll(const archive::DeviceRow& device, const QDateTime& now) {
    if (!device.lastSuccess.isValid()) {
        return true;
    }
    if (device.lastErrorAt.isValid() && device.lastErrorAt > device.lastSuccess) {
        return true;
    }
    return device.nextPoll.isValid() && device.nextPoll.addSecs(60) < now;
}

WebApi::WebApi(const archive::Archive& archive, Access access,
               std::shared_ptr<EventIndexCache> indexes)
    : m_archive(archive),
      m_access(std::move(access)),
      m_now([] { return QDateTime::currentDateTimeUtc(); }),
      m_indexes(indexes ? std::move(indexes) : std::make_shared<EventIndexCache>()) {}

bool WebApi::Authorised(const QByteArray& authorization) const {
    if (!m_access.Required()) {
        return true;
    }
    if (!m_access.token.isEmpty() && authorization.startsWith("Bearer ") &&
        SameSecret(authorization.mid(7).trimmed(), m_access.token.toUtf8())) {
        return true;
    }
    if (!m_access.user.isEmpty() && authorization.startsWith("Basic ")) {
        const QByteArray pair = QByteArray::fromBase64(authorization.mid(6).trimmed());
        return SameSecret(pair, (m_access.user + QLatin1Char(':') + m_access.password).toUtf8());
    }
    return false;
}

WebAnswer WebApi::Answer(const WebRequest& request) {
    WebAnswer answer;
    if (!Authorised(request.authorization)) {
        answer = ProblemAnswer(
            {401, QStringLiteral("需要登录"), QStringLiteral("authentication required")});
        AddHeader(answer, {"WWW-Authenticate", "Basic realm=\"kp650\", charset=\"UTF-8\""});
    } else if (request.method != "GET" && request.method != "HEAD") {
        answer = ProblemAnswer(
            {405, QStringLiteral("只能读取"), QStringLiteral("only GET is served: read-only")});
        AddHeader(answer, {"Allow", "GET, HEAD"});
    } else {
        static QElapsedTimer clock;
        if (!clock.isValid()) {
            clock.start();
        }
        QString key = request.path;
        for (const auto& [name, value] : request.query) {
            key += QLatin1Char('\n') + name + QLatin1Char('=') + value;
        }
        const auto it = m_reused.constFind(key);
        if (m_reuseMs > 0 && it != m_reused.constEnd() && clock.elapsed() - it->at < m_reuseMs) {
            answer = it->answer;
        } else {
            answer = Route(request);
            if (answer.body.size() > limits::kAnswerBytesMax) {
                answer = ProblemAnswer({413, QStringLiteral("答复过大，请缩小范围"),
                                        QStringLiteral("the answer is too large; ask for less")});
            }
            if (m_reuseMs > 0 && answer.status == 200) {
                if (m_reused.size() >= 256) {
                    m_reused.clear();
                }
                m_reused.insert(key, {clock.elapsed(), answer});
            }
        }
    }
    AddHeader(answer, {"X-Content-Type-Options", "nosniff"});
    AddHeader(answer, {"Cache-Control", "no-store"});
    AddHeader(answer, {"Content-Security-Policy",
                       "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'"});
    AddHeader(answer, {"Referrer-Policy", "no-referrer"});
    if (request.method == "HEAD") {
        AddHeader(answer, {"Content-Length", QByteArray::number(answer.body.size())});
        answer.body.clear();
    }
    return answer;
}

std::shared_ptr<const archive::EventIndex> EventIndexCache::Find(const QString& range,
                                                                 qint64 version) const {
    const std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_indexed.constFind(range);
    return it != m_indexed.constEnd() && it->version == version ? it->index : nullptr;
}

void EventIndexCache::Keep(const QString& range, qint64 version,
                           std::shared_ptr<const archive::EventIndex> index) {
    const std::lock_guard<std::mutex> lock(m_mutex);
    if (m_indexed.size() >= 1024) {
        m_indexed.clear();
    }
    m_indexed.insert(range, {version, std::move(index)});
}

std::shared_ptr<const archive::EventIndex> WebApi::IndexOf(const archive::EventQuery& range,
                                                           QString* error) {
    // A key every 256 events: a page steps over at most 255 of them.
    constexpr int kKeyEvery = 256;
    const std::optional<qint64> version = m_archive.Version(error);
    if (!version) {
        return nullptr;
    }
    const QString key = range.device + QLatin1Char('\n') + LocalText(range.from) +
                        QLatin1Char('\n') + LocalText(range.to);
    if (auto found = m_indexes->Find(key, *version)) {
        return found;
    }
    std::optional<archive::EventIndex> index = m_archive.IndexEvents(range, kKeyEvery, error);
    if (!index) {
        return nullptr;
    }
    auto kept = std::make_shared<const archive::EventIndex>(std::move(*index));
    m_indexes->Keep(key, *version, kept);
    return kept;
}

WebAnswer WebApi::Route(const WebRequest& request) {
    const QString& path = request.path;
    for (const StaticFile& f : kStaticFiles) {
        if (path == QLatin1String(f.path)) {
            QFile file(QString::fromLatin1(f.resource));
            if (!file.open(QIODevice::ReadOnly)) {
                return StorageAnswer(QStringLiteral("missing resource"));
            }
            WebAnswer a;
            a.contentType = f.type;
            a.body = file.readAll();
            return a;
        }
    }
    if (path == QLatin1String("/api/devices")) {
        return DevicesAnswer(request);
    }
    if (path == QLatin1String("/api/reads")) {
        return ReadsAnswer(request);
    }
    if (path == QLatin1String("/api/events") || path == QLatin1String("/api/events.csv") ||
        path == QLatin1String("/api/events.cfg") || path == QLatin1String("/api/events.dat")) {
        return EventsAnswer(request);
    }
    if (path == QLatin1String("/api/traces")) {
        return TracesAnswer(request);
    }
    if (path == QLatin1String("/api/event-texts")) {
        return EventTextsAnswer(request);
    }
    if (path == QLatin1String("/metrics")) {
        return MetricsAnswer(request);
    }
    return ProblemAnswer({404, QStringLiteral("没有这个页面"), QStringLiteral("no such page")});
}

WebAnswer WebApi::DevicesAnswer(const WebRequest& request) {
    std::optional<Problem> problem;
    QString error;
    const Parameters p(request.query, {}, &problem);
    if (problem) {
        return ProblemAnswer(*problem);
    }
    const std::vector<archive::DeviceRow> fleet = m_archive.Devices(&error);
    if (!error.isEmpty()) {
        return StorageAnswer(error);
    }
    const QDateTime now = m_now();
    QJsonArray list;
    for (const archive::DeviceRow& d : fleet) {
        QJsonObject o;
        o.insert(QStringLiteral("name"), d.name);
        o.insert(QStringLiteral("station"), d.station);
        o.insert(QStringLiteral("channel"), d.channel);
        o.insert(QStringLiteral("port"), d.port);
        o.insert(QStringLiteral("variant"), VariantName(d.variant));
        o.insert(QStringLiteral("identification"),
                 d.idVersion.isEmpty() ? QJsonValue()
                                       : QJsonObject{{QStringLiteral("version"), d.idVersion},
                                                     {QStringLiteral("date"), d.idDate},
                                                     {QStringLiteral("checksum"), d.idChecksum}});
        o.insert(QStringLiteral("lastSuccess"), UtcOrNull(d.lastSuccess));
        o.insert(QStringLiteral("lastError"), TextOrNull(d.lastError));
        o.insert(QStringLiteral("lastErrorAt"), UtcOrNull(d.lastErrorAt));
        o.insert(QStringLiteral("nextPoll"), UtcOrNull(d.nextPoll));
        o.insert(QStringLiteral("collector"), TextOrNull(d.collector));
        o.insert(QStringLiteral("records"), static_cast<double>(d.records));
        o.insert(QStringLiteral("reads"), static_cast<double>(d.reads));
        o.insert(QStringLiteral("failedReads"), static_cast<double>(d.failedReads));
        o.insert(QStringLiteral("lastReadAt"), UtcOrNull(d.lastReadAt));
        o.insert(QStringLiteral("lastReadOutcome"), TextOrNull(d.lastReadOutcome));
        o.insert(QStringLiteral("clockOffsetMs"), NumberOrNull(d.clockOffsetMs));
        o.insert(QStringLiteral("missed"), MissedLastPoll(d, now));
        list.append(o);
    }
    return JsonAnswer({{QStringLiteral("now"), now.toUTC().toString(kUtcFormat)},
                       {QStringLiteral("devices"), list}});
}

WebAnswer WebApi::ReadsAnswer(const WebRequest& request) {
    std::optional<Problem> problem;
    QString error;
    const Parameters p(request.query, {"device", "offset", "limit"}, &problem);
    const std::optional<qint64> offset =
        problem ? std::nullopt : Integer(p, "offset", 0, 1000000000, 0, &problem);
    const std::optional<qint64> limit =
        problem ? std::nullopt : Integer(p, "limit", 1, limits::kPageMax, 100, &problem);
    const std::optional<DeviceChoice> device =
        problem ? std::nullopt : Device(p, m_archive, &problem);
    if (problem) {
        return ProblemAnswer(*problem);
    }
    const auto total = m_archive.ReadCount(device->name, &error);
    const std::vector<archive::ReadRow> reads =
        total ? m_archive.Reads(device->name, *offset, static_cast<int>(*limit), &error,
                                archive::ReadOrder::Newest)
              : std::vector<archive::ReadRow>();
    if (!error.isEmpty()) {
        return StorageAnswer(error);
    }
    QJsonArray list;
    for (const archive::ReadRow& r : reads) {
        list.append(QJsonObject{{QStringLiteral("id"), static_cast<double>(r.id)},
                                {QStringLiteral("collector"), r.collector},
                                {QStringLiteral("host"), r.host},
                                {QStringLiteral("started"), UtcOrNull(r.started)},
                                {QStringLiteral("finished"), UtcOrNull(r.finished)},
                                {QStringLiteral("clockOffsetMs"), NumberOrNull(r.clockOffsetMs)},
                                {QStringLiteral("outcome"), r.outcome},
                                {QStringLiteral("records"), r.recordCount},
                                {QStringLiteral("newRecords"), r.newRecords},
                                {QStringLiteral("generation"), r.generation}});
    }
    return JsonAnswer({{QStringLiteral("device"), device->name},
                       {QStringLiteral("total"), static_cast<double>(*total)},
                       {QStringLiteral("offset"), static_cast<double>(*offset)},
                       {QStringLiteral("limit"), static_cast<double>(*limit)},
                       {QStringLiteral("reads"), list}});
}

WebAnswer WebApi::EventsAnswer(const WebRequest& request) {
    std::optional<Problem> problem;
    QString error;
    const QString& path = request.path;
    const bool csv = path == QLatin1String("/api/events.csv");
    const bool cfg = path == QLatin1String("/api/events.cfg");
    const bool dat = path == QLatin1String("/api/events.dat");
    const bool download = csv || cfg || dat;
    const std::optional<EventQuery> q = ParseEventQuery(
        request, m_archive, download ? limits::kDownloadMax : limits::kPageMax, &problem);
    if (!q) {
        return ProblemAnswer(*problem);
    }
    if ((cfg || dat) && q->device.variant < 0) {
        return ProblemAnswer({400, QStringLiteral("装置型号未知，不能导出COMTRADE文件"),
                              QStringLiteral("the device's variant is not known yet, so its"
                                             " signals cannot be exported")});
    }
    archive::EventQuery page = q->range;
    page.offset = q->offset;
    page.limit = q->limit;
    qint64 total = 0;
    if (!download) {
        const std::shared_ptr<const archive::EventIndex> index = IndexOf(q->range, &error);
        if (!index) {
            return StorageAnswer(error);
        }
        total = index->count;
        // Enter the range at the key before the page instead of stepping over every event.
        const std::size_t k = static_cast<std::size_t>(q->offset / index->every);
        if (k > 0 && k < index->keys.size()) {
            page.start = index->keys[k];
            page.offset = q->offset - static_cast<qint64>(k) * index->every;
        }
    }
    const std::vector<archive::EventRow> events = m_archive.Events(page, &error);
    if (!error.isEmpty()) {
        return StorageAnswer(error);
    }
    if (download) {
        std::vector<EventRecord> recs;
        recs.reserve(events.size());
        for (const archive::EventRow& e : events) {
            recs.push_back(e.record);
        }
        WebAnswer a;
        if (csv) {
            a.contentType = "text/csv; charset=utf-8";
            a.body = RecordsToCsv(recs);
        } else {
            const ComtradeFiles files = RecordsToComtrade(recs, q->device.variant);
            a.contentType = "text/plain; charset=us-ascii";
            a.body = cfg ? files.cfg : files.dat;
        }
        AddHeader(a, {"Content-Disposition", DownloadName(*q, csv   ? ".csv"
                                                              : cfg ? ".cfg"
                                                                    : ".dat")});
        return a;
    }
    JsonText json(256 + static_cast<qsizetype>(events.size()) * 256);
    json.Open('{').Key("device").String(q->device.name).Key("events").Open('[');
    for (const archive::EventRow& e : events) {
        EventJson(json, e);
    }
    json.Close(']');
    json.Key("from").StringOrNull(LocalText(q->range.from));
    json.Key("limit").Number(q->limit).Key("offset").Number(q->offset);
    json.Key("to").StringOrNull(LocalText(q->range.to)).Key("total").Number(total);
    json.Key("variant");
    q->device.variant >= 0
        ? json.String(q->device.variant == 0 ? QStringLiteral("A") : QStringLiteral("B"))
        : json.Null();
    json.Close('}');
    WebAnswer a;
    a.contentType = "application/json; charset=utf-8";
    a.body = json.Take();
    return a;
}

WebAnswer WebApi::TracesAnswer(const WebRequest& request) {
    std::optional<Problem> problem;
    QString error;
    const std::optional<EventQuery> q = ParseEventQuery(request, m_archive, 0, &problem);
    if (!q) {
        return ProblemAnswer(*problem);
    }
    const std::shared_ptr<const archive::EventIndex> index = IndexOf(q->range, &error);
    if (!index) {
        return StorageAnswer(error);
    }
    const qint64 total = index->count;
    if (total > limits::kTraceRecordMax) {
        return ProblemAnswer(
            {413,
             QStringLiteral("该时间范围内有 %1 条事件，超过 %2 条，请缩小日期范围")
                 .arg(total)
                 .arg(limits::kTraceRecordMax),
             QStringLiteral("%1 events in the range, more than %2: choose a shorter range")
                 .arg(total)
                 .arg(limits::kTraceRecordMax)});
    }
    archive::EventQuery all = q->range;
    all.limit = static_cast<int>(total);
    const std::vector<archive::EventRow> events = m_archive.Events(all, &error);
    if (!error.isEmpty()) {
        return StorageAnswer(error);
    }
    std::vector<EventRecord> recs;
    recs.reserve(events.size());
    for (const archive::EventRow& e : events) {
        recs.push_back(e.record);
    }
    const int variant = q->device.variant == 0 ? 0 : 1;
    // Every record is already inside the range, so the date keys let all of them through.
    const Timeline timeline =
        BuildTimeline(recs, SignalTableOf(variant), DateKey(0, 0, 0), DateKey(99999, 12, 31));
    QJsonArray traces;
    for (int s = 0; s < SignalCountOf(variant); ++s) {
        const TraceData& t = timeline.traces[static_cast<std::size_t>(s)];
        std::size_t used = 0;
        RunTotal(t.runs, &used);
        traces.append(
            QJsonObject{{QStringLiteral("runs"),
                         NumbersJson(std::vector<qint64>(t.runs.begin(), t.runs.begin() + used))},
                        {QStringLiteral("markers"), NumbersJson(t.markers)}});
    }
    QJsonArray anchors;
    for (const TimeAnchor& a : timeline.anchors) {
        anchors.append(
            QJsonArray{static_cast<double>(a.position),
                       a.valid ? QJsonValue(static_cast<double>(a.time)) : QJsonValue()});
    }
    return JsonAnswer({{QStringLiteral("device"), q->device.name},
                       {QStringLiteral("variant"), VariantName(q->device.variant)},
                       {QStringLiteral("records"), static_cast<double>(recs.size())},
                       {QStringLiteral("end"), static_cast<double>(timeline.end)},
                       {QStringLiteral("signals"), SignalsJson(variant)},
                       {QStringLiteral("traces"), traces},
                       {QStringLiteral("anchors"), anchors}});
}

WebAnswer WebApi::EventTextsAnswer(const WebRequest& request) {
    std::optional<Problem> problem;
    const Parameters p(request.query, {"variant"}, &problem);
    const std::optional<QString> v = problem ? std::nullopt : p.Value(QStringLiteral("variant"));
    if (!problem && (!v || (*v != QLatin1String("A") && *v != QLatin1String("B")))) {
        problem = Problem{400, QStringLiteral("参数 variant 应为 A 或 B"),
                          QStringLiteral("parameter variant must be A or B")};
    }
    if (problem) {
        return ProblemAnswer(*problem);
    }
    const int variant = *v == QLatin1String("A") ? 0 : 1;
    QJsonArray texts;
    for (int code = 0; code < records::kEventTextCount; ++code) {
        texts.append(EventText(code, variant));
    }
    return JsonAnswer({{QStringLiteral("variant"), *v},
                       {QStringLiteral("texts"), texts},
                       {QStringLiteral("codeError"), records::kEventCodeErrorText},
                       {QStringLiteral("signals"), SignalsJson(variant)}});
}

WebAnswer WebApi::MetricsAnswer(const WebRequest& request) {
    std::optional<Problem> problem;
    QString error;
    const Parameters p(request.query, {}, &problem);
    if (problem) {
        return ProblemAnswer(*problem);
    }
    const std::vector<archive::DeviceRow> fleet = m_archive.Devices(&error);
    if (!error.isEmpty()) {
        return StorageAnswer(error);
    }
    const QDateTime now = m_now();
    QString text;
    const auto family = [&text](const char* name, const char* type, const char* help) {
        text += QStringLiteral("# HELP %1 %2\n# TYPE %1 %3\n")
                    .arg(QLatin1String(name), QLatin1String(help), QLatin1String(type));
    };
    family("kp650_devices", "gauge", "Devices in the archive.");
    text += QStringLiteral("kp650_devices %1\n").arg(fleet.size());
    qint64 all = 0;
    for (const archive::DeviceRow& d : fleet) {
        all += d.records;
    }
    family("kp650_records_archived", "gauge", "Events in the archive, all devices.");
    text += QStringLiteral("kp650_records_archived %1\n").arg(all);
    const auto perDevice =
        [&](const char* name, const char* type, const char* help,
            const std::function<std::optional<QString>(const archive::DeviceRow&)>& value) {
            family(name, type, help);
            for (const archive::DeviceRow& d : fleet) {
                const std::optional<QString> v = value(d);
                if (v) {
                    text += QStringLiteral("%1{device=\"%2\",station=\"%3\",channel=\"%4\"} %5\n")
                                .arg(QLatin1String(name), PromLabel(d.name), PromLabel(d.station),
                                     PromLabel(d.channel), *v);
                }
            }
        };
    perDevice("kp650_device_last_success_timestamp_seconds", "gauge",
              "Time of the device's last successful read, seconds since 1970 UTC.",
              [](const archive::DeviceRow& d) -> std::optional<QString> {
                  const QDateTime& t = d.lastSuccess;
                  if (!t.isValid()) {
                      return std::nullopt;
                  }
                  return QString::number(static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0, 'f',
                                         3);
              });
    perDevice("kp650_device_last_error_timestamp_seconds", "gauge",
              "Time of the device's last failed poll, seconds since 1970 UTC.",
              [](const archive::DeviceRow& d) -> std::optional<QString> {
                  const QDateTime& t = d.lastErrorAt;
                  if (!t.isValid()) {
                      return std::nullopt;
                  }
                  return QString::number(static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0, 'f',
                                         3);
              });
    perDevice("kp650_device_reads_total", "counter", "Reads of the device, any outcome.",
              [](const archive::DeviceRow& d) { return QString::number(d.reads); });
    perDevice("kp650_device_read_failures_total", "counter", "Reads of the device that failed.",
              [](const archive::DeviceRow& d) { return QString::number(d.failedReads); });
    perDevice("kp650_device_records_archived", "gauge", "Events archived from the device.",
              [](const archive::DeviceRow& d) { return QString::number(d.records); });
    perDevice("kp650_device_missed_poll", "gauge",
              "1 when the device missed its last poll, else 0.",
              [&now](const archive::DeviceRow& d) {
                  return QString::number(MissedLastPoll(d, now) ? 1 : 0);
              });
    perDevice("kp650_device_clock_offset_seconds", "gauge",
              "Device clock minus host clock at the latest read that measured it.",
              [](const archive::DeviceRow& d) -> std::optional<QString> {
                  if (!d.clockOffsetMs) {
                      return std::nullopt;
                  }
                  return QString::number(static_cast<double>(*d.clockOffsetMs) / 1000.0, 'f', 3);
              });
    WebAnswer a;
    a.contentType = "text/plain; version=0.0.4; charset=utf-8";
    a.body = text.toUtf8();
    return a;
}

}  // namespace web
