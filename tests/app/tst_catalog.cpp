#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "support/scripted_operator.h"
#include "support/test_program.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace {
using Row = std::pair<QString, QVariant>;

void makeCatalog(const QString& path, const QList<Row>& rows) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(
            q.exec(QStringLiteral("CREATE TABLE Msg (MsgID VARCHAR(30), MsgText VARCHAR(255), Note TEXT)")));
        for (const auto& [key, text] : rows) {
            QVERIFY(q.prepare(QStringLiteral("INSERT INTO Msg (MsgID, MsgText) VALUES (?, ?)")));
            q.addBindValue(key);
            q.addBindValue(text);
            QVERIFY2(q.exec(), qPrintable(q.lastError().text()));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
}

int errorRecords(const TestProgram& program, const QString& label) {
    return QString::fromUtf8(program.read(QStringLiteral("ORVIK.ERR")))
        .count(QStringLiteral("處理程序: (") + label + u')');
}

const QStringList kKeys = {"ErrorReadFile",
                           "FieldRequired",
                           "ErrorCommand",
                           "PleaseUseSELECT",
                           "QUERY",
                           "EXEC",
                           "EXECSP",
                           "SERVER",
                           "EDIT",
                           "INSERT",
                           "DELETE",
                           "PleaseInputSQL",
                           "RecCount:",
                           "RecordAffected:",
                           "LoadingRecordSet..",
                           "OFFLine.",
                           "PromptFileOverwrite",
                           "FileExist",
                           "NODATA",
                           "ErrorSaveFile",
                           "FileSaved"};
} // namespace

class TestCatalog : public QObject {
    Q_OBJECT

private slots:
    void shippedCatalogHasEveryKey();
    void lookupOutcomes();
    void placeholders_data();
    void placeholders();
    void catalogEditSeenAtNextLookup();
    void catalogNamedInSettings();
    void missingCatalog();
    void unreadableCatalogs_data();
    void unreadableCatalogs();
};

void TestCatalog::shippedCatalogHasEveryKey() {
    ScriptedOperator op;
    TestProgram program;
    program.installCatalog();
    program.initGlobal();
    QVERIFY(InitMsgDB());
    QCOMPARE(catalogFormatOf(program.path(QStringLiteral("ZKMSG.MDB"))), CatalogFormat::SQLite);
    for (const QString& key : kKeys) {
        const QString text = LocalMsg(key);
        QVERIFY2(!text.isEmpty() && (key == QLatin1String("EDIT") || text != key), qPrintable(key));
        if (key != QLatin1String("EDIT"))
            QVERIFY2(std::any_of(text.begin(), text.end(), [](QChar c) { return c.unicode() >= 0x4E00; }),
                     qPrintable(key + QLatin1Char('=') + text));
    }
    QCOMPARE(LocalMsg(QStringLiteral("EDIT")), QStringLiteral("EDIT"));
    QVERIFY(op.boxes.isEmpty());
}

void TestCatalog::lookupOutcomes() {
    ScriptedOperator op;
    TestProgram program;
    makeCatalog(program.path(QStringLiteral("ZKMSG.MDB")), {{"QUERY", QStringLiteral("查詢")},
                                                            {"NULLTEXT", QVariant()},
                                                            {"TWICE", "first"},
                                                            {"TWICE", "second"}});
    program.initGlobal();
    QVERIFY(InitMsgDB());
    QCOMPARE(LocalMsg(QStringLiteral("QUERY")), QStringLiteral("查詢"));
    QCOMPARE(ZKMSG(QStringLiteral("QUERY")), QStringLiteral("查詢"));
    QCOMPARE(LocalMsg(QStringLiteral("NODATA")), QStringLiteral("NODATA"));
    QCOMPARE(LocalMsg(QStringLiteral("NULLTEXT")), QString());
    QCOMPARE(LocalMsg(QStringLiteral("TWICE")), QStringLiteral("first"));
    QCOMPARE(LocalMsg(QStringLiteral("query")), QStringLiteral("query")); // keys compare exactly
    QCOMPARE(LocalMsg(QStringLiteral("x' OR '1'='1")), QStringLiteral("x' OR '1'='1"));
    QVERIFY(!QFile::exists(program.path(QStringLiteral("ORVIK.ERR"))));
}

void TestCatalog::placeholders_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<MsgArg>("v1");
    QTest::addColumn<MsgArg>("v2");
    QTest::addColumn<MsgArg>("v3");
    QTest::addColumn<QString>("expected");
    const MsgArg none;
    QTest::newRow("first twice") << "%%1 then %%1" << MsgArg("A") << none << none << "A then A";
    QTest::newRow("second without first") << "%%1-%%2" << none << MsgArg("B") << none << "%%1-%%2";
    QTest::newRow("all three") << "%%3/%%2/%%1" << MsgArg("a") << MsgArg("b") << MsgArg("c") << "c/b/a";
    QTest::newRow("third without second") << "%%1 %%3" << MsgArg("a") << none << MsgArg("c") << "a %%3";
    QTest::newRow("filled text not rescanned")
        << "%%1 and %%2" << MsgArg("%%2") << MsgArg("x") << none << "%%2 and x";
    QTest::newRow("empty value counts as given") << "[%%1]" << MsgArg("") << none << none << "[]";
    QTest::newRow("case and width exact") << "%%4 %1 %%1" << MsgArg("z") << none << none << "%%4 %1 z";
}

void TestCatalog::placeholders() {
    QFETCH(QString, text);
    QFETCH(MsgArg, v1);
    QFETCH(MsgArg, v2);
    QFETCH(MsgArg, v3);
    QFETCH(QString, expected);
    QCOMPARE(fillPlaceholders(text, v1, v2, v3), expected);

    // And through a real lookup.
    ScriptedOperator op;
    TestProgram program;
    makeCatalog(program.path(QStringLiteral("ZKMSG.MDB")), {{"K", text}});
    program.initGlobal();
    QVERIFY(InitMsgDB());
    QCOMPARE(ZKMSG(QStringLiteral("K"), v1, v2, v3), expected);
}

void TestCatalog::catalogEditSeenAtNextLookup() {
    ScriptedOperator op;
    TestProgram program;
    const QString path = program.path(QStringLiteral("ZKMSG.MDB"));
    makeCatalog(path, {{"NODATA", "old"}});
    program.initGlobal();
    QVERIFY(InitMsgDB());
    QCOMPARE(LocalMsg(QStringLiteral("NODATA")), QStringLiteral("old"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("edit"));
        db.setDatabaseName(path);
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("UPDATE Msg SET MsgText = 'new' WHERE MsgID = 'NODATA'")));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("edit"));
    QCOMPARE(LocalMsg(QStringLiteral("NODATA")), QStringLiteral("new"));
}

void TestCatalog::catalogNamedInSettings() {
    ScriptedOperator op;
    TestProgram program;
    makeCatalog(program.path(QStringLiteral("OTHER.DB")), {{"QUERY", "from other"}});
    program.write(QStringLiteral("ORVIK.INI"), "[PARAM]\r\nZKMSG=OTHER.DB\r\n");
    program.initGlobal();
    QVERIFY(InitMsgDB());
    QCOMPARE(LocalMsg(QStringLiteral("QUERY")), QStringLiteral("from other"));
}

void TestCatalog::missingCatalog() {
    ScriptedOperator op;
    TestProgram program;
    program.initGlobal();
    ProgramInfo::setAppTitle(QStringLiteral(" DB維護程式 - ORVIK"));
    QVERIFY(!InitMsgDB());
    QCOMPARE(op.boxes.size(), 1);
    QCOMPARE(op.boxes[0].text,
             QStringLiteral("Error Open MSGDB:") + program.path(QStringLiteral("ZKMSG.MDB")));
    QCOMPARE(op.boxes[0].icon, MsgIcon::Information);
    QCOMPARE(op.boxes[0].caption, ProgramInfo::builtInTitle());

    QCOMPARE(LocalMsg(QStringLiteral("QUERY")), QString());
    QCOMPARE(LocalMsg(QStringLiteral("EXEC")), QString());
    QCOMPARE(ZKMSG(QStringLiteral("ErrorReadFile")), QString());
    QCOMPARE(errorRecords(program, QStringLiteral("LocalMsg")), 2);
    QCOMPARE(errorRecords(program, QStringLiteral("ZKMSG")), 1);
    QCOMPARE(op.boxes.size(), 1); // lookups never show anything
}

void TestCatalog::unreadableCatalogs_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("format");
    QTest::newRow("not a database") << QByteArray("just some text, not a catalog\n").repeated(40)
                                    << int(CatalogFormat::Unknown);
    QByteArray jet(2048, '\0');
    jet.replace(4, 15, "Standard Jet DB");
    QTest::newRow("damaged Jet file") << jet << int(CatalogFormat::Jet);
    QTest::newRow("empty file") << QByteArray() << int(CatalogFormat::Unknown);
}

void TestCatalog::unreadableCatalogs() {
    QFETCH(QByteArray, content);
    QFETCH(int, format);
    ScriptedOperator op;
    TestProgram program;
    program.write(QStringLiteral("ZKMSG.MDB"), content);
    QCOMPARE(int(catalogFormatOf(program.path(QStringLiteral("ZKMSG.MDB")))), format);
    program.initGlobal();
    QVERIFY(!InitMsgDB());
    QCOMPARE(op.boxes.size(), 1);
    QVERIFY2(op.boxes[0].text.startsWith(QStringLiteral("處理程序: (InitMsgDB)\r\n執行錯誤, 代碼: -")),
             qPrintable(op.boxes[0].text));
    QCOMPARE(errorRecords(program, QStringLiteral("InitMsgDB")), 1);
    QCOMPARE(LocalMsg(QStringLiteral("QUERY")), QString());
    QCOMPARE(errorRecords(program, QStringLiteral("LocalMsg")), 1);
}

QTEST_GUILESS_MAIN(TestCatalog)
#include "tst_catalog.moc"
