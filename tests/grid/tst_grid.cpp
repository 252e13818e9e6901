#include "app/errors.h"
#include "grid/cell_store.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/number_text.h"
#include "grid/status_panel.h"
#include "support/scripted_operator.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

namespace {
QStringList rowTexts(const FlexGrid& g, int row) {
    QStringList cells;
    for (int c = 0; c < g.cols(); ++c)
        cells << g.textMatrix(row, c);
    return cells;
}

QPoint cellCentre(FlexGrid& g, int row, int col) {
    return g.visualRect(g.grid()->viewIndex(row, col)).center();
}
} // namespace

class TestGrid : public QObject {
    Q_OBJECT

private slots:
    void cellStoreKeepsTexts();
    void cellStoreShapeChanges();
    void cellStoreRowsOfEverySize_data();
    void cellStoreRowsOfEverySize();
    void cellStoreRejectsOutOfRange();
    void cellStoreTakesSpaceBack();
    void addItemSplitsAtTabs();
    void appendRowKeepsTabsInCells();
    void headerRowAndFixedColumnShowAsHeaders();
    void emptyAndHeaderOnlyGrids();
    void currentCellAndValues();
    void redrawOffGathersChanges();
    void clipTextAndPaste();
    void widthsInTwips();
    void inCellEditIsValidatedFirst();
    void rowDragMovesRowAndItsFormatting();
    void statusPanelFloodsAndBeeps();
    void decimalSumIsExact_data();
    void decimalSumIsExact();

private:
    std::unique_ptr<FlexGrid> shownGrid(int cols, const QStringList& rows);
};

std::unique_ptr<FlexGrid> TestGrid::shownGrid(int cols, const QStringList& rows) {
    auto g = std::make_unique<FlexGrid>();
    g->resize(600, 400);
    g->setCols(cols);
    for (const QString& row : rows)
        g->addItem(row);
    g->setFixedRows(1);
    g->show();
    if (!QTest::qWaitForWindowExposed(g.get()))
        qFatal("grid not shown");
    return g;
}

void TestGrid::cellStoreKeepsTexts() {
    CellStore store;
    store.setCols(4);
    const QStringList first{"台北市", "", "12345678901234567", "with\ttab"};
    store.appendRow(first);
    store.appendRow(QStringList{"a", "b"});
    store.appendEmptyRow();
    for (int c = 0; c < 4; ++c)
        QCOMPARE(store.text(0, c), first[c]);
    QCOMPARE(store.text(1, 1), QStringLiteral("b"));
    QCOMPARE(store.text(1, 3), QString());
    QCOMPARE(store.text(2, 0), QString());
    store.setText(2, 3, QStringLiteral("新"));
    store.setText(0, 0, QString());
    QCOMPARE(store.text(2, 3), QStringLiteral("新"));
    QCOMPARE(store.text(0, 0), QString());
    QCOMPARE(store.text(0, 2), QStringLiteral("12345678901234567"));
    store.appendRow(QStringList{"1", "2", "3", "4", "beyond"});
    QCOMPARE(store.text(3, 3), QStringLiteral("4"));
}

void TestGrid::cellStoreRowsOfEverySize_data() {
    // Rows are packed in one of two forms, by the size of their text and their count of cells.
    QTest::addColumn<int>("cols");
    QTest::addColumn<int>("cellChars");
    QTest::newRow("short row") << 5 << 10;
    QTest::newRow("text just under 64 KB") << 2 << 32767;
    QTest::newRow("text just over 64 KB") << 2 << 32769;
    QTest::newRow("a megabyte in a cell") << 1 << (1 << 20);
    QTest::newRow("40,000 cells") << 40000 << 1;
}

void TestGrid::cellStoreRowsOfEverySize() {
    QFETCH(int, cols);
    QFETCH(int, cellChars);
    CellStore store;
    store.setCols(cols);
    QStringList cells;
    for (int c = 0; c < cols; ++c)
        cells << QString(cellChars, QChar(u'a' + c % 26));
    store.appendRow(QStringList{QStringLiteral("前")});
    store.appendRow(cells);
    store.appendRow(QStringList{QStringLiteral("後")});
    for (int c : {0, cols / 2, cols - 1})
        QCOMPARE(store.text(1, c), cells[c]);
    QCOMPARE(store.text(0, 0), QStringLiteral("前"));
    QCOMPARE(store.text(2, 0), QStringLiteral("後"));
    store.setText(1, cols - 1, QStringLiteral("改"));
    QCOMPARE(store.text(1, cols - 1), QStringLiteral("改"));
    QCOMPARE(store.text(1, 0), cols > 1 ? cells[0] : QStringLiteral("改"));
}

void TestGrid::cellStoreShapeChanges() {
    CellStore store;
    store.setCols(3);
    for (int i = 0; i < 5; ++i)
        store.appendRow(
            QStringList{QString::number(i), QStringLiteral("x%1").arg(i), QStringLiteral("y%1").arg(i)});
    store.moveRow(4, 1);
    store.removeRow(0);
    QCOMPARE(store.rows(), 4);
    QCOMPARE(store.text(0, 0), QStringLiteral("4"));
    QCOMPARE(store.text(3, 1), QStringLiteral("x3"));
    store.setCols(2);
    store.setCols(3); // a narrowed grid forgets the cells it dropped
    QCOMPARE(store.text(0, 2), QString());
    QCOMPARE(store.text(0, 1), QStringLiteral("x4"));
    store.insertEmptyRow(0);
    QCOMPARE(store.text(1, 0), QStringLiteral("4"));
    store.setRows(2);
    QCOMPARE(store.rows(), 2);
    store.clear();
    QCOMPARE(store.rows(), 0);
}

void TestGrid::cellStoreRejectsOutOfRange() {
    CellStore store;
    store.setCols(2);
    store.appendEmptyRow();
    for (auto f : std::initializer_list<std::function<void()>>{
             [&] { store.text(1, 0); }, [&] { store.text(0, 2); }, [&] { store.setText(-1, 0, u"x"); },
             [&] { store.removeRow(3); }, [&] { store.moveRow(0, 5); }}) {
        try {
            f();
            QFAIL("no error for a cell outside the grid");
        } catch (const AppError& e) {
            QCOMPARE(e.number(), 381);
        }
    }
}

void TestGrid::cellStoreTakesSpaceBack() {
    // Dropping most rows, then rewriting the rest many times, repacks the store; every text held
    // before and after must read the same.
    CellStore store;
    store.setCols(2);
    for (int i = 0; i < 200000; ++i)
        store.appendRow(QStringList{QStringLiteral("row %1").arg(i), QStringLiteral("第%1行").arg(i)});
    store.setRows(3);
    QCOMPARE(store.text(2, 1), QStringLiteral("第2行"));
    for (int round = 0; round < 50000; ++round)
        store.setText(round % 3, 0, QStringLiteral("rewritten %1").arg(round));
    QCOMPARE(store.text(0, 0), QStringLiteral("rewritten 49998"));
    QCOMPARE(store.text(1, 1), QStringLiteral("第1行"));
    store.appendRow(QStringList{QStringLiteral("after"), QString()});
    QCOMPARE(store.text(3, 0), QStringLiteral("after"));
    QCOMPARE(store.text(2, 0), QStringLiteral("rewritten 49997"));
}

void TestGrid::addItemSplitsAtTabs() {
    GridModel model;
    model.setCols(3);
    model.addItem(QStringLiteral("h1\th2\th3"));
    model.addItem(QStringLiteral("1\tline one\tname\tdropped"));
    model.addItem(QStringLiteral("2\tonly"));
    model.addItem(QStringLiteral("3\ta\t")); // a closing TAB leaves the last cell empty
    QCOMPARE(model.rows(), 4);
    QCOMPARE(model.text(1, 2), QStringLiteral("name"));
    QCOMPARE(model.text(2, 1), QStringLiteral("only"));
    QCOMPARE(model.text(2, 2), QString());
    QCOMPARE(model.text(3, 2), QString());
}

void TestGrid::appendRowKeepsTabsInCells() {
    GridModel model;
    model.setCols(2);
    const QString cells[] = {QStringLiteral("a\tb"), QStringLiteral("c")};
    model.appendRow(cells, 2);
    QCOMPARE(model.text(0, 0), QStringLiteral("a\tb"));
    QCOMPARE(model.text(0, 1), QStringLiteral("c"));
}

void TestGrid::headerRowAndFixedColumnShowAsHeaders() {
    auto g = shownGrid(3, {"項次\t連線參數\t資料庫", "1\tDSN=a\tA", "2\tDSN=b\tB"});
    g->setFixedCols(1);
    GridModel* m = g->grid();
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->columnCount(), 2);
    QCOMPARE(m->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("連線參數"));
    QCOMPARE(m->headerData(1, Qt::Vertical, Qt::DisplayRole).toString(), QStringLiteral("2"));
    QCOMPARE(m->index(0, 1).data().toString(), QStringLiteral("A"));
    QVERIFY(g->horizontalHeader()->isVisible());
    QVERIFY(g->verticalHeader()->isVisible());
    g->setTextMatrix(0, 2, QStringLiteral("名稱"));
    QCOMPARE(m->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("名稱"));
}

void TestGrid::emptyAndHeaderOnlyGrids() {
    auto g = shownGrid(2, {"a\tb", "1\t2"});
    g->setRows(0);
    QCOMPARE(g->grid()->rowCount(), 0);
    QVERIFY(!g->grid()->headerData(0, Qt::Horizontal, Qt::DisplayRole).isValid());
    g->setRows(1);
    g->setFixedRows(1);
    QCOMPARE(g->rows(), 1);
    QCOMPARE(g->grid()->rowCount(), 0);
    QCOMPARE(g->textMatrix(0, 0), QString());
    QCOMPARE(g->row(), -1);
    QCOMPARE(g->clip(), QString());
}

void TestGrid::currentCellAndValues() {
    auto g = shownGrid(2, {"n\tv", "1\t12.5", "2\tabc", "3\t 7 "});
    g->setRow(2);
    QCOMPARE(g->row(), 2);
    QCOMPARE(g->col(), 0);
    g->setCol(1);
    QCOMPARE(g->col(), 1);
    QCOMPARE(g->row(), 2);
    QCOMPARE(g->valueMatrix(1, 1), 12.5);
    QCOMPARE(g->valueMatrix(2, 1), 0.0);
    QCOMPARE(g->valueMatrix(3, 1), 7.0);
    QVERIFY_THROWS_EXCEPTION(AppError, g->setRow(9));
    g->removeItem(2);
    QCOMPARE(rowTexts(*g, 2), (QStringList{"3", " 7 "}));
}

void TestGrid::redrawOffGathersChanges() {
    auto g = shownGrid(2, {"h\th"});
    int resets = 0, inserts = 0;
    connect(g->grid(), &QAbstractItemModel::modelReset, this, [&] { ++resets; });
    connect(g->grid(), &QAbstractItemModel::rowsInserted, this, [&] { ++inserts; });
    g->setRedraw(false);
    for (int i = 0; i < 1000; ++i)
        g->addItem(QStringLiteral("%1\tx").arg(i));
    g->setRedraw(true);
    QCOMPARE(resets, 1);
    QCOMPARE(inserts, 0);
    QCOMPARE(g->grid()->rowCount(), 1000);
    g->addItem(QStringLiteral("last\ty"));
    QCOMPARE(inserts, 1);
}

void TestGrid::clipTextAndPaste() {
    auto g = shownGrid(3, {"a\tb\tc", "1\t2\t3", "4\t5\t6", "7\t8\t9"});
    g->selectionModel()->select(QItemSelection(g->grid()->viewIndex(1, 1), g->grid()->viewIndex(2, 2)),
                                QItemSelectionModel::ClearAndSelect);
    QCOMPARE(g->clip(), QStringLiteral("2\t3\r5\t6"));
    QVERIFY(!g->setClip(QStringLiteral("x\ty\tignored\r\nz\r\nbeyond\r\n"))); // more than the selection took
    QCOMPARE(rowTexts(*g, 1), (QStringList{"1", "x", "y"}));
    QCOMPARE(rowTexts(*g, 2), (QStringList{"4", "z", "6"}));
    QCOMPARE(rowTexts(*g, 3), (QStringList{"7", "8", "9"}));
    QVERIFY(g->setClip(QStringLiteral("p\tq\nr\ts")));
    QCOMPARE(rowTexts(*g, 2), (QStringList{"4", "r", "s"}));
}

void TestGrid::widthsInTwips() {
    auto g = shownGrid(2, {"a\tb"});
    g->setColWidth(1, 1440);
    QCOMPARE(g->columnWidth(1), g->logicalDpiX());
    QCOMPARE(g->colWidth(1), 1440);
}

void TestGrid::inCellEditIsValidatedFirst() {
    auto g = shownGrid(2, {"a\tb", "1\told"});
    g->setEditable(2);
    QString seen;
    bool refuse = false;
    connect(g.get(), &FlexGrid::validateEdit, this, [&](int row, int col, bool* cancel) {
        seen = QStringLiteral("%1,%2:%3:%4").arg(row).arg(col).arg(g->editText(), g->textMatrix(row, col));
        *cancel = refuse;
    });
    g->setFocus();
    g->setRow(1);
    g->setCol(1);
    g->edit(g->currentIndex());
    QVERIFY(g->isEditing());
    auto* editor = g->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("新值"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!g->isEditing());                   // the editor commits after the key has been handled
    QCOMPARE(seen, QStringLiteral("1,1:新值:old")); // the cell still holds the old text while validating
    QCOMPARE(g->textMatrix(1, 1), QStringLiteral("新值"));
    QVERIFY(!g->isEditing());
    QCOMPARE(g->editText(), QString());

    refuse = true;
    g->edit(g->currentIndex());
    g->findChild<QLineEdit*>()->setText(QStringLiteral("refused"));
    QTest::keyClick(g->findChild<QLineEdit*>(), Qt::Key_Return);
    QTRY_VERIFY(!g->isEditing());
    QCOMPARE(g->textMatrix(1, 1), QStringLiteral("新值"));
}

void TestGrid::rowDragMovesRowAndItsFormatting() {
    auto g = shownGrid(2, {"n\tname", "1\tone", "2\ttwo", "3\tthree"});
    g->setCellBackColor(3, 0, 3, 1, QColor(255, 0, 0));
    // While the drag runs, the operator moves to the first data row and lets go.
    QTimer::singleShot(50, this, [&] {
        QTest::mouseMove(g->viewport(), cellCentre(*g, 1, 1));
        QTest::mouseRelease(g->viewport(), Qt::RightButton, {}, cellCentre(*g, 1, 1));
    });
    QCOMPARE(g->dragRow(3), 1);
    QCOMPARE(rowTexts(*g, 1), (QStringList{"3", "three"}));
    QCOMPARE(rowTexts(*g, 2), (QStringList{"1", "one"}));
    QCOMPARE(g->grid()->cellBackground(1, 1), QColor(255, 0, 0));
    QVERIFY(!g->grid()->cellBackground(3, 1).isValid());
    g->clearCellFormatting(1, 0, 1, 1);
    QVERIFY(!g->grid()->cellBackground(1, 0).isValid());
    QCOMPARE(g->row(), 1);
}

void TestGrid::statusPanelFloodsAndBeeps() {
    ScriptedOperator op;
    ElasticPanel panel;
    QList<int> floods;
    QElapsedTimer timer;
    timer.start();
    DispElaMsg(&panel, QStringLiteral("連線失敗!"));
    QVERIFY(timer.elapsed() >= 199);
    QCOMPARE(panel.caption(), QStringLiteral("連線失敗!"));
    QCOMPARE(panel.floodPercent(), 0);
    QCOMPARE(op.beeps, 2);
    QVERIFY(op.eventPumps >= 1);
    DispElaMsg(&panel, QStringLiteral("quiet"), 0);
    QCOMPARE(op.beeps, 2);
    DispElaMsg(nullptr, QStringLiteral("x"));
    QCOMPARE(op.boxes.size(), 1);
    QVERIFY(op.boxes[0].text.startsWith(QStringLiteral("處理程序: (DispElaMsg)")));
}

void TestGrid::decimalSumIsExact_data() {
    QTest::addColumn<QStringList>("cells");
    QTest::addColumn<QString>("total");
    QTest::newRow("tenths") << QStringList{"0.1", "0.2"} << "0.3";
    QTest::newRow("signs and scales") << QStringList{"-5", "2.50", "text", ""} << "-2.5";
    QTest::newRow("past a double's digits")
        << QStringList{"99999999999999999999.9999", "0.0001"} << "100000000000000000000";
    QTest::newRow("back through zero") << QStringList{"1.25", "-3", "1.75"} << "0";
}

void TestGrid::decimalSumIsExact() {
    QFETCH(QStringList, cells);
    QFETCH(QString, total);
    DecimalSum sum;
    for (const QString& cell : cells)
        sum.add(cell);
    QCOMPARE(sum.text(), total);
}

QTEST_MAIN(TestGrid)
#include "tst_grid.moc"
