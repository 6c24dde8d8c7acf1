#include "model/channel_logs.h"

#include <QRandomGenerator>
#include <QTimeZone>

#include <algorithm>
#include <set>

namespace sim {

namespace {

struct Timed {
    qint64 time;
    QString event;
};

EventRecord RecordAt(qint64 ms, const QString& event) {
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc());
    const QDate d = t.date();
    const QTime c = t.time();
    return EventRecord{QString::number(d.year()),   QString::number(d.month()),
                       QString::number(d.day()),    QString::number(c.hour()),
                       QString::number(c.minute()), QString::number(c.second()),
                       QString::number(c.msec()),   event};
}

std::vector<EventRecord> InOrder(std::vector<Timed> events) {
    std::stable_sort(events.begin(), events.end(),
                     [](const Timed& a, const Timed& b) { return a.time < b.time; });
    std::vector<EventRecord> out;
    out.reserve(events.size());
    for (const Timed& e : events) {
        out.push_back(RecordAt(e.time, e.event));
    }
    return out;
}

QString Start(int n) {
    return QStringLiteral("命令%1启动").arg(n);
}

QString Return(int n) {
    return QStringLiteral("命令%1返回").arg(n);
}

}  // namespace

ChannelLogs GenerateChannelLogs(const ChannelPlan& plan, const QDateTime& start) {
    QRandomGenerator rng(plan.seed);
    const int count = std::max(0, plan.commands);
    // The device clock has no zone: the start's reading is taken as it is.
    const qint64 t0 = QDateTime(start.date(), start.time(), QTimeZone::utc()).toMSecsSinceEpoch();
    std::set<int> lost;
    const int missing = std::min(plan.missing, count);
    while (static_cast<int>(lost.size()) < missing) {
        lost.insert(static_cast<int>(rng.bounded(count)));
    }
    std::vector<Timed> tx;
    std::vector<Timed> rx;
    std::vector<qint64> sentAt;
    qint64 t = t0;
    for (int k = 0; k < count; ++k) {
        t += 20000 + rng.bounded(100000);
        const int n = 1 + static_cast<int>(rng.bounded(3));
        const qint64 length = 100 + rng.bounded(400);
        sentAt.push_back(t);
        tx.push_back({t, Start(n)});
        tx.push_back({t + length, Return(n)});
        const qint64 jitter =
            plan.jitterMs > 0
                ? static_cast<qint64>(rng.bounded(2 * plan.jitterMs + 1)) - plan.jitterMs
                : 0;
        const qint64 r = t + plan.offsetMs + std::max<qint64>(0, plan.delayMs + jitter);
        if (lost.count(k) != 0) {
            rx.push_back({r - 300, QStringLiteral("通道故障告警")});
            rx.push_back({r + length + 300, QStringLiteral("通道故障告警返回")});
        } else {
            rx.push_back({r, Start(n)});
            rx.push_back({r + length, Return(n)});
        }
    }
    // Unwanted receipts fall halfway between two sent commands, where nothing was sent.
    for (int u = 0; u < plan.unwanted && count > 1; ++u) {
        const int k = static_cast<int>(rng.bounded(count - 1));
        const qint64 r = (sentAt[k] + sentAt[k + 1]) / 2 + plan.offsetMs;
        const int n = 1 + static_cast<int>(rng.bounded(3));
        rx.push_back({r, Start(n)});
        rx.push_back({r + 150, Return(n)});
    }
    return ChannelLogs{InOrder(std::move(tx)), InOrder(std::move(rx))};
}

}  // namespace sim
