#include "graph/time_axis.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;

constexpr std::array<qint64, 30> kLadder = {1,
                                            2,
                                            5,
                                            10,
                                            20,
                                            50,
                                            100,
                                            200,
                                            500,
                                            kSecond,
                                            2 * kSecond,
                                            5 * kSecond,
                                            10 * kSecond,
                                            15 * kSecond,
                                            30 * kSecond,
                                            kMinute,
                                            2 * kMinute,
                                            5 * kMinute,
                                            10 * kMinute,
                                            15 * kMinute,
                                            30 * kMinute,
                                            kHour,
                                            2 * kHour,
                                            3 * kHour,
                                            6 * kHour,
                                            12 * kHour,
                                            kDay,
                                            2 * kDay,
                                            5 * kDay,
                                            10 * kDay};

// Floor division that also holds for times before 1970.
qint64 FloorDiv(qint64 a, qint64 b) {
    const qint64 q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

QString SampleText(AxisForm form) {
    switch (form) {
        case AxisForm::Milliseconds:
            return QStringLiteral("00:00:00.000");
        case AxisForm::Seconds:
            return QStringLiteral("00:00:00");
        case AxisForm::Minutes:
            return QStringLiteral("00:00");
        case AxisForm::Days:
            break;
    }
    return QStringLiteral("0000-00-00");
}

QDateTime WallClock(qint64 time) {
    return QDateTime::fromMSecsSinceEpoch(time, QTimeZone::utc());
}

}  // namespace

AxisForm AxisFormOf(qint64 stepMs) {
    if (stepMs < kSecond) {
        return AxisForm::Milliseconds;
    }
    if (stepMs < kMinute) {
        return AxisForm::Seconds;
    }
    if (stepMs < kDay) {
        return AxisForm::Minutes;
    }
    return AxisForm::Days;
}

QString AxisTimeText(qint64 time, AxisForm form) {
    switch (form) {
        case AxisForm::Milliseconds:
            return WallClock(time).toString(QStringLiteral("HH:mm:ss.zzz"));
        case AxisForm::Seconds:
            return WallClock(time).toString(QStringLiteral("HH:mm:ss"));
        case AxisForm::Minutes:
            return WallClock(time).toString(QStringLiteral("HH:mm"));
        case AxisForm::Days:
            break;
    }
    return AxisDateText(time);
}

QString AxisDateText(qint64 time) {
    return WallClock(time).toString(QStringLiteral("yyyy-MM-dd"));
}

qint64 AxisStepMs(double pxPerMs, const AxisTextWidth& textWidth) {
    if (!(pxPerMs > 0)) {
        return kLadder.back();
    }
    const auto fits = [&](qint64 step) {
        return static_cast<double>(step) * pxPerMs >= textWidth(SampleText(AxisFormOf(step))) +
                                                          graph::kAxisLabelGap +
                                                          graph::kAxisLabelIndent;
    };
    for (qint64 step : kLadder) {
        if (fits(step)) {
            return step;
        }
    }
    // Beyond the ladder: 20, 50, 100, 200, 500 days and on.
    qint64 step = kLadder.back();
    for (int k = 0; k < 60 && !fits(step); ++k) {
        step = (k % 3 == 1) ? step / 2 * 5 : step * 2;
    }
    return step;
}

AxisLayout LayOutAxis(const std::vector<TimeAnchor>& anchors, qint64 end, const TraceView& view,
                      qint64 total, int width, const AxisTextWidth& textWidth) {
    AxisLayout axis;
    if (anchors.empty() || total <= 0 || !(view.pxPerMs > 0) || width <= 0) {
        return axis;
    }
    axis.stepMs = AxisStepMs(view.pxPerMs, textWidth);
    const AxisForm form = AxisFormOf(axis.stepMs);
    const qint64 step = axis.stepMs;

    // Visible timeline positions, one column of slack on either side.
    const qint64 from = static_cast<qint64>(std::floor((-1 - view.originX) / view.pxPerMs));
    const qint64 to = static_cast<qint64>(std::ceil((width + 1 - view.originX) / view.pxPerMs));

    struct Candidate {
        int x;
        qint64 time;
        bool atBreak;
    };
    std::vector<Candidate> candidates;
    const auto push = [](std::vector<int>& xs, int x) {
        if (xs.empty() || xs.back() != x) {
            xs.push_back(x);
        }
    };
    // The last piece that starts at or before the first visible position.
    auto it =
        std::upper_bound(anchors.begin(), anchors.end(), from,
                         [](qint64 value, const TimeAnchor& a) { return value < a.position; });
    std::size_t k = it == anchors.begin() ? 0 : static_cast<std::size_t>(it - anchors.begin()) - 1;
    for (; k < anchors.size() && anchors[k].position <= to; ++k) {
        const TimeAnchor& a = anchors[k];
        const qint64 pieceEnd = k + 1 < anchors.size() ? anchors[k + 1].position : end;
        if (k > 0 && a.position >= from) {
            const int x = TimelineX(view, total, a.position);
            push(axis.breaks, x);
            if (a.valid) {
                candidates.push_back(Candidate{x, a.time, true});
            }
        }
        if (!a.valid) {
            continue;
        }
        const qint64 lo = std::max(a.position, from);
        const qint64 hi = std::min(pieceEnd, to);
        // The first clean time at or after the wall-clock time of `lo`.
        qint64 t = (FloorDiv(a.time + (lo - a.position) - 1, step) + 1) * step;
        for (qint64 p = a.position + (t - a.time); p < hi; t += step, p += step) {
            // A break's own label already tells the time at the piece's first column.
            if (k > 0 && p == a.position) {
                continue;
            }
            const int x = TimelineX(view, total, p);
            push(axis.ticks, x);
            candidates.push_back(Candidate{x, t, false});
        }
    }

    // Left to right, a label is kept when it clears the previous one and the strip's right edge;
    // it shows its date when that differs from the previous kept label's.
    int right = std::numeric_limits<int>::min() / 2;
    QString lastDate;
    for (const Candidate& c : candidates) {
        const int left = c.x + graph::kAxisLabelIndent;
        if (left < 0 || left < right + graph::kAxisLabelGap) {
            continue;
        }
        AxisLabel label{c.x, AxisTimeText(c.time, form), QString(), c.atBreak};
        const QString date = AxisDateText(c.time);
        if (form != AxisForm::Days && date != lastDate) {
            label.date = date;
        }
        const int w = std::max(textWidth(label.time), textWidth(label.date));
        if (left + w > width) {
            continue;
        }
        right = left + w;
        lastDate = date;
        axis.labels.push_back(std::move(label));
    }
    return axis;
}
