#include "db/connection.h"
#include "db/session.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QLineEdit>
#include <QPlainTextEdit>
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

private:
    void connect(Route route);
    QString queryValue(const QString& sql);
    void import(const QByteArray& bytes, const QString& table);

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
    return m_window->child<FlexGrid>("fg1")->textMatrix(1, 0);
}

void TestImport::import(const QByteArray& bytes, const QString& table) {
    m_window->program.write(QStringLiteral("in.txt"), bytes);
    m_window->window->ui().tabPage->setCurrentIndex(1);
    m_window->child<QLineEdit>("txtFileName")->setText(m_window->program.path(QStringLiteral("in.txt")));
    m_window->op.inputs = {table};
    QTest::mouseClick(m_window->child<QPushButton>("cmdLoadTextToDB"), Qt::LeftButton);
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
                                                                 << "5 行 (第 5-6 行的批次)";
    }
    QTest::newRow("PostgreSQL through ODBC, a statement refused mid-batch")
        << int(OdbcPostgres) << failing << "1:a 2:b 3:c"
        << "5 行 (第 5-6 行的批次)";
}

void TestImport::scriptBatchesRunInOrder() {
    QFETCH(int, route);
    QFETCH(QString, script);
    QFETCH(QString, rows);
    QFETCH(QString, failed);
    connect(Route(route));
    m_window->program.write(QStringLiteral("run.sql"), script.toUtf8());
    m_window->window->ui().tabPage->setCurrentIndex(1);
    m_window->child<QLineEdit>("txtFileName")->setText(m_window->program.path(QStringLiteral("run.sql")));
    QTest::mouseClick(m_window->child<QPushButton>("cmdScript"), Qt::LeftButton);
    const int lines = int(script.count(QLatin1Char('\n')));
    if (failed.isEmpty()) {
        QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
        QCOMPARE(m_window->child<ElasticPanel>("elaMsg")->caption(),
                 QStringLiteral("作業完成, 處理資料行數: %1").arg(lines));
    } else {
        QCOMPARE(m_window->op.boxes.size(), 1);
        QVERIFY2(m_window->op.boxes[0].text.contains(QStringLiteral("fmORVIK_cmdScript_Click")) &&
                     m_window->op.boxes[0].text.contains(QStringLiteral("第 %1").arg(failed)),
                 qPrintable(m_window->op.boxes[0].text));
        // The completion text comes all the same, and says where the script stopped and what stands.
        QCOMPARE(m_window->child<ElasticPanel>("elaMsg")->caption(),
                 QStringLiteral("作業完成, 處理資料行數: 6 (第 5 行失敗, 已執行並確定的陳述式數: 4)"));
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
    QTest::newRow("no file") << QByteArray("-") << "讀取檔案錯誤:" << 0;
    QTest::newRow("empty") << QByteArray() << "異動筆數:0" << 0;
    QTest::newRow("only a header") << QByteArray("n,t\r\n") << "異動筆數:0" << 0;
    QTest::newRow("more values than columns") << QByteArray("n,t\n1,'a'\n2,'b',3\n") << "第 3 行" << 1;
    QTest::newRow("a line that would run a second statement")
        << QByteArray("n,t\n1,'a'\n2,'x');DELETE FROM loaded;--\n") << "未執行" << 1;
    QTest::newRow("a NUL: no text file") << QByteArray("n,t\n1,'a'\n2,'a\0b'\n", 19) << "NUL" << 1;
    QTest::newRow("Big5 under a UTF-8 locale")
        << QByteArray("n,t\r\n1,'\xAF\xF9'\r\n") << "異動筆數:1 (檔案以 Big5 讀取)" << 1;
}

void TestImport::oddFiles() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, outcome);
    QFETCH(int, rows);
    connect(Sqlite);
    if (bytes == "-") {
        m_window->window->ui().tabPage->setCurrentIndex(1);
        m_window->child<QLineEdit>("txtFileName")
            ->setText(m_window->program.path(QStringLiteral("none.txt")));
        QTest::mouseClick(m_window->child<QPushButton>("cmdLoadTextToDB"), Qt::LeftButton);
    } else {
        import(bytes, QStringLiteral("loaded"));
    }
    const QString said = m_window->op.boxes.isEmpty() ? StatusMessage() : m_window->op.boxes.last().text;
    QVERIFY2(said.contains(outcome), qPrintable(said));
    QCOMPARE(queryValue(QStringLiteral("select count(*) from loaded")), QString::number(rows));
    if (rows == 1 && bytes.contains('\xAF'))
        QCOMPARE(queryValue(QStringLiteral("select t from loaded")), QStringLiteral("茶"));
}

void TestImport::escStopsALongRun_data() {
    QTest::addColumn<bool>("script");
    QTest::newRow("import") << false;
    QTest::newRow("script") << true;
}

void TestImport::escStopsALongRun() {
    QFETCH(bool, script);
    connect(Sqlite);
    constexpr int lines = 400000;
    QByteArray bytes =
        script ? QByteArray("create table slog (n integer, t varchar(30))\nGO\n") : QByteArray("n,t\n");
    for (int k = 1; k <= lines; ++k) {
        bytes += script ? "insert into slog values (" + QByteArray::number(k) + ", 'x');\n"
                        : QByteArray::number(k) + ",'x'\n";
        if (script && k % 1000 == 0)
            bytes += "GO\n";
    }
    m_window->program.write(QStringLiteral("long.txt"), bytes);
    m_window->window->ui().tabPage->setCurrentIndex(1);
    m_window->child<QLineEdit>("txtFileName")->setText(m_window->program.path(QStringLiteral("long.txt")));
    m_window->op.inputs = {QStringLiteral("loaded")};
    // A while into the run the operator presses the command again (refused), then Esc.
    int step = 0;
    QTimer operatorAtWork;
    operatorAtWork.setInterval(150);
    QObject::connect(&operatorAtWork, &QTimer::timeout, this, [&] {
        if (step++ == 0)
            QTest::mouseClick(m_window->child<QPushButton>(script ? "cmdScript" : "cmdLoadTextToDB"),
                              Qt::LeftButton);
        else
            QTest::keyClick(m_window->child<QLineEdit>("txtFileName"), Qt::Key_Escape);
    });
    operatorAtWork.start();
    QTest::mouseClick(m_window->child<QPushButton>(script ? "cmdScript" : "cmdLoadTextToDB"), Qt::LeftButton);
    operatorAtWork.stop();
    QVERIFY2(step >= 2, qPrintable(QStringLiteral("the run ended before the operator could stop it: ") +
                                   m_window->child<ElasticPanel>("elaMsg")->caption()));
    const QString status = StatusMessage();
    const QString shown = m_window->child<ElasticPanel>("elaMsg")->caption();
    QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
    const int kept =
        queryValue(QStringLiteral("select count(*) from %1").arg(script ? "slog" : "loaded")).toInt();
    QVERIFY2(kept > 0 && kept < lines, qPrintable(QString::number(kept)));
    if (script) {
        QVERIFY2(shown.startsWith(QStringLiteral("作業完成, 處理資料行數: ")) &&
                     shown.endsWith(QStringLiteral("(已停止)")),
                 qPrintable(shown));
        QCOMPARE(kept % 1000, 0); // whole batches: the one being read when Esc came never ran
    } else {
        QCOMPARE(status, QStringLiteral("已停止載入, 已寫入資料行數: %1").arg(kept));
    }
}

QTEST_MAIN(TestImport)
#include "tst_import.moc"
