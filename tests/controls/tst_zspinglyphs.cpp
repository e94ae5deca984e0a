#include "ZSpinButton.h"

#include <QFile>
#include <QtTest>

namespace {

const QStringList UpRows{"...g....", "..g##...", ".g####..", "g######.", ".######w", "..wwwwww"};
const QStringList DownRows{"gggggg..", "g######.", ".######w", "..####w.", "...##w..", "....w..."};

QRgb ColourOf(QChar c) {
    switch (c.toLatin1()) {
    case '#':
        return qRgb(0, 0, 0);
    case 'g':
        return qRgb(128, 128, 128);
    case 'w':
        return qRgb(255, 255, 255);
    default:
        return qRgb(192, 192, 192);
    }
}

quint32 Le(const QByteArray& b, int at, int bytes) {
    quint32 v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<quint8>(b[at + i]);
    return v;
}

} // namespace

class TestZSpinGlyphs : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void bitmaps_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QImage>("bitmap");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("ZSPINUP") << "ZSPINUP.bmp" << ZSpinUpBitmap() << UpRows;
        QTest::newRow("ZSPINDOWN") << "ZSPINDOWN.bmp" << ZSpinDownBitmap() << DownRows;
    }

    void bitmaps() {
        QFETCH(QString, file);
        QFETCH(QImage, bitmap);
        QFETCH(QStringList, rows);

        // The stored file: an uncompressed 16-colour Windows bitmap, 8 x 6.
        QFile f(QStringLiteral(SORVANE_RESOURCES_DIR "/") + file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray bytes = f.readAll();
        QVERIFY(bytes.size() >= 54);
        QCOMPARE(bytes.left(2), QByteArray("BM"));
        QCOMPARE(Le(bytes, 18, 4), 8u);
        QCOMPARE(Le(bytes, 22, 4), 6u);
        QCOMPARE(Le(bytes, 28, 2), 4u);
        QCOMPARE(Le(bytes, 30, 4), 0u);

        // What the program loads from its resources.
        QVERIFY(!bitmap.isNull());
        QCOMPARE(bitmap.size(), QSize(8, 6));
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 8; ++x)
                QVERIFY2((bitmap.pixel(x, y) & 0xFFFFFF) == (ColourOf(rows[y][x]) & 0xFFFFFF),
                         qPrintable(QStringLiteral("pixel %1, %2").arg(x).arg(y)));
    }

    void transparency_data() {
        QTest::addColumn<QImage>("bitmap");
        QTest::addColumn<QRgb>("key");
        QTest::newRow("ZSPINUP") << ZSpinUpBitmap() << qRgb(192, 192, 192);
        QTest::newRow("ZSPINDOWN") << ZSpinDownBitmap() << qRgb(192, 192, 192);
        QImage red(3, 2, QImage::Format_RGB32);
        red.fill(qRgb(192, 192, 192));
        red.setPixel(0, 1, qRgb(255, 0, 0));
        red.setPixel(2, 0, qRgb(255, 0, 0));
        QTest::newRow("key is the bottom-left colour") << red << qRgb(255, 0, 0);
    }

    void transparency() {
        QFETCH(QImage, bitmap);
        QFETCH(QRgb, key);
        const QImage glyph = ZSpinGlyph(bitmap);
        QCOMPARE(glyph.size(), bitmap.size());
        int clear = 0;
        for (int y = 0; y < bitmap.height(); ++y)
            for (int x = 0; x < bitmap.width(); ++x) {
                const QRgb in = bitmap.pixel(x, y), out = glyph.pixel(x, y);
                if ((in & 0xFFFFFF) == (key & 0xFFFFFF)) {
                    QCOMPARE(qAlpha(out), 0);
                    ++clear;
                } else {
                    QCOMPARE(qAlpha(out), 255);
                    QCOMPARE(out & 0xFFFFFF, in & 0xFFFFFF);
                }
            }
        QVERIFY(clear > 0);
    }

    void nullImages() {
        QVERIFY(ZSpinGlyph(QImage()).isNull());
        QVERIFY(ZSpinGlyphDisabled(QImage(), Qt::white, Qt::gray).isNull());
    }
};

QTEST_MAIN(TestZSpinGlyphs)
#include "tst_zspinglyphs.moc"
