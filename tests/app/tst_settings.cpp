#include "app/global_settings.h"
#include "app/ini_reader.h"
#include "app/local_codec.h"
#include "app/program_info.h"
#include "support/scripted_operator.h"
#include "support/test_program.h"

#include <QDir>
#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void iniValue_data();
    void iniValue();
    void iniValueCutAt255();
    void iniMissingFileReadsEmpty();
    void defaultsWithoutSettingsFile();
    void unreadableSettingsFileGivesDefaults();
    void valuesFromSettingsFile();
    void userIdFromDefUserIdIsNotCut();
    void familyLayoutWithoutFolder();
    void logsNamedAfterExecutable();
    void localeCharsets_data();
    void localeCharsets();
    void big5SettingsFile();
};

void TestSettings::iniValue_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const QByteArray basic = "[PARAM]\r\nCustName=大同公司\r\nDateSep = - \r\n";
    QTest::newRow("plain value") << basic << "PARAM"
                                 << "CustName" << QStringLiteral("大同公司");
    QTest::newRow("blanks around = trimmed") << basic << "PARAM"
                                             << "DateSep"
                                             << "-";
    QTest::newRow("section case-insensitive") << basic << "param"
                                              << "CustName" << QStringLiteral("大同公司");
    QTest::newRow("key case-insensitive") << basic << "PARAM"
                                          << "custname" << QStringLiteral("大同公司");
    QTest::newRow("absent key") << basic << "PARAM"
                                << "LogoFile"
                                << "";
    QTest::newRow("absent section") << basic << "OTHER"
                                    << "CustName"
                                    << "";
    QTest::newRow("key of another section")
        << QByteArray("[OTHER]\nCustName=x\n[PARAM]\nCorpName=y\n") << "PARAM"
        << "CustName"
        << "";
    QTest::newRow("comment line ignored")
        << QByteArray("[PARAM]\n;CustName=commented\nCustName=real\n") << "PARAM"
        << "CustName"
        << "real";
    QTest::newRow("backslashes literal")
        << QByteArray("[PARAM]\nLogoFile=C:\\pics\\new\\logo.bmp\n") << "PARAM"
        << "LogoFile"
        << "C:\\pics\\new\\logo.bmp";
    QTest::newRow("commas literal") << QByteArray("[PARAM]\nAmtFmt=#,##0.00\n") << "PARAM"
                                    << "AmtFmt"
                                    << "#,##0.00";
    QTest::newRow("semicolon inside value literal") << QByteArray("[PARAM]\nCustName=a; b ;c\n") << "PARAM"
                                                    << "CustName"
                                                    << "a; b ;c";
    QTest::newRow("enclosing quotes removed") << QByteArray("[PARAM]\nCustName=\" spaced \"\n") << "PARAM"
                                              << "CustName"
                                              << " spaced ";
    QTest::newRow("empty value") << QByteArray("[PARAM]\nCustName=\n") << "PARAM"
                                 << "CustName"
                                 << "";
    QTest::newRow("first of repeated keys") << QByteArray("[PARAM]\nCustName=one\nCustName=two\n") << "PARAM"
                                            << "CustName"
                                            << "one";
    QTest::newRow("LF line ends") << QByteArray("[PARAM]\nCorpName=corp\n") << "PARAM"
                                  << "CorpName"
                                  << "corp";
    QTest::newRow("UTF-8 byte-order mark")
        << QByteArray("\xEF\xBB\xBF[PARAM]\r\nCorpName=公司\r\n") << "PARAM"
        << "CorpName" << QStringLiteral("公司");
    QTest::newRow("blank section header name") << QByteArray("[ PARAM ]\nCorpName=c\n") << "PARAM"
                                               << "CorpName"
                                               << "c";
}

void TestSettings::iniValue() {
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    TestProgram program;
    program.write(QStringLiteral("t.ini"), file);
    QCOMPARE(GetIniString(program.path(QStringLiteral("t.ini")), section, key), expected);
}

void TestSettings::iniValueCutAt255() {
    TestProgram program;
    const QString value300 = QString(300, QLatin1Char('x'));
    program.write(QStringLiteral("ORVIK.INI"), "[PARAM]\r\nCustName=" + value300.toUtf8() + "\r\n");
    QCOMPARE(GetIniString(program.path(QStringLiteral("ORVIK.INI")), QStringLiteral("PARAM"),
                          QStringLiteral("CustName")),
             value300.left(255));
}

void TestSettings::iniMissingFileReadsEmpty() {
    QCOMPARE(GetIniString(QStringLiteral("/nonexistent/ORVIK.INI"), QStringLiteral("PARAM"),
                          QStringLiteral("CustName")),
             QString());
}

void TestSettings::defaultsWithoutSettingsFile() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    const GlobalSettingsRecord& s = GlobalSettings();
    QCOMPARE(s.IniFile, program.path(QStringLiteral("ORVIK.INI")));
    QCOMPARE(s.Calendar, QStringLiteral("YYYY/MM/DD"));
    QCOMPARE(s.DateSep, QStringLiteral("/"));
    QCOMPARE(s.AmtFmt, QStringLiteral("#,##0"));
    QCOMPARE(s.UserID, GetLoginName().left(20));
    QVERIFY(!s.UserID.isEmpty());
    QCOMPARE(s.ComputerName, GetMachineName());
    QCOMPARE(s.DateQuote, QStringLiteral("'"));
    for (const QString* field : {&s.CustName, &s.CorpName, &s.LogoFile, &s.PrintCheckLogo, &s.CaptionFile})
        QVERIFY(field->isEmpty());
    QVERIFY(op.boxes.isEmpty());
    QCOMPARE(QDir::currentPath(), QDir(program.folder()).canonicalPath());
}

void TestSettings::unreadableSettingsFileGivesDefaults() {
    ScriptedOperator op;
    TestProgram program;
    QVERIFY(QDir(program.folder()).mkdir(QStringLiteral("ORVIK.INI")));
    program.initGlobal();
    QCOMPARE(GlobalSettings().Calendar, QStringLiteral("YYYY/MM/DD"));
    QCOMPARE(GlobalSettings().AmtFmt, QStringLiteral("#,##0"));
    QVERIFY(op.boxes.isEmpty());
}

void TestSettings::valuesFromSettingsFile() {
    TestProgram program;
    program.write(
        QStringLiteral("ORVIK.INI"),
        "[PARAM]\r\nCustName=客戶\r\nCorpName=公司\r\nCalendar=CC/MM/DD\r\nDateSep=-\r\nLogoFile=logo.png\r\n"
        "PrintCheckLogo=check.bmp\r\nAmtFmt=#,##0.00\r\nCaptionFile=cap.txt\r\n");
    program.initGlobal();
    const GlobalSettingsRecord& s = GlobalSettings();
    QCOMPARE(s.CustName, QStringLiteral("客戶"));
    QCOMPARE(s.CorpName, QStringLiteral("公司"));
    QCOMPARE(s.Calendar, QStringLiteral("CC/MM/DD"));
    QCOMPARE(s.DateSep, QStringLiteral("-"));
    QCOMPARE(s.LogoFile, QStringLiteral("logo.png"));
    QCOMPARE(s.PrintCheckLogo, program.folder() + QStringLiteral("/../DAT/check.bmp"));
    QCOMPARE(s.AmtFmt, QStringLiteral("#,##0.00"));
    QCOMPARE(s.CaptionFile, QStringLiteral("cap.txt"));
}

void TestSettings::userIdFromDefUserIdIsNotCut() {
    TestProgram program;
    const QByteArray longId = "operator-with-a-very-long-identifier";
    program.write(QStringLiteral("ORVIK.INI"), "[PARAM]\nDefUserID=" + longId + "\n");
    program.initGlobal();
    QCOMPARE(GlobalSettings().UserID, QString::fromLatin1(longId));
}

void TestSettings::familyLayoutWithoutFolder() {
    TestProgram program;
    InitGlobal();
    QCOMPARE(GlobalSettings().IniFile, program.folder() + QStringLiteral("/../DAT/ZKPARAM.INI"));
    QCOMPARE(GlobalSettings().LogFile, program.folder() + QStringLiteral("/../LOG/ORVIK.LOG"));
    QCOMPARE(GlobalSettings().ErrFile, program.folder() + QStringLiteral("/../LOG/ORVIK.ERR"));
}

void TestSettings::logsNamedAfterExecutable() {
    TestProgram program(QStringLiteral("RENAMED"));
    program.write(QStringLiteral("RENAMED.INI"), "[PARAM]\nCustName=renamed\n");
    program.initGlobal();
    QCOMPARE(GlobalSettings().CustName, QStringLiteral("renamed"));
    QCOMPARE(GlobalSettings().LogFile, program.path(QStringLiteral("RENAMED.LOG")));
    QCOMPARE(GlobalSettings().ErrFile, program.path(QStringLiteral("RENAMED.ERR")));
}

void TestSettings::localeCharsets_data() {
    QTest::addColumn<QByteArray>("charset");
    QTest::addColumn<QByteArray>("codec");
    QTest::newRow("UTF-8") << QByteArray("UTF-8") << QByteArray("UTF-8");
    QTest::newRow("C locale") << QByteArray("ANSI_X3.4-1968") << QByteArray("UTF-8");
    QTest::newRow("zh_TW.BIG5") << QByteArray("BIG5") << QByteArray("Big5");
    QTest::newRow("zh_HK.BIG5-HKSCS") << QByteArray("BIG5-HKSCS") << QByteArray("Big5");
    QTest::newRow("unknown name") << QByteArray("NO-SUCH-CHARSET") << QByteArray("UTF-8");
}

void TestSettings::localeCharsets() {
    QFETCH(QByteArray, charset);
    QFETCH(QByteArray, codec);
    QCOMPARE(LocalCodec::codecNameForCharset(charset), codec);
}

void TestSettings::big5SettingsFile() {
    TestProgram program;
    const QByteArray saved = LocalCodec::codecName();
    LocalCodec::setCodecName("Big5");
    // 台北 and 測試 in Big5.
    program.write(QStringLiteral("ORVIK.INI"),
                  QByteArray("[PARAM]\r\nCustName=\xA5\x78\xA5\x5F\xB4\xFA\xB8\xD5\r\n"));
    program.initGlobal();
    LocalCodec::setCodecName(saved);
    QCOMPARE(GlobalSettings().CustName, QStringLiteral("台北測試"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
