#include "db/connection.h"
#include "db/session.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {
enum Route { Sqlite, Postgres, OdbcPostgres };
}

class TestImport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY2(m_pg.load(), kPgNotRunning);
        // A database of this test's own: the scripts below start from an empty one.
        QVERIFY(m_pg.exec({QStringLiteral("DROP DATABASE IF EXISTS orvik_scripts"),
                           QStringLiteral("CREATE DATABASE orvik_scripts")}));
        m_pg.database = QStringLiteral("orvik_scripts");
        m_odbc.install(&m_pg, QString());
    }
    void init();
    void cleanup() { m_window.reset(); }
    void committedUpToTheFailingLine_data();
    void committedUpToTheFailingLine();
    void scriptBatchesRunInOrder_data();
    void scriptBatchesRunInOrder();
    void oddFiles_data();
    void oddFiles();
    void escStopsALongRun_data();
    void escStopsALongRun();
    void scriptsEndAsTheShellsLeaveThem_data();
    void scriptsEndAsTheShellsLeaveThem();
    void insideTheOperatorsTransaction_data();
    void insideTheOperatorsTransaction();
    void escStopsAStatementThatRunsOn_data();
    void escStopsAStatementThatRunsOn();
    void aFailedCommitEndsTheOperatorsTransaction();

private:
    // The engine's own shell on the database a route reaches: sqlite3 -bail or psql with
    // ON_ERROR_STOP, given a file or a command; what it prints.
    QString shell(Route route, const QString& command, bool file = false);
    // An empty database for the route: a new SQLite file, or an empty public schema.
    void emptyDatabase(Route route);
    void connect(Route route);
    QString queryValue(const QString& sql);
    void import(const QByteArray& bytes, const QString& table);
    // Runs the bytes as the script run.sql from the file page, as the operator does.
    void runScript(const QByteArray& bytes);

    PgServer m_pg;
    OdbcEnvironment m_odbc;
    std::unique_ptr<StartedWindow> m_window;
};

void TestImport::init() {
    m_window = std::make_unique<StartedWindow>([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray());
        makeSqliteDatabase(p.path(QStringLiteral("load.db")),
                           QStringLiteral("CREATE TABLE loaded (n INTEGER NOT NULL, t VARCHAR(20))"));
    });
    QVERIFY(
        m_pg.exec({QStringLiteral("DROP TABLE IF EXISTS loaded"), QStringLiteral("DROP TABLE IF EXISTS slog"),
                   QStringLiteral("CREATE TABLE loaded (n INTEGER NOT NULL, t VARCHAR(20))")}));
}

void TestImport::connect(Route route) {
    const QString text = route == Sqlite     ? QStringLiteral("Driver={SQLite3};Database=load.db")
                         : route == Postgres ? m_pg.connectionString()
                                             : QStringLiteral("DSN=orvik_pg");
    m_window->window->connectActions().DBQConnect(text);
    QVERIFY2(MainConnection() && MainConnection()->isOpen(), qPrintable(text));
}

QString TestImport::queryValue(const QString& sql) {
    m_window->window->ui().tabPage->setCurrentIndex(0);
    m_window->editor()->setPlainText(sql);
    QTest::mouseClick(m_window->child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    const FlexGrid* grid = m_window->child<FlexGrid>("fg1");
    return grid->rows() > 1 ? grid->textMatrix(1, 0) : QString();
}

void TestImport::import(const QByteArray& bytes, const QString& table) {
    m_window->program.write(QStringLiteral("in.txt"), bytes);
    m_window->window->ui().tabPage->setCurrentIndex(1);
    m_window->child<QLineEdit>("txtFileName")->setText(m_window->program.path(QStringLiteral("in.txt")));
    m_window->op.inputs = {table};
    QTest::mouseClick(m_window->child<QPushButton>("cmdLoadTextToDB"), Qt::LeftButton);
}

void TestImport::runScript(const QByteArray& bytes) {
    m_window->program.write(QStringLiteral("run.sql"), bytes);
    m_window->window->ui().tabPage->setCurrentIndex(1);
    m_window->child<QLineEdit>("txtFileName")->setText(m_window->program.path(QStringLiteral("run.sql")));
    QTest::mouseClick(m_window->child<QPushButton>("cmdScript"), Qt::LeftButton);
}

void TestImport::committedUpToTheFailingLine_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<QString>("fault");
    for (const auto& [route, name] : {std::pair{Sqlite, "SQLite"}, std::pair{Postgres, "PostgreSQL"}}) {
        QTest::addRow("%s, a value refused", name) << int(route) << "refused";
        QTest::addRow("%s, a literal never closed", name) << int(route) << "open literal";
    }
    QTest::newRow("PostgreSQL through ODBC, a value refused") << int(OdbcPostgres) << "refused";
}

void TestImport::committedUpToTheFailingLine() {
    QFETCH(int, route);
    QFETCH(QString, fault);
    connect(Route(route));
    // Line 1 is the header; data line k stands on file line k + 1. The failure comes after the
    // first group of statements has been kept, in the middle of the second.
    constexpr int failing = 20200;
    QByteArray bytes = "n,t\r\n";
    for (int k = 1; k < failing; ++k)
        bytes += QByteArray::number(k) + ",'line " + QByteArray::number(k) + "'\r\n";
    bytes += fault == QLatin1String("refused") ? QByteArray(",'no number'\r\n1200,'after'\r\n")
                                               : QByteArray("1100,'never closed\r\n");
    import(bytes, QStringLiteral("loaded"));
    // The panel says where it stopped and what stands, not the last progress count.
    QCOMPARE(StatusMessage(),
             QStringLiteral("載入中止於第 %1 行, 已寫入資料行數: %2").arg(failing + 1).arg(failing - 1));
    QCOMPARE(m_window->op.boxes.size(), 1);
    const QString box = m_window->op.boxes.last().text;
    QVERIFY2(box.contains(QStringLiteral("LoadTextToDB")) &&
                 box.contains(QStringLiteral("第 %1 行").arg(failing + 1)) &&
                 box.contains(QStringLiteral("in.txt")) &&
                 box.contains(QStringLiteral("已寫入並確定的資料行數: %1").arg(failing - 1)),
             qPrintable(box));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from loaded")), QString::number(failing - 1));
    QCOMPARE(queryValue(QStringLiteral("select max(n) from loaded")), QString::number(failing - 1));
}

void TestImport::scriptBatchesRunInOrder_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("rows");   // n:t of the log table afterwards
    QTest::addColumn<QString>("failed"); // the lines of the failing batch, "" when none fails
    const QString whole = QStringLiteral(
        "create table slog (n integer not null, t varchar(30));  -- made first\r\n"
        "insert into slog values (1, 'one'); insert into slog values (2, 'it''s -- no comment')\r\n"
        "  GO  \r\n"
        "/* a block\r\nGO\r\ncomment */ insert into slog values (3, 'three') -- trailing\r\n"
        "go\r\n"
        "insert into slog values (4, 'final, no GO')\r\n");
    const QString failing =
        QStringLiteral("create table slog (n integer not null, t varchar(30))\nGO\n"
                       "insert into slog values (1, 'a'); insert into slog values (2, 'b')\nGO\n"
                       "insert into slog values (3, 'c'); insert into slog values (NULL, 'd'); insert into "
                       "slog values (5, 'e')\n"
                       "GO\ninsert into slog values (6, 'f')\n");
    for (const auto& [route, name] : {std::pair{Sqlite, "SQLite"}, std::pair{Postgres, "PostgreSQL"}}) {
        QTest::addRow("%s, comments, GO and a final batch", name)
            << int(route) << whole << "1:one 2:it's -- no comment 3:three 4:final, no GO"
            << "";
        QTest::addRow("%s, a statement refused mid-batch", name) << int(route) << failing << "1:a 2:b 3:c"
                                                                 << "run.sql 第 5 行";
    }
    QTest::newRow("PostgreSQL through ODBC, a statement refused mid-batch")
        << int(OdbcPostgres) << failing << "1:a 2:b 3:c"
        << "run.sql 第 5 行";
}

void TestImport::scriptBatchesRunInOrder() {
    QFETCH(int, route);
    QFETCH(QString, script);
    QFETCH(QString, rows);
    QFETCH(QString, failed);
    connect(Route(route));
    runScript(script.toUtf8());
    const int lines = int(script.count(QLatin1Char('\n')));
    if (failed.isEmpty()) {
        QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
        QCOMPARE(m_window->child<ElasticPanel>("elaMsg")->caption(),
                 QStringLiteral("作業完成, 處理資料行數: %1").arg(lines));
    } else {
        QCOMPARE(m_window->op.boxes.size(), 1);
        QVERIFY2(m_window->op.boxes[0].text.contains(QStringLiteral("fmORVIK_cmdScript_Click")) &&
                     m_window->op.boxes[0].text.contains(failed),
                 qPrintable(m_window->op.boxes[0].text));
        // The completion text comes all the same, and says where the script stopped and what stands.
        QCOMPARE(m_window->child<ElasticPanel>("elaMsg")->caption(),
                 QStringLiteral("作業完成, 處理資料行數: 5 (第 5 行失敗, 已執行並確定的陳述式數: 4)"));
    }
    QStringList seen;
    m_window->window->ui().tabPage->setCurrentIndex(0);
    m_window->editor()->setPlainText(QStringLiteral("select n, t from slog order by n"));
    QTest::mouseClick(m_window->child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    const FlexGrid* grid = m_window->child<FlexGrid>("fg1");
    for (int r = 1; r < grid->rows(); ++r)
        seen << grid->textMatrix(r, 0) + u':' + grid->textMatrix(r, 1);
    QCOMPARE(seen.join(u' '), rows);
}

void TestImport::oddFiles_data() {
    QTest::addColumn<QByteArray>("bytes"); // "-" for no file at all
    QTest::addColumn<QString>("outcome");  // the status, or what the error box says
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("table"); // the table typed ("": loaded)
    QTest::newRow("no file") << QByteArray("-") << "讀取檔案錯誤:" << 0 << QString();
    QTest::newRow("a table name that would run a second statement")
        << QByteArray("n,t\r\n1,'a'\r\n") << "資料表名稱 loaded; drop table loaded; -- 或第 1 行的欄位" << 0
        << "loaded; drop table loaded; --";
    QTest::newRow("a table that is not there is named as the cause")
        << QByteArray("n,t\r\n1,'a'\r\n")
        << "資料表 loadde (欄位 n,t) 無法寫入: 資料庫無法執行陳述式: no such table: loadde" << 0 << "loadde";
    QTest::newRow("empty") << QByteArray() << "異動筆數:0" << 0 << QString();
    QTest::newRow("only a header") << QByteArray("n,t\r\n") << "異動筆數:0" << 0 << QString();
    QTest::newRow("more values than columns")
        << QByteArray("n,t\n1,'a'\n2,'b',3\n") << "第 3 行" << 1 << QString();
    QTest::newRow("a line that would run a second statement")
        << QByteArray("n,t\n1,'a'\n2,'x');DELETE FROM loaded;--\n") << "未執行" << 1 << QString();
    QTest::newRow("a NUL: no text file")
        << QByteArray("n,t\n1,'a'\n2,'a\0b'\n", 19) << "NUL" << 1 << QString();
    QTest::newRow("Big5 under a UTF-8 locale")
        << QByteArray("n,t\r\n1,'\xAF\xF9'\r\n") << "異動筆數:1 (檔案以 Big5 讀取)" << 1 << QString();
}

void TestImport::oddFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, outcome);
    QFETCH(int, rows);
    QFETCH(QString, table);
    connect(Sqlite);
    if (bytes == "-") {
        m_window->window->ui().tabPage->setCurrentIndex(1);
        m_window->child<QLineEdit>("txtFileName")
            ->setText(m_window->program.path(QStringLiteral("none.txt")));
        QTest::mouseClick(m_window->child<QPushButton>("cmdLoadTextToDB"), Qt::LeftButton);
    } else {
        import(bytes, table.isEmpty() ? QStringLiteral("loaded") : table);
    }
    const QString said = m_window->op.boxes.isEmpty() ? StatusMessage() : m_window->op.boxes.last().text;
    QVERIFY2(said.contains(outcome), qPrintable(said));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from loaded")), QString::number(rows));
    if (rows == 1 && bytes.contains('\xAF'))
        QCOMPARE(queryValue(QStringLiteral("select t from loaded")), QStringLiteral("茶"));
}

void TestImport::escStopsALongRun_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<bool>("script");
    QTest::newRow("import") << int(Sqlite) << false;
    // Scripts for SQLite and PostgreSQL rarely hold a GO: the whole file is one batch.
    QTest::newRow("SQLite, a script without GO") << int(Sqlite) << true;
    QTest::newRow("PostgreSQL, a script without GO") << int(Postgres) << true;
}

void TestImport::escStopsALongRun() {
    QFETCH(int, route);
    QFETCH(bool, script);
    connect(Route(route));
    constexpr int lines = 400000;
    QByteArray bytes =
        script ? QByteArray("create table slog (n integer, t varchar(30));\n") : QByteArray("n,t\n");
    for (int k = 1; k <= lines; ++k)
        bytes += script ? "insert into slog values (" + QByteArray::number(k) + ", 'x');\n"
                        : QByteArray::number(k) + ",'x'\n";
    m_window->program.write(QStringLiteral("long.txt"), bytes);
    m_window->window->ui().tabPage->setCurrentIndex(1);
    m_window->child<QLineEdit>("txtFileName")->setText(m_window->program.path(QStringLiteral("long.txt")));
    m_window->op.inputs = {QStringLiteral("loaded")};
    // A while into the run the operator reads the progress, presses the command again (refused),
    // then Esc.
    int step = 0;
    QString progress;
    QTimer operatorAtWork;
    operatorAtWork.setInterval(150);
    QObject::connect(&operatorAtWork, &QTimer::timeout, this, [&] {
        if (step == 0)
            QTest::mouseClick(m_window->child<QPushButton>(script ? "cmdScript" : "cmdLoadTextToDB"),
                              Qt::LeftButton);
        else if (step == 1)
            progress = m_window->child<ElasticPanel>("elaMsg")->caption();
        else
            QTest::keyClick(m_window->child<QLineEdit>("txtFileName"), Qt::Key_Escape);
        ++step;
    });
    operatorAtWork.start();
    QTest::mouseClick(m_window->child<QPushButton>(script ? "cmdScript" : "cmdLoadTextToDB"), Qt::LeftButton);
    operatorAtWork.stop();
    QVERIFY2(step >= 3, qPrintable(QStringLiteral("the run ended before the operator could stop it: ") +
                                   m_window->child<ElasticPanel>("elaMsg")->caption()));
    QVERIFY2(
        progress.startsWith(script ? QStringLiteral("已讀入資料行數: ") : QStringLiteral("已載入資料行數: ")),
        qPrintable(progress));
    const QString status = StatusMessage();
    const QString shown = m_window->child<ElasticPanel>("elaMsg")->caption();
    QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
    const int kept =
        queryValue(QStringLiteral("select count(*) from %1").arg(script ? "slog" : "loaded")).toInt();
    QVERIFY2(kept > 0 && kept < lines, qPrintable(QString::number(kept)));
    if (script) {
        // Every statement read ran and stands, the CREATE TABLE among them; none after it ran.
        QCOMPARE(
            shown,
            QStringLiteral("作業完成, 處理資料行數: %1 (已停止, 已執行並確定的陳述式數: %1)").arg(kept + 1));
    } else {
        QCOMPARE(status, QStringLiteral("已停止載入, 已寫入資料行數: %1").arg(kept));
    }
}

void TestImport::escStopsAStatementThatRunsOn_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<QByteArray>("running"); // the statement under way when Esc comes
    QTest::addColumn<int>("rows");           // what stands afterwards
    const QByteArray sleep = "select pg_sleep(30);";
    QTest::newRow("SQLite, a long read: interrupted")
        << int(Sqlite)
        << QByteArray("with recursive c(x) as (select 1 union all select x + 1 from c where x < 500000000) "
                      "select count(*) from c;")
        << 1;
    // Interrupted, it would take the first row with it: it runs to its end, and stands.
    QTest::newRow("SQLite, a long write inside its group: finished, kept")
        << int(Sqlite)
        << QByteArray("insert into slog with recursive c(x) as (select 1 union all select x + 1 from c where "
                      "x < 4000000) select x, 'x' from c;")
        << 4000001;
    QTest::newRow("PostgreSQL: cancelled") << int(Postgres) << sleep << 1;
    QTest::newRow("PostgreSQL through ODBC: cancelled") << int(OdbcPostgres) << sleep << 1;
}

void TestImport::escStopsAStatementThatRunsOn() {
    QFETCH(int, route);
    QFETCH(QByteArray, running);
    QFETCH(int, rows);
    connect(Route(route));
    const QByteArray script = "create table slog (n integer, t varchar(30));\n"
                              "insert into slog values (0, 'before');\n" +
                              running + "\ninsert into slog values (-1, 'after');\n";
    QTimer::singleShot(
        300, this, [this] { QTest::keyClick(m_window->child<QLineEdit>("txtFileName"), Qt::Key_Escape); });
    QElapsedTimer clock;
    clock.start();
    runScript(script);
    QVERIFY2(clock.elapsed() < 15000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
    const QString shown = m_window->child<ElasticPanel>("elaMsg")->caption();
    QVERIFY2(shown.contains(QStringLiteral("已停止")), qPrintable(shown));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from slog")), QString::number(rows));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from slog where t = 'after'")), QStringLiteral("0"));
}

void TestImport::aFailedCommitEndsTheOperatorsTransaction() {
    QVERIFY(m_pg.exec({QStringLiteral("DROP TABLE IF EXISTS du"),
                       QStringLiteral("CREATE TABLE du (a int UNIQUE DEFERRABLE INITIALLY DEFERRED)")}));
    connect(Postgres);
    queryValue(QStringLiteral("SERVER BEGIN"));
    runScript("insert into loaded values (1, 'a');\n"
              "insert into du values (1);\ninsert into du values (1);\ncommit;\n");
    const QString box = m_window->op.boxes.value(0).text;
    QVERIFY2(box.contains(QStringLiteral("第 4 行")) &&
                 box.contains(QStringLiteral("資料庫放棄了你開啟的交易")) &&
                 !box.contains(QStringLiteral("待你 COMMIT")),
             qPrintable(box));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from loaded")), QStringLiteral("0"));
}

void TestImport::insideTheOperatorsTransaction_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<bool>("script");
    QTest::addColumn<QString>("finish"); // how the operator ends the transaction afterwards
    QTest::addColumn<int>("rows");       // what stands then
    for (const auto& [route, name] : {std::pair{Sqlite, "SQLite"}, std::pair{Postgres, "PostgreSQL"}}) {
        QTest::addRow("%s, a script, then COMMIT", name) << int(route) << true << "SERVER COMMIT" << 1;
        QTest::addRow("%s, an import, then ROLLBACK", name) << int(route) << false << "SERVER ROLLBACK" << 0;
    }
}

void TestImport::insideTheOperatorsTransaction() {
    QFETCH(int, route);
    QFETCH(bool, script);
    QFETCH(QString, finish);
    QFETCH(int, rows);
    connect(Route(route));
    queryValue(QStringLiteral("SERVER BEGIN"));
    // The second line fails: the first stays in the operator's transaction, which stays usable.
    if (script) {
        runScript("insert into loaded values (1, 'a');\ninsert into loaded values (NULL, 'b');\n"
                  "insert into loaded values (3, 'c');\n");
    } else {
        import("n,t\n1,'a'\n,'b'\n3,'c'\n", QStringLiteral("loaded"));
    }
    QCOMPARE(m_window->op.boxes.size(), 1);
    const QString box = m_window->op.boxes.last().text;
    QVERIFY2(box.contains(QStringLiteral("第 %1 行").arg(script ? 2 : 3)) &&
                 box.contains(QStringLiteral("另有 1 個陳述式在你開啟的交易中")),
             qPrintable(box));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from loaded")), QStringLiteral("1"));
    queryValue(finish);
    QCOMPARE(queryValue(QStringLiteral("select count(*) from loaded")), QString::number(rows));
}

QString TestImport::shell(Route route, const QString& command, bool file) {
    QProcess p;
    if (route == Sqlite) {
        if (file)
            p.setStandardInputFile(command);
        p.start(QStringLiteral("sqlite3"),
                QStringList{QStringLiteral("-bail"), m_window->program.path(QStringLiteral("scripts.db"))}
                    << (file ? QStringList() : QStringList{command}));
    } else {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), m_pg.password);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("psql"),
                {QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-At"), QStringLiteral("-v"),
                 QStringLiteral("ON_ERROR_STOP=1"), QStringLiteral("-h"), m_pg.host, QStringLiteral("-p"),
                 QString::number(m_pg.port), QStringLiteral("-U"), m_pg.user, QStringLiteral("-d"),
                 m_pg.database, file ? QStringLiteral("-f") : QStringLiteral("-c"), command});
    }
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

void TestImport::emptyDatabase(Route route) {
    if (route == Sqlite) {
        for (const char* name : {"scripts.db", "other.db"})
            QFile::remove(m_window->program.path(QString::fromLatin1(name)));
        return;
    }
    QVERIFY(
        m_pg.exec({QStringLiteral("SET client_min_messages = warning"),
                   QStringLiteral("DROP SCHEMA public CASCADE"), QStringLiteral("CREATE SCHEMA public")}));
}

void TestImport::scriptsEndAsTheShellsLeaveThem_data() {
    QTest::addColumn<int>("route");
    QTest::addColumn<QByteArray>("script"); // %DIR% stands for the program folder
    QTest::addColumn<QString>("state");     // a query of the end state, asked of each database by the shell
    QTest::addColumn<QString>("told");      // what the last box says ("" when none shows)
    QTest::addColumn<QString>("expected");  // the state where no shell reads the file ("" : the shell's)
    const QByteArray ownTransaction =
        "create table c (a integer primary key);\nbegin;\ninsert into c values (1);\n"
        "insert into c values (1);\ninsert into c values (2);\ncommit;\n";
    const QString failedInIt = QStringLiteral("第 2 行開始的交易已復原 (ROLLBACK)");
    for (const auto& [route, name] : {std::pair{Sqlite, "SQLite"}, std::pair{Postgres, "PostgreSQL"},
                                      std::pair{OdbcPostgres, "PostgreSQL through ODBC"}})
        QTest::addRow("%s, a failure inside the script's own transaction", name)
            << int(route) << ownTransaction << "select count(*) from c" << failedInIt << "";
    QTest::newRow("PostgreSQL, a serial key after a failure: nothing ran twice")
        << int(Postgres)
        << QByteArray("create table s (id serial primary key, v int unique);\nvacuum s;\ninsert into s (v) "
                      "values (1);\n"
                      "insert into s (v) values (2);\ninsert into s (v) values (1);\ninsert into s (v) "
                      "values (3);\n")
        << "select string_agg(id || ':' || v, ',' order by id) from s"
        << "run.sql 第 5 行"
        << "";
    QTest::newRow("SQLite, ATTACH and DETACH")
        << int(Sqlite)
        << QByteArray(
               "create table x (a);\nattach database '%DIR%/other.db' as other;\ncreate table other.t (a);\n"
               "insert into other.t values (1);\ndetach database other;\ninsert into x values (1);\n")
        << "attach '%DIR%/other.db' as o; select (select count(*) from x) || ',' || (select count(*) from "
           "o.t);"
        << ""
        << "";
    QTest::newRow("PostgreSQL, ALTER TYPE ... ADD VALUE, then its use")
        << int(Postgres)
        << QByteArray("create type mood as enum ('sad');\nalter type mood add value 'happy';\n"
                      "create table m (v mood);\ninsert into m values ('happy');\n")
        << "select string_agg(v::text, ',') from m"
        << ""
        << "";
    QTest::newRow("PostgreSQL, COPY ... FROM STDIN with its rows in the script")
        << int(Postgres)
        << QByteArray("create table cp (a int, t text);\ncopy cp from stdin;\n1\tone\n2\ttwo\n\\.\n"
                      "insert into cp values (3, 'three');\ncopy cp to stdout;\n")
        << "select string_agg(a || t, ',' order by a) from cp"
        << ""
        << "";
    QTest::newRow("PostgreSQL, a CR LF inside a literal over lines")
        << int(Postgres) << QByteArray("create table cr (t text);\r\ninsert into cr values ('a\r\nb');\r\n")
        << "select md5(t) from cr"
        << ""
        << "";
    QTest::newRow("PostgreSQL, psql's own lines that change no data, as pg_dump writes them")
        << int(Postgres)
        << QByteArray("\\restrict k3y\nset client_min_messages = warning;\ncreate table pr (a int);\n"
                      "insert into pr values (1);\n\\unrestrict k3y\n")
        << "select count(*) from pr"
        << ""
        << "";
    QTest::newRow("PostgreSQL, the line of a failure after COPY rows")
        << int(Postgres)
        << QByteArray("create table cw (a int primary key);\ncopy cw from stdin;\n1\n2\n\\.\ninsert into cw "
                      "values (1);\n")
        << "select count(*) from cw"
        << "run.sql 第 6 行"
        << "";
    QTest::newRow("PostgreSQL, COMMIT AND CHAIN commits and begins the next")
        << int(Postgres)
        << QByteArray("create table ch (a int);\nbegin;\ninsert into ch values (1);\ncommit and chain;\n"
                      "insert into ch values (2);\n")
        << "select string_agg(a::text, ',') from ch"
        << "第 4 行開始的交易到檔案結尾都沒有結束"
        << "";
    QTest::newRow("PostgreSQL, backslashes in literals after standard_conforming_strings = off")
        << int(Postgres)
        << QByteArray("set standard_conforming_strings = off;\nset escape_string_warning = off;\n"
                      "create table scs (a text);\ninsert into scs values ('it\\'s; tricky');\ninsert into "
                      "scs values ('two');\n")
        << "select string_agg(a, '|' order by a) from scs"
        << ""
        << "";
    QTest::newRow("SQLite, a trigger's body")
        << int(Sqlite)
        << QByteArray("create table t (a);\ncreate table l (a);\ncreate trigger tr after insert on t begin\n"
                      " insert into l values (new.a);\n insert into l values (new.a * 10);\nend;\n"
                      "insert into t values (1);\n")
        << "select group_concat(a) from l"
        << ""
        << "";
    QTest::newRow("PostgreSQL, a function's BEGIN ATOMIC body")
        << int(Postgres)
        << QByteArray(
               "create function f(x int) returns int language sql\nbegin atomic\n"
               " select case when x > 0 then x + 1 else 0 end;\nend;\ncreate table r as select f(1) as v;\n")
        << "select v from r"
        << ""
        << "";
    QTest::newRow("SQLite, comments that do not nest")
        << int(Sqlite) << QByteArray("create table d (a);\n/* a /* b */ insert into d values (1); /* c */\n")
        << "select count(*) from d"
        << ""
        << "";
    QTest::newRow("PostgreSQL, comments that nest")
        << int(Postgres)
        << QByteArray("create table d (a int);\n/* a /* b */ insert into d values (1); /* c */ */ insert "
                      "into d values (2);\n")
        << "select string_agg(a::text, ',') from d"
        << ""
        << "";
    const QByteArray leftOpen = "create table e (a int);\nbegin;\ninsert into e values (1);\n";
    for (const auto& [route, name] : {std::pair{Sqlite, "SQLite"}, std::pair{Postgres, "PostgreSQL"}})
        QTest::addRow("%s, a transaction left open at the end, rolled back as asked", name)
            << int(route) << leftOpen << "select count(*) from e"
            << "第 2 行開始的交易到檔案結尾都沒有結束"
            << "";
    QTest::newRow("SQLite, a UTF-16 script with a byte-order mark")
        << int(Sqlite)
        << (QByteArray("\xFF\xFE") +
            QByteArray(
                reinterpret_cast<const char*>(u"create table u (a);\r\ninsert into u values ('茶');\r\n"),
                96))
        << "select a from u"
        << ""
        << "茶";
    QTest::newRow("SQLite, UTF-8 with a byte-order mark")
        << int(Sqlite)
        << QByteArray("\xEF\xBB\xBF"
                      "create table u (a);\ninsert into u values ('\xE8\x8C\xB6');\n")
        << "select a from u"
        << ""
        << "茶";
    // What a transaction of the run's own must not change.
    QTest::newRow("SQLite, a RAISE(ROLLBACK) takes back its statement alone")
        << int(Sqlite)
        << QByteArray("create table r (a);\ncreate trigger tr before insert on r when new.a = 3 begin\n"
                      " select raise(rollback, 'no three');\nend;\ninsert into r values (1);\n"
                      "insert into r values (2);\ninsert into r values (3);\ninsert into r values (4);\n")
        << "select group_concat(a) from r"
        << "第 7 行"
        << "";
    QTest::newRow("SQLite, a deferred foreign key fails at its statement")
        << int(Sqlite)
        << QByteArray("pragma foreign_keys = on;\ncreate table p (id integer primary key);\n"
                      "create table c (pid integer references p (id) deferrable initially deferred);\n"
                      "insert into p values (1);\ninsert into c values (7);\ninsert into p values (2);\n")
        << "select (select group_concat(id) from p) || '/' || (select count(*) from c)"
        << "第 5 行"
        << "";
    QTest::newRow("PostgreSQL through ODBC, a deferred foreign key fails at its statement")
        << int(OdbcPostgres)
        << QByteArray("create table pp (id int primary key);\n"
                      "create table pc (pid int references pp (id) deferrable initially deferred);\n"
                      "insert into pc values (1);\ninsert into pp values (1);\n")
        << "select (select count(*) from pp) || '/' || (select count(*) from pc)"
        << "第 3 行"
        << "";
    QTest::newRow("PostgreSQL, LOCK and ON COMMIT DROP outside a transaction")
        << int(Postgres)
        << QByteArray(
               "create table pl (a int);\nlock table pl in exclusive mode;\ninsert into pl values (1);\n")
        << "select count(*) from pl"
        << "第 2 行"
        << "";
    QTest::newRow("PostgreSQL, each statement's own now() and transaction")
        << int(Postgres)
        << QByteArray("create table pt (n int, t timestamptz, x bigint);\ninsert into pt select 1, now(), "
                      "txid_current();\n"
                      "select pg_sleep(0.01);\ninsert into pt select 2, now(), txid_current();\n")
        << "select count(distinct t) || '/' || count(distinct x) from pt"
        << ""
        << "";
    QTest::newRow("PostgreSQL through ODBC, COPY refused before it is sent, what ran before it kept")
        << int(OdbcPostgres)
        << QByteArray("create table oq (a int);\ninsert into oq values (1);\ncopy oq to stdout;\ninsert into "
                      "oq values (2);\n")
        << "select count(*) from oq"
        << "已執行並確定的陳述式數: 2"
        << "1";
    QTest::newRow("SQLite, NUL bytes: no text file")
        << int(Sqlite) << QByteArray("create table n (a);\ninsert into n values (1);\x00\n", 46)
        << "select count(*) from n"
        << "第 2 行含有 NUL 字元"
        << "0";
}

void TestImport::scriptsEndAsTheShellsLeaveThem() {
    QFETCH(int, route);
    QFETCH(QByteArray, script);
    QFETCH(QString, state);
    QFETCH(QString, told);
    QFETCH(QString, expected);
    const QString folder = m_window->program.path(QString());
    script.replace("%DIR%", folder.toUtf8());
    state.replace(QStringLiteral("%DIR%"), folder);
    m_window->program.write(QStringLiteral("run.sql"), script);
    const Route shellRoute = route == Sqlite ? Sqlite : Postgres;
    if (expected.isEmpty()) {
        emptyDatabase(shellRoute);
        shell(shellRoute, m_window->program.path(QStringLiteral("run.sql")), true);
        expected = shell(shellRoute, state);
    }
    emptyDatabase(shellRoute);
    if (route == Sqlite) {
        makeSqliteDatabase(m_window->program.path(QStringLiteral("scripts.db")), QString());
        m_window->window->connectActions().DBQConnect(QStringLiteral("Driver={SQLite3};Database=scripts.db"));
    } else {
        connect(Route(route));
    }
    m_window->op.answers = {
        MsgAnswer::No}; // a transaction the script left open is rolled back, as the shells do
    runScript(script);
    const QString box = m_window->op.boxes.isEmpty() ? QString() : m_window->op.boxes.last().text;
    QVERIFY2(told.isEmpty() ? box.isEmpty() : box.contains(told), qPrintable(box));
    QCOMPARE(shell(shellRoute, state), expected);
    // Nothing is left open: another program can write, and the server sees the session idle.
    if (route == Sqlite)
        QCOMPARE(shell(Sqlite, QStringLiteral("create table probe (a); drop table probe; select 'free';")),
                 QStringLiteral("free"));
    else
        QCOMPARE(shell(Postgres,
                       QStringLiteral("select string_agg(state, ',') from pg_stat_activity where datname = "
                                      "current_database() and pid <> pg_backend_pid()")),
                 QStringLiteral("idle"));
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"
