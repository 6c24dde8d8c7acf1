#include <QApplication>
#include <QLabel>
#include <QtTest>

#include "common/message_box.h"

// Real boxes, not the handler: their size is what is tested.
class TestMessageBox : public QObject {
    Q_OBJECT
private slots:
    void boxIsWideEnoughForItsCaption_data();
    void boxIsWideEnoughForItsCaption();
};

void TestMessageBox::boxIsWideEnoughForItsCaption_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("caption");
    QTest::newRow("success") << QStringLiteral("读取成功!") << QStringLiteral("KPA(B)-650");
    QTest::newRow("configured") << QStringLiteral("配置成功!") << QStringLiteral("KPA(B)-650");
    QTest::newRow("question") << QStringLiteral("确定要清除装置中存储的所有事件吗？")
                              << QStringLiteral("提示");
}

void TestMessageBox::boxIsWideEnoughForItsCaption() {
    QFETCH(QString, text);
    QFETCH(QString, caption);
    SetMessageBoxHandler({});
    int width = 0;
    QString shownText;
    QString shownCaption;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        width = box->width();
        shownText = box->text();
        shownCaption = box->windowTitle();
        box->done(QMessageBox::Ok);
    });
    QCOMPARE(ShowMessageBox(nullptr, text, caption), QMessageBox::Ok);
    QCOMPARE(shownText, text);
    QCOMPARE(shownCaption, caption);
    // The caption in a bold title font, with room for the title bar's icon and three buttons of
    // about a line's height each.
    QFont bold = QApplication::font();
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    QVERIFY2(width >= metrics.horizontalAdvance(caption) + 4 * metrics.height(),
             qPrintable(QString::number(width)));
}

QTEST_MAIN(TestMessageBox)
#include "tst_message_box.moc"
