// Whatever the line delivers, in whatever pieces, no dialog may crash, write out of bounds or
// stop answering its buttons. Run under the sanitizers in CI, this is the bounds check of every
// receive handler against arbitrary bytes.
#include <QPushButton>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

#include "app/about_dlg.h"
#include "common/globals.h"
#include "link/fake_serial_line.h"
#include "records/record_dlg.h"
#include "settings/device_clock_dlg.h"
#include "settings/receiver_param_dlg.h"
#include "settings/transmitter_param_dlg.h"
#include "support/test_support.h"

namespace {

// Noise with a bias towards the bytes the handlers react to (end, refusal, count, trailer).
QByteArray Noise(QRandomGenerator& random, int size) {
    static const char interesting[] = {'\x58', '\x5A', '\x59', '\x78', '\x56', '\x00', '\xFF'};
    QByteArray bytes;
    for (int i = 0; i < size; ++i) {
        bytes.append(random.bounded(3) == 0 ? interesting[random.bounded(int(sizeof interesting))]
                                            : static_cast<char>(random.bounded(256)));
    }
    return bytes;
}
}  // namespace

class TestLineNoise : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_home;

private Q_SLOTS:
    void initTestCase() { qputenv("KP650_HOME", m_home.path().toLocal8Bit()); }

    void dialogsSurviveNoise_data() {
        QTest::addColumn<DialogFactory>("make");
        QTest::addColumn<int>("variant");
        QTest::addColumn<QList<int>>("buttons");
        for (int variant : {0, 1}) {
            const char* v = variant == 0 ? "A" : "B";
            QTest::addRow("about %s", v) << MakeDialog<CAboutDlg>() << variant << QList<int>{};
            QTest::addRow("clock %s", v)
                << MakeDialog<CDeviceClockDlg>() << variant << QList<int>{1011, 1017};
            QTest::addRow("records %s", v)
                << MakeDialog<CRecordDlg>() << variant << QList<int>{1011, 1012};
        }
        QTest::newRow("transmitter parameters")
            << MakeDialog<CTransmitterParamDlg>() << 0 << QList<int>{1011, 1003};
        QTest::newRow("receiver parameters")
            << MakeDialog<CReceiverParamDlg>() << 1 << QList<int>{1011, 1003};
    }

    void dialogsSurviveNoise() {
        QFETCH(DialogFactory, make);
        QFETCH(int, variant);
        QFETCH(QList<int>, buttons);
        g_variant = variant;
        g_portNumber = 1;
        FakeSerialLine line;
        MessageBoxRecorder boxes(QMessageBox::Yes);  // also confirms the log clear
        const std::unique_ptr<QDialog> dialog = make();
        dialog->show();
        QVERIFY(line.IsOpen());

        QRandomGenerator random(20261207u + static_cast<quint32>(variant));
        for (int round = 0; round < 400; ++round) {
            if (!buttons.isEmpty() && random.bounded(8) == 0) {
                const int id = buttons[random.bounded(int(buttons.size()))];
                auto* button = dialog->findChild<QPushButton*>(QStringLiteral("id%1").arg(id));
                QVERIFY(button);
                if (button->isEnabled()) {
                    button->click();
                }
            }
            line.Deliver(Noise(random, 1 + random.bounded(random.bounded(4) == 0 ? 300 : 12)));
        }
        // Still open, still holding the port, and every box said something.
        QVERIFY(dialog->isVisible());
        QVERIFY(line.IsOpen());
        for (const QString& text : boxes.Texts()) {
            QVERIFY(!text.isEmpty());
        }
        dialog->reject();
        QVERIFY(!line.IsOpen());
    }
};

QTEST_MAIN(TestLineNoise)
#include "tst_line_noise.moc"
