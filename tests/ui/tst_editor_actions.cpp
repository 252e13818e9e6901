#include "db/session.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"
#include "ui/query_page.h"

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {
QPoint cellCentre(FlexGrid* g, int row, int col) {
    return g->visualRect(g->grid()->viewIndex(row, col)).center();
}

// A program folder connected to a small database at start.
std::unique_ptr<StartedWindow> startConnected(const QString& script) {
    return std::make_unique<StartedWindow>([script](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=t.db\tt\r\n"));
        makeSqliteDatabase(p.path(QStringLiteral("t.db")), script);
    });
}

const QString kTables =
    QStringLiteral("CREATE TABLE Cust (RNo INTEGER PRIMARY KEY, Name TEXT, Tel TEXT, Addr TEXT, Memo TEXT);\n"
                   "CREATE TABLE Abc (A INTEGER, B INTEGER, C INTEGER);\n"
                   "INSERT INTO Abc VALUES (1, 2, 3);\nINSERT INTO Abc VALUES (4, 5, 6);\n"
                   "CREATE TABLE \"Order Details\" (x INTEGER);\n"
                   "CREATE TABLE \"v; DROP TABLE Abc\" (y INTEGER)");

void dropOnEditor(QPlainTextEdit* editor, const QString& text) {
    QMimeData data;
    data.setText(text);
    const QPoint at = editor->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(editor->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(editor->viewport(), &drop);
}

void pressTable(StartedWindow& s, int row) {
    auto* list = s.child<FlexGrid>("fgTableName");
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, cellCentre(list, row, 0));
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, cellCentre(list, row, 0));
}

int tableRow(StartedWindow& s, const QString& name) {
    auto* list = s.child<FlexGrid>("fgTableName");
    for (int r = 1; r < list->rows(); ++r)
        if (list->textMatrix(r, 0) == name)
            return r;
    return -1;
}
} // namespace

class TestEditorActions : public QObject {
    Q_OBJECT

private slots:
    void columnListSelect_data();
    void columnListSelect();
    void dropWritesStatementOnTop();
    void dropBeforeAnyTablePressed();
    void dropOfTableNeedingQuotes();
    void doubleClickOnTableRuns();
    void doubleClickInEditorSelectsAll();
    void statementFilesLoadAndSave();
    void statementFileInAnotherCodePage();
    void columnTotal_data();
    void columnTotal();
    void columnTotalOfHeaderOnlyGridSaysNothing();
    void escapeStopsLongLoad();
};

void TestEditorActions::columnListSelect_data() {
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("statement");
    QTest::newRow("three columns") << QStringList{"A", "B", "C"} << "T"
                                   << "SELECT \r\n  A, B, C\r\nFROM T";
    QTest::newRow("four columns") << QStringList{"A", "B", "C", "D"} << "T"
                                  << "SELECT \r\n  A, B, C, D\r\nFROM T";
    QTest::newRow("five columns with RNo")
        << QStringList{"RNo", "Name", "Tel", "Addr", "Memo"} << "Cust"
        << "SELECT \r\n  RNo, Name, Tel, Addr, \r\n  Memo\r\nFROM Cust\r\n  ORDER BY RNo ";
    QTest::newRow("column starting with rno") << QStringList{"X", "rnote"} << "T"
                                              << "SELECT \r\n  X, rnote\r\nFROM T\r\n  ORDER BY RNo ";
    QTest::newRow("table starting with RNo") << QStringList{"X"} << "RNoBook"
                                             << "SELECT \r\n  X\r\nFROM RNoBook\r\n  ORDER BY RNo ";
    QTest::newRow("nine columns") << QStringList{"a", "b", "c", "d", "e", "f", "g", "h", "i"} << "T"
                                  << "SELECT \r\n  a, b, c, d, \r\n  e, f, g, h, \r\n  i\r\nFROM T";
}

void TestEditorActions::columnListSelect() {
    QFETCH(QStringList, fields);
    QFETCH(QString, table);
    QFETCH(QString, statement);
    QCOMPARE(QueryPage::columnListSelect(fields, table), statement);
}

void TestEditorActions::dropWritesStatementOnTop() {
    auto s = startConnected(kTables);
    s->editor()->setPlainText(QStringLiteral("old text"));
    pressTable(*s, tableRow(*s, QStringLiteral("Cust")));
    QCOMPARE(s->window->queryPage().rememberedTable(), QStringLiteral("Cust"));
    dropOnEditor(s->editor(), QStringLiteral("text from another program"));
    const QString cust =
        QStringLiteral("SELECT \n  RNo, Name, Tel, Addr, \n  Memo\nFROM Cust\n  ORDER BY RNo ");
    QCOMPARE(s->editor()->toPlainText(), cust + QStringLiteral("\n\nold text"));
    QCOMPARE(s->editor()->textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n'), cust);
    QCOMPARE(QApplication::clipboard()->text(), QString(cust).replace(u'\n', QStringLiteral("\r\n")));
    QCOMPARE(CurrentSql(), QStringLiteral("Select * from Cust Where 1<>1 "));

    pressTable(*s, tableRow(*s, QStringLiteral("Abc")));
    dropOnEditor(s->editor(), QString());
    QCOMPARE(s->editor()->toPlainText(),
             QStringLiteral("SELECT \n  A, B, C\nFROM Abc\n\n") + cust + QStringLiteral("\n\nold text"));
    QVERIFY(s->op.boxes.isEmpty());
}

void TestEditorActions::dropBeforeAnyTablePressed() {
    auto s = startConnected(kTables);
    s->editor()->setPlainText(QStringLiteral("kept"));
    QApplication::clipboard()->setText(QStringLiteral("clip"));
    dropOnEditor(s->editor(), QStringLiteral("x"));
    QCOMPARE(s->op.boxes.size(), 1);
    QVERIFY(s->op.boxes[0].text.startsWith(QStringLiteral("處理程序: (fmORVIK_txtSQL_OLEDragDrop)")));
    QCOMPARE(s->editor()->toPlainText(), QStringLiteral("kept"));
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("clip"));
}

void TestEditorActions::dropOfTableNeedingQuotes() {
    auto s = startConnected(kTables);
    s->editor()->setPlainText(QStringLiteral("kept"));
    pressTable(*s, tableRow(*s, QStringLiteral("Order Details")));
    dropOnEditor(s->editor(), QString());
    QVERIFY(s->op.boxes.isEmpty());
    QCOMPARE(s->editor()->toPlainText(), QStringLiteral("SELECT \n  x\nFROM \"Order Details\"\n\nkept"));
    // A name that reads as more than one statement is still one table.
    auto* list = s->child<FlexGrid>("fgTableName");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       cellCentre(list, tableRow(*s, QStringLiteral("v; DROP TABLE Abc")), 0));
    QCOMPARE(CurrentSql(), QStringLiteral("select * from \"v; DROP TABLE Abc\""));
    QVERIFY(s->op.boxes.isEmpty());
    s->window->queryPage().ExecSQL(QStringLiteral("select count(*) from Abc"));
    QCOMPARE(s->child<FlexGrid>("fg1")->textMatrix(1, 0), QStringLiteral("2"));
}

void TestEditorActions::doubleClickOnTableRuns() {
    auto s = startConnected(kTables);
    s->editor()->setPlainText(QStringLiteral("unchanged"));
    auto* list = s->child<FlexGrid>("fgTableName");
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       cellCentre(list, tableRow(*s, QStringLiteral("Abc")), 0));
    auto* fg1 = s->child<FlexGrid>("fg1");
    QCOMPARE(fg1->rows(), 3);
    QCOMPARE(fg1->textMatrix(2, 2), QStringLiteral("6"));
    QCOMPARE(CurrentSql(), QStringLiteral("select * from Abc"));
    QCOMPARE(s->editor()->toPlainText(), QStringLiteral("unchanged"));
    QCOMPARE(StatusMessage(), QStringLiteral("資料筆數:2"));
}

void TestEditorActions::doubleClickInEditorSelectsAll() {
    auto s = startConnected(kTables);
    s->editor()->setPlainText(QStringLiteral("select *\nfrom Abc"));
    QTest::mouseDClick(s->editor()->viewport(), Qt::LeftButton, {}, QPoint(10, 5));
    QCOMPARE(s->editor()->textCursor().selectedText(), QStringLiteral("select *\u2029from Abc"));
}

void TestEditorActions::statementFilesLoadAndSave() {
    auto s = startConnected(kTables);
    const QString file = s->program.path(QStringLiteral("q.sql"));
    s->program.write(QStringLiteral("q.sql"), QStringLiteral("select * from Abc\r\n-- 註解\r\n").toUtf8());
    s->op.fileNames = {file};
    s->action("mnuMaintain_1")->trigger();
    QCOMPARE(s->editor()->toPlainText(), QStringLiteral("select * from Abc\n-- 註解\n"));
    QCOMPARE(s->window->dlgFile().initDir, s->program.folder());

    // Cancelling the open dialog keeps the editor.
    s->editor()->setPlainText(QStringLiteral("typed"));
    s->op.fileNames = {QString()};
    s->action("mnuMaintain_1")->trigger();
    QCOMPARE(s->editor()->toPlainText(), QStringLiteral("typed"));

    const QString saved = s->program.path(QStringLiteral("out.sql"));
    s->op.fileNames = {saved};
    s->action("mnuMaintain_2")->trigger();
    QCOMPARE(readFileBytes(saved), QByteArray("typed\r\n"));
    s->op.fileNames = {QString()}; // cancelling the save writes nothing
    s->editor()->setPlainText(QStringLiteral("other"));
    s->action("mnuMaintain_2")->trigger();
    QCOMPARE(readFileBytes(saved), QByteArray("typed\r\n"));
    QVERIFY(s->op.boxes.isEmpty());
}

void TestEditorActions::statementFileInAnotherCodePage() {
    auto s = startConnected(kTables);
    // 台北 in Big5, on a UTF-8 system.
    s->program.write(QStringLiteral("big5.sql"), QByteArray("select '\xA5\x78\xA5\x5F'"));
    s->op.fileNames = {s->program.path(QStringLiteral("big5.sql"))};
    s->action("mnuMaintain_1")->trigger();
    QCOMPARE(s->editor()->toPlainText(), QStringLiteral("select '台北'"));
}

void TestEditorActions::columnTotal_data() {
    QTest::addColumn<QString>("select");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("message");
    QTest::newRow("numbers") << "select A, B from Abc" << 1 << "Rows:2, Column Total:7";
    QTest::newRow("text counts as 0") << "select 'x' || A as T from Abc" << 0 << "Rows:2, Column Total:0";
    QTest::newRow("decimals") << "select A * 0.5 as H from Abc" << 0 << "Rows:2, Column Total:2.5";
}

void TestEditorActions::columnTotal() {
    QFETCH(QString, select);
    QFETCH(int, column);
    QFETCH(QString, message);
    auto s = startConnected(kTables);
    s->window->queryPage().ExecSQL(select);
    s->child<FlexGrid>("fg1")->setRow(1);
    s->child<FlexGrid>("fg1")->setCol(column);
    s->action("mnuMaintain_3")->trigger();
    QCOMPARE(StatusMessage(), message);
    QCOMPARE(s->child<ElasticPanel>("elaMsg")->caption(), message);
}

void TestEditorActions::columnTotalOfHeaderOnlyGridSaysNothing() {
    auto s = startConnected(kTables);
    s->window->queryPage().ExecSQL(QStringLiteral("select A from Abc where A > 100"));
    StatusMessage() = QStringLiteral("before");
    const int beeps = s->op.beeps;
    s->action("mnuMaintain_3")->trigger();
    QCOMPARE(StatusMessage(), QStringLiteral("before"));
    QCOMPARE(s->op.beeps, beeps);
    QCOMPARE(QueryPage::columnTotalText(3, -1.5), QStringLiteral("Rows:3, Column Total:-1.5"));
    QCOMPARE(QueryPage::columnTotalText(1, 12345678901234.0),
             QStringLiteral("Rows:1, Column Total:12345678901234"));
}

void TestEditorActions::escapeStopsLongLoad() {
    // Rows made as they are read: far more than a quarter of a second's worth.
    auto s = startConnected(QStringLiteral("CREATE VIEW Many AS WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL "
                                           "SELECT n + 1 FROM c WHERE n < 20000000) "
                                           "SELECT n FROM c"));
    StatusMessage().clear();
    // The first time the load lets window events run, the operator presses Esc.
    QTimer::singleShot(0, this, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(s->window.get(), &press);
    });
    s->window->queryPage().ExecSQL(QStringLiteral("select n from Many"));
    auto* fg1 = s->child<FlexGrid>("fg1");
    QVERIFY2(fg1->rows() > 1 && fg1->rows() < 20000001, qPrintable(QString::number(fg1->rows())));
    QCOMPARE(StatusMessage(),
             QStringLiteral("已停止讀取, 已讀入資料行數: ") + QString::number(fg1->rows() - 1));
    QCOMPARE(fg1->textMatrix(fg1->rows() - 1, 0), QString::number(fg1->rows() - 1));
    QVERIFY(s->op.eventPumps > 0);
}

QTEST_MAIN(TestEditorActions)
#include "tst_editor_actions.moc"
