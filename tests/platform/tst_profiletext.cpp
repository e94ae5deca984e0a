// The INI text rules, on buffers.
#include "ProfileFile.h"

#include <QtTest>

namespace {
std::string S(const QByteArray& b) {
    return b.toStdString();
}
// A literal with its NUL bytes.
template <std::size_t N> QByteArray B(const char (&s)[N]) {
    return QByteArray(s, N - 1);
}
} // namespace

class TestProfileText : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void find_data();
    void find();
    void replace_data();
    void replace();
    void writable_data();
    void writable();
    void longLine();
};

void TestProfileText::find_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QByteArray>("value");

    const QByteArray base = "[Window]\nx=1\n[Property]\nScale=8000\n";
    QTest::newRow("plain") << base << QByteArray("Property") << QByteArray("Scale") << true
                           << QByteArray("8000");
    QTest::newRow("section case") << base << QByteArray("PROPERTY") << QByteArray("Scale") << true
                                  << QByteArray("8000");
    QTest::newRow("key case") << base << QByteArray("Property") << QByteArray("sCALE") << true
                              << QByteArray("8000");
    QTest::newRow("key of other section")
        << base << QByteArray("Window") << QByteArray("Scale") << false << QByteArray();
    QTest::newRow("missing section")
        << base << QByteArray("Other") << QByteArray("x") << false << QByteArray();
    QTest::newRow("empty text") << QByteArray() << QByteArray("Property") << QByteArray("Scale")
                                << false << QByteArray();
    QTest::newRow("first key wins") << QByteArray("[P]\nk=1\nK=2\n") << QByteArray("P")
                                    << QByteArray("k") << true << QByteArray("1");
    QTest::newRow("first section wins") << QByteArray("[P]\na=1\n[p]\nk=2\n") << QByteArray("P")
                                        << QByteArray("k") << false << QByteArray();
    QTest::newRow("comment is no key") << QByteArray("[P]\n;k=1\n  ;k=2\nk=3\n") << QByteArray("P")
                                       << QByteArray("k") << true << QByteArray("3");
    QTest::newRow("crlf") << QByteArray("[P]\r\nk=v\r\n") << QByteArray("P") << QByteArray("k")
                          << true << QByteArray("v");
    QTest::newRow("blanks around")
        << QByteArray(" \t[ P ] \n \t k \t= \t a b \t\n") << QByteArray("P") << QByteArray("k")
        << true << QByteArray("a b");
    QTest::newRow("empty value") << QByteArray("[P]\nk=\n") << QByteArray("P") << QByteArray("k")
                                 << true << QByteArray("");
    QTest::newRow("equals in value") << QByteArray("[P]\nk=a=b\n") << QByteArray("P")
                                     << QByteArray("k") << true << QByteArray("a=b");
    QTest::newRow("no final newline")
        << QByteArray("[P]\nk=v") << QByteArray("P") << QByteArray("k") << true << QByteArray("v");
    QTest::newRow("lone cr at end") << QByteArray("[P]\nk=v\r") << QByteArray("P")
                                    << QByteArray("k") << true << QByteArray("v");
    QTest::newRow("key before any section")
        << QByteArray("k=0\n[P]\n") << QByteArray("P") << QByteArray("k") << false << QByteArray();
    QTest::newRow("header without bracket")
        << QByteArray("[P\nk=v\n") << QByteArray("P") << QByteArray("k") << true << QByteArray("v");
    QTest::newRow("line without equals") << QByteArray("[P]\nk\nk=v\n") << QByteArray("P")
                                         << QByteArray("k") << true << QByteArray("v");
    QTest::newRow("nul and bad utf-8 elsewhere") << B("[P]\na=\0\xff\xfe\nk=v\n") << QByteArray("P")
                                                 << QByteArray("k") << true << QByteArray("v");
    QTest::newRow("non-ascii not folded") << QByteArray("[P]\n\xc3\xa9=1\n") << QByteArray("P")
                                          << QByteArray("\xc3\x89") << false << QByteArray();
}

void TestProfileText::find() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(bool, found);
    QFETCH(QByteArray, value);
    const std::string t = S(text);
    const auto v = ProfileFind(t, S(section), S(key));
    QCOMPARE(v.has_value(), found);
    if (found) QCOMPARE(QByteArray::fromStdString(std::string(*v)), value);
}

void TestProfileText::replace_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("empty file") << QByteArray() << QByteArray("k") << QByteArray("1")
                                << QByteArray("[P]\nk=1\n");
    QTest::newRow("in place, spacing kept")
        << QByteArray(";c\n[P]\n K = old \t\nz=2\n") << QByteArray("k") << QByteArray("new")
        << QByteArray(";c\n[P]\n K = new \t\nz=2\n");
    QTest::newRow("in place, crlf kept") << QByteArray("[P]\r\nk=old\r\n") << QByteArray("k")
                                         << QByteArray("7") << QByteArray("[P]\r\nk=7\r\n");
    QTest::newRow("in place, empty value") << QByteArray("[P]\nk=\n") << QByteArray("k")
                                           << QByteArray("7") << QByteArray("[P]\nk=7\n");
    QTest::newRow("only first duplicate changed")
        << QByteArray("[P]\nk=1\nk=2\n[P]\nk=3\n") << QByteArray("K") << QByteArray("9")
        << QByteArray("[P]\nk=9\nk=2\n[P]\nk=3\n");
    QTest::newRow("append before blank and comment")
        << QByteArray("[P]\na=1\n\n; next\n[Q]\nk=0\n") << QByteArray("k") << QByteArray("5")
        << QByteArray("[P]\na=1\nk=5\n\n; next\n[Q]\nk=0\n");
    QTest::newRow("append to header only") << QByteArray("[P]\n[Q]\n") << QByteArray("k")
                                           << QByteArray("5") << QByteArray("[P]\nk=5\n[Q]\n");
    QTest::newRow("append, no final newline") << QByteArray("[P]\na=1") << QByteArray("k")
                                              << QByteArray("5") << QByteArray("[P]\na=1\nk=5\n");
    QTest::newRow("append after bare header")
        << QByteArray("[P]") << QByteArray("k") << QByteArray("5") << QByteArray("[P]\nk=5\n");
    QTest::newRow("append to first of two sections")
        << QByteArray("[P]\na=1\n[P]\nb=2\n") << QByteArray("k") << QByteArray("5")
        << QByteArray("[P]\na=1\nk=5\n[P]\nb=2\n");
    QTest::newRow("new section at end") << QByteArray("[Q]\nz=1\n") << QByteArray("k")
                                        << QByteArray("5") << QByteArray("[Q]\nz=1\n[P]\nk=5\n");
    QTest::newRow("new section, no final newline")
        << QByteArray("; only") << QByteArray("k") << QByteArray("5")
        << QByteArray("; only\n[P]\nk=5\n");
    QTest::newRow("crlf file, header ending in lone cr")
        << QByteArray(";\r\n[P\t\r") << QByteArray("k") << QByteArray("5")
        << QByteArray(";\r\n[P\t\r\nk=5\r\n");
    QTest::newRow("new section after lone cr")
        << QByteArray(";\r\n[Q]\r") << QByteArray("k") << QByteArray("5")
        << QByteArray(";\r\n[Q]\r\n[P]\r\nk=5\r\n");
    QTest::newRow("new lines follow crlf")
        << QByteArray("[Q]\r\nz=1\r\n") << QByteArray("k") << QByteArray("5")
        << QByteArray("[Q]\r\nz=1\r\n[P]\r\nk=5\r\n");
    QTest::newRow("value blanks trimmed")
        << QByteArray() << QByteArray("k") << QByteArray("  v  ") << QByteArray("[P]\nk=v\n");
    QTest::newRow("nul bytes kept") << B("[P]\n\0=\xff\nk=1\n") << QByteArray("k")
                                    << QByteArray("2") << B("[P]\n\0=\xff\nk=2\n");
}

void TestProfileText::replace() {
    QFETCH(QByteArray, text);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(QByteArray, expected);
    const std::string out = ProfileReplace(S(text), "P", S(key), S(value));
    QCOMPARE(QByteArray::fromStdString(out), expected);
    const auto back = ProfileFind(out, "p", S(key));
    QVERIFY(back.has_value());
    QCOMPARE(QByteArray::fromStdString(std::string(*back)), value.trimmed());
    QCOMPARE(ProfileReplace(out, "P", S(key), S(value)), out); // a second write changes nothing
}

void TestProfileText::writable_data() {
    QTest::addColumn<QByteArray>("section");
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("ok");
    QTest::newRow("plain") << QByteArray("P") << QByteArray("k") << QByteArray("v") << true;
    QTest::newRow("empty value") << QByteArray("P") << QByteArray("k") << QByteArray("") << true;
    QTest::newRow("empty key") << QByteArray("P") << QByteArray("") << QByteArray("v") << false;
    QTest::newRow("empty section") << QByteArray("") << QByteArray("k") << QByteArray("v") << false;
    QTest::newRow("newline in value")
        << QByteArray("P") << QByteArray("k") << QByteArray("a\nb") << false;
    QTest::newRow("cr in value") << QByteArray("P") << QByteArray("k") << QByteArray("a\r")
                                 << false;
    QTest::newRow("nul in value") << QByteArray("P") << QByteArray("k") << B("a\0b") << false;
    QTest::newRow("equals in key")
        << QByteArray("P") << QByteArray("a=b") << QByteArray("v") << false;
    QTest::newRow("comment key") << QByteArray("P") << QByteArray(";k") << QByteArray("v") << false;
    QTest::newRow("bracket key") << QByteArray("P") << QByteArray("[k") << QByteArray("v") << false;
    QTest::newRow("bracket in section")
        << QByteArray("P]") << QByteArray("k") << QByteArray("v") << false;
    QTest::newRow("blank around key")
        << QByteArray("P") << QByteArray(" k") << QByteArray("v") << false;
}

void TestProfileText::writable() {
    QFETCH(QByteArray, section);
    QFETCH(QByteArray, key);
    QFETCH(QByteArray, value);
    QFETCH(bool, ok);
    QCOMPARE(ProfileWritable(S(section), S(key), S(value)), ok);
}

void TestProfileText::longLine() {
    const std::string text = "[P]\nnoise=" + std::string(1 << 20, 'x') + "\nk=v\n";
    QCOMPARE(ProfileFind(text, "P", "k").value_or(""), std::string_view("v"));
    const std::string out = ProfileReplace(text, "P", "k", "w");
    QCOMPARE(out.size(), text.size());
    QCOMPARE(out.compare(0, text.size() - 2, text, 0, text.size() - 2), 0);
}

QTEST_APPLESS_MAIN(TestProfileText)
#include "tst_profiletext.moc"
