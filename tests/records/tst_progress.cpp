#include <QImage>
#include <QtTest>

#include "records/percent_progress_ctrl.h"
#include "records/progress_fill.h"

class TestProgress : public QObject {
    Q_OBJECT
private slots:
    void fillWidth_data();
    void fillWidth();
    void text_data();
    void text();
    void halfBarOnTwoHundredPixels();
    void unchangedWidthDoesNotRepaint();
    void storedTextReplacesPercentage();
    void setPosWithoutWindow();
    void textOffAfterSwitch();
};

void TestProgress::fillWidth_data() {
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("expected");
    QTest::newRow("half of 200") << 50 << 0 << 100 << 200 << 100;
    QTest::newRow("empty") << 0 << 0 << 100 << 200 << 0;
    QTest::newRow("full") << 100 << 0 << 100 << 200 << 200;
    QTest::newRow("one of three, truncated") << 4 << 3 << 6 << 466 << 155;
    QTest::newRow("past the top") << 7 << 3 << 6 << 300 << 400;
    QTest::newRow("below the bottom") << 0 << 3 << 6 << 300 << -300;
    QTest::newRow("run-down step keeps width") << 199999 << 100000 << 200000 << 466 << 465;
    QTest::newRow("equal bounds") << 5 << 5 << 5 << 200 << 0;
    QTest::newRow("inverted bounds") << 5 << 10 << 0 << 200 << 0;
}

void TestProgress::fillWidth() {
    QFETCH(int, position);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, width);
    QFETCH(int, expected);
    QCOMPARE(ProgressFillWidth(position, lower, upper, width), expected);
}

void TestProgress::text_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first of three") << QString() << 4 << 3 << 6 << "33%";
    QTest::newRow("second of three") << QString() << 5 << 3 << 6 << "66%";
    QTest::newRow("third of three") << QString() << 6 << 3 << 6 << "100%";
    QTest::newRow("fourth of three") << QString() << 7 << 3 << 6 << "133%";
    QTest::newRow("start of a read") << QString() << 0 << 0 << 100 << "0%";
    QTest::newRow("stale range shows negative") << QString() << 0 << 3 << 6 << "-100%";
    QTest::newRow("one of 255") << QString() << 256 << 255 << 510 << "0%";
    QTest::newRow("stored text wins") << QStringLiteral("abc") << 5 << 0 << 10 << "abc";
    QTest::newRow("empty range") << QString() << 5 << 5 << 5 << "";
}

void TestProgress::text() {
    QFETCH(QString, stored);
    QFETCH(int, position);
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(QString, expected);
    QCOMPARE(ProgressText(stored, position, lower, upper), expected);
}

namespace {
struct Split {
    int barOnLeft = 0;      // pixels of the bar colour in the left half
    int textOnBarLeft = 0;  // pixels of the text-on-bar colour in the left half
    int otherLeft = 0;      // anything else in the left half
    int backgroundRight = 0;
    int textOnBackRight = 0;
    int otherRight = 0;
};
}  // namespace

void TestProgress::halfBarOnTwoHundredPixels() {
    CPercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    bar.SetRange(0, 100);
    bar.SetPos(50);
    QCOMPARE(bar.DisplayText(), QStringLiteral("50%"));
    QVERIFY(bar.BarColour() != bar.BackgroundColour());
    QVERIFY(bar.TextOnBarColour() != bar.BarColour());

    const QImage image = bar.grab().toImage().convertToFormat(QImage::Format_RGB32);
    QCOMPARE(image.width(), 200);
    Split s;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y) & 0xFFFFFF;
            if (x < 100) {
                if (p == (bar.BarColour().rgb() & 0xFFFFFF)) {
                    ++s.barOnLeft;
                } else if (p == (bar.TextOnBarColour().rgb() & 0xFFFFFF)) {
                    ++s.textOnBarLeft;
                } else {
                    ++s.otherLeft;
                }
            } else {
                if (p == (bar.BackgroundColour().rgb() & 0xFFFFFF)) {
                    ++s.backgroundRight;
                } else if (p == (bar.TextOnBackgroundColour().rgb() & 0xFFFFFF)) {
                    ++s.textOnBackRight;
                } else {
                    ++s.otherRight;
                }
            }
        }
    }
    // The left half is the bar with the text in the window colour, the right half the
    // background with the text in the highlight colour, and the text straddles the edge.
    QCOMPARE(s.otherLeft, 0);
    QCOMPARE(s.otherRight, 0);
    QVERIFY(s.barOnLeft > 0);
    QVERIFY(s.textOnBarLeft > 0);
    QVERIFY(s.backgroundRight > 0);
    QVERIFY(s.textOnBackRight > 0);
    // Column 99 is bar, column 100 background on the top row (no text there).
    QCOMPARE(image.pixel(99, 0) & 0xFFFFFF, bar.BarColour().rgb() & 0xFFFFFF);
    QCOMPARE(image.pixel(100, 0) & 0xFFFFFF, bar.BackgroundColour().rgb() & 0xFFFFFF);
}

void TestProgress::unchangedWidthDoesNotRepaint() {
    CPercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bar));
    bar.SetRange(0, 1000);
    bar.SetPos(500);
    const int painted = bar.PaintCount();
    QCOMPARE(bar.SetPos(501), 500);  // 100.2 pixels: still 100
    QCOMPARE(bar.SetPos(504), 501);
    QCOMPARE(bar.PaintCount(), painted);
    QCOMPARE(bar.Pos(), 504);
    bar.SetPos(505);  // 101 pixels
    QCOMPARE(bar.PaintCount(), painted + 1);
}

void TestProgress::storedTextReplacesPercentage() {
    CPercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    bar.SetRange(0, 100);
    bar.SetPos(30);
    bar.SetWindowText(QStringLiteral("等待"));
    QCOMPARE(bar.DisplayText(), QStringLiteral("等待"));
    QCOMPARE(bar.GetWindowText(), QStringLiteral("等待"));
    bar.SetWindowText(QString());
    QCOMPARE(bar.DisplayText(), QStringLiteral("30%"));
}

void TestProgress::setPosWithoutWindow() {
    CPercentProgressCtrl bar;
    QCOMPARE(bar.SetPos(40), -1);
    QCOMPARE(bar.Pos(), 0);
}

void TestProgress::textOffAfterSwitch() {
    CPercentProgressCtrl bar;
    bar.resize(200, 20);
    bar.show();
    bar.SetPos(20);
    QCOMPARE(bar.DisplayText(), QStringLiteral("20%"));
    bar.SetShowText(false);
    QCOMPARE(bar.DisplayText(), QString());
    QVERIFY(!bar.ShowsText());
}

QTEST_MAIN(TestProgress)
#include "tst_progress.moc"
