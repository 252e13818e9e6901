#include "app/errors.h"
#include "db/connection.h"
#include "db/session.h"
#include "db/table_reference.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <functional>

namespace {
enum Route { Sqlite, Postgres, OdbcPostgres, OdbcSqlite };

const QString kSqlite = QStringLiteral("CREATE TABLE maint (rno INTEGER PRIMARY KEY AUTOINCREMENT, name "
                                       "VARCHAR(20) NOT NULL, qty INTEGER NOT NULL, memo TEXT);\n"
                                       "INSERT INTO maint (name, qty, memo) VALUES ('one', 1, 'first');\n"
                                       "INSERT INTO maint (name, qty, memo) VALUES ('two', 2, NULL);\n"
                                       "INSERT INTO maint (name, qty, memo) VALUES ('three', 3, '第三');\n"
                                       "CREATE TABLE dup (a INTEGER, b TEXT);\n"
                                       "INSERT INTO dup VALUES (1, 'same');\nINSERT INTO dup VALUES (1, "
                                       "'same');\nINSERT INTO dup VALUES (2, 'other');\n");

const QStringList kPostgres = {
    QStringLiteral("DROP TABLE IF EXISTS maint"),
    QStringLiteral("DROP TABLE IF EXISTS dup"),
    QStringLiteral("CREATE TABLE maint (rno SERIAL PRIMARY KEY, name VARCHAR(20) NOT NULL, qty INTEGER NOT "
                   "NULL, memo TEXT)"),
    QStringLiteral("INSERT INTO maint (name, qty, memo) VALUES ('one', 1, 'first'), ('two', 2, NULL), "
                   "('three', 3, '第三')"),
    QStringLiteral("CREATE TABLE dup (a INTEGER, b TEXT)"),
    QStringLiteral("INSERT INTO dup VALUES (1, 'same'), (1, 'same'), (2, 'other')")};
} // namespace

class TestMaintenance : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void f5EntersMaintenance_data() { engines(); }
    void f5EntersMaintenance();
    void editWrittenWhenLeavingRow_data() { engines(); }
    void editWrittenWhenLeavingRow();
    void insertAsksRequiredFieldsAndShowsIdentity_data() { engines(); }
    void insertAsksRequiredFieldsAndShowsIdentity();
    void refusedInsertKeepsTypedValues_data() { engines(); }
    void refusedInsertKeepsTypedValues();
    void deleteMiddleLastAndOnly_data() { engines(); }
    void deleteMiddleLastAndOnly();
    void concurrentChangeIsDetected_data() { engines(); }
    void concurrentChangeIsDetected();
    void keylessDuplicatesNeverChangeTogether_data() { engines(); }
    void keylessDuplicatesNeverChangeTogether();
    void datesGoBackInIsoForm();
    void readOnlyColumnsRefuseChanges();
    void keysThatDoNothing();
    void f5Refusals();
    void f5OnlyOnQueryPageAndKeysClearStatus();
    void enterMovesLikeTab();
    void pasteLargerThanSelection();
    void execSqlReturnsToFreeMode();
    void connectingAgainWritesPendingEditsFirst();
    void exitWritesPendingEdits();
    void tableNameNeedingQuotes_data() { engines(); }
    void tableNameNeedingQuotes();
    void singleTableShapes_data();
    void singleTableShapes();
    void refusedEditLeavesTheWindowWhole_data() { engines(); }
    void refusedEditLeavesTheWindowWhole();
    void gridRowsStayPairedWithTheirRecords_data() { engines(); }
    void gridRowsStayPairedWithTheirRecords();
    void lostServerIsNamedAndUnsavedEditsListed();
    void valuesAreCheckedNotCut_data();
    void valuesAreCheckedNotCut();
    void pasteAnswersOnce_data() { engines(); }
    void pasteAnswersOnce();
    void keysDuringTheF5LoadAreIgnored();
    void escStopsAWriteWaitingOnALock_data();
    void escStopsAWriteWaitingOnALock();
    void escStopsALongF5KeepingTheRowsRead_data() { engines(); }
    void escStopsALongF5KeepingTheRowsRead();
    void longCellsShowOnlyWhatFits();
    void untouchedCellsKeepTheirExactValue_data();
    void untouchedCellsKeepTheirExactValue();

private:
    void engines();
    void connect(Route engine);
    void f5(const QString& statement);
    void editCell(int row, int col, const QString& text);
    QVariant scalar(const QString& sql);
    // The same database through a connection of its own, as another operator would have it.
    QString otherConnectionString() const {
        return m_engine == Sqlite       ? QStringLiteral("Driver={SQLite3};Database=m.db")
               : m_engine == OdbcSqlite ? QStringLiteral("Driver={SQLite3};Database=") +
                                              m_shared.filePath(QStringLiteral("shared.db"))
                                        : m_pg.connectionString();
    }
    FlexGrid* fg1() const { return m_window->child<FlexGrid>("fg1"); }
    const ScriptedOperator::Box& lastBox() const { return m_window->op.boxes.last(); }
    // No box was shown, the reports queued behind the last action included.
    bool noBoxes() const {
        QCoreApplication::processEvents();
        return m_window->op.boxes.isEmpty();
    }
    QString mode() const { return m_window->child<QLabel>("lblMode")->text(); }

    PgServer m_pg;
    OdbcEnvironment m_odbc;
    std::unique_ptr<StartedWindow> m_window;
    Route m_engine = Sqlite;
    QTemporaryDir m_shared;
};

void TestMaintenance::engines() {
    QTest::addColumn<int>("engine");
    QTest::newRow("SQLite") << int(Sqlite);
    QTest::newRow("PostgreSQL") << int(Postgres);
    QTest::newRow("PostgreSQL through ODBC") << int(OdbcPostgres);
    QTest::newRow("SQLite through ODBC") << int(OdbcSqlite);
}

void TestMaintenance::initTestCase() {
    QVERIFY2(m_pg.load(), kPgNotRunning);
    m_odbc.install(&m_pg, m_shared.filePath(QStringLiteral("shared.db")));
}

void TestMaintenance::init() {
    m_window = std::make_unique<StartedWindow>([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray());
        makeSqliteDatabase(p.path(QStringLiteral("m.db")), kSqlite);
    });
    QVERIFY(m_pg.exec(kPostgres));
    QFile::remove(m_shared.filePath(QStringLiteral("shared.db")));
    makeSqliteDatabase(m_shared.filePath(QStringLiteral("shared.db")), kSqlite);
    QVERIFY(QTest::qWaitForWindowActive(m_window->window.get()));
    m_window->op.answerFromModalLoop = true;
}

void TestMaintenance::cleanup() {
    m_window.reset();
}

void TestMaintenance::connect(Route engine) {
    m_engine = engine;
    const QString text = engine == Sqlite         ? QStringLiteral("Driver={SQLite3};Database=m.db")
                         : engine == Postgres     ? m_pg.connectionString()
                         : engine == OdbcPostgres ? QStringLiteral("DSN=orvik_pg")
                                                  : QStringLiteral("DSN=orvik_sqlite");
    m_window->window->connectActions().DBQConnect(text);
    QVERIFY(MainConnection() && MainConnection()->isOpen());
}

void TestMaintenance::f5(const QString& statement) {
    m_window->editor()->setPlainText(statement);
    m_window->editor()->setFocus();
    QTest::keyClick(m_window->editor(), Qt::Key_F5);
}

void TestMaintenance::editCell(int row, int col, const QString& text) {
    FlexGrid* grid = fg1();
    grid->setRow(row);
    grid->setCol(col);
    grid->edit(grid->currentIndex());
    // Editors of earlier edits may still be waiting to be deleted: take the one with the focus.
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor && editor->parentWidget() == grid->viewport());
    editor->setText(text);
    const QModelIndex edited = grid->currentIndex();
    QTest::keyClick(editor, Qt::Key_Return); // Enter commits and moves on like Tab
    QTRY_VERIFY(!grid->isEditing() && grid->currentIndex() != edited);
}

QVariant TestMaintenance::scalar(const QString& sql) {
    // A second connection, as another operator would have.
    Connection other;
    other.open(otherConnectionString());
    auto rs = other.execute(sql);
    return rs->eof() ? QVariant() : rs->value(0);
}

void TestMaintenance::f5EntersMaintenance() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("-- rows to keep\nselect rno, name, qty, memo from maint order by rno"));
    QCOMPARE(mode(), QStringLiteral("EDIT"));
    QCOMPARE(fg1()->rows(), 4);
    QCOMPARE(fg1()->textMatrix(3, 3), QStringLiteral("第三"));
    QCOMPARE(fg1()->palette().color(QPalette::Base), QColor(255, 255, 128));
    QCOMPARE(StatusMessage(), QStringLiteral("資料筆數:3"));
    QVERIFY(fg1()->grid()->editable());
    QVERIFY(m_window->window->maintenance().isBound());
    QCOMPARE(QApplication::focusWidget(), fg1());
    QCOMPARE(fg1()->row(), 1); // the grid's focus puts the operator on the first record
    QVERIFY(noBoxes());
}

void TestMaintenance::editWrittenWhenLeavingRow() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name, qty, memo from maint order by rno"));
    editCell(2, 1, QStringLiteral("二"));
    QCOMPARE(fg1()->row(), 2); // Enter moved on like Tab, still in the row
    QCOMPARE(fg1()->col(), 2);
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 2")).toString(),
             QStringLiteral("two"));
    editCell(2, 3, QString()); // an emptied cell is NULL; Enter on the last cell moves into the next row
    QCOMPARE(fg1()->row(), 3);
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 2")).toString(), QStringLiteral("二"));
    QVERIFY(scalar(QStringLiteral("select memo from maint where rno = 2")).isNull());
    editCell(1, 2, QStringLiteral("10"));
    fg1()->setRow(2);
    QVERIFY2(noBoxes(), qPrintable(m_window->op.boxes.value(0).text));
    QCOMPARE(scalar(QStringLiteral("select qty from maint where rno = 1")).toInt(), 10);
    QCOMPARE(fg1()->textMatrix(1, 2), QStringLiteral("10"));
    QVERIFY(noBoxes());
}

void TestMaintenance::insertAsksRequiredFieldsAndShowsIdentity() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name, qty, memo from maint order by rno"));
    m_window->op.inputs = {QStringLiteral("新的"), QStringLiteral("7")};
    QTest::keyClick(fg1(), Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(m_window->op.inputPrompts.size(), 2); // name and qty, in field order; not rno, not memo
    QCOMPARE(m_window->op.inputPrompts[0].prompt, QStringLiteral("此欄位必須輸入:name"));
    QCOMPARE(m_window->op.inputPrompts[0].title, QStringLiteral("Input Field Value"));
    QCOMPARE(m_window->op.inputPrompts[0].defaultText, QStringLiteral("name"));
    QCOMPARE(m_window->op.inputPrompts[1].prompt, QStringLiteral("此欄位必須輸入:qty"));
    QCOMPARE(mode(), QStringLiteral("新增"));
    QCOMPARE(fg1()->rows(), 5);
    QCOMPARE(fg1()->row(), 4);
    QCOMPARE(fg1()->textMatrix(4, 1), QStringLiteral("新的"));
    fg1()->setRow(1);                                       // leaving the row saves it
    QCOMPARE(fg1()->textMatrix(4, 0), QStringLiteral("4")); // the number the table gave it
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 4")).toString(),
             QStringLiteral("新的"));
    QCOMPARE(scalar(QStringLiteral("select qty from maint where rno = 4")).toInt(), 7);
    QVERIFY(noBoxes());
}

void TestMaintenance::refusedInsertKeepsTypedValues() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name, qty, memo from maint order by rno"));
    m_window->op.inputs = {QStringLiteral("half"), QString()}; // qty left empty
    QTest::keyClick(fg1(), Qt::Key_Insert, Qt::ControlModifier);
    fg1()->setRow(1);
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(m_window->op.boxes[0].text.startsWith(QStringLiteral("處理程序: (fg1_BeforeRowColChange)")));
    QCOMPARE(fg1()->textMatrix(4, 1), QStringLiteral("half")); // what was typed stays
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint")).toInt(), 3);
    editCell(4, 2, QStringLiteral("5"));
    fg1()->setRow(1);
    QCOMPARE(scalar(QStringLiteral("select qty from maint where name = 'half'")).toInt(), 5);
}

void TestMaintenance::deleteMiddleLastAndOnly() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name from maint order by rno"));
    fg1()->setRow(2);
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(mode(), QStringLiteral("刪除"));
    QCOMPARE(fg1()->rows(), 3);
    QCOMPARE(fg1()->row(), 2);
    QCOMPARE(fg1()->textMatrix(2, 1), QStringLiteral("three"));
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint where rno = 2")).toInt(), 0);
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier); // the last row: the new last becomes current
    QCOMPARE(fg1()->rows(), 2);
    QCOMPARE(fg1()->row(), 1);
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier); // the only row
    QCOMPARE(fg1()->rows(), 1);
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint")).toInt(), 0);
    QVERIFY(noBoxes());
}

void TestMaintenance::concurrentChangeIsDetected() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name, qty from maint order by rno"));
    {
        Connection other;
        other.open(otherConnectionString());
        other.execute(QStringLiteral("UPDATE maint SET name = 'theirs' WHERE rno = 1"));
    }
    editCell(1, 1, QStringLiteral("mine"));
    fg1()->setRow(2);
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY2(m_window->op.boxes[0].text.contains(QStringLiteral("代碼: -2147217864")),
             qPrintable(m_window->op.boxes[0].text));
    QVERIFY(m_window->op.boxes[0].text.contains(QStringLiteral("找不到要更新的資料列")));
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(),
             QStringLiteral("theirs"));
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("mine")); // the operator's edit stays in the grid

    // A row deleted by another connection before the update: the same report, nothing written.
    {
        Connection other;
        other.open(otherConnectionString());
        other.execute(QStringLiteral("DELETE FROM maint WHERE rno = 3"));
    }
    fg1()->setRow(1);
    QTest::keyClick(fg1(), Qt::Key_Escape);
    editCell(3, 2, QStringLiteral("99")); // the last cell: Enter leaves the row
    QTRY_COMPARE(m_window->op.boxes.size(), 2);
    QVERIFY(m_window->op.boxes.last().text.contains(QStringLiteral("代碼: -2147217864")));
}

void TestMaintenance::keylessDuplicatesNeverChangeTogether() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select a, b from dup order by a"));
    editCell(1, 1, QStringLiteral("changed")); // Enter on the last cell leaves the row
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(m_window->op.boxes[0].text.contains(QStringLiteral("而不是一筆, 未做任何變更")));
    QCOMPARE(scalar(QStringLiteral("select count(*) from dup where b = 'same'")).toInt(), 2);
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("changed")); // the edit stays in the grid
    fg1()->setRow(1);
    QTest::keyClick(fg1(), Qt::Key_Escape); // Esc on the row drops it
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("same"));
    // The single row can be changed.
    editCell(3, 1, QStringLiteral("單一"));
    QCOMPARE(scalar(QStringLiteral("select b from dup where a = 2")).toString(), QStringLiteral("單一"));
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
}

void TestMaintenance::datesGoBackInIsoForm() {
    connect(Sqlite);
    QVERIFY(MainConnection()->execute(QStringLiteral("CREATE TABLE d (k INTEGER PRIMARY KEY, day DATE)")));
    MainConnection()->execute(QStringLiteral("INSERT INTO d VALUES (1, '2016-11-25')"));
    MainConnection()->execute(QStringLiteral("INSERT INTO d VALUES (2, NULL)"));
    f5(QStringLiteral("select k, day from d order by k"));
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("2016/11/25"));
    editCell(1, 1, QStringLiteral("2017/01/02")); // the last cell: Enter leaves the row
    QCOMPARE(scalar(QStringLiteral("select day from d where k = 1")).toString(),
             QStringLiteral("2017-01-02"));
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("2017/01/02"));
}

void TestMaintenance::readOnlyColumnsRefuseChanges() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name, qty * 2 as double_qty from maint"));
    editCell(1, 2, QStringLiteral("100"));
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(m_window->op.boxes[0].text.contains(QStringLiteral("欄位 double_qty 不能變更")));
    QCOMPARE(fg1()->textMatrix(1, 2), QStringLiteral("2"));
    editCell(1, 1, QStringLiteral("ok")); // the plain columns still can
    fg1()->setRow(2);
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(), QStringLiteral("ok"));

    f5(QStringLiteral("select m.name, d.b from maint m join dup d on d.a = m.rno"));
    QCOMPARE(mode(), QStringLiteral("EDIT"));
    editCell(1, 0, QStringLiteral("x"));
    QTRY_VERIFY(!m_window->op.boxes.isEmpty() && lastBox().text.contains(QStringLiteral("唯讀")));
}

void TestMaintenance::keysThatDoNothing() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name from maint order by rno"));
    fg1()->setRow(1);
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(fg1(), Qt::Key_Delete);
    QCOMPARE(fg1()->rows(), 4);
    // While a cell editor is open the keys belong to it.
    fg1()->setCol(1);
    fg1()->edit(fg1()->currentIndex());
    auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
    QVERIFY(editor);
    const QString typed = editor->text();
    QTest::keyClick(editor, Qt::Key_Delete, Qt::ControlModifier);
    QTest::keyClick(editor, Qt::Key_Insert, Qt::ControlModifier);
    QCOMPARE(editor->text(), typed); // not the line editor's delete-word either
    QCOMPARE(fg1()->rows(), 4);
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint")).toInt(), 3);
}

void TestMaintenance::f5Refusals() {
    f5(QStringLiteral("select 1")); // no connection yet
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(m_window->op.boxes[0].text.startsWith(QStringLiteral("處理程序: (fmORVEL_KeyDown)")));
    QCOMPARE(mode(), QString());
    QCOMPARE(fg1()->rows(), 1);
    connect(Sqlite);
    f5(QStringLiteral("   "));
    QCOMPARE(StatusMessage(), QStringLiteral("指令錯誤"));
    f5(QStringLiteral("update maint set qty = 0"));
    QCOMPARE(StatusMessage(), QStringLiteral("請使用 SELECT 指令"));
    QCOMPARE(scalar(QStringLiteral("select sum(qty) from maint")).toInt(), 6);
}

void TestMaintenance::f5OnlyOnQueryPageAndKeysClearStatus() {
    connect(Sqlite);
    m_window->child<QTabWidget>("tabPage")->setCurrentIndex(1);
    m_window->editor()->setPlainText(QStringLiteral("select * from maint"));
    auto* name = m_window->child<QLineEdit>("txtFileName");
    name->setFocus();
    QTest::keyClick(name, Qt::Key_F5);
    QVERIFY(!m_window->window->maintenance().isBound());
    m_window->child<QTabWidget>("tabPage")->setCurrentIndex(0);
    m_window->child<QLabel>("lblMode")->setText(QStringLiteral("QUERY"));
    m_window->child<ElasticPanel>("elaMsg")->setCaption(QStringLiteral("message"));
    QTest::keyClick(m_window->editor(), Qt::Key_A);
    QCOMPARE(mode(), QString());
    QCOMPARE(m_window->child<ElasticPanel>("elaMsg")->caption(), QString());
}

void TestMaintenance::enterMovesLikeTab() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name, qty from maint"));
    fg1()->setRow(1);
    fg1()->setCol(0);
    QTest::keyClick(fg1(), Qt::Key_Return);
    QTRY_COMPARE(fg1()->col(), 1);
    QCOMPARE(fg1()->row(), 1);
}

void TestMaintenance::pasteLargerThanSelection() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name, qty from maint order by rno"));
    fg1()->setRow(1);
    fg1()->setCol(1);
    QApplication::clipboard()->setText(QStringLiteral("甲\t8\n乙\t9\n"));
    QTest::keyClick(fg1(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("甲"));
    QCOMPARE(fg1()->textMatrix(2, 1), QStringLiteral("two")); // only the selection takes the text
    QCOMPARE(StatusMessage(), QStringLiteral("貼上的資料比選取的範圍大, 只貼入選取的範圍."));
    fg1()->setRow(2);
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(), QStringLiteral("甲"));
}

void TestMaintenance::execSqlReturnsToFreeMode() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name from maint"));
    editCell(1, 1, QStringLiteral("kept"));
    m_window->window->queryPage().ExecSQL(QStringLiteral("select qty from maint"));
    QVERIFY(!m_window->window->maintenance().isBound());
    QCOMPARE(fg1()->palette().color(QPalette::Base), QColor(Qt::white));
    QCOMPARE(mode(), QStringLiteral("查詢"));
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(),
             QStringLiteral("kept"));
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier); // free mode: no delete
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint")).toInt(), 3);
}

void TestMaintenance::connectingAgainWritesPendingEditsFirst() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name, qty from maint order by rno"));
    editCell(1, 1, QStringLiteral("before reconnect"));
    connect(Sqlite);
    QVERIFY(!m_window->window->maintenance().isBound());
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(),
             QStringLiteral("before reconnect"));
    editCell(2, 1, QStringLiteral("free mode now")); // only the grid changes
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 2")).toString(),
             QStringLiteral("two"));
    QVERIFY(noBoxes());
}

void TestMaintenance::exitWritesPendingEdits() {
    connect(Sqlite);
    f5(QStringLiteral("select rno, name, qty from maint order by rno"));
    editCell(3, 1, QStringLiteral("typed last")); // still on the last row
    QCOMPARE(fg1()->row(), 3);
    m_window->op.answers = {MsgAnswer::Yes};
    m_window->window->cmdExit_Click();
    QCOMPARE(m_window->endCalls, 1);
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 3")).toString(),
             QStringLiteral("typed last"));
}

void TestMaintenance::tableNameNeedingQuotes() {
    QFETCH(int, engine);
    connect(Route(engine));
    MainConnection()->execute(QStringLiteral("DROP TABLE IF EXISTS \"Order Details\""));
    MainConnection()->execute(QStringLiteral(
        "CREATE TABLE \"Order Details\" (\"Line No\" INTEGER PRIMARY KEY, \"Unit Price\" INTEGER)"));
    MainConnection()->execute(QStringLiteral("INSERT INTO \"Order Details\" VALUES (1, 10)"));
    MainConnection()->execute(QStringLiteral("INSERT INTO \"Order Details\" VALUES (2, 20)"));
    f5(QStringLiteral("select \"Line No\", \"Unit Price\" from \"Order Details\" order by 1"));
    QCOMPARE(mode(), QStringLiteral("EDIT"));
    editCell(1, 1, QStringLiteral("15")); // the last cell: Enter leaves the row
    QVERIFY2(noBoxes(), qPrintable(m_window->op.boxes.value(0).text));
    QCOMPARE(
        scalar(QStringLiteral("select \"Unit Price\" from \"Order Details\" where \"Line No\" = 1")).toInt(),
        15);
    fg1()->setRow(2);
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(scalar(QStringLiteral("select count(*) from \"Order Details\"")).toInt(), 1);
}

void TestMaintenance::singleTableShapes_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("table");
    QTest::newRow("plain") << "select * from maint"
                           << "maint";
    QTest::newRow("alias and where") << "SELECT m.a FROM maint m WHERE m.a > 1 ORDER BY 1"
                                     << "maint";
    QTest::newRow("quoted") << "select * from \"Order Details\" where x = 1"
                            << "Order Details";
    QTest::newRow("schema") << "select * from public.maint limit 5"
                            << "public.maint";
    QTest::newRow("join") << "select * from a join b on a.x = b.x"
                          << "";
    QTest::newRow("two tables") << "select * from a, b"
                                << "";
    QTest::newRow("grouped") << "select a, count(*) from t group by a"
                             << "";
    QTest::newRow("distinct") << "select distinct a from t"
                              << "";
    QTest::newRow("union") << "select a from t union select a from u"
                           << "";
    QTest::newRow("subquery") << "select (select 1 from u) from t"
                              << "";
}

void TestMaintenance::singleTableShapes() {
    QFETCH(QString, sql);
    QFETCH(QString, table);
    QString reason;
    QCOMPARE(TableReference::ofSelect(sql, &reason).displayName(), table);
    QCOMPARE(reason.isEmpty(), !table.isEmpty());
}

void TestMaintenance::refusedEditLeavesTheWindowWhole() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name, qty * 2 as dbl from maint order by rno"));
    editCell(1, 1, QStringLiteral("kept")); // Enter moves on to the expression column
    editCell(1, 2, QStringLiteral("100"));  // refused: the box is answered while the edit ends
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(lastBox().text.contains(QStringLiteral("dbl")));
    QCOMPARE(fg1()->textMatrix(1, 2), QStringLiteral("2"));
    QCOMPARE(fg1()->textMatrix(1, 1), QStringLiteral("kept"));
    fg1()->setRow(3);
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(),
             QStringLiteral("kept"));
}

void TestMaintenance::gridRowsStayPairedWithTheirRecords() {
    QFETCH(int, engine);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name, qty, memo from maint order by rno"));
    m_window->op.inputs = {QStringLiteral("first"), QString()}; // qty left empty: refused
    QTest::keyClick(fg1(), Qt::Key_Insert, Qt::ControlModifier);
    fg1()->setRow(1);
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    m_window->op.inputs = {QStringLiteral("second"), QStringLiteral("2")};
    QTest::keyClick(fg1(), Qt::Key_Insert, Qt::ControlModifier); // the refused row is tried again
    QCOMPARE(fg1()->rows(), 6);
    fg1()->setRow(1);                    // "second" is written
    editCell(4, 2, QStringLiteral("1")); // "first" fixed
    fg1()->setRow(1);                    // and written
    QCOMPARE(fg1()->textMatrix(4, 1), QStringLiteral("first"));
    QCOMPARE(fg1()->textMatrix(5, 1), QStringLiteral("second"));
    editCell(5, 3, QStringLiteral("note")); // the last cell of the row showing "second"
    QCOMPARE(scalar(QStringLiteral("select memo from maint where name = 'second'")).toString(),
             QStringLiteral("note"));
    QVERIFY(scalar(QStringLiteral("select memo from maint where name = 'first'")).isNull());
    fg1()->setRow(5);
    QTest::keyClick(fg1(), Qt::Key_Delete, Qt::ControlModifier);
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint where name = 'second'")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint where name = 'first'")).toInt(), 1);
    QCOMPARE(fg1()->textMatrix(4, 1), QStringLiteral("first"));
}

void TestMaintenance::lostServerIsNamedAndUnsavedEditsListed() {
    connect(Postgres);
    const int backend =
        MainConnection()->execute(QStringLiteral("select pg_backend_pid()"))->value(0).toInt();
    f5(QStringLiteral("select rno, name, qty from maint order by rno"));
    editCell(1, 1, QStringLiteral("typed before the loss"));
    QVERIFY(m_pg.exec({QStringLiteral("select pg_terminate_backend(%1)").arg(backend)}));
    fg1()->setRow(2);
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    const QString reason = lastBox().text.section(QStringLiteral("訊息: \r\n"), 1).trimmed();
    QVERIFY2(!reason.isEmpty(), qPrintable(lastBox().text));
    connect(Sqlite); // leaving maintenance mode: what could not be written is named
    QTRY_COMPARE(m_window->op.boxes.size(), 2);
    QVERIFY2(lastBox().text.contains(QStringLiteral("typed before the loss")), qPrintable(lastBox().text));
    QVERIFY(QString::fromUtf8(m_window->program.read(QStringLiteral("ORVIK.ERR")))
                .contains(QStringLiteral("typed before the loss")));
}

void TestMaintenance::valuesAreCheckedNotCut_data() {
    QTest::addColumn<int>("col");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: refused, the table keeps its value
    const QString longText(40000, QLatin1Char('x'));
    QTest::newRow("text past the editor's default limit") << 3 << longText << longText;
    QTest::newRow("letters into an INTEGER column") << 2 << "abc"
                                                    << "";
    QTest::newRow("a date that is not one") << 4 << "2016/02/30"
                                            << "";
    QTest::newRow("a date with one-digit month and day") << 4 << "2016/1/5"
                                                         << "2016-01-05";
}

void TestMaintenance::valuesAreCheckedNotCut() {
    QFETCH(int, col);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    connect(Sqlite);
    MainConnection()->execute(QStringLiteral("ALTER TABLE maint ADD COLUMN day DATE"));
    f5(QStringLiteral("select rno, name, qty, memo, day from maint order by rno"));
    const QStringList names = {"rno", "name", "qty", "memo", "day"};
    const QString before =
        scalar(QStringLiteral("select %1 from maint where rno = 2").arg(names[col])).toString();
    editCell(2, col, typed);
    fg1()->setRow(1);
    QCoreApplication::processEvents();
    const QString now =
        scalar(QStringLiteral("select %1 from maint where rno = 2").arg(names[col])).toString();
    if (stored.isEmpty()) {
        QCOMPARE(now, before);
        QTRY_COMPARE(m_window->op.boxes.size(), 1);
    } else {
        QCOMPARE(now.size(), stored.size());
        QCOMPARE(now, stored);
        QVERIFY(noBoxes());
    }
    // An answer given to Ctrl+Insert goes through the same checks.
    m_window->op.boxes.clear();
    m_window->op.inputs = {QStringLiteral("new"), QStringLiteral("seven")};
    QTest::keyClick(fg1(), Qt::Key_Insert, Qt::ControlModifier);
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QVERIFY(fg1()->textMatrix(fg1()->rows() - 1, 2).isEmpty());
}

void TestMaintenance::pasteAnswersOnce() {
    QFETCH(int, engine);
    connect(Route(engine));
    if (engine == Postgres) // each written row notes its top-level transaction, savepoints or not
        for (const char* sql :
             {"CREATE TABLE IF NOT EXISTS paste_log (tx bigint)", "TRUNCATE paste_log",
              "CREATE OR REPLACE FUNCTION note_tx() RETURNS trigger LANGUAGE plpgsql AS "
              "'BEGIN INSERT INTO paste_log VALUES (txid_current()); RETURN NEW; END'",
              "CREATE TRIGGER maint_tx AFTER UPDATE ON maint FOR EACH ROW EXECUTE FUNCTION note_tx()"})
            MainConnection()->execute(QLatin1String(sql));
    f5(QStringLiteral("select rno, name, qty * 2 as dbl from maint order by rno"));
    fg1()->setRow(1);
    fg1()->setCol(1);
    fg1()->selectionModel()->select(QItemSelection(fg1()->model()->index(0, 1), fg1()->model()->index(2, 2)),
                                    QItemSelectionModel::ClearAndSelect);
    // Three cells of a column that cannot be written, and an empty name the table refuses.
    QApplication::clipboard()->setText(QStringLiteral("a\t1\n\t2\nc\t3\n"));
    QTest::keyClick(fg1(), Qt::Key_V, Qt::ControlModifier);
    QTRY_COMPARE(m_window->op.boxes.size(), 1);
    QTest::qWait(50);
    QCOMPARE(m_window->op.boxes.size(), 1);
    for (const char* line : {"第 1 列, 欄位 dbl", "第 2 列, 欄位 dbl", "第 3 列, 欄位 dbl", "第 2 列: "})
        QVERIFY2(lastBox().text.contains(QString::fromUtf8(line)), qPrintable(lastBox().text));
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 1")).toString(), QStringLiteral("a"));
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 2")).toString(),
             QStringLiteral("two"));
    QCOMPARE(scalar(QStringLiteral("select name from maint where rno = 3")).toString(), QStringLiteral("c"));
    if (engine == Postgres) { // the rows that stand were written by one transaction
        QCOMPARE(scalar(QStringLiteral("select count(*) from paste_log")).toInt(), 2);
        QCOMPARE(scalar(QStringLiteral("select count(distinct tx) from paste_log")).toInt(), 1);
    }
}

void TestMaintenance::escStopsAWriteWaitingOnALock_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<QStringList>("lock"); // run by another operator, held for the test
    const QStringList pgLock{"BEGIN", "LOCK TABLE maint IN EXCLUSIVE MODE"};
    QTest::newRow("SQLite") << int(Sqlite) << QStringList{"BEGIN EXCLUSIVE"};
    // A reader lets the rows be changed but not committed: the commit waits, and must not stay open.
    QTest::newRow("SQLite, a reader") << int(Sqlite) << QStringList{"BEGIN", "SELECT count(*) FROM maint"};
    QTest::newRow("PostgreSQL") << int(Postgres) << pgLock;
    QTest::newRow("PostgreSQL through ODBC") << int(OdbcPostgres) << pgLock;
}

void TestMaintenance::escStopsAWriteWaitingOnALock() {
    QFETCH(int, engine);
    QFETCH(QStringList, lock);
    connect(Route(engine));
    f5(QStringLiteral("select rno, name from maint order by rno"));
    Connection other;
    other.open(otherConnectionString());
    for (const QString& statement : lock)
        other.execute(statement);
    // The window answers while a write waits for the table: its own timer fires, then Esc.
    const auto escWhileWaiting = [&](const std::function<void()>& action) {
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, this, [&] {
            if (++ticks == 5)
                QTest::keyClick(fg1(), Qt::Key_Escape);
        });
        ticker.start(40);
        action();
        ticker.stop();
        QVERIFY(ticks >= 5);
        QVERIFY2(noBoxes(), qPrintable(m_window->op.boxes.value(0).text));
        QVERIFY2(StatusMessage().startsWith(QStringLiteral("已取消")), qPrintable(StatusMessage()));
    };
    escWhileWaiting([&] {
        fg1()->setRow(1);
        fg1()->setCol(1);
        fg1()->selectionModel()->select(
            QItemSelection(fg1()->model()->index(0, 1), fg1()->model()->index(1, 1)),
            QItemSelectionModel::ClearAndSelect);
        QApplication::clipboard()->setText(QStringLiteral("a\nb\n"));
        QTest::keyClick(fg1(), Qt::Key_V, Qt::ControlModifier);
    });
    // F5 writes the changes first: stopped, it stays in the mode with them.
    escWhileWaiting([&] { f5(QStringLiteral("select rno, name from maint order by rno")); });
    QCOMPARE(mode(), QStringLiteral("EDIT"));
    other.execute(QStringLiteral("ROLLBACK"));
    // Nothing was written, and what was pasted waits in the grid, written once its row is left.
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint where name in ('a', 'b')")).toInt(), 0);
    QCOMPARE(fg1()->textMatrix(2, 1), QStringLiteral("b"));
    fg1()->setRow(3);
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint where name = 'a'")).toInt(), 1);
}

void TestMaintenance::escStopsALongF5KeepingTheRowsRead() {
    QFETCH(int, engine);
    connect(Route(engine));
    // Enough rows that reading them outlasts the first count shown, on the fastest route too.
    const int rows = m_engine == Sqlite ? 3000000 : m_engine == Postgres ? 1500000 : 400000;
    const QString many =
        m_engine == Sqlite || m_engine == OdbcSqlite
            ? QStringLiteral("INSERT INTO maint (name, qty) WITH RECURSIVE c(x) AS (SELECT 1 "
                             "UNION ALL SELECT x + 1 FROM c WHERE x < %1) SELECT 'n', x FROM c")
                  .arg(rows)
            : QStringLiteral("INSERT INTO maint (name, qty) SELECT 'n', g FROM generate_series(1, %1) g")
                  .arg(rows);
    MainConnection()->execute(many);
    // Esc once the count of rows read shows.
    auto* panel = m_window->child<ElasticPanel>("elaMsg");
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, this, [&] {
        if (panel->caption().startsWith(QStringLiteral("已讀入資料行數")))
            QTest::keyClick(fg1(), Qt::Key_Escape);
    });
    watch.start(0); // at every pass of the event loop: the first count shown is the one answered
    f5(QStringLiteral("select rno, name, qty from maint"));
    watch.stop();
    QCOMPARE(mode(), QStringLiteral("EDIT"));
    const int shown = fg1()->rows() - 1;
    QVERIFY2(shown > 0 && shown < rows + 3, qPrintable(QString::number(shown)));
    QCOMPARE(StatusMessage(), QStringLiteral("已停止讀取, 已讀入資料行數: ") + QString::number(shown));
    // The rows read can be maintained.
    editCell(1, 1, QStringLiteral("kept"));
    fg1()->setRow(2);
    QCOMPARE(scalar(QStringLiteral("select count(*) from maint where name = 'kept'")).toInt(), 1);
}

void TestMaintenance::keysDuringTheF5LoadAreIgnored() {
    connect(Sqlite);
    // Every pass of the event loop during F5 delivers an editing key, as an operator typing ahead.
    QTimer typing;
    typing.setInterval(0);
    QObject::connect(&typing, &QTimer::timeout, this,
                     [this] { QTest::keyClick(fg1(), Qt::Key_Insert, Qt::ControlModifier); });
    m_window->editor()->setPlainText(QStringLiteral("select rno, name, qty from maint order by rno"));
    m_window->editor()->setFocus();
    typing.start();
    QTest::keyClick(m_window->editor(), Qt::Key_F5);
    typing.stop();
    QCOMPARE(mode(), QStringLiteral("EDIT"));
    QVERIFY(m_window->op.inputPrompts.isEmpty());
    QCOMPARE(fg1()->rows(), 4);
}

void TestMaintenance::longCellsShowOnlyWhatFits() {
    connect(Sqlite);
    const QString text = QStringLiteral("長") + QString(240000, QLatin1Char('y'));
    MainConnection()->execute(QStringLiteral("UPDATE maint SET memo = '%1' WHERE rno = 1").arg(text));
    for (bool maintained : {false, true}) {
        if (maintained)
            f5(QStringLiteral("select rno, memo from maint order by rno"));
        else
            m_window->window->queryPage().ExecSQL(QStringLiteral("select rno, memo from maint order by rno"));
        const QModelIndex cell = fg1()->model()->index(0, 1);
        QVERIFY(cell.data(Qt::DisplayRole).toString().size() < 4000);
        QCOMPARE(cell.data(Qt::EditRole).toString(), text);
        QCOMPARE(fg1()->textMatrix(1, 1), text);
    }
}

void TestMaintenance::untouchedCellsKeepTheirExactValue_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("exact"); // what the editor starts from
    QTest::newRow("SQLite REAL") << int(Sqlite) << "REAL"
                                 << "0.1 + 0.2"
                                 << "0.30000000000000004";
    QTest::newRow("PostgreSQL numeric") << int(Postgres) << "NUMERIC(30,10)"
                                        << "12345678901234567890.0123456789"
                                        << "12345678901234567890.0123456789";
    QTest::newRow("PostgreSQL timestamp") << int(Postgres) << "TIMESTAMP"
                                          << "'2016-11-25 09:30:00.123456'"
                                          << "2016/11/25 09:30:00.123456";
}

void TestMaintenance::untouchedCellsKeepTheirExactValue() {
    QFETCH(int, engine);
    QFETCH(QString, type);
    QFETCH(QString, value);
    QFETCH(QString, exact);
    connect(Route(engine));
    MainConnection()->execute(QStringLiteral("DROP TABLE IF EXISTS exact_kept"));
    MainConnection()->execute(
        QStringLiteral("CREATE TABLE exact_kept (k INTEGER PRIMARY KEY, v %1)").arg(type));
    MainConnection()->execute(QStringLiteral("INSERT INTO exact_kept VALUES (1, %1)").arg(value));
    const QString before = scalar(QStringLiteral("select CAST(v AS TEXT) from exact_kept")).toString();
    f5(QStringLiteral("select k, v from exact_kept"));
    fg1()->setRow(1);
    fg1()->setCol(1);
    QCOMPARE(fg1()->currentIndex().data(Qt::EditRole).toString(), exact);
    editCell(1, 1, fg1()->textMatrix(1, 1)); // Enter on the cell as shown, rounded or not
    QVERIFY(noBoxes());
    QCOMPARE(scalar(QStringLiteral("select CAST(v AS TEXT) from exact_kept")).toString(), before);
}

QTEST_MAIN(TestMaintenance)
#include "tst_maintenance.moc"
