#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

#include "graph/channel_traces.h"
#include "graph/channel_view_dlg.h"
#include "support/test_support.h"

namespace {

std::vector<EventRecord> Log(const QStringList& lines) {
    std::vector<EventRecord> log;
    for (const QString& line : lines) {
        const QStringList f = line.split(QLatin1Char(' '));
        log.push_back(EventRecord{f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]});
    }
    return log;
}

// Command 1 sent twice and received once 20 ms later, command 3 received unsent.
const QStringList kTx = {"2024 3 5 10 0 0 0 命令1启动", "2024 3 5 10 0 0 500 命令1返回",
                         "2024 3 5 10 0 10 0 命令1启动", "2024 3 5 10 0 10 500 命令1返回"};
const QStringList kRx = {"2024 3 5 10 0 0 20 命令1启动", "2024 3 5 10 0 0 520 命令1返回",
                         "2024 3 5 10 0 5 0 命令3启动"};

bool HasColour(const QImage& image, const QColor& colour) {
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

class TestChannelView : public QObject {
    Q_OBJECT
private slots:
    void traces();
    void viewShowsReportAndExports();
};

void TestChannelView::traces() {
    ChannelOptions options;
    options.offsetMs = 0;
    const ChannelTraces t = ChannelTracesOf(PairChannel(Log(kTx), Log(kRx), options));
    // From 10:00:00.000 to 10:00:10.500: a margin of one second either side.
    QCOMPARE(t.end, qint64(12500));
    QCOMPARE(t.rows[0].runs, (std::vector<qint64>{1000, 500, 9500, 500, 1000}));
    QCOMPARE(t.rows[3].runs, (std::vector<qint64>{1020, 500, 10980}));
    QCOMPARE(t.rows[5].runs, (std::vector<qint64>{12500}));
    QCOMPARE(t.rows[5].markers, (std::vector<qint64>{6000}));
    QCOMPARE(t.links.size(), std::size_t(1));
    QCOMPARE(t.links[0].from, qint64(1000));
    QCOMPARE(t.links[0].to, qint64(1020));
    QCOMPARE(t.marks.size(), std::size_t(2));
    QCOMPARE(t.marks[0].at, qint64(11000));  // the missing second command 1
    QVERIFY(t.marks[0].missing);
    QCOMPARE(t.marks[1].row, 5);
}

void TestChannelView::viewShowsReportAndExports() {
    MessageBoxRecorder recorder;
    CChannelViewDlg dlg;
    dlg.findChild<QLineEdit*>(QStringLiteral("offset"))->setText(QStringLiteral("0"));
    dlg.show();
    dlg.Analyse(Log(kTx), Log(kRx));
    QVERIFY(
        dlg.ReportText().contains(QStringLiteral("命令1：发出 2，收到 1，配对 1，丢失 1，误收 0")));
    QVERIFY(dlg.Report().Faulty());

    // A click on the strips puts the cursor there and names its time.
    const QRect strips = GraphPictureStrips(dlg.Plot()->Picture());
    QTest::mouseClick(dlg.Plot(), Qt::LeftButton, {},
                      QPoint(strips.left() + strips.width() / 2, strips.top() + 10));
    QVERIFY(dlg.findChild<QLabel*>(QStringLiteral("cursorTime"))
                ->text()
                .startsWith(QStringLiteral("光标（发信端时钟）：2024-03-05 10:00:0")));

    QTemporaryDir out;
    QStringList names;
    dlg.Exporter().SetFileChooser(
        [&](QWidget*, const QString&, const QString&, const QString& suffix, const QString& name) {
            names << name;
            return out.filePath(QStringLiteral("c.") + suffix);
        });
    dlg.SetCsvFileChooser(
        [&](QWidget*, const QString&, const QString&, const QString&, const QString& name) {
            names << name;
            return out.filePath(QStringLiteral("c.csv"));
        });
    dlg.Exporter().ExportPng();
    dlg.Exporter().ExportSvg();
    dlg.OnExportCsv();
    QCOMPARE(names, QStringList(3, QStringLiteral("通道(2024-03-05)")));
    const QImage png(out.filePath(QStringLiteral("c.png")));
    QVERIFY(HasColour(png, QColor(255, 0, 0)));    // the missing command's mark
    QVERIFY(HasColour(png, QColor(255, 140, 0)));  // the unwanted one's
    QFile csv(out.filePath(QStringLiteral("c.csv")));
    QVERIFY(csv.open(QIODevice::ReadOnly));
    QVERIFY(csv.readAll().contains(QStringLiteral("误收,3,,2024-03-05T10:00:05.000").toUtf8()));
    QVERIFY(recorder.Texts().isEmpty());
}

QTEST_MAIN(TestChannelView)
#include "tst_channel_view.moc"
