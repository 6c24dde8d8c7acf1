#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>
#include <memory>
#include <mutex>

#include "archive/archive.h"

// What the web page and the JSON API answer, as plain values: a request (method, path, query,
// the Authorization header) in, a status, a content type and a body out. The HTTP server only
// carries these; tests call Answer() directly.
//
//   /                 the fleet page; /device.html one device; their scripts and style sheet
//   /api/devices      every device with its status
//   /api/reads        reads of one device, newest first, paged
//   /api/events       events of one device in [from, to), time order, paged
//   /api/events.csv   the same events as CSV, /api/events.cfg and .dat as COMTRADE
//   /api/traces       the graph's on/off traces of one device's events in [from, to)
//   /api/event-texts  the variant's event texts and signals
//   /metrics          the Prometheus text format
//
// Every parameter is checked; a bad one gives 400 with a Chinese and a plain message. Static
// files come from a fixed table of compiled-in resources, never from a path in the URL.

namespace web {

struct WebRequest {
    QByteArray method = "GET";
    QString path;
    QList<QPair<QString, QString>> query;  // decoded, in order
    QByteArray authorization;              // the Authorization header, when sent
};

struct WebAnswer {
    int status = 200;
    QByteArray contentType;
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers;  // beyond the content type
};

// Who may read. Empty: anybody who reaches the port (the default, on the loopback address).
struct Access {
    QString token;     // "Authorization: Bearer TOKEN"
    QString user;      // with password: "Authorization: Basic ..."
    QString password;  //
    bool Required() const { return !token.isEmpty() || !user.isEmpty(); }
};

namespace limits {
inline constexpr int kPageMax = 1000;           // events or reads in one JSON answer
inline constexpr int kDownloadMax = 50000;      // events in one CSV or COMTRADE download
inline constexpr int kTraceRecordMax = 200000;  // events behind one trace answer
inline constexpr int kAnswerBytesMax = 16 * 1024 * 1024;
}  // namespace limits

// Counts and page keys of event ranges, shared by a server's workers: a range is indexed once
// per archive version, not once per worker. Safe to use from several threads.
class EventIndexCache {
public:
    std::shared_ptr<const archive::EventIndex> Find(const QString& range, qint64 version) const;
    void Keep(const QString& range, qint64 version,
              std::shared_ptr<const archive::EventIndex> index);

private:
    struct Indexed {
        qint64 version = -1;
        std::shared_ptr<const archive::EventIndex> index;
    };
    mutable std::mutex m_mutex;
    QHash<QString, Indexed> m_indexed;
};

class WebApi {
public:
    // Without a cache of its own to share, the API keeps one.
    explicit WebApi(const archive::Archive& archive, Access access = {},
                    std::shared_ptr<EventIndexCache> indexes = {});

    WebAnswer Answer(const WebRequest& request);

    // The clock that judges missed polls (tests fix it).
    void SetClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    // How long an answer is reused for the same request: the archive changes once per poll,
    // and a page open in many browsers should not recount it for each. 0 turns reuse off.
    void SetReuseMs(int ms) { m_reuseMs = ms; }

private:
    WebAnswer Route(const WebRequest& request);
    WebAnswer DevicesAnswer(const WebRequest& request);
    WebAnswer ReadsAnswer(const WebRequest& request);
    WebAnswer EventsAnswer(const WebRequest& request);
    WebAnswer TracesAnswer(const WebRequest& request);
    WebAnswer EventTextsAnswer(const WebRequest& request);
    WebAnswer MetricsAnswer(const WebRequest& request);
    // A range's count and page keys, made again only when the archive changed: every page of
    // a long range would otherwise count it whole, and step over every event before it.
    std::shared_ptr<const archive::EventIndex> IndexOf(const archive::EventQuery& range,
                                                       QString* error);
    bool Authorised(const QByteArray& authorization) const;

    const archive::Archive& m_archive;
    Access m_access;
    std::function<QDateTime()> m_now;
    int m_reuseMs = 1000;
    struct Reused {
        qint64 at = 0;
        WebAnswer answer;
    };
    QHash<QString, Reused> m_reused;
    std::shared_ptr<EventIndexCache> m_indexes;
};

// A device missed its last poll: it never answered, its latest attempt failed, or its next poll
// is more than a minute overdue (no collector is polling it).
bool MissedLastPoll(const archive::DeviceRow& device, const QDateTime& now);

}  // namespace web
