#include "app/errors.h"
#include "db/connection.h"
#include "db/session.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QAction>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {
const QString kSqliteScript = QStringLiteral(
    "CREATE TABLE Item (RNo INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(20), Qty INTEGER, Price "
    "DECIMAL(10,2), "
    "Big BIGINT, Day DATE, Memo TEXT);\n"
    "INSERT INTO Item (Name, Qty, Price, Big, Day, Memo) VALUES ('茶', 3, 12.5, 12345678901234567, "
    "'2016-11-25', 'a\tb');\n"
    "INSERT INTO Item (Name, Qty, Price, Big, Day, Memo) VALUES ('壺', 2, 100, NULL, NULL, NULL);\n"
    "INSERT INTO Item (Name, Qty, Price, Big, Day, Memo) VALUES ('盤', 5, 0.25, 1, '2017-01-02', 'x');\n");

// Both engines hold the same Item table; each test runs on both.
enum Route { Sqlite, Postgres, OdbcPostgres };

QStringList gridRow(const FlexGrid* g, int row) {
    QStringList cells;
    for (int c = 0; c < g->cols(); ++c)
        cells << g->textMatrix(row, c);
    return cells;
}
} // namespace

class TestExec : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void selectFillsGrid_data() { engines(); }
    void selectFillsGrid();
    void changesReportCount_data() { engines(); }
    void changesReportCount();
    void emptyResultKeepsHeader_data() { engines(); }
    void emptyResultKeepsHeader();
    void serverPassThrough_data() { engines(); }
    void serverPassThrough();
    void rejectedStatementReported_data() { engines(); }
    void rejectedStatementReported();
    void valuesShowTheSameOnEveryEngine_data() { engines(); }
    void valuesShowTheSameOnEveryEngine();
    void execRunsTextUnchanged();
    void ignoredWordsRunNothing();
    void emptyEditorAsksForSql();
    void selectionRunsAlone();
    void useOnlyOnSqlServerProvider();
    void useRebuildFormula_data();
    void useRebuildFormula();
    void droppedConnectionReported();
    void longEditorText();
    void menuEntryExecutes();
    void widthsFitTheLongestRow();
    void everyStatementRuns_data() { engines(); }
    void everyStatementRuns();
    void namedQueriesRun_data() { engines(); }
    void namedQueriesRun();
    void escCancelsARunningStatement_data();
    void escCancelsARunningStatement();
    void commandsWaitForALongLoad_data();
    void commandsWaitForALongLoad();

private:
    void engines();
    void connect(Route engine);
    void run(const QString& editorText);
    QString mode() const { return m_window->child<QLabel>("lblMode")->text(); }
    FlexGrid* fg1() const { return m_window->child<FlexGrid>("fg1"); }

    PgServer m_pg;
    OdbcEnvironment m_odbc;
    std::unique_ptr<StartedWindow> m_window;
};

void TestExec::engines() {
    QTest::addColumn<int>("engine");
    QTest::newRow("SQLite") << int(Sqlite);
    QTest::newRow("PostgreSQL") << int(Postgres);
    QTest::newRow("PostgreSQL through ODBC") << int(OdbcPostgres);
}

void TestExec::initTestCase() {
    QVERIFY2(m_pg.load(), kPgNotRunning);
    m_odbc.install(&m_pg, QString());
}

void TestExec::init() {
    m_window = std::make_unique<StartedWindow>([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray());
        makeSqliteDatabase(p.path(QStringLiteral("item.db")), kSqliteScript);
    });
    QVERIFY(m_pg.exec(
        {QStringLiteral("DROP TABLE IF EXISTS item"),
         QStringLiteral("CREATE TABLE item (rno SERIAL PRIMARY KEY, name VARCHAR(20), qty INTEGER, "
                        "price NUMERIC(10,2), big BIGINT, day DATE, memo TEXT)"),
         QStringLiteral("INSERT INTO item (name, qty, price, big, day, memo) VALUES "
                        "('茶', 3, 12.5, 12345678901234567, '2016-11-25', E'a\\tb'), "
                        "('壺', 2, 100, NULL, NULL, NULL), ('盤', 5, 0.25, 1, '2017-01-02', 'x')")}));
}

void TestExec::cleanup() {
    m_window.reset();
}

void TestExec::connect(Route engine) {
    const QString text = engine == Sqlite     ? QStringLiteral("Driver={SQLite3};Database=item.db")
                         : engine == Postgres ? m_pg.connectionString()
                                              : QStringLiteral("DSN=orvik_pg");
    m_window->window->connectActions().DBQConnect(text);
    QVERIFY2(MainConnection() && MainConnection()->isOpen(), qPrintable(text));
}

void TestExec::escCancelsARunningStatement_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("statement"); // would run for far longer than the test waits
    QTest::addColumn<bool>("maintain");     // F5 instead of Execute
    const QString sqliteLong =
        QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
                       "WHERE x < 2000000000) SELECT count(*) FROM c");
    const QString pgLong = QStringLiteral("select pg_sleep(600)");
    const QString pgLongRows = QStringLiteral("select rno, name from item, pg_sleep(600)");
    QTest::newRow("SQLite") << int(Sqlite) << sqliteLong << false;
    QTest::newRow("PostgreSQL") << int(Postgres) << pgLong << false;
    QTest::newRow("PostgreSQL through ODBC") << int(OdbcPostgres) << pgLong << false;
    QTest::newRow("SQLite, F5") << int(Sqlite) << sqliteLong << true;
    QTest::newRow("PostgreSQL, F5") << int(Postgres) << pgLongRows << true;
    QTest::newRow("PostgreSQL through ODBC, F5") << int(OdbcPostgres) << pgLongRows << true;
}

void TestExec::escCancelsARunningStatement() {
    QFETCH(int, engine);
    QFETCH(QString, statement);
    QFETCH(bool, maintain);
    connect(Route(engine));
    // The window keeps answering while the statement runs: a timer of its own fires, then Esc.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 5)
            QTest::keyClick(m_window->editor(), Qt::Key_Escape);
    });
    ticker.start(40);
    if (maintain) {
        m_window->editor()->setPlainText(statement);
        QTest::keyClick(m_window->editor(), Qt::Key_F5);
    } else {
        run(statement);
    }
    ticker.stop();
    QVERIFY(ticks >= 5);
    QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
    QVERIFY2(StatusMessage().startsWith(QStringLiteral("已取消")), qPrintable(StatusMessage()));
    run(QStringLiteral("select qty from item where rno = 2"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("2"));
}

void TestExec::run(const QString& editorText) {
    m_window->editor()->setPlainText(editorText);
    QTest::mouseClick(m_window->child<QPushButton>("cmdQryDB"), Qt::LeftButton);
}

void TestExec::selectFillsGrid() {
    QFETCH(int, engine);
    connect(Route(engine));
    run(QStringLiteral("-- the items\nselect name, qty, price, big, day, memo from item order by rno"));
    QStringList header = gridRow(fg1(), 0);
    for (QString& title : header)
        title = title.toLower(); // SQLite keeps the case of the declaration
    QCOMPARE(header, (QStringList{"name", "qty", "price", "big", "day", "memo"}));
    QCOMPARE(fg1()->rows(), 4);
    QCOMPARE(gridRow(fg1(), 1).mid(0, 2), (QStringList{QStringLiteral("茶"), "3"}));
    QCOMPARE(fg1()->textMatrix(1, 3), QStringLiteral("12345678901234567"));
    QCOMPARE(fg1()->textMatrix(1, 4), QStringLiteral("2016/11/25"));
    QCOMPARE(fg1()->textMatrix(1, 5), QStringLiteral("a\tb"));     // a TAB stays inside its cell
    QCOMPARE(gridRow(fg1(), 2).mid(3), (QStringList{"", "", ""})); // NULLs read as empty
    QCOMPARE(fg1()->valueMatrix(3, 2), 0.25);
    QCOMPARE(fg1()->grid()->colDataType(1), 3);
    QCOMPARE(m_window->child<ElasticPanel>("elaMsg")->caption(), QStringLiteral("資料筆數:3"));
    QCOMPARE(StatusMessage(), QStringLiteral("資料筆數:3"));
    QCOMPARE(mode(), QStringLiteral("查詢"));
    QCOMPARE(CurrentSql(), QStringLiteral("select name, qty, price, big, day, memo from item order by rno"));
    QVERIFY(fg1()->grid()->editable());
    QVERIFY(m_window->action("mnuMaintain_0")->isEnabled());
    QVERIFY(!m_window->op.busy);
    QVERIFY(m_window->op.boxes.isEmpty());
}

void TestExec::changesReportCount() {
    QFETCH(int, engine);
    connect(Route(engine));
    run(QStringLiteral("select * from item"));
    const QString header = fg1()->textMatrix(0, 1);
    run(QStringLiteral("UPDATE item SET qty = qty + 1 WHERE qty > 2"));
    QCOMPARE(StatusMessage(), QStringLiteral("異動筆數:2"));
    QCOMPARE(mode(), QStringLiteral("執行"));
    QCOMPARE(fg1()->rows(), 1);
    QCOMPARE(fg1()->textMatrix(0, 1), header); // the previous header row stays
    run(QStringLiteral("insert into item (name, qty) values ('新', 1)"));
    QCOMPARE(StatusMessage(), QStringLiteral("異動筆數:1"));
    run(QStringLiteral("delete from item where qty < 4"));
    QCOMPARE(StatusMessage(), QStringLiteral("異動筆數:2"));
    run(QStringLiteral("select count(*) from item"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("2"));
}

void TestExec::emptyResultKeepsHeader() {
    QFETCH(int, engine);
    connect(Route(engine));
    run(QStringLiteral("select name, qty from item"));
    run(QStringLiteral("select rno from item where 1 = 0"));
    QCOMPARE(fg1()->rows(), 1);
    QCOMPARE(fg1()->textMatrix(0, 0).toLower(), QStringLiteral("name")); // the previous result's titles
    QCOMPARE(StatusMessage(), QStringLiteral("資料筆數:0"));
}

void TestExec::serverPassThrough() {
    QFETCH(int, engine);
    connect(Route(engine));
    run(QStringLiteral("SERVERselect name from item where qty = 2"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("壺"));
    QCOMPARE(mode(), QStringLiteral("伺服器指令"));
    QCOMPARE(CurrentSql(), QStringLiteral("select name from item where qty = 2"));
    QVERIFY(fg1()->grid()->editable());
    run(QStringLiteral("server update item set memo = 'z'"));
    QCOMPARE(StatusMessage(), QStringLiteral("異動筆數:3"));
    QCOMPARE(mode(), QStringLiteral("伺服器指令"));
}

void TestExec::rejectedStatementReported() {
    QFETCH(int, engine);
    connect(Route(engine));
    run(QStringLiteral("select name from item"));
    run(QStringLiteral("select nosuchcolumn from item"));
    QCOMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(m_window->op.boxes[0].text.startsWith(QStringLiteral(
        "處理程序: (ExecSQL\r\nSQL:select nosuchcolumn from item)\r\n執行錯誤, 代碼: -2147217900\r\n")));
    QCOMPARE(fg1()->rows(), 1);
    QCOMPARE(fg1()->textMatrix(0, 0).toLower(), QStringLiteral("name"));
    QVERIFY(!fg1()->grid()->editable());
    QVERIFY(m_window->action("mnuMaintain_0")->isEnabled());
    QVERIFY(!m_window->op.busy);
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("select nosuchcolumn from item"));
}

void TestExec::valuesShowTheSameOnEveryEngine() {
    QFETCH(int, engine);
    connect(Route(engine));
    const bool pg = engine != Sqlite;
    run(pg ? QStringLiteral(
                 "select 0.1::float8 + 0.2::float8 as f, 12.50::numeric(10,2) as n, true as b, "
                 "'\\x00ff'::bytea as y, timestamp '2016-11-25 09:30:00.25' as t, 1e20::float8 as e, "
                 "1234567890123456.7890::numeric(20,4) as x")
           : QStringLiteral("select 0.1 + 0.2 as f, 12.50 as n, 1 as b, x'00ff' as y, '2016-11-25 09:30:00' "
                            "as t, 1e20 as e, 123456789012345678 as x"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("0.3"));
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("12.5"));
    // Booleans: PostgreSQL's own; SQLite has none, and the ODBC driver hands them over as digits.
    QCOMPARE(fg1()->textMatrix(1, 2), engine == Postgres ? QStringLiteral("True") : QStringLiteral("1"));
    QCOMPARE(fg1()->textMatrix(1, 3), QStringLiteral("0x00ff"));
    QCOMPARE(fg1()->textMatrix(1, 4),
             pg ? QStringLiteral("2016/11/25 09:30:00") : QStringLiteral("2016-11-25 09:30:00"));
    QCOMPARE(fg1()->textMatrix(1, 5), QStringLiteral("1E+20"));
    // Whole and decimal numbers show every digit.
    QCOMPARE(fg1()->textMatrix(1, 6),
             pg ? QStringLiteral("1234567890123456.789") : QStringLiteral("123456789012345678"));
    fg1()->setCol(6);
    m_window->window->queryPage().ShowColumnTotal();
    QCOMPARE(StatusMessage(), QStringLiteral("Rows:1, Column Total:") + fg1()->textMatrix(1, 6));
}

void TestExec::execRunsTextUnchanged() {
    connect(Postgres);
    QVERIFY(m_pg.exec({QStringLiteral(
        "CREATE OR REPLACE FUNCTION orvik_two() RETURNS INTEGER AS 'SELECT 2' LANGUAGE SQL")}));
    run(QStringLiteral("EXEC orvik_two()"));
    QCOMPARE(m_window->op.boxes.size(), 1); // PostgreSQL knows no EXEC: the text went as written
    QVERIFY(m_window->op.boxes[0].text.contains(QStringLiteral("SQL:EXEC orvik_two()")));
    run(QStringLiteral("EXECUTE orvik_two()")); // not a command word: nothing to run
    QCOMPARE(StatusMessage(), QStringLiteral("請輸入 SQL 指令"));
}

void TestExec::ignoredWordsRunNothing() {
    connect(Sqlite);
    run(QStringLiteral("CREATE TABLE Made (x INTEGER)"));
    QCOMPARE(mode(), QStringLiteral("查詢"));
    QVERIFY2(StatusMessage().contains(QStringLiteral("SERVER CREATE TABLE Made")),
             qPrintable(StatusMessage()));
    QVERIFY(fg1()->grid()->editable());
    QVERIFY(m_window->op.boxes.isEmpty());
    run(QStringLiteral("select name from sqlite_master where name = 'Made'"));
    QCOMPARE(fg1()->rows(), 1);
}

void TestExec::namedQueriesRun() {
    QFETCH(int, engine);
    connect(Route(engine));
    run(QStringLiteral("-- the cheap ones\nwith cheap(n) as (select name from item where qty < 4) "
                       "select n from cheap order by n"));
    QVERIFY(m_window->op.boxes.isEmpty());
    QCOMPARE(fg1()->rows(), 3);
    run(QStringLiteral("WITH src AS (SELECT 'w' AS n) INSERT INTO item (name, qty) SELECT n, 9 FROM src"));
    QCOMPARE(StatusMessage(), QStringLiteral("異動筆數:1"));
    run(QStringLiteral("select name from item where qty = 9"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("w"));
}

void TestExec::emptyEditorAsksForSql() {
    connect(Sqlite);
    run(QStringLiteral("select name from item"));
    for (const QString& text : {QString(), QStringLiteral("   "), QStringLiteral("no words here")}) {
        run(text);
        QCOMPARE(StatusMessage(), QStringLiteral("請輸入 SQL 指令"));
        QCOMPARE(fg1()->rows(), 1);
        QVERIFY(!fg1()->grid()->editable());
    }
    QCOMPARE(m_window->op.beeps, 2 * 4);
}

void TestExec::selectionRunsAlone() {
    connect(Sqlite);
    m_window->editor()->setPlainText(
        QStringLiteral("select name from item;\nselect qty from item where qty = 5"));
    QTextCursor cursor = m_window->editor()->textCursor();
    cursor.setPosition(23);
    cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
    m_window->editor()->setTextCursor(cursor);
    QTest::mouseClick(m_window->child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    QCOMPARE(fg1()->textMatrix(0, 0).toLower(), QStringLiteral("qty"));
    QCOMPARE(fg1()->rows(), 2);
}

void TestExec::useOnlyOnSqlServerProvider() {
    connect(Sqlite);
    const QString before = MainConnection()->connectionString();
    run(QStringLiteral("USE other"));
    QCOMPARE(MainConnection()->connectionString(), before);
    QVERIFY(MainConnection()->isOpen());
    QVERIFY(m_window->op.boxes.isEmpty());
    QVERIFY(fg1()->grid()->editable()); // nothing ran; treated as an ignored word
}

void TestExec::useRebuildFormula_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("database");
    QTest::addColumn<QString>("after");
    QTest::newRow("catalog before data source")
        << "Provider=SQLOLEDB.1;Password=p;User ID=sa;Initial Catalog=Old;Data Source=srv"
        << "NewDb"
        << "Provider=SQLOLEDB.1;Password=p;User ID=sa;Initial Catalog=NewDb;Data Source=srv";
    QTest::newRow("keys in the order typed, every pair kept")
        << "Provider=SQLOLEDB;Data Source=s;x=1;Database=a;Password={p;w}"
        << "b"
        << "Provider=SQLOLEDB;Data Source=s;x=1;Database=b;Password={p;w}";
    QTest::newRow("no database key") << "Provider=SQLOLEDB;Data Source=s"
                                     << "d"
                                     << "Provider=SQLOLEDB;Data Source=s;Initial Catalog=d";
}

void TestExec::useRebuildFormula() {
    QFETCH(QString, before);
    QFETCH(QString, database);
    QFETCH(QString, after);
    QCOMPARE(useDatabaseString(before, database), after);
}

void TestExec::droppedConnectionReported() {
    connect(Postgres);
    run(QStringLiteral("select pg_backend_pid()"));
    const QString pid = fg1()->textMatrix(1, 0);
    QVERIFY(m_pg.exec({QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)}));
    run(QStringLiteral("select name from item"));
    QCOMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(m_window->op.boxes[0].text.contains(QStringLiteral("SQL:select name from item")));
    QCOMPARE(m_window->editor()->toPlainText(), QStringLiteral("select name from item"));
    // Connecting again brings the work back.
    connect(Postgres);
    run(QStringLiteral("select name from item"));
    QCOMPARE(fg1()->rows(), 4);
}

void TestExec::longEditorText() {
    connect(Sqlite);
    QString text;
    for (int i = 0; i < 10000; ++i)
        text += QStringLiteral("-- note line %1\n").arg(i);
    text += QStringLiteral("select name from item");
    run(text);
    QCOMPARE(fg1()->rows(), 4);
    QCOMPARE(m_window->editor()->toPlainText(), text);
}

void TestExec::menuEntryExecutes() {
    connect(Sqlite);
    m_window->editor()->setPlainText(QStringLiteral("select qty from item"));
    m_window->child<QTabWidget>("tabPage")->setCurrentIndex(1);
    m_window->action("mnuMaintain_0")->trigger();
    QCOMPARE(m_window->child<QTabWidget>("tabPage")->currentIndex(), 0);
    QCOMPARE(fg1()->rows(), 4);
}

QTEST_MAIN(TestExec)
#include "tst_exec.moc"

void TestExec::commandsWaitForALongLoad_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("rows");
    QTest::newRow("SQLite")
        << int(Sqlite)
        << "SELECT x AS n FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
           "WHERE x < 20000000) SELECT x FROM c)";
    QTest::newRow("PostgreSQL") << int(Postgres) << "SELECT g AS n FROM generate_series(1, 20000000) g";
}

void TestExec::commandsWaitForALongLoad() {
    QFETCH(int, engine);
    QFETCH(QString, rows);
    connect(Route(engine));
    const Connection* before = MainConnection().get();
    auto* profiles = m_window->child<FlexGrid>("fgCntStr");
    profiles->addItem(QStringLiteral("1\tDriver={SQLite3};Database=item.db\tItem"));
    auto* tabs = m_window->child<QTabWidget>("tabPage");
    m_window->op.answers = {MsgAnswer::Yes}; // to the exit's question
    // While the rows load, the operator double-clicks a profile, presses Connect, F5 and Execute,
    // and finally closes the window.
    int step = 0;
    QTimer operatorAtWork;
    operatorAtWork.setInterval(20);
    QObject::connect(&operatorAtWork, &QTimer::timeout, this, [&] {
        switch (step++) {
        case 0: {
            tabs->setCurrentIndex(2);
            const QRect cell = profiles->visualRect(profiles->model()->index(profiles->rows() - 2, 1));
            QTest::mouseDClick(profiles->viewport(), Qt::LeftButton, {}, cell.center());
            break;
        }
        case 1:
            QTest::mouseClick(m_window->child<QPushButton>("cmdConnect"), Qt::LeftButton);
            break;
        case 2:
            tabs->setCurrentIndex(0);
            QTest::keyClick(m_window->editor(), Qt::Key_F5);
            break;
        case 3:
            QTest::mouseClick(m_window->child<QPushButton>("cmdQryDB"), Qt::LeftButton);
            break;
        case 4:
            m_window->window->close();
            break;
        default:
            QTest::keyClick(fg1(), Qt::Key_Escape);
        }
    });
    operatorAtWork.start();
    run(rows);
    operatorAtWork.stop();
    QVERIFY2(step >= 5, qPrintable(QString::number(step) + StatusMessage()));
    QCOMPARE(MainConnection().get(), before);
    // The exit's stop reaches the statement while the server still works on it (cancelled there),
    // or while its rows load (the rows read so far stay).
    if (!StatusMessage().startsWith(QStringLiteral("已取消"))) {
        QCOMPARE(fg1()->textMatrix(0, 0), QStringLiteral("n"));
        QCOMPARE(StatusMessage(),
                 QStringLiteral("已停止讀取, 已讀入資料行數: ") + QString::number(fg1()->rows() - 1));
    }
    QVERIFY(m_window->op.beeps >= 4);
    QTRY_COMPARE(m_window->endCalls, 1); // the exit goes on once the load has stopped
}

void TestExec::widthsFitTheLongestRow() {
    connect(Sqlite);
    // The widest value stands far below the rows a width is sampled from.
    run(QStringLiteral(
        "select x from (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c "
        "WHERE x < 1000) SELECT CASE WHEN x = 1000 THEN 123456789012 ELSE x END AS x FROM c)"));
    QCOMPARE(fg1()->textMatrix(1000, 0), QStringLiteral("123456789012"));
    QVERIFY(fg1()->columnWidth(0) > fg1()->fontMetrics().horizontalAdvance(QStringLiteral("123456789012")));

    // So in maintenance mode, where the rows are the records themselves.
    const QString longName = QStringLiteral("a name far longer than the rest");
    run(QStringLiteral("insert into item (name) select case when x = 1000 then '%1' else 'n' end from "
                       "(WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000) "
                       "SELECT x FROM c)")
            .arg(longName));
    m_window->editor()->setPlainText(QStringLiteral("select rno, name from item order by rno"));
    QTest::keyClick(m_window->editor(), Qt::Key_F5);
    QCOMPARE(fg1()->rows(), 1004);
    QVERIFY(fg1()->columnWidth(1) > fg1()->fontMetrics().horizontalAdvance(longName));
}

void TestExec::everyStatementRuns() {
    QFETCH(int, engine);
    connect(Route(engine));
    // The rows are read as the first statement found them; the statement after it runs too.
    run(QStringLiteral("select name from item order by rno;\n-- then\ndelete from item where name = ';'; "
                       "delete from item where rno = 3;"));
    QCOMPARE(fg1()->rows(), 4);
    run(QStringLiteral("select count(*) from item"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("2"));
    run(QStringLiteral("insert into item (name) values ('a;b'); insert into item (name) values ('c')"));
    QCOMPARE(StatusMessage(), QStringLiteral("異動筆數:2"));
    run(QStringLiteral("select count(*) from item"));
    QCOMPARE(fg1()->textMatrix(1, 0), QStringLiteral("4"));
}
