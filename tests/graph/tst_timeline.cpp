#include <QDate>
#include <QRandomGenerator>
#include <QtTest>

#include <array>
#include <vector>

#include "graph/timeline.h"

namespace {

const QString kStart1 = QStringLiteral("命令1启动");
const QString kReturn1 = QStringLiteral("命令1返回");
const QString kStart2 = QStringLiteral("命令2启动");
const QString kReturn2 = QStringLiteral("命令2返回");

EventRecord Rec(int y, int mo, int d, int h, int mi, int s, int ms, const QString& event) {
    return EventRecord{
        QString::number(y),  QString::number(mo), QString::number(d),  QString::number(h),
        QString::number(mi), QString::number(s),  QString::number(ms), event};
}

// Records on 2024-03-05 at a time of day given in ms.
EventRecord At(qint64 ms, const QString& event) {
    return Rec(2024, 3, 5, int(ms / 3600000), int(ms / 60000 % 60), int(ms / 1000 % 60),
               int(ms % 1000), event);
}

Timeline Convert(const std::vector<EventRecord>& table, int variant = 1) {
    TimelineBuilder builder(table, SignalTableOf(variant));
    return builder.LoadTimeline(1, int(table.size()));
}

using Runs = std::vector<qint64>;

// The conversion exactly as the device program has always done it: fixed 500-slot traces,
// markers gathered from slot 499 down, 89 look-ahead flags, every gap re-read from the table.
// Used only on inputs that stay inside those tables.
struct ReferenceConversion {
    ReferenceConversion(const std::vector<EventRecord>& t, const SignalTable& s)
        : table(t), sig(s) {}

    const std::vector<EventRecord>& table;
    const SignalTable& sig;
    int data[7][500] = {};
    int runIndex[7] = {};
    int runState[7] = {};
    int remaining[7] = {};
    int markerCounter[7] = {};
    bool flags[89] = {};
    int pending = 0;
    std::vector<std::pair<int, int>> starts;
    int f = 20;
    QString current;
    QString candidate;

    int Gap(int i, int j) {
        if (int(table.size()) < j) {
            return 0;
        }
        const EventRecord& a = table[i - 1];
        const EventRecord& b = table[j - 1];
        auto key = [](const EventRecord& r) {
            return r.year.toInt() * 372 + r.month.toInt() * 31 + r.day.toInt();
        };
        auto time = [](const EventRecord& r) {
            return ((r.hour.toInt() * 60 + r.minute.toInt()) * 60 + r.second.toInt()) * 1000 +
                   r.msecond.toInt();
        };
        current = a.event;
        candidate = b.event;
        int gap = 60000;
        if (key(b) == key(a)) {
            gap = time(b) - time(a);
        } else if (key(b) == key(a) + 1) {
            gap = time(b) - time(a) + 86400000;
        }
        return gap > 60000 ? 60000 : gap;
    }
    void Append(int s, int state, int ms) {
        if (state == runState[s]) {
            data[s][runIndex[s]] += ms;
        } else {
            ++runIndex[s];
            runState[s] = state;
            data[s][runIndex[s]] = ms;
        }
    }
    void Advance(int g) {
        if (g == 0) {
            return;
        }
        for (int s = 0; s < 7; ++s) {
            int& r = remaining[s];
            if (r < g) {
                if (r > 0) {
                    Append(s, 1, r);
                }
                Append(s, 0, g - r);
                r = 0;
            } else {
                r -= g;
                Append(s, 1, g);
            }
        }
    }
    void Separator() {
        for (int s = 0; s < 7; ++s) {
            Append(s, 0, 20);
        }
    }
    void Shift() {
        for (int k = 0; k < 88; ++k) {
            flags[k] = flags[k + 1];
        }
        flags[88] = false;
        --pending;
    }
    bool AnyRemaining() const {
        for (int r : remaining) {
            if (r != 0) {
                return true;
            }
        }
        return false;
    }
    int StartOf(const QString& text) const {
        for (int s = 0; s < 7; ++s) {
            if (!text.isEmpty() && text == sig[s].start) {
                return s;
            }
        }
        return -1;
    }
    int ReturnOf(const QString& text) const {
        for (int s = 0; s < 7; ++s) {
            if (!text.isEmpty() && text == sig[s].ret) {
                return s;
            }
        }
        return -1;
    }
    void Marker(int s) { data[s][markerCounter[s]--] = f; }
    int RunSum() const {
        int sum = 0;
        for (int i = 1; data[0][i] > 0; ++i) {
            sum += data[0][i];
        }
        return sum;
    }

    void Run(int first, int last) {
        for (int s = 0; s < 7; ++s) {
            runIndex[s] = 1;
            markerCounter[s] = 499;
        }
        Separator();
        for (int pos = first; pos <= last; ++pos) {
            const int next = pos == last ? pos : pos + 1;
            Gap(pos, next);
            const int s = StartOf(current);
            if (s < 0) {
                if (!flags[0]) {
                    const int r = ReturnOf(current);
                    if (r >= 0) {
                        Marker(r);
                    }
                    if (AnyRemaining()) {
                        Advance(Gap(pos, pos + 1));
                    } else {
                        Separator();
                    }
                }
                Shift();
            } else {
                const QString startText = current;
                int cand = next;
                for (;;) {
                    const int q = Gap(pos, cand);
                    if (candidate == sig[s].ret) {
                        starts.emplace_back(pos, f);
                        remaining[s] = q;
                        Shift();
                        const int l = cand - pos - 1;
                        flags[l] = true;
                        if (pending < l) {
                            pending = l;
                        }
                        if (cand == pos + 1 && pending == 0) {
                            Advance(q);
                            if (cand >= last || Gap(pos + 1, pos + 2) != 0) {
                                Separator();
                            }
                        } else {
                            int o = 0;
                            while (o < 89 && flags[o]) {
                                ++o;
                            }
                            if (o > l && o > pending) {
                                Advance(Gap(pos, pos + o));
                                if (Gap(pos + o, pos + o + 1) != 0) {
                                    Separator();
                                }
                            } else {
                                Advance(Gap(pos, pos + 1 + o));
                            }
                        }
                        break;
                    }
                    ++cand;
                    if (candidate == startText || cand > last) {
                        Shift();
                        Marker(s);
                        if (AnyRemaining()) {
                            Advance(Gap(pos, pos + 1));
                        } else {
                            Separator();
                        }
                        break;
                    }
                }
            }
            f = RunSum();
        }
        f += 20;
        Separator();
    }

    Runs RunList(int s) const {
        Runs runs;
        for (int i = 1; data[s][i] > 0; ++i) {
            runs.push_back(data[s][i]);
        }
        return runs;
    }
    Runs Markers(int s) const {
        Runs markers;
        for (int i = 499; i > 0 && data[s][i] > 0; --i) {
            markers.push_back(data[s][i]);
        }
        return markers;
    }
};

// A random day of events: mostly the variant's texts, sometimes others, with gaps from none
// to over a minute and now and then across midnight into the next day.
std::vector<EventRecord> RandomTable(quint32 seed, int variant) {
    QRandomGenerator rng(seed);
    const SignalTable& sig = SignalTableOf(variant);
    std::vector<QString> texts;
    for (const SignalTexts& t : sig) {
        if (!t.start.isEmpty()) {
            texts.push_back(t.start);
            texts.push_back(t.ret);
        }
    }
    texts.push_back(QStringLiteral("其他"));
    texts.push_back(QString());
    const int count = 1 + int(rng.bounded(45));
    QDate date(2024, 1, 28);
    qint64 time = 23 * 3600000LL;
    std::vector<EventRecord> table;
    for (int i = 0; i < count; ++i) {
        switch (rng.bounded(6)) {
            case 0:
                break;
            case 1:
                time += rng.bounded(50);
                break;
            case 2:
            case 3:
                time += rng.bounded(2000);
                break;
            case 4:
                time += rng.bounded(150000);
                break;
            default:
                time += rng.bounded(7200000);
                break;
        }
        if (time >= 86400000) {
            time -= 86400000;
            date = date.addDays(1);
        }
        const QString& text = texts[rng.bounded(int(texts.size()))];
        EventRecord r = At(time, text);
        r.year = QString::number(date.year());
        r.month = QString::number(date.month());
        r.day = QString::number(date.day());
        table.push_back(r);
    }
    return table;
}

}  // namespace

Q_DECLARE_METATYPE(EventRecord)

class TestTimeline : public QObject {
    Q_OBJECT
private slots:
    void dateKey();
    void recordGap_data();
    void recordGap();
    void recordGapPastTableIsZero();
    void sliceOperations();
    void emptyRange();
    void onePair();
    void cutPeriod();
    void unmatchedReturnAndStart();
    void repeatedStart();
    void overlappingCommands();
    void variantARowsWithoutSignal();
    void chooseRecords_data();
    void chooseRecords();
    void startTimeStrings();
    void distantReturnsAndLongRanges();
    void recordsOutOfOrder();
    void matchesReferenceConversion_data();
    void matchesReferenceConversion();
};

void TestTimeline::dateKey() {
    QCOMPARE(DateKey(2024, 3, 5), qint64(2024 * 372 + 3 * 31 + 5));
    QVERIFY(DateKey(2024, 1, 31) + 1 == DateKey(2024, 2, 1));
    QVERIFY(DateKey(2024, 4, 30) + 1 != DateKey(2024, 5, 1));
    QVERIFY(DateKey(2023, 12, 31) < DateKey(2024, 1, 1));
}

void TestTimeline::recordGap_data() {
    QTest::addColumn<EventRecord>("a");
    QTest::addColumn<EventRecord>("b");
    QTest::addColumn<qint64>("gap");
    QTest::newRow("same day") << At(1000, {}) << At(1500, {}) << qint64(500);
    QTest::newRow("capped") << At(0, {}) << At(90000, {}) << qint64(60000);
    QTest::newRow("midnight inside a month")
        << Rec(2024, 3, 5, 23, 59, 59, 800, {}) << Rec(2024, 3, 6, 0, 0, 0, 100, {}) << qint64(300);
    QTest::newRow("midnight ending a 30-day month")
        << Rec(2024, 4, 30, 23, 59, 59, 800, {}) << Rec(2024, 5, 1, 0, 0, 0, 100, {})
        << qint64(60000);
    QTest::newRow("midnight ending a 31-day month")
        << Rec(2024, 1, 31, 23, 59, 59, 800, {}) << Rec(2024, 2, 1, 0, 0, 0, 100, {})
        << qint64(300);
    QTest::newRow("two days later")
        << At(0, {}) << Rec(2024, 3, 7, 0, 0, 0, 0, {}) << qint64(60000);
}

void TestTimeline::recordGap() {
    QFETCH(EventRecord, a);
    QFETCH(EventRecord, b);
    QFETCH(qint64, gap);
    a.event = kStart1;
    b.event = kReturn1;
    const std::vector<EventRecord> table{a, b};
    TimelineBuilder builder(table, SignalTableOf(1));
    QCOMPARE(builder.RecordGap(1, 2), gap);
    QCOMPARE(builder.CurrentText(), kStart1);
    QCOMPARE(builder.CandidateText(), kReturn1);
}

void TestTimeline::recordGapPastTableIsZero() {
    const std::vector<EventRecord> table{At(0, kStart1), At(100, kReturn1)};
    TimelineBuilder builder(table, SignalTableOf(1));
    builder.RecordGap(1, 2);
    QCOMPARE(builder.RecordGap(2, 3), qint64(0));
    QCOMPARE(builder.CurrentText(), kStart1);  // nothing loaded
}

void TestTimeline::sliceOperations() {
    const std::vector<EventRecord> table;
    TimelineBuilder builder(table, SignalTableOf(1));
    builder.Clear();
    builder.AddSeparator();
    builder.SetRemainingHigh(0, 30);
    builder.SetRemainingHigh(1, 100);
    builder.AdvanceAll(50);
    builder.AdvanceAll(0);
    builder.AppendSlice(2, false, 5);
    QCOMPARE(builder.Current().traces[0].runs, (Runs{20, 30, 20}));
    QCOMPARE(builder.Current().traces[1].runs, (Runs{20, 50}));
    QCOMPARE(builder.Current().traces[2].runs, (Runs{75}));
    QCOMPARE(builder.RemainingHigh(0), qint64(0));
    QCOMPARE(builder.RemainingHigh(1), qint64(50));
}

void TestTimeline::emptyRange() {
    const std::vector<EventRecord> table{At(0, kStart1)};
    TimelineBuilder builder(table, SignalTableOf(1));
    const Timeline t = builder.LoadTimeline(2, 1);
    QVERIFY(t.loaded);
    QCOMPARE(t.end, qint64(40));
    QVERIFY(t.starts.empty());
    for (const TraceData& trace : t.traces) {
        QCOMPARE(trace.runs, (Runs{40}));
        QVERIFY(trace.markers.empty());
    }
}

void TestTimeline::onePair() {
    const Timeline t = Convert({At(36000000, kStart1), At(36000500, kReturn1)});
    QCOMPARE(t.traces[0].runs, (Runs{20, 500, 40}));
    for (int s = 1; s < graph::kTraceCount; ++s) {
        QCOMPARE(t.traces[s].runs, (Runs{560}));
    }
    QCOMPARE(int(t.starts.size()), 1);
    QCOMPARE(t.starts[0].record, 1);
    QCOMPARE(t.starts[0].position, qint64(20));
    QCOMPARE(t.end, qint64(560));
    QVERIFY(t.truncations.empty());
}

void TestTimeline::cutPeriod() {
    const Timeline t = Convert({At(36000000, kStart1), At(36090000, kReturn1)});
    QCOMPARE(t.traces[0].runs, (Runs{20, 60000, 40}));
    QCOMPARE(int(t.truncations.size()), 1);
    QCOMPARE(t.truncations[0].position, qint64(20));
    QCOMPARE(t.truncations[0].duration, qint64(90000));  // the real span, not the cut one
}

void TestTimeline::unmatchedReturnAndStart() {
    const Timeline t = Convert({At(1000, kReturn1), At(2000, kStart2), At(3000, {})});
    QCOMPARE(t.traces[0].markers, (Runs{20}));
    QCOMPARE(t.traces[1].markers, (Runs{40}));
    QCOMPARE(t.traces[0].runs, (Runs{100}));
    QCOMPARE(t.traces[1].runs, (Runs{100}));
    QVERIFY(t.starts.empty());
}

void TestTimeline::repeatedStart() {
    const Timeline t = Convert({At(1000, kStart1), At(2000, kStart1), At(2300, kReturn1)});
    QCOMPARE(t.traces[0].markers, (Runs{20}));
    QCOMPARE(t.traces[0].runs, (Runs{40, 300, 40}));
    QCOMPARE(int(t.starts.size()), 1);
    QCOMPARE(t.starts[0].record, 2);
    QCOMPARE(t.starts[0].position, qint64(40));
}

void TestTimeline::overlappingCommands() {
    const Timeline t =
        Convert({At(5000, kStart1), At(5100, kStart2), At(5200, kReturn1), At(5300, kReturn2)});
    QCOMPARE(t.traces[0].runs, (Runs{20, 200, 120}));
    QCOMPARE(t.traces[1].runs, (Runs{120, 200, 20}));
    QCOMPARE(int(t.starts.size()), 2);
    QCOMPARE(t.starts[0].record, 1);
    QCOMPARE(t.starts[0].position, qint64(20));
    QCOMPARE(t.starts[1].record, 2);
    QCOMPARE(t.starts[1].position, qint64(120));
    QCOMPARE(t.end, qint64(340));
}

void TestTimeline::variantARowsWithoutSignal() {
    const Timeline t =
        Convert({At(0, QStringLiteral("功放过载告警")), At(400, QStringLiteral("通道故障告警")),
                 At(900, QStringLiteral("功放过载告警返回"))},
                0);
    QCOMPARE(t.traces[3].runs, (Runs{20, 900, 20}));
    QCOMPARE(t.traces[5].runs, (Runs{t.end}));
    QCOMPARE(t.traces[6].runs, (Runs{t.end}));
    QVERIFY(t.traces[5].markers.empty());
}

void TestTimeline::chooseRecords_data() {
    QTest::addColumn<QList<int>>("days");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::newRow("all") << QList<int>{5, 6, 7} << 1 << 31 << 1 << 3;
    QTest::newRow("middle") << QList<int>{4, 5, 6, 7} << 5 << 6 << 2 << 3;
    QTest::newRow("none after") << QList<int>{4, 5} << 6 << 9 << 3 << 2;
    QTest::newRow("none before") << QList<int>{8, 9} << 1 << 2 << 1 << 0;
    QTest::newRow("later record past the end stops") << QList<int>{5, 9, 6} << 5 << 6 << 1 << 1;
}

void TestTimeline::chooseRecords() {
    QFETCH(QList<int>, days);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(int, first);
    QFETCH(int, last);
    std::vector<EventRecord> table;
    for (int d : days) {
        table.push_back(Rec(2024, 3, d, 1, 0, 0, 0, kStart1));
    }
    const RecordRange range = ChooseRecords(table, DateKey(2024, 3, from), DateKey(2024, 3, to));
    QCOMPARE(range.first, first);
    QCOMPARE(range.last, last);
}

void TestTimeline::startTimeStrings() {
    const Timeline t = Convert(
        {Rec(2024, 3, 5, 7, 8, 9, 5, kStart1), Rec(2024, 3, 5, 7, 8, 9, 45, kReturn1),
         Rec(2024, 12, 31, 23, 59, 59, 999, kStart1), Rec(2025, 1, 1, 0, 0, 0, 1, kReturn1)});
    QCOMPARE(t.startTimes.size(), std::size_t(2));
    QCOMPARE(t.startTimes.at(0), QStringLiteral("20240305070809005"));
    QCOMPARE(t.startTimes.at(1), QStringLiteral("20241231235959999"));
}

void TestTimeline::distantReturnsAndLongRanges() {
    // A command held while hundreds of alarms come and go: its return lies far beyond the
    // 89-record look-ahead and the alarm trace has far more than 500 transitions.
    std::vector<EventRecord> table;
    qint64 time = 0;
    const int cycles = 10000;
    table.push_back(At(time, kStart1));
    for (int i = 0; i < cycles - 1; ++i) {
        time += 1;
        table.push_back(At(time, QStringLiteral("信噪比告警")));
        time += 1;
        table.push_back(At(time, QStringLiteral("信噪比告警返回")));
    }
    time += 1;
    table.push_back(At(time, kReturn1));
    QCOMPARE(int(table.size()), 2 * cycles);
    const Timeline t = Convert(table);
    QVERIFY(t.traces[0].markers.empty());
    QCOMPARE(t.starts.front().record, 1);
    QCOMPARE(t.traces[0].runs.size(), std::size_t(3));
    QVERIFY(t.traces[0].runs[1] > 2 * (cycles - 1));
    QCOMPARE(int(t.starts.size()), cycles);
    QCOMPARE(t.traces[3].runs.size(), std::size_t(2 * (cycles - 1) + 1));
    for (const TraceData& trace : t.traces) {
        qint64 sum = 0;
        for (qint64 run : trace.runs) {
            QVERIFY(run > 0);
            sum += run;
        }
        QCOMPARE(sum, t.end);
    }
}

void TestTimeline::recordsOutOfOrder() {
    const Timeline t = Convert({At(5000, kStart1), At(4000, QStringLiteral("其他")),
                                At(3000, kReturn1), At(2000, kStart2), At(1000, {})});
    for (const TraceData& trace : t.traces) {
        qint64 sum = 0;
        for (qint64 run : trace.runs) {
            QVERIFY(run > 0);
            sum += run;
        }
        QCOMPARE(sum, t.end);
    }
    QVERIFY(t.end > 40);
}

void TestTimeline::matchesReferenceConversion_data() {
    QTest::addColumn<int>("variant");
    QTest::newRow("variant A") << 0;
    QTest::newRow("variant B") << 1;
}

void TestTimeline::matchesReferenceConversion() {
    QFETCH(int, variant);
    for (quint32 seed = 1; seed <= 400; ++seed) {
        const std::vector<EventRecord> table = RandomTable(seed, variant);
        const int n = int(table.size());
        QRandomGenerator rng(seed * 7919);
        const int first = 1 + int(rng.bounded(n));
        const int last = first - 1 + int(rng.bounded(n - first + 2));

        ReferenceConversion reference(table, SignalTableOf(variant));
        reference.Run(first, last);
        TimelineBuilder builder(table, SignalTableOf(variant));
        const Timeline t = builder.LoadTimeline(first, last);

        const QByteArray where = QByteArray("seed ") + QByteArray::number(seed);
        QVERIFY2(t.end == reference.f, where);
        for (int s = 0; s < graph::kTraceCount; ++s) {
            QVERIFY2(t.traces[s].runs == reference.RunList(s), where);
            QVERIFY2(t.traces[s].markers == reference.Markers(s), where);
        }
        QVERIFY2(t.starts.size() == reference.starts.size(), where);
        for (std::size_t k = 0; k < t.starts.size(); ++k) {
            QVERIFY2(t.starts[k].record == reference.starts[k].first, where);
            QVERIFY2(t.starts[k].position == reference.starts[k].second, where);
        }
    }
}

QTEST_MAIN(TestTimeline)
#include "tst_timeline.moc"
