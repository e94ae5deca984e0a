// TIniFile: the integer text rules, and typed reads and writes through a real file.
#include "IniFile.h"
#include "scratchfiles.h"

#include <QtTest>

class TestIniFile : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parseInteger_data();
    void parseInteger();
    void typedRoundTrip();
    void snapshot();
};

void TestIniFile::parseInteger_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("expected"); // the default is 77

    QTest::newRow("decimal") << QByteArray("8000") << 8000;
    QTest::newRow("0x prefix") << QByteArray("0x1F41") << 8001;
    QTest::newRow("0X prefix, lower digits") << QByteArray("0X1f41") << 8001;
    QTest::newRow("dollar prefix") << QByteArray("$1F41") << 8001;
    QTest::newRow("suffix letter") << QByteArray("8k") << 77;
    QTest::newRow("empty") << QByteArray("") << 77;
    QTest::newRow("blanks only") << QByteArray(" \t ") << 77;
    QTest::newRow("blanks around") << QByteArray(" \t42\t ") << 42;
    QTest::newRow("plus sign") << QByteArray("+5") << 5;
    QTest::newRow("minus sign") << QByteArray("-5") << -5;
    QTest::newRow("signed dollar") << QByteArray("-$10") << -16;
    QTest::newRow("sign before 0x") << QByteArray("-0x10") << 77;
    QTest::newRow("0x alone") << QByteArray("0x") << 77;
    QTest::newRow("0x then sign") << QByteArray("0x-1") << 77;
    QTest::newRow("dollar alone") << QByteArray("$") << 77;
    QTest::newRow("sign alone") << QByteArray("-") << 77;
    QTest::newRow("two signs") << QByteArray("--1") << 77;
    QTest::newRow("inner blank") << QByteArray("1 2") << 77;
    QTest::newRow("decimal point") << QByteArray("1.5") << 77;
    QTest::newRow("largest") << QByteArray("2147483647") << 2147483647;
    QTest::newRow("beyond largest") << QByteArray("2147483648") << 77;
    QTest::newRow("smallest") << QByteArray("-2147483648") << -2147483647 - 1;
    QTest::newRow("beyond smallest") << QByteArray("-2147483649") << 77;
    QTest::newRow("twenty digits") << QByteArray("99999999999999999999") << 77;
    QTest::newRow("hex all ones is -1") << QByteArray("$FFFFFFFF") << -1;
    QTest::newRow("0x all ones is -1") << QByteArray("0xffffffff") << -1;
    QTest::newRow("hex 33 bits") << QByteArray("$100000000") << 77;
    QTest::newRow("hex leading zeros") << QByteArray("$0000000001") << 1;
    QTest::newRow("non-ascii digits") << QByteArray("\xd9\xa1\xd9\xa2") << 77;
    QTest::newRow("nul inside") << QByteArray("1\0"
                                              "2",
                                              3)
                                << 77;
}

void TestIniFile::parseInteger() {
    QFETCH(QByteArray, text);
    QFETCH(int, expected);
    QCOMPARE(ParseProfileInteger(text.toStdString(), 77), expected);
}

void TestIniFile::typedRoundTrip() {
    testcommon::TScratchDir dir;
    QVERIFY(dir.Renew());
    TIniFile ini(testcommon::NativePath(dir.FilePath("t.ini")));
    QCOMPARE(ini.ReadInteger("P", "i", -7), -7);
    QCOMPARE(ini.ReadBool("P", "b", true), true);
    QVERIFY(ini.WriteInteger("P", "i", -2147483647 - 1));
    QVERIFY(ini.WriteBool("P", "b", false));
    QVERIFY(ini.WriteString("P", "s", "text"));
    QCOMPARE(testcommon::FileBytes(dir.FilePath("t.ini")),
             QByteArray("[P]\ni=-2147483648\nb=0\ns=text\n"));
    QCOMPARE(ini.ReadInteger("P", "i", 0), -2147483647 - 1);
    QCOMPARE(ini.ReadBool("P", "b", true), false);
    QCOMPARE(ini.ReadString("p", "S", ""), "text");
    QVERIFY(ini.WriteString("P", "b", "-1"));
    QCOMPARE(ini.ReadBool("P", "b", false), true);
    QVERIFY(!TIniFile("").WriteString("P", "s", "x"));
}

// A snapshot answers from the file as it was when taken, until a write through it; a file it
// cannot read gives defaults as a plain read does.
void TestIniFile::snapshot() {
    testcommon::TScratchDir dir;
    QVERIFY(dir.Renew());
    const std::string path = testcommon::NativePath(dir.FilePath("t.ini"));
    TIniFile ini(path);
    QVERIFY(ini.WriteString("P", "s", "old"));
    TIniFile snap = ini.Snapshot();
    QVERIFY(ini.WriteString("P", "s", "new"));
    QCOMPARE(snap.ReadString("p", "S", "def"), "old");
    QCOMPARE(snap.ReadString("P", "missing", "def"), "def");
    QVERIFY(snap.WriteString("P", "i", "5"));
    QCOMPARE(snap.ReadString("P", "s", "def"), "new");
    QCOMPARE(snap.ReadInteger("P", "i", 0), 5);

    QVERIFY(QDir().mkdir(dir.FilePath("folder.ini")));
    QCOMPARE(TIniFile(testcommon::NativePath(dir.FilePath("folder.ini")))
                 .Snapshot()
                 .ReadString("P", "s", "def"),
             "def");
    QCOMPARE(TIniFile(testcommon::NativePath(dir.FilePath("none.ini")))
                 .Snapshot()
                 .ReadInteger("P", "i", 9),
             9);
}

QTEST_APPLESS_MAIN(TestIniFile)
#include "tst_inifile.moc"
