#include <QImage>
#include <QtTest>

#include "app/kpb650_view.h"
#include "app/title_layout.h"

class TestTitleView : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void layout_data() {
        QTest::addColumn<QSize>("client");
        QTest::addColumn<int>("titleHeight");
        QTest::addColumn<int>("titleWidth");
        QTest::addColumn<QPoint>("titlePos");
        QTest::addColumn<int>("makerHeight");
        QTest::addColumn<int>("makerWidth");
        QTest::addColumn<QPoint>("makerPos");
        QTest::addColumn<QPoint>("emblemPos");
        // 400 by 400: one fifth and three eighths; five eighths near the bottom; centre, 5/6.
        QTest::newRow("square") << QSize(400, 400) << 30 << 8 << QPoint(80, 150) << 22 << 6
                                << QPoint(250, 364) << QPoint(200, 333);
        QTest::newRow("initial client") << QSize(534, 342) << 25 << 10 << QPoint(106, 128) << 18
                                        << 8 << QPoint(333, 311) << QPoint(267, 285);
        // Twice the width: character width doubles, height stays.
        QTest::newRow("twice as wide") << QSize(1068, 342) << 25 << 21 << QPoint(213, 128) << 18
                                       << 16 << QPoint(667, 311) << QPoint(534, 285);
        // Under 14 pixels high the title height truncates to 0: the face's default.
        QTest::newRow("tiny") << QSize(10, 13) << 0 << 0 << QPoint(2, 4) << 0 << 0 << QPoint(6, 11)
                              << QPoint(5, 10);
    }

    void layout() {
        QFETCH(QSize, client);
        const TitleLayout l = ComputeTitleLayout(client.width(), client.height());
        QTEST(l.titleHeight, "titleHeight");
        QTEST(l.titleWidth, "titleWidth");
        QTEST(l.titlePos, "titlePos");
        QTEST(l.makerHeight, "makerHeight");
        QTEST(l.makerWidth, "makerWidth");
        QTEST(l.makerPos, "makerPos");
        QTEST(l.emblemPos, "emblemPos");
    }

    void paintsBackgroundAndText_data() {
        QTest::addColumn<QSize>("size");
        QTest::newRow("initial") << QSize(534, 342);
        QTest::newRow("tiny") << QSize(10, 13);
        QTest::newRow("wide and low") << QSize(1600, 60);
    }

    void paintsBackgroundAndText() {
        QFETCH(QSize, size);
        CKPB650View view;
        view.resize(size);
        QImage image(size, QImage::Format_RGB32);
        view.render(&image);
        QCOMPARE(image.pixelColor(0, 0), QColor(239, 235, 218));
        if (size.height() > 100) {
            // Dark text pixels on the title line and the emblem at its place.
            const TitleLayout l = ComputeTitleLayout(size.width(), size.height());
            int dark = 0;
            for (int x = l.titlePos.x(); x < size.width(); ++x) {
                for (int y = l.titlePos.y(); y < l.titlePos.y() + l.titleHeight; ++y) {
                    dark += qGray(image.pixel(x, y)) < 100;
                }
            }
            QVERIFY2(dark > 50, qPrintable(QString::number(dark)));
            QVERIFY(image.pixelColor(l.emblemPos + QPoint(31, 8)) != QColor(239, 235, 218));
        }
    }
};

QTEST_MAIN(TestTitleView)
#include "tst_title_view.moc"
