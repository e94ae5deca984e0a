// The main window on two screens, the primary one not at the origin: the first placement is
// on the primary screen, and "Fit window with..." takes the corners of the screen the window
// is on. The offscreen platform is given the two screens.
#include "UnitSorvane.h"
#include "ZRelationFile.h"

#include <QApplication>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QRect kPrimary(1024, 0, 1280, 800);
const QRect kLeft(0, 0, 1024, 768);

QString SettingsPath() {
    return QString::fromStdString(RelationFileName(".ini"));
}

} // namespace

class TestTwoScreens : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void firstPlacement();
    void fitOnItsScreen_data();
    void fitOnItsScreen();
};

void TestTwoScreens::initTestCase() {
    QCOMPARE(QGuiApplication::primaryScreen()->geometry(), kPrimary);
    QCOMPARE(QGuiApplication::screens().size(), 2);
}

void TestTwoScreens::init() {
    QFile::remove(SettingsPath());
}

void TestTwoScreens::cleanup() {
    QFile::remove(SettingsPath());
}

void TestTwoScreens::firstPlacement() {
    TFormSorvane form({});
    QTRY_VERIFY(!form.Loading());
    QCOMPARE(form.geometry(), QRect(kPrimary.right() + 1 - 305, kPrimary.top(), 305, 97));
}

void TestTwoScreens::fitOnItsScreen_data() {
    QTest::addColumn<QPoint>("from");
    QTest::addColumn<int>("tag");
    QTest::addColumn<QPoint>("expected");
    // 305 x 97 windows.
    QTest::newRow("left screen, bottom left") << QPoint(100, 100) << 1 << QPoint(0, 671);
    QTest::newRow("left screen, top right") << QPoint(100, 100) << 9 << QPoint(719, 0);
    QTest::newRow("primary, bottom right") << QPoint(1500, 200) << 3 << QPoint(1999, 703);
    QTest::newRow("primary, top left") << QPoint(1500, 200) << 7 << QPoint(1024, 0);
    QTest::newRow("across the seam, more on the left") << QPoint(800, 100) << 3 << QPoint(719, 671);
    QTest::newRow("across the seam, more on the primary")
        << QPoint(900, 100) << 1 << QPoint(1024, 703);
    QTest::newRow("partly below the primary") << QPoint(1500, 760) << 9 << QPoint(1999, 0);
    QTest::newRow("on no screen: the primary") << QPoint(200, 780) << 1 << QPoint(1024, 703);
}

void TestTwoScreens::fitOnItsScreen() {
    QFETCH(QPoint, from);
    QFETCH(int, tag);
    QFETCH(QPoint, expected);
    TFormSorvane form({});
    QTRY_VERIFY(!form.Loading());
    form.move(from);
    form.MenuFitClick(tag);
    QCOMPARE(form.pos(), expected);
    QCOMPARE(form.size(), QSize(305, 97));
}

int main(int argc, char** argv) {
    // The platform is given its screens in a file named in its argument; it takes them in the
    // order of their names, and the first is the primary one.
    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("screens.json")));
    if (!config.open(QIODevice::WriteOnly)) return 1;
    config.write(QStringLiteral(R"({"windowFrameMargins": false, "screens": [
        {"name": "1 primary", "x": %1, "y": %2, "width": %3, "height": %4, "logicalDpi": 96},
        {"name": "2 left", "x": %5, "y": %6, "width": %7, "height": %8, "logicalDpi": 96}]})")
                     .arg(kPrimary.x())
                     .arg(kPrimary.y())
                     .arg(kPrimary.width())
                     .arg(kPrimary.height())
                     .arg(kLeft.x())
                     .arg(kLeft.y())
                     .arg(kLeft.width())
                     .arg(kLeft.height())
                     .toUtf8());
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
    QApplication app(argc, argv);
    TestTwoScreens test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_twoscreens.moc"
