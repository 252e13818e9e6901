#include "app/global_settings.h"
#include "app/helpers.h"
#include "app/local_codec.h"
#include "support/scripted_operator.h"
#include "support/test_program.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

class TestHelpers : public QObject {
    Q_OBJECT

private slots:
    void dateDisplay_data();
    void dateDisplay();
    void dateDisplayUsesCalendarSetting();
    void pathPieces_data();
    void pathPieces();
    void quoting_data();
    void quoting();
    void fileExists();
    void textFileRoundTrip_data();
    void textFileRoundTrip();
    void textFileInBig5();
    void textFileFailures();
    void saveKeepsOldCopyWhenWriteFails();
    void fullDiskLeavesOldFileWhole();
    void sleepSeconds();
};

void TestHelpers::dateDisplay_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("expected");
    const QDate nov25(2016, 11, 25);
    QTest::newRow("CCMMDD") << QVariant(nov25) << "CCMMDD"
                            << "1051125";
    QTest::newRow("CCMMDD ROC 100") << QVariant(QDate(2011, 1, 1)) << "CCMMDD"
                                    << "1000101";
    QTest::newRow("CCMMDD ROC 04") << QVariant(QDate(1915, 1, 1)) << "CCMMDD"
                                   << "040101";
    QTest::newRow("YYYY/MM") << QVariant(nov25) << "YYYY/MM"
                             << "2016/11";
    QTest::newRow("YYMMDD") << QVariant(QDate(2005, 3, 9)) << "YYMMDD"
                            << "050309";
    QTest::newRow("CC/MM/DD") << QVariant(nov25) << "CC/MM/DD"
                              << "105-11-25";
    QTest::newRow("YYYY/MM/DD") << QVariant(nov25) << "YYYY/MM/DD"
                                << "2016-11-25";
    QTest::newRow("YY/MM/DD") << QVariant(nov25) << "YY/MM/DD"
                              << "16-11-25";
    QTest::newRow("date-time drops time") << QVariant(QDateTime(nov25, QTime(23, 59, 59))) << "YYYY/MM/DD"
                                          << "2016-11-25";
    QTest::newRow("text date") << QVariant(QStringLiteral("2016/11/25")) << "YYYY/MM/DD"
                               << "2016-11-25";
    QTest::newRow("text date-time") << QVariant(QStringLiteral("2016-11-25 14:05:12")) << "CCMMDD"
                                    << "1051125";
    QTest::newRow("not a date") << QVariant(QStringLiteral("not a date")) << "YYYY/MM/DD"
                                << "";
    QTest::newRow("number") << QVariant(42) << "YYYY/MM/DD"
                            << "";
    QTest::newRow("null") << QVariant() << "YYYY/MM/DD"
                          << "";
    QTest::newRow("lower case goes to formatter") << QVariant(nov25) << "yyyy/mm/dd"
                                                  << "2016/11/25";
    QTest::newRow("formatter month name") << QVariant(nov25) << "dd mmm yyyy"
                                          << "25 Nov 2016";
    QTest::newRow("formatter keeps other letters") << QVariant(nov25) << "yyyy年m月d日"
                                                   << "2016年11月25日";
}

void TestHelpers::dateDisplay() {
    QFETCH(QVariant, value);
    QFETCH(QString, pattern);
    QFETCH(QString, expected);
    GlobalSettings().DateSep = QStringLiteral("-");
    QCOMPARE(DBDateDisp(value, pattern), expected);
}

void TestHelpers::dateDisplayUsesCalendarSetting() {
    TestProgram program;
    program.write(QStringLiteral("ORVIK.INI"), "[PARAM]\nCalendar=CC/MM/DD\nDateSep=.\n");
    program.initGlobal();
    QCOMPARE(DBDateDisp(QDate(2016, 11, 25)), QStringLiteral("105.11.25"));
    QCOMPARE(DBDateDisp(QDate(2016, 11, 25), QStringLiteral("YYYY/MM")), QStringLiteral("2016/11"));
}

void TestHelpers::pathPieces_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("noExt");
    QTest::newRow("windows path") << "C:\\data\\a.txt"
                                  << "C:\\data"
                                  << "a.txt"
                                  << "C:\\data\\a";
    QTest::newRow("bare name") << "a.txt"
                               << ""
                               << "a.txt"
                               << "a";
    QTest::newRow("trailing separator") << "dir/sub/"
                                        << "dir/sub"
                                        << ""
                                        << "dir/sub/";
    QTest::newRow("separator first") << "\\a.txt"
                                     << ""
                                     << "\\a.txt"
                                     << "\\a";
    QTest::newRow("unix path") << "/home/op/report.2016.csv"
                               << "/home/op"
                               << "report.2016.csv"
                               << "/home/op/report.2016";
    QTest::newRow("dot in folder only") << "v1.2/readme"
                                        << "v1.2"
                                        << "readme"
                                        << "v1";
    QTest::newRow("empty") << ""
                           << ""
                           << ""
                           << "";
}

void TestHelpers::pathPieces() {
    QFETCH(QString, path);
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(QString, noExt);
    QCOMPARE(GetPath(path), folder);
    QCOMPARE(GetFileName(path), name);
    QCOMPARE(GetFileNameNoExt(path), noExt);
}

void TestHelpers::quoting_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("quoted");
    QTest::newRow("apostrophe and blanks") << QVariant(QStringLiteral(" O'Neil ")) << "'O''Neil'";
    QTest::newRow("empty") << QVariant(QString()) << "''";
    QTest::newRow("null") << QVariant() << "''";
    QTest::newRow("number") << QVariant(12.5) << "'12.5'";
    QTest::newRow("tabs are not blanks") << QVariant(QStringLiteral("\tx\t")) << "'\tx\t'";
    QTest::newRow("chinese") << QVariant(QStringLiteral(" 台北 ")) << QStringLiteral("'台北'");
}

void TestHelpers::quoting() {
    QFETCH(QVariant, value);
    QFETCH(QString, quoted);
    QCOMPARE(QuoteStr(value), quoted);
    QCOMPARE(QuoteStrValue(value).toString(), quoted);
    // Quoting then unquoting gives back the trimmed text with apostrophes doubled.
    QCOMPARE(UnquoteStr(quoted), quoted.mid(1, quoted.size() - 2));

    QCOMPARE(UnquoteStr(QStringLiteral("'abc\"")), QStringLiteral("abc"));
    QCOMPARE(UnquoteStr(QStringLiteral("'")), QStringLiteral("'"));
    QCOMPARE(UnquoteStr(QStringLiteral("''")), QString());
    QCOMPARE(UnquoteStr(QStringLiteral("\"\"")), QStringLiteral("\"\""));
    QCOMPARE(UnquoteStr(QStringLiteral("abc'")), QStringLiteral("abc"));
    QCOMPARE(UnquoteStr(QStringLiteral("x")), QStringLiteral("x"));
    QCOMPARE(UnquoteStr(QStringLiteral("'a'b'")), QStringLiteral("a'b"));
}

void TestHelpers::fileExists() {
    TestProgram program;
    program.write(QStringLiteral("f.txt"), "x");
    QVERIFY(FileExists(program.path(QStringLiteral("f.txt"))));
    QVERIFY(!FileExists(program.folder()));
    QVERIFY(!FileExists(program.path(QStringLiteral("missing.txt"))));
    QVERIFY(!FileExists(QString()));
    QVERIFY(!FileExists(QString::fromLatin1("bad\0name", 8)));
}

void TestHelpers::textFileRoundTrip_data() {
    QTest::addColumn<QByteArray>("onDisk");
    QTest::addColumn<QString>("loaded");
    QTest::addColumn<QByteArray>("saved");
    QTest::newRow("CR LF kept, no extra break")
        << QByteArray("select 1\r\nfrom t\r\n") << "select 1\nfrom t\n"
        << QByteArray("select 1\r\nfrom t\r\n");
    QTest::newRow("no final break gets one")
        << QByteArray("select 1") << "select 1" << QByteArray("select 1\r\n");
    QTest::newRow("lone CR and LF") << QByteArray("a\rb\nc") << "a\nb\nc" << QByteArray("a\r\nb\r\nc\r\n");
    QTest::newRow("chinese") << QStringLiteral("查詢 客戶\r\n").toUtf8() << QStringLiteral("查詢 客戶\n")
                             << QStringLiteral("查詢 客戶\r\n").toUtf8();
    QTest::newRow("empty file") << QByteArray() << "" << QByteArray("\r\n");
}

void TestHelpers::textFileRoundTrip() {
    QFETCH(QByteArray, onDisk);
    QFETCH(QString, loaded);
    QFETCH(QByteArray, saved);
    ScriptedOperator op;
    TestProgram program;
    const QString path = program.path(QStringLiteral("s.sql"));
    writeFileBytes(path, onDisk);
    const auto text = TxtLoadFile(path);
    QVERIFY(text);
    QCOMPARE(*text, loaded);
    QVERIFY(TxtSaveFile(path, *text));
    QCOMPARE(readFileBytes(path), saved);
    // Loading and saving again changes nothing: the file does not grow.
    QVERIFY(TxtSaveFile(path, *TxtLoadFile(path)));
    QCOMPARE(readFileBytes(path), saved);
    QVERIFY(op.boxes.isEmpty());
}

void TestHelpers::textFileInBig5() {
    TestProgram program;
    const QByteArray saved = LocalCodec::codecName();
    LocalCodec::setCodecName("Big5");
    const QString path = program.path(QStringLiteral("big5.sql"));
    QVERIFY(TxtSaveFile(path, QStringLiteral("台北測試")));
    const QByteArray bytes = readFileBytes(path);
    const auto back = TxtLoadFile(path);
    LocalCodec::setCodecName(saved);
    QCOMPARE(bytes, QByteArray("\xA5\x78\xA5\x5F\xB4\xFA\xB8\xD5\r\n"));
    QCOMPARE(*back, QStringLiteral("台北測試\n"));
}

void TestHelpers::textFileFailures() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    QVERIFY(!TxtLoadFile(program.path(QStringLiteral("missing.sql"))));
    QVERIFY(!TxtSaveFile(program.path(QStringLiteral("no/such/folder/s.sql")), QStringLiteral("x")));
    QCOMPARE(op.boxes.size(), 2);
    QVERIFY(op.boxes[0].text.startsWith(QStringLiteral("處理程序: (TxtLoadFile)\r\n")));
    QVERIFY(op.boxes[1].text.startsWith(QStringLiteral("處理程序: (TxtSaveFile)\r\n")));
}

void TestHelpers::saveKeepsOldCopyWhenWriteFails() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    // The new text goes to a temporary file beside the old one; when that cannot be completed
    // the old file is still whole. A target that is a folder cannot be replaced at all.
    QDir(program.folder()).mkdir(QStringLiteral("dir.sql"));
    QVERIFY(!TxtSaveFile(program.path(QStringLiteral("dir.sql")), QStringLiteral("x")));
    QVERIFY(QFileInfo(program.path(QStringLiteral("dir.sql"))).isDir());
    QCOMPARE(op.boxes.size(), 1);
    QVERIFY(op.boxes.last().text.startsWith(QStringLiteral("處理程序: (TxtSaveFile)\r\n")));

    const QString path = program.path(QStringLiteral("ORVIK_SQL.TXT"));
    writeFileBytes(path, "old text\r\n");
    QVERIFY(TxtSaveFile(path, QStringLiteral("new text")));
    QCOMPARE(readFileBytes(path), QByteArray("new text\r\n"));
    QCOMPARE(QDir(program.folder()).entryList({QStringLiteral("ORVIK_SQL*")}, QDir::Files),
             QStringList{QStringLiteral("ORVIK_SQL.TXT")});
}

void TestHelpers::fullDiskLeavesOldFileWhole() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    const QString path = program.path(QStringLiteral("ORVIK_SQL.TXT"));
    writeFileBytes(path, "old text\r\n");
    // Files beside it that are not a dead save's own: the operator's, and one a save still writes.
    writeFileBytes(path + QStringLiteral(".saving"), "the operator's own file");
    writeFileBytes(program.path(QStringLiteral(".ORVIK_SQL.TXT.orvik-dead01")), "left by a killed save");
    const QString running = program.path(QStringLiteral(".ORVIK_SQL.TXT.orvik-live01"));
    writeFileBytes(running, "being written");
    const int held = ::open(QFile::encodeName(running).constData(), O_RDONLY | O_CLOEXEC);
    QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
    bool saved = true;
    {
        const FileSizeLimit limit(4096);
        saved = TxtSaveFile(path, QString(10000, QLatin1Char('x')));
    }
    QVERIFY(!saved);
    QCOMPARE(readFileBytes(path), QByteArray("old text\r\n"));
    QVERIFY2(op.boxes.last().text.startsWith(QStringLiteral("處理程序: (TxtSaveFile)\r\n")) &&
                 op.boxes.last().text.contains(QStringLiteral("超過檔案大小的上限")),
             qPrintable(op.boxes.last().text));
    QVERIFY(TxtSaveFile(path, QStringLiteral("new text")));
    ::close(held);
    QCOMPARE(readFileBytes(path), QByteArray("new text\r\n"));
    QCOMPARE(readFileBytes(path + QStringLiteral(".saving")), QByteArray("the operator's own file"));
    QCOMPARE(pendingSaves(program.folder()), QStringList{QStringLiteral(".ORVIK_SQL.TXT.orvik-live01")});
}

void TestHelpers::sleepSeconds() {
    QElapsedTimer timer;
    timer.start();
    SleepSeconds(0.2);
    QVERIFY(timer.elapsed() >= 199);
    timer.restart();
    SleepSeconds(0);
    SleepSeconds(-1);
    QVERIFY(timer.elapsed() < 100);
}

QTEST_GUILESS_MAIN(TestHelpers)
#include "tst_helpers.moc"
