#include "app/errors.h"
#include "db/import_reader.h"
#include "db/script_reader.h"
#include "db/sql_text.h"

#include <QBuffer>
#include <QTest>

class TestScriptImportReaders : public QObject {
    Q_OBJECT

private slots:
    void scriptBatches_data();
    void scriptBatches();
    void statementsOfABatch();
    void scriptEndingInsideAComment();
    void importRecords_data();
    void importRecords();
    void importEndingInsideALiteral();
    void importValues_data();
    void importValues();
};

namespace {
// The batches of a script, as "first-last: sql", GO lines and the final batch alike.
QStringList batchesOf(const QString& script) {
    ScriptReader reader;
    QStringList batches;
    const auto note = [&](const std::optional<ScriptReader::Batch>& b) {
        if (b)
            batches << QStringLiteral("%1-%2: %3").arg(b->firstLine).arg(b->lastLine).arg(b->sql);
    };
    for (const QString& line : script.split(QLatin1Char('\n')))
        note(reader.addLine(line));
    note(reader.finish());
    return batches;
}

QList<QStringList> recordsOf(const QByteArray& bytes, QList<int>* lines = nullptr) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    ImportReader reader(buffer, "UTF-8");
    QList<QStringList> records;
    while (const auto record = reader.next()) {
        records << record->pieces;
        if (lines)
            *lines << record->line;
    }
    return records;
}
} // namespace

void TestScriptImportReaders::scriptBatches_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<QStringList>("batches");
    QTest::newRow("GO in any case, blanks around; no GO at the end")
        << "create table t (a int);\ninsert into t values (1)\n  go  \ninsert into t values (2)\nGO\nselect 1"
        << QStringList{"1-3: create table t (a int);\ninsert into t values (1)",
                       "4-5: insert into t values (2)", "6-6: select 1"};
    QTest::newRow("code before a line comment stays")
        << "UPDATE t SET a = 1 -- fix\nGO" << QStringList{"1-2: UPDATE t SET a = 1"};
    QTest::newRow("a block comment over lines, code on both sides")
        << "select 1 /* one\nGO\ntwo */ + 2\nGO" << QStringList{"1-4: select 1 \n\n  + 2"};
    QTest::newRow("comment marks inside literals and names are text")
        << "insert into t values ('-- not /* a comment', \"a--b\")\nGO"
        << QStringList{"1-2: insert into t values ('-- not /* a comment', \"a--b\")"};
    QTest::newRow("GO inside a literal over lines is text")
        << "insert into t values ('line\nGO\nend')\nGO"
        << QStringList{"1-4: insert into t values ('line\nGO\nend')"};
    QTest::newRow("GO with more on its line is no GO")
        << "select 1\nGO;\nGO 2\ngo" << QStringList{"1-4: select 1\nGO;\nGO 2"};
    QTest::newRow("a $$ body keeps its comment marks")
        << "create function f() returns int as $$ select 1 -- kept\n$$ language sql\nGO"
        << QStringList{"1-3: create function f() returns int as $$ select 1 -- kept\n$$ language sql"};
    QTest::newRow("E'' strings take a backslashed quote as text")
        << "insert into t values (E'it\\'s -- no; comment')\nGO"
        << QStringList{"1-2: insert into t values (E'it\\'s -- no; comment')"};
    QTest::newRow("only comments and blanks after the last GO run nothing")
        << "select 1\nGO\n-- the end\n/* really */\n"
        << QStringList{"1-2: select 1"};
}

void TestScriptImportReaders::scriptBatches() {
    QFETCH(QString, script);
    QFETCH(QStringList, batches);
    QCOMPARE(batchesOf(script), batches);
}

void TestScriptImportReaders::statementsOfABatch() {
    QCOMPARE(splitStatements(u"insert into t values (E'a\\';b'); select ';' -- x;\n; /* ; */ select 2;"),
             (QStringList{"insert into t values (E'a\\';b')", "select ';' -- x;", "/* ; */ select 2"}));
}

void TestScriptImportReaders::scriptEndingInsideAComment() {
    ScriptReader reader;
    for (const char* line : {"select 1", "GO", "select 2 /* opened", "never closed"})
        reader.addLine(QString::fromLatin1(line));
    try {
        reader.finish();
        QFAIL("no error");
    } catch (const AppError& error) {
        QVERIFY2(error.description().contains(QStringLiteral("第 3 行")), qPrintable(error.description()));
    }
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
    QCOMPARE(reader.next()->pieces, QStringList{"'ok'"});
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
