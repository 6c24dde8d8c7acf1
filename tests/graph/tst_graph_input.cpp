#include <QtTest>

#include "graph/graph_input.h"

// The graph's input rules without a window: a strip 462 pixels wide at dialog x 156, a timeline
// of 1000 ms, a clock the test moves on by 60 ms between inputs.
class TestGraphInput : public QObject {
    Q_OBJECT
private slots:
    void inputs_data();
    void inputs();
};

void TestGraphInput::inputs_data() {
    QTest::addColumn<QStringList>("steps");  // "dbl X", "right X", "down X", "move X", "up",
                                             // "wheel X D", "to T", "all"
    QTest::addColumn<QString>("view");       // originX spanPx cursorCol cursorTime
    QTest::newRow("nothing") << QStringList{} << "0 462 100 -";
    QTest::newRow("click puts the cursor on its time")
        << QStringList{"down 387", "up"} << "0 462 231 500";
    QTest::newRow("zoom in about the pointer, then out")
        << QStringList{"dbl 256", "right 256"} << "4 443.52 100 -";
    QTest::newRow("a drag pans past the threshold only")
        << QStringList{"dbl 387", "down 387", "move 379", "move 370"} << "-63 554.4 231 530";
    QTest::newRow("the wheel zooms as a double click does")
        << QStringList{"wheel 387 120"} << "-46 554.4 100 -";
    QTest::newRow("a far position is brought to the middle")
        << QStringList{"dbl 157", "dbl 157", "to 990"} << "-204 665.28 454 990";
    QTest::newRow("all shows the whole timeline, the cursor on its time")
        << QStringList{"dbl 157", "down 300", "up", "all"} << "0 462 119 259";
}

void TestGraphInput::inputs() {
    QFETCH(QStringList, steps);
    QFETCH(QString, view);
    GraphInput input;
    qint64 now = 1000;
    input.SetThrottleClock([&now] { return now; });
    input.SetArea(GraphAreaOf({QRect(156, 40, 462, 40)}), 462);
    input.Load(1000, true);
    for (const QString& step : steps) {
        const QStringList w = step.split(QLatin1Char(' '));
        const int x = w.value(1).toInt();
        const int y = 60;
        if (w[0] == QLatin1String("dbl")) {
            input.LButtonDblClk(x, y);
        } else if (w[0] == QLatin1String("right")) {
            input.RButtonDown(x, y);
        } else if (w[0] == QLatin1String("down")) {
            input.LButtonDown(x, y);
        } else if (w[0] == QLatin1String("move")) {
            input.MouseMove(x, y);
        } else if (w[0] == QLatin1String("up")) {
            input.LButtonUp();
        } else if (w[0] == QLatin1String("wheel")) {
            input.Wheel(x, y, w.value(2).toInt());
        } else if (w[0] == QLatin1String("to")) {
            input.CursorTo(x);
        } else if (w[0] == QLatin1String("all")) {
            input.ShowEverything();
        }
        now += 60;
    }
    const TraceView& v = input.View();
    const std::optional<qint64> t = input.CursorPosition();
    QCOMPARE(QStringLiteral("%1 %2 %3 %4")
                 .arg(v.originX)
                 .arg(v.spanPx)
                 .arg(v.cursorCol)
                 .arg(t ? QString::number(*t) : QStringLiteral("-")),
             view);
}

QTEST_GUILESS_MAIN(TestGraphInput)
#include "tst_graph_input.moc"
