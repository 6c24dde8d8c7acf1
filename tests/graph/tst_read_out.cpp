#include <QtTest>

#include "graph/read_out.h"

namespace {

EventRecord Rec(int y, int mo, int d, int h, int mi, int s, int ms, const QString& event) {
    return EventRecord{
        QString::number(y),  QString::number(mo), QString::number(d),  QString::number(h),
        QString::number(mi), QString::number(s),  QString::number(ms), event};
}

const QString kStart1 = QStringLiteral("命令1启动");
const QString kReturn1 = QStringLiteral("命令1返回");

}  // namespace

class TestReadOut : public QObject {
    Q_OBJECT
private slots:
    void advance_data();
    void advance();
    void anySignalHigh_data();
    void anySignalHigh();
    void composeNoEvent();
    void composeAfterStart();
    void composeCutPeriod();
    void composeUsesLatestStart();
    void durationClock_data();
    void durationClock();
};

void TestReadOut::durationClock_data() {
    QTest::addColumn<qint64>("ms");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << qint64(0) << "0:00:00.000";
    QTest::newRow("a second") << qint64(1000) << "0:00:01.000";
    QTest::newRow("minutes") << qint64(561681) << "0:09:21.681";
    QTest::newRow("a day less a ms") << qint64(86399999) << "23:59:59.999";
    QTest::newRow("past a day") << qint64(90061001) << "25:01:01.001";
}

void TestReadOut::durationClock() {
    QFETCH(qint64, ms);
    QFETCH(QString, text);
    QCOMPARE(DurationClockText(ms), text);
}

void TestReadOut::advance_data() {
    QTest::addColumn<QString>("start");
    QTest::addColumn<qint64>("offset");
    QTest::addColumn<QString>("text");
    QTest::newRow("carry reaches the minute")
        << "20240305123059800" << qint64(1500) << QStringLiteral("2024年03月5日12时31分1秒300毫秒");
    QTest::newRow("no carry") << "20240305123059800" << qint64(0)
                              << QStringLiteral("2024年03月5日12时30分59秒800毫秒");
    QTest::newRow("day of 30 without carry stays")
        << "20240430080000000" << qint64(5) << QStringLiteral("2024年04月30日8时0分0秒5毫秒");
    QTest::newRow("end of a 31-day month")
        << "20240131235959900" << qint64(200) << QStringLiteral("2024年02月1日0时0分0秒100毫秒");
    QTest::newRow("end of a 30-day month")
        << "20240430235959900" << qint64(200) << QStringLiteral("2024年05月1日0时0分0秒100毫秒");
    QTest::newRow("February of a leap year")
        << "20240228235959900" << qint64(200) << QStringLiteral("2024年02月29日0时0分0秒100毫秒");
    QTest::newRow("February of a common year")
        << "20230228235959900" << qint64(200) << QStringLiteral("2023年03月1日0时0分0秒100毫秒");
    QTest::newRow("end of the year")
        << "20231231235959900" << qint64(200) << QStringLiteral("2024年01月1日0时0分0秒100毫秒");
    QTest::newRow("several days") << "20240129120000000" << qint64(3LL * 86400000)
                                  << QStringLiteral("2024年02月1日12时0分0秒0毫秒");
    QTest::newRow("year 0 has no calendar: the day grows")
        << "00000131235959900" << qint64(200) << QStringLiteral("0000年01月32日0时0分0秒100毫秒");
    QTest::newRow("year that is not a number")
        << "abcd0430235959900" << qint64(200) << QStringLiteral("abcd年04月31日0时0分0秒100毫秒");
    // 10^18 ms: millions of years of days roll at once, not month by month.
    QTest::newRow("millisecond text of 19 digits")
        << "202401310000001000000000000000000" << qint64(0)
        << QStringLiteral("31690762年08月4日1时46分40秒0毫秒");
    QTest::newRow("millisecond text at the 64-bit limit")
        << "202401310000009223372036854775807" << qint64(5000)
        << QStringLiteral("292279048年09月16日7时12分55秒807毫秒");
}

void TestReadOut::advance() {
    QFETCH(QString, start);
    QFETCH(qint64, offset);
    QFETCH(QString, text);
    QCOMPARE(FormatReadOutTime(AdvanceStartTime(start, offset)), text);
}

void TestReadOut::anySignalHigh_data() {
    QTest::addColumn<qint64>("t");
    QTest::addColumn<bool>("high");
    QTest::newRow("lead-in") << qint64(19) << false;
    QTest::newRow("rising edge") << qint64(20) << true;
    QTest::newRow("inside") << qint64(300) << true;
    QTest::newRow("falling edge") << qint64(520) << true;
    QTest::newRow("after") << qint64(521) << false;
    QTest::newRow("second trace") << qint64(545) << true;
}

void TestReadOut::anySignalHigh() {
    QFETCH(qint64, t);
    QFETCH(bool, high);
    std::array<TraceData, graph::kTraceCount> traces;
    for (TraceData& trace : traces) {
        trace.runs = {560};
    }
    traces[0].runs = {20, 500, 40};
    traces[4].runs = {540, 10, 10};
    QCOMPARE(IsAnySignalHigh(traces, t), high);
}

void TestReadOut::composeNoEvent() {
    const std::vector<EventRecord> table;
    TimelineBuilder builder(table, SignalTableOf(1));
    const Timeline t = builder.LoadTimeline(1, 0);
    QCOMPARE(ComposeReadOut(t, 30, true), QStringLiteral("无事件"));
}

void TestReadOut::composeAfterStart() {
    const std::vector<EventRecord> table{Rec(2024, 3, 5, 12, 30, 59, 800, kStart1),
                                         Rec(2024, 3, 5, 12, 31, 2, 0, kReturn1)};
    TimelineBuilder builder(table, SignalTableOf(1));
    const Timeline t = builder.LoadTimeline(1, 2);
    QCOMPARE(ComposeReadOut(t, 20 + 1500, true), QStringLiteral("2024年03月5日12时31分1秒300毫秒"));
    QCOMPARE(ComposeReadOut(t, 10, true), QStringLiteral("无事件"));
}

void TestReadOut::composeCutPeriod() {
    const std::vector<EventRecord> table{Rec(2024, 3, 5, 10, 0, 0, 0, kStart1),
                                         Rec(2024, 3, 5, 10, 1, 30, 0, kReturn1)};
    TimelineBuilder builder(table, SignalTableOf(1));
    const Timeline t = builder.LoadTimeline(1, 2);
    QCOMPARE(ComposeReadOut(t, 1020, true),
             QStringLiteral("起始时间:2024年03月5日10时0分1秒0毫秒,持续时间:90000毫秒"));
    QCOMPARE(ComposeReadOut(t, 1020, false), QStringLiteral("2024年03月5日10时0分1秒0毫秒"));
}

void TestReadOut::composeUsesLatestStart() {
    const std::vector<EventRecord> table{
        Rec(2024, 3, 5, 0, 0, 0, 0, kStart1),
        Rec(2024, 3, 5, 0, 0, 0, 100, QStringLiteral("命令2启动")),
        Rec(2024, 3, 5, 0, 0, 0, 200, kReturn1),
        Rec(2024, 3, 5, 0, 0, 0, 300, QStringLiteral("命令2返回"))};
    TimelineBuilder builder(table, SignalTableOf(1));
    const Timeline t = builder.LoadTimeline(1, 4);
    QCOMPARE(ComposeReadOut(t, 70, false), QStringLiteral("2024年03月5日0时0分0秒50毫秒"));
    QCOMPARE(ComposeReadOut(t, 170, false), QStringLiteral("2024年03月5日0时0分0秒150毫秒"));
}

QTEST_MAIN(TestReadOut)
#include "tst_read_out.moc"
