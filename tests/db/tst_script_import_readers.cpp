#include "app/errors.h"
#include "db/import_reader.h"
#include "db/line_source.h"
#include "db/script_reader.h"
#include "db/sql_text.h"

#include <QBuffer>
#include <QTest>

class TestScriptImportReaders : public QObject {
    Q_OBJECT

private slots:
    void scriptStatements_data();
    void scriptStatements();
    void statementsOfABatch();
    void scriptEndingInsideACommentOrQuote_data();
    void scriptEndingInsideACommentOrQuote();
    void importRecords_data();
    void importRecords();
    void importEndingInsideALiteral();
    void importValues_data();
    void importValues();
};

namespace {
// The statements of a script as the reader cuts them for an engine, as "line: sql"; error receives
// the reader's complaint at the end of the script.
QStringList statementsOf(ServerKind server, const QString& script, QString* error = nullptr) {
    QBuffer buffer;
    buffer.setData(script.toUtf8());
    buffer.open(QIODevice::ReadOnly);
    LineSource lines(buffer, "UTF-8");
    ScriptReader reader(ScriptSyntax::of(server));
    QList<ScriptReader::Statement> done;
    QStringView line;
    QStringView end;
    while (lines.next(line, end))
        reader.addLine(line, end, done);
    try {
        reader.finish(done);
    } catch (const AppError& e) {
        if (!error)
            throw;
        *error = e.description();
    }
    QStringList statements;
    for (const ScriptReader::Statement& statement : std::as_const(done))
        statements << QStringLiteral("%1: %2").arg(statement.line).arg(statement.sql);
    return statements;
}

QList<QStringList> recordsOf(const QByteArray& bytes, QList<int>* lines = nullptr) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ImportReader reader(buffer, "UTF-8");
    QList<QStringList> records;
    while (const auto record = reader.next()) {
        records << record->pieces();
        if (lines)
            *lines << record->line;
    }
    return records;
}
} // namespace

void TestScriptImportReaders::scriptStatements_data() {
    QTest::addColumn<int>("server");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("statements");
    const int sqlite = int(ServerKind::Sqlite);
    const int pg = int(ServerKind::Postgres);
    QTest::newRow("GO in any case, blanks around; no GO at the end")
        << sqlite
        << "create table t (a int);\ninsert into t values (1)\n  go  \ninsert into t values (2)\nGO\nselect 1"
        << QStringList{"1: create table t (a int)", "2: insert into t values (1)",
                       "4: insert into t values (2)", "6: select 1"};
    QTest::newRow("code before a line comment stays")
        << sqlite << "UPDATE t SET a = 1 -- fix\nGO" << QStringList{"1: UPDATE t SET a = 1"};
    QTest::newRow("a block comment over lines, code on both sides")
        << sqlite << "select 1 /* one\nGO\ntwo */ + 2\nGO" << QStringList{"1: select 1 \n\n  + 2"};
    QTest::newRow("comment marks inside literals and names are text")
        << sqlite << "insert into t values ('-- not /* a comment', \"a--b\")\nGO"
        << QStringList{"1: insert into t values ('-- not /* a comment', \"a--b\")"};
    QTest::newRow("GO inside a literal over lines is text")
        << sqlite << "insert into t values ('line\nGO\nend')\nGO"
        << QStringList{"1: insert into t values ('line\nGO\nend')"};
    QTest::newRow("GO with more on its line is no GO; one after comments is")
        << sqlite << "select 1\nGO;\nGO 2\n/* done */ go -- end\nselect 3"
        << QStringList{"1: select 1\nGO", "3: GO 2", "5: select 3"};
    QTest::newRow("only comments and blanks after the last GO run nothing")
        << sqlite << "select 1\nGO\n-- the end\n/* really */\n"
        << QStringList{"1: select 1"};
    QTest::newRow("a CR LF inside a literal stays as the file has it")
        << sqlite << "insert into t values ('a\r\nb');\r\nselect 2;"
        << QStringList{"1: insert into t values ('a\r\nb')", "3: select 2"};
    QTest::newRow("SQLite: a trigger's body holds its semicolons")
        << sqlite
        << "create trigger tr after insert on t begin\n insert into l values (new.a);\n"
           " insert into l values (new.a * 10);\nend;\ninsert into t values (1);"
        << QStringList{"1: create trigger tr after insert on t begin\n insert into l values (new.a);\n"
                       " insert into l values (new.a * 10);\nend",
                       "5: insert into t values (1)"};
    QTest::newRow("SQLite: comments do not nest") << sqlite << "/* a /* b */ insert into d values(1); /* c */"
                                                  << QStringList{"1: insert into d values(1)"};
    QTest::newRow("PostgreSQL: comments nest")
        << pg << "/* a /* b */ insert into d values(1); /* c */ */ insert into d values(2);"
        << QStringList{"1: insert into d values(2)"};
    QTest::newRow("PostgreSQL: $$ bodies and E'' strings keep their marks")
        << pg
        << "create function f() returns int as $$ select 1; -- kept\n$$ language sql;\n"
           "insert into t values (E'it\\'s -- no; comment');"
        << QStringList{"1: create function f() returns int as $$ select 1; -- kept\n$$ language sql",
                       "3: insert into t values (E'it\\'s -- no; comment')"};
    QTest::newRow("PostgreSQL: BEGIN ATOMIC ... END, with CASE ... END inside")
        << pg
        << "create function f(x int) returns int language sql\nbegin atomic\n"
           " select case when x > 0 then 1 else 0 end;\nend;\nbegin;\nselect f(1);"
        << QStringList{"1: create function f(x int) returns int language sql\nbegin atomic\n"
                       " select case when x > 0 then 1 else 0 end;\nend",
                       "5: begin", "6: select f(1)"};
    QTest::newRow("PostgreSQL: parentheses hold semicolons")
        << pg
        << "create rule r as on insert to t do also (insert into l values (1); insert into l values "
           "(2));\nselect 1;"
        << QStringList{"1: create rule r as on insert to t do also (insert into l values (1); insert into l "
                       "values (2))",
                       "2: select 1"};
    QTest::newRow("SQL Server: a procedure runs to GO, a BEGIN ... END block holds its semicolons")
        << int(ServerKind::SqlServer)
        << "create procedure p as\nbegin\n select 1;\n select 2;\nend\nGO\n"
           "if 1 = 1\nbegin\n print 'a';\n print 'b';\nend;\nbegin tran;\ncommit;"
        << QStringList{"1: create procedure p as\nbegin\n select 1;\n select 2;\nend",
                       "7: if 1 = 1\nbegin\n print 'a';\n print 'b';\nend", "12: begin tran", "13: commit"};
    QTest::newRow("MySQL: # comments, backslashed quotes, /*! */ kept")
        << int(ServerKind::Mysql)
        << "insert into t values ('it\\'s; # no comment'); # gone\n/*!40101 SET NAMES utf8 */;"
        << QStringList{"1: insert into t values ('it\\'s; # no comment')", "2: /*!40101 SET NAMES utf8 */"};
}

void TestScriptImportReaders::scriptStatements() {
    QFETCH(int, server);
    QFETCH(QString, script);
    QFETCH(QStringList, statements);
    QCOMPARE(statementsOf(ServerKind(server), script), statements);
}

void TestScriptImportReaders::statementsOfABatch() {
    QCOMPARE(splitStatements(u"insert into t values (E'a\\';b'); select ';' -- x;\n; /* ; */ select 2;"),
             (QStringList{"insert into t values (E'a\\';b')", "select ';' -- x;", "/* ; */ select 2"}));
}

void TestScriptImportReaders::scriptEndingInsideACommentOrQuote_data() {
    QTest::addColumn<int>("server");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("error"); // "" when the engine takes the end as it is
    const QString openComment = QStringLiteral("select 1;\nselect 2 /* opened\nnever closed");
    QTest::newRow("SQLite takes a comment left open as running to the end")
        << int(ServerKind::Sqlite) << openComment << "";
    QTest::newRow("PostgreSQL refuses it, naming where it opened")
        << int(ServerKind::Postgres) << openComment << "第 2 行開始的註解";
    QTest::newRow("a quote left open names the line it opened on")
        << int(ServerKind::Sqlite) << "select 1;\ninsert into t values (1,\n'open\nstill"
        << "第 3 行開始的引號";
}

void TestScriptImportReaders::scriptEndingInsideACommentOrQuote() {
    QFETCH(int, server);
    QFETCH(QString, script);
    QFETCH(QString, error);
    QString said;
    const QStringList statements = statementsOf(ServerKind(server), script, &said);
    QVERIFY2(error.isEmpty() ? said.isEmpty() : said.contains(error), qPrintable(said));
    QCOMPARE(statements.value(0), QStringLiteral("1: select 1"));
    QCOMPARE(statements.size(), error.isEmpty() ? 2 : 1);
}

void TestScriptImportReaders::importRecords_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QStringList>>("records");
    QTest::addColumn<QList<int>>("lines");
    const QList<QStringList> two{{"a", "b"}, {"'x'", "1"}};
    QTest::newRow("CR LF") << QByteArray("a,b\r\n'x',1\r\n") << two << QList<int>{1, 2};
    QTest::newRow("lone LF, no end on the last line") << QByteArray("a,b\n'x',1") << two << QList<int>{1, 2};
    QTest::newRow("lone CR, empty lines skipped")
        << QByteArray("a,b\r\r\n\n'x',1\r") << two << QList<int>{1, 4};
    QTest::newRow("commas inside literals, empty pieces kept")
        << QByteArray("'a,,b',,12,'O''Brien'") << QList<QStringList>{{"'a,,b'", "", "12", "'O''Brien'"}}
        << QList<int>{1};
    QTest::newRow("a literal over a line end keeps its break")
        << QByteArray("'one\r\ntwo',1\r\n'x',2") << QList<QStringList>{{"'one\r\ntwo'", "1"}, {"'x'", "2"}}
        << QList<int>{1, 3};
}

void TestScriptImportReaders::importRecords() {
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QStringList>, records);
    QFETCH(QList<int>, lines);
    QList<int> seen;
    QCOMPARE(recordsOf(bytes, &seen), records);
    QCOMPARE(seen, lines);
}

void TestScriptImportReaders::importEndingInsideALiteral() {
    QBuffer buffer;
    buffer.setData("a\r\n'ok'\r\n'open\r\nmore\r\n");
    buffer.open(QIODevice::ReadOnly);
    ImportReader reader(buffer, "UTF-8");
    QVERIFY(reader.next());
    QCOMPARE(reader.next()->pieces(), QStringList{"'ok'"});
    QVERIFY_THROWS_EXCEPTION(AppError, reader.next());
}

void TestScriptImportReaders::importValues_data() {
    QTest::addColumn<QString>("piece");
    QTest::addColumn<bool>("sqlite");
    QTest::addColumn<QString>("sent");
    QTest::newRow("empty") << "" << false << "NULL";
    QTest::newRow("#date#") << "#2003/05/07#" << false << "'2003/05/07'";
    QTest::newRow("SQLite date") << "'2003/05/07'" << true << "'2003-05-07'";
    QTest::newRow("SQLite date-time") << "'2003/05/07 14:03:09'" << true << "'2003-05-07 14:03:09'";
    QTest::newRow("other engines keep slashes")
        << "'2003/05/07 14:03:09'" << false << "'2003/05/07 14:03:09'";
    QTest::newRow("no date, same length") << "'abcd/ef/gh'" << true << "'abcd/ef/gh'";
}

void TestScriptImportReaders::importValues() {
    QFETCH(QString, piece);
    QFETCH(bool, sqlite);
    QFETCH(QString, sent);
    QCOMPARE(importValue(piece, sqlite), sent);
}

QTEST_MAIN(TestScriptImportReaders)
#include "tst_script_import_readers.moc"
