// The main window on the offscreen platform: hit test, frame, fitting, the
// bounds memory and the stay-on-top switch.
#include "UnitSorvane.h"
#include "ZRelationFile.h"
#include "besidesettings.h"

#include <QApplication>
#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTest>

namespace {

using namespace testcommon;

void Deliver(TFormSorvane& form, std::uint32_t wParam) {
    TUserMessageEvent e(WM_USER, wParam, 0);
    QCoreApplication::sendEvent(&form, &e);
}

} // namespace

class TestFormSorvane : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void hitTest_data();
    void hitTest();
    void frame_data();
    void frame();
    void fitPosition_data();
    void fitPosition();
    void firstStart();
    void boundsMemory();
    void storedBoundsApplied();
    void stayOnTop();
    void menu();
    void rightPressOnTheBand_data();
    void rightPressOnTheBand();
    void tick();
    void refusedWriteShownOnce();
};

void TestFormSorvane::init() {
    QFile::remove(SettingsPath());
}
void TestFormSorvane::cleanup() {
    QFile::remove(SettingsPath());
}

void TestFormSorvane::hitTest_data() {
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<int>("zone");
    // W = 305, H = 97.
    QTest::newRow("top band, y 4, left corner") << 15 << 4 << int(HTTOPLEFT);
    QTest::newRow("top band, x 16") << 16 << 4 << int(HTTOP);
    QTest::newRow("top band, x W-17") << 288 << 0 << int(HTTOP);
    QTest::newRow("top band, x W-16") << 289 << 0 << int(HTTOPRIGHT);
    QTest::newRow("y 5 at x 16: client") << 16 << 5 << int(HTCLIENT);
    QTest::newRow("bottom band, y H-5") << 100 << 92 << int(HTBOTTOM);
    QTest::newRow("y H-6: client") << 100 << 91 << int(HTCLIENT);
    QTest::newRow("bottom left corner") << 15 << 92 << int(HTBOTTOMLEFT);
    QTest::newRow("bottom right corner") << 289 << 96 << int(HTBOTTOMRIGHT);
    QTest::newRow("bottom, x W-17") << 288 << 96 << int(HTBOTTOM);
    QTest::newRow("left edge, y 15") << 4 << 15 << int(HTTOPLEFT);
    QTest::newRow("left edge, y 16") << 4 << 16 << int(HTLEFT);
    QTest::newRow("left edge, y H-17") << 0 << 80 << int(HTLEFT);
    QTest::newRow("left edge, y H-16") << 0 << 81 << int(HTBOTTOMLEFT);
    QTest::newRow("x 5: client") << 5 << 50 << int(HTCLIENT);
    QTest::newRow("right edge x W-5") << 300 << 50 << int(HTRIGHT);
    QTest::newRow("x W-6: client") << 299 << 50 << int(HTCLIENT);
    QTest::newRow("right edge, y 15") << 304 << 15 << int(HTTOPRIGHT);
    QTest::newRow("right edge, y H-16") << 300 << 81 << int(HTBOTTOMRIGHT);
    QTest::newRow("middle") << 150 << 48 << int(HTCLIENT);
}

void TestFormSorvane::hitTest() {
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(int, zone);
    QCOMPARE(SorvaneHitTest(x, y, 305, 97), zone);
}

void TestFormSorvane::frame_data() {
    QTest::addColumn<int>("w");
    QTest::addColumn<int>("h");
    QTest::addColumn<int>("x");
    QTest::addColumn<int>("y");
    QTest::addColumn<char>("expected"); // L light, D dark, . untouched
    for (const QSize s : {QSize(305, 97), QSize(81, 41)}) {
        const int w = s.width(), h = s.height(), r = w - 1, b = h - 1;
        const QByteArray n = QByteArray::number(w) + "x" + QByteArray::number(h) + " ";
        const auto row = [&](const char* name, int x, int y, char e) {
            QTest::newRow((n + name).constData()) << w << h << x << y << e;
        };
        row("top left corner", 0, 0, 'L');
        row("top edge", 100 % w, 0, 'L');
        row("top right corner", r, 0, 'D');
        row("left edge", 0, 30 % h, 'L');
        row("bottom left corner", 0, b, 'L');
        row("bottom edge", 40, b, 'D');
        row("bottom right corner", r, b, 'D');
        row("right edge", r, 30, 'D');
        row("inner top left", 1, 1, 'L');
        row("inner bottom left", 1, b - 1, 'L');
        row("inner top right", r - 1, 1, 'D');
        row("inner bottom", 40, b - 1, 'D');
        row("inside the edges", 2, 30, '.');
        row("inside, top", 40, 3, '.');
        // Left marks near the top: y 15 dark, 16 dark (across the edge), 17 light.
        row("mark 16 at the edge", 0, 16, 'D');
        row("mark 16 inner end", 3, 16, 'D');
        row("mark 16 past its end", 4, 16, '.');
        row("mark 15 starts inside", 0, 15, 'L');
        row("mark 15", 1, 15, 'D');
        row("mark 15 end", 3, 15, 'D');
        row("mark 17", 2, 17, 'L');
        // Right marks near the bottom.
        row("right mark B-16", r, b - 16, 'D');
        row("right mark B-16 inner", r - 3, b - 16, 'D');
        row("right mark B-17", r - 2, b - 17, 'D');
        row("right mark B-15", r - 1, b - 15, 'L');
        // Top marks: x 15 dark, 16 dark, 17 light.
        row("top mark 16", 16, 0, 'D');
        row("top mark 16 inner", 16, 3, 'D');
        row("top mark 15", 15, 2, 'D');
        row("top mark 17", 17, 3, 'L');
        // Bottom marks at the right.
        row("bottom mark R-16", r - 16, b, 'D');
        row("bottom mark R-17", r - 17, b - 3, 'D');
        row("bottom mark R-15", r - 15, b - 1, 'L');
        row("bottom mark R-15 outer", r - 15, b, 'D');
    }
}

void TestFormSorvane::frame() {
    QFETCH(int, w);
    QFETCH(int, h);
    QFETCH(int, x);
    QFETCH(int, y);
    QFETCH(char, expected);
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QPainter p(&image);
    PaintSorvaneFrame(p, w, h, Qt::white, Qt::gray);
    p.end();
    const QRgb want = expected == 'L'   ? QColor(Qt::white).rgb()
                      : expected == 'D' ? QColor(Qt::gray).rgb()
                                        : QColor(Qt::blue).rgb();
    QCOMPARE(QColor(image.pixel(x, y)).name(), QColor(want).name());
}

void TestFormSorvane::fitPosition_data() {
    QTest::addColumn<int>("tag");
    QTest::addColumn<QPoint>("expected");
    QTest::newRow("top left") << 7 << QPoint(0, 0);
    QTest::newRow("top right") << 9 << QPoint(719, 0);
    QTest::newRow("bottom left") << 1 << QPoint(0, 671);
    QTest::newRow("bottom right") << 3 << QPoint(719, 671);
    QTest::newRow("other tag") << 5 << QPoint(-40, 900);
    QTest::newRow("tag 0") << 0 << QPoint(-40, 900);
}

void TestFormSorvane::fitPosition() {
    QFETCH(int, tag);
    QFETCH(QPoint, expected);
    QCOMPARE(SorvaneFitPosition(tag, QRect(0, 0, 1024, 768), QRect(-40, 900, 305, 97)), expected);
}

void TestFormSorvane::firstStart() {
    TFormSorvane form({});
    QVERIFY(form.Loading());
    QVERIFY(!form.isVisible());
    QVERIFY(form.StayOnTop());
    QVERIFY(form.Form().MenuStayontop->isChecked());
    QTRY_VERIFY(!form.Loading());
    QVERIFY(form.isVisible());
    QTRY_VERIFY(!form.windowIcon().isNull()); // set once shown
    // The pixels compiled in are the picture's own, byte order included.
    QImage picture(QStringLiteral(SORVANE_ICON_PNG));
    QVERIFY(!picture.isNull());
    picture.setColorSpace(QColorSpace()); // the file's colour space tag is not compiled in
    QCOMPARE(form.windowIcon()
                 .pixmap(picture.size())
                 .toImage()
                 .convertToFormat(QImage::Format_ARGB32_Premultiplied),
             picture.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    QCOMPARE(form.geometry(), QRect(screen.width() - 305, 0, 305, 97));
    QCOMPARE(form.PerformanceGraph->geometry(), QRect(4, 4, 297, 89));
    QCOMPARE(form.PerformanceGraph->Sources(),
             (std::vector<TZPerformanceSource*>{form.ReceiveSource, form.SendSource}));
    QCOMPARE(form.ReceiveSource->Color(), TColor(0x0000FF));
    QCOMPARE(form.SendSource->Max, 8000);
    QCOMPARE(form.PerformanceGraph->HGridColor(), TColor(0xFF0000));
    QVERIFY(form.windowFlags().testFlag(Qt::FramelessWindowHint));
    QCoreApplication::processEvents();
    QVERIFY(!QFile::exists(SettingsPath())); // nothing written until something changes
}

void TestFormSorvane::boundsMemory() {
    TFormSorvane form({});
    // While loading, a move message writes nothing.
    form.move(10, 10);
    Deliver(form, 1);
    QVERIFY(!QFile::exists(SettingsPath()));
    QTRY_VERIFY(!form.Loading());
    QCoreApplication::processEvents();
    QVERIFY(!QFile::exists(SettingsPath()));

    // Nobody moves a window on this platform: what it shows is remembered, not written. What a
    // user's moves and resizes write is tested against a real X server.
    form.move(30, 40);
    QTRY_COMPARE(form.RememberedBounds(), (TWindowBounds{30, 40, 305, 97}));
    form.resize(200, 60);
    QTRY_COMPARE(form.RememberedBounds(), (TWindowBounds{30, 40, 200, 60}));
    QVERIFY(!QFile::exists(SettingsPath()));
    QCOMPARE(form.PerformanceGraph->geometry(), QRect(4, 4, 192, 52));
    QCOMPARE(form.PerformanceGraph->ImageWidth(), 190);

    form.resize(10, 10); // the minimum holds
    QCOMPARE(form.size(), QSize(80, 40));
}

void TestFormSorvane::storedBoundsApplied() {
    QVERIFY(
        WriteSettings("[Window]\nx=-50\ny=123\ncx=400\ncy=150\n[Property]\nStayOnTop=0\n"
                      "Scale=1000\nDelay=3\nHGridSpace=1000000000\nVGridSpace=-3\nCurve=abc\n"));
    TFormSorvane form({});
    QVERIFY(!form.isVisible());
    QTRY_VERIFY(!form.Loading());
    QCOMPARE(form.geometry(), QRect(-50, 123, 400, 150)); // partly off the screen, as stored
    QVERIFY(!form.StayOnTop());
    QVERIFY(!form.Form().MenuStayontop->isChecked());
    QCOMPARE(form.SendSource->Max, 1000);
    QCOMPARE(form.ReceiveSource->Delay, 3);
    QCOMPARE(form.PerformanceGraph->VGridSpace(), 5);
    QCOMPARE(form.PerformanceGraph->Curve(), 0.25);
    form.TimerTimer(); // a huge grid spacing must not stall a tick
    QVERIFY(form.PerformanceGraph->HasImage());

    // Absurd sizes: held to what a screen here can show; a place on no screen (x is read
    // as -32768): the place of a first start. Neither is written.
    const QByteArray absurd = "[Window]\nx=-1000000000\ny=0\ncx=1000000000\ncy=0\n";
    QVERIFY(WriteSettings(absurd));
    TFormSorvane huge({});
    QTRY_VERIFY(!huge.Loading());
    const QSize limit = QGuiApplication::primaryScreen()->virtualSize();
    QVERIFY(huge.width() <= limit.width());
    QCOMPARE(huge.height(), 40);
    QCOMPARE(huge.pos(),
             QPoint(QGuiApplication::primaryScreen()->geometry().width() - huge.width(), 0));
    QCoreApplication::processEvents();
    QCOMPARE(SettingsText(), absurd);
}

void TestFormSorvane::stayOnTop() {
    TFormSorvane form({});
    QTRY_VERIFY(!form.Loading());
    form.MenuStayontopClick();
    QVERIFY(!form.StayOnTop());
    QVERIFY(!form.Form().MenuStayontop->isChecked());
    QVERIFY(form.isVisible());
    QVERIFY(SettingsText().contains("StayOnTop=0"));
    form.MenuStayontopClick();
    QVERIFY(form.StayOnTop());
    QVERIFY(form.Form().MenuStayontop->isChecked());
    QVERIFY(SettingsText().contains("StayOnTop=1"));
    QVERIFY(!SettingsText().contains("StayOnTop=0"));
    QVERIFY(form.isVisible());
}

void TestFormSorvane::menu() {
    TFormSorvane form({});
    QTRY_VERIFY(!form.Loading());
    QStringList items;
    for (QAction* a : form.PopupMenu()->actions())
        items << (a->isSeparator() ? "-" : a->text());
    QCOMPARE(items, (QStringList{"Property...", "Stay on top", "Fit window with...", "Auto scale",
                                 "-", "Exit"}));
    QMenu* fit = form.PopupMenu()->actions()[2]->menu();
    QVERIFY(fit);
    QStringList fits;
    for (QAction* a : fit->actions())
        fits << a->text();
    QCOMPARE(fits, (QStringList{"Top Left", "Top Right", "Bottom Left", "Bottom Right"}));

    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    fit->actions()[3]->trigger(); // Bottom Right
    QCOMPARE(form.pos(), QPoint(screen.width() - 305, screen.height() - 97));
    // Written only where windows are real (against a real X server).
    QTRY_COMPARE(form.RememberedBounds().y, screen.height() - 97);
    QVERIFY(!QFile::exists(SettingsPath()));
    fit->actions()[0]->trigger(); // Top Left
    QCOMPARE(form.pos(), QPoint(0, 0));

    // "Property..." makes the dialog at its first use only, then shows the same one.
    int made = 0;
    QPointer<QWidget> dialog;
    form.CreatePropertyDialog = [&] {
        ++made;
        dialog = new QWidget(&form, Qt::Window);
        return dialog.data();
    };
    QCOMPARE(made, 0);
    form.Form().MenuProperty->trigger();
    QCOMPARE(made, 1);
    QVERIFY(dialog && dialog->isVisible());
    QCOMPARE(form.PropertyDialog.data(), dialog.data());
    dialog->hide();
    form.Form().MenuProperty->trigger();
    QCOMPARE(made, 1);
    QVERIFY(dialog->isVisible());
    // A dialog given beforehand is shown instead of making one.
    QWidget given;
    form.PropertyDialog = &given;
    form.Form().MenuProperty->trigger();
    QCOMPARE(made, 1);
    QVERIFY(given.isVisible());

    form.Form().MenuExit->trigger();
    QVERIFY(!form.isVisible());
}

void TestFormSorvane::tick() {
    TFormSorvane form({});
    QCOMPARE(form.Timer()->interval(), 1000);
    QVERIFY(form.Timer()->isActive());
    const int phase = form.PerformanceGraph->VGridPhase();
    form.TimerTimer();
    QCOMPARE(form.PerformanceGraph->VGridPhase(), (phase + 1) % 60);
    QVERIFY(form.ReceiveSource->IsValid(0));
}

void TestFormSorvane::rightPressOnTheBand_data() {
    // Graph coordinates; the graph sits 4 pixels inside a 305 x 97 window.
    QTest::addColumn<QPoint>("at");
    QTest::addColumn<bool>("menu");
    QTest::newRow("outermost left column: frame") << QPoint(0, 40) << false;
    QTest::newRow("one pixel further in") << QPoint(1, 40) << true;
    QTest::newRow("outermost right column: frame") << QPoint(296, 40) << false;
    QTest::newRow("last row: frame") << QPoint(150, 88) << false;
    QTest::newRow("middle") << QPoint(150, 40) << true;
}

void TestFormSorvane::rightPressOnTheBand() {
    QFETCH(QPoint, at);
    QFETCH(bool, menu);
    TFormSorvane form({});
    QTRY_VERIFY(!form.Loading());
    QCOMPARE(form.size(), QSize(305, 97));
    QTest::mousePress(form.PerformanceGraph, Qt::RightButton, {}, at);
    QCOMPARE(form.PopupMenu()->isVisible(), menu);
    form.PopupMenu()->hide();
}

// One box for a path until a write there goes through; none while the button is held.
void TestFormSorvane::refusedWriteShownOnce() {
    QFile f(SettingsPath());
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Property]\nScale=1000\n");
    f.close();
    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner));
    TFormSorvane form({});
    QTRY_VERIFY(!form.Loading());
    int boxes = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, this, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->done(QMessageBox::Ok);
        }
    });
    closer.start(5);

    for (int i = 0; i < 3; ++i)
        form.MenuStayontopClick();
    QCOMPARE(boxes, 1);

    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner));
    form.MenuStayontopClick();
    QCOMPARE(SettingsText(), QByteArray("[Property]\nScale=1000\nStayOnTop=1\n"));
    QVERIFY(QFile::setPermissions(SettingsPath(), QFile::ReadOwner));

    // Refused again after a write went through: shown again, but after the release.
    QTest::mousePress(form.PerformanceGraph, Qt::LeftButton, {}, QPoint(150, 40));
    form.MenuStayontopClick();
    form.MenuStayontopClick();
    QCOMPARE(boxes, 1);
    QTest::mouseRelease(form.PerformanceGraph, Qt::LeftButton, {}, QPoint(150, 40));
    QTRY_COMPARE(boxes, 2);
    QCOMPARE(SettingsText(), QByteArray("[Property]\nScale=1000\nStayOnTop=1\n"));
    QFile::setPermissions(SettingsPath(), QFile::ReadOwner | QFile::WriteOwner);
}

QTEST_MAIN(TestFormSorvane)
#include "tst_formsorvane.moc"
