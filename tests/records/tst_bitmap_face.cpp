#include <QImage>
#include <QtTest>

#include "records/bitmap_face_button.h"
#include "records/disabled_face.h"

using Pixels = std::vector<std::uint32_t>;
Q_DECLARE_METATYPE(Pixels)

namespace {
constexpr std::uint32_t kFace = 0xF0F0F0;
constexpr std::uint32_t kShadow = 0xA0A0A0;
constexpr std::uint32_t kHighlight = 0xFFFFFF;
constexpr std::uint32_t kGrey = 0xC0C0C0;
}  // namespace

class TestBitmapFace : public QObject {
    Q_OBJECT
private slots:
    void disabledRule_data();
    void disabledRule();
    void buttonFaces();
    void drawnLooks();
};

void TestBitmapFace::disabledRule_data() {
    QTest::addColumn<Pixels>("pixels");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<Pixels>("expected");
    // 2x2, bottom-left grey: black text pixels are below the mean of themselves only when
    // brighter ones exist.
    QTest::newRow("black text on grey") << Pixels{0x000000, kGrey, kGrey, 0x000000} << 2 << 2
                                        << Pixels{kHighlight, kFace, kFace, kHighlight};
    QTest::newRow("bright and dark around the mean")
        << Pixels{0x000000, 0x303030, 0xFFFFFF, kGrey, kGrey, kGrey} << 3 << 2
        << Pixels{kHighlight, kHighlight, kShadow, kFace, kFace, kFace};
    QTest::newRow("transparent is bottom-left, not top-left")
        << Pixels{kGrey, 0x101010, 0x202020, 0xFFFFFF} << 2 << 2
        << Pixels{kShadow, kHighlight, kFace, kShadow};
    QTest::newRow("all transparent")
        << Pixels{kGrey, kGrey, kGrey} << 3 << 1 << Pixels{kFace, kFace, kFace};
    QTest::newRow("alpha byte ignored") << Pixels{0xFF000000, 0xFFC0C0C0, 0x00FFFFFF, 0xFFC0C0C0}
                                        << 2 << 2 << Pixels{kHighlight, kShadow, kFace, kShadow};
    QTest::newRow("too few pixels") << Pixels{kGrey} << 2 << 2 << Pixels{};
}

void TestBitmapFace::disabledRule() {
    QFETCH(Pixels, pixels);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(Pixels, expected);
    QCOMPARE(DisabledFacePixels(pixels, width, height, kFace, kShadow, kHighlight), expected);
}

void TestBitmapFace::buttonFaces() {
    struct Face {
        const char* path;
        int width;
    };
    for (const Face& f :
         {Face{":/button147.png", 32}, Face{":/button152.png", 64}, Face{":/button149.png", 65},
          Face{":/button153.png", 65}, Face{":/button154.png", 65}, Face{":/button155.png", 65}}) {
        CBitmapFaceButton button(QStringLiteral("x"));
        QVERIFY2(button.LoadBitmaps(QString::fromLatin1(f.path)), f.path);
        QCOMPARE(button.BitmapSize(), QSize(f.width, 17));
        // The grey background is masked out, the caption is not.
        const QImage mask = button.NormalFace().mask().toImage();
        QVERIFY(!mask.isNull());
        QCOMPARE(mask.pixelIndex(0, 16), mask.pixelIndex(0, 0));
        bool someOpaque = false;
        for (int y = 0; y < mask.height() && !someOpaque; ++y) {
            for (int x = 0; x < mask.width(); ++x) {
                if (mask.pixelIndex(x, y) != mask.pixelIndex(0, 16)) {
                    someOpaque = true;
                    break;
                }
            }
        }
        QVERIFY2(someOpaque, f.path);
        QCOMPARE(button.DisabledFace().size(), QSize(f.width, 17));
    }
    CBitmapFaceButton missing(QStringLiteral("x"));
    QVERIFY(!missing.LoadBitmaps(QStringLiteral(":/no-such-face.png")));
}

namespace {
// Black pixels inside `area` of the button as drawn.
int BlackPixels(QWidget& button, const QRect& area) {
    const QImage image = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int black = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            black += (image.pixel(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
        }
    }
    return black;
}
}  // namespace

void TestBitmapFace::drawnLooks() {
    QWidget window;
    CBitmapFaceButton button(QStringLiteral("读取记录"), &window);
    QVERIFY(button.LoadBitmaps(QStringLiteral(":/button152.png")));
    button.setGeometry(10, 10, 76, 26);
    window.resize(120, 60);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The image is centred: (76 - 64) / 2 = 6, (26 - 17) / 2 = 4.
    const QRect image(6, 4, 64, 17);
    const QRect inner = image.adjusted(2, 2, -2, -2);

    const int normal = BlackPixels(button, inner);
    QVERIFY(normal > 20);  // the caption, in black
    // The grey background is transparent: the face around the caption is the button's own.
    const QImage drawn = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int grey = 0;
    for (int y = image.top(); y <= image.bottom(); ++y) {
        for (int x = image.left(); x <= image.right(); ++x) {
            grey += (drawn.pixel(x, y) & 0xFFFFFF) == 0xC0C0C0 ? 1 : 0;
        }
    }
    QCOMPARE(grey, 0);

    button.setEnabled(false);
    QCOMPARE(BlackPixels(button, inner), 0);  // the derived face has no black

    button.setEnabled(true);
    button.setDown(true);
    // Pressed: the caption moves one pixel right and down.
    const QImage pressed = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    button.setDown(false);
    const QImage released = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    int same = 0;
    int shifted = 0;
    for (int y = inner.top(); y <= inner.bottom(); ++y) {
        for (int x = inner.left(); x <= inner.right(); ++x) {
            if ((released.pixel(x, y) & 0xFFFFFF) == 0) {
                same += (pressed.pixel(x, y) & 0xFFFFFF) == 0 ? 1 : 0;
                shifted += (pressed.pixel(x + 1, y + 1) & 0xFFFFFF) == 0 ? 1 : 0;
            }
        }
    }
    QCOMPARE(shifted, normal);
    QVERIFY(same < normal);
}

QTEST_MAIN(TestBitmapFace)
#include "tst_bitmap_face.moc"
