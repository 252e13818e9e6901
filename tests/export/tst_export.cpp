#include "app/local_codec.h"
#include "db/connection.h"
#include "db/session.h"
#include "export/export_files.h"
#include "export/text_writers.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/grid_model.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>
#include <QXmlStreamReader>

#include <optional>

namespace {
enum Route { Sqlite, Postgres };

const QString kQuery =
    QStringLiteral("select rno AS \"RNo\", name, amount, big, ratio, day, code from exported order by rno");

// The cell texts of a workbook's first sheet, read from its XML with the system's unzip, by row.
QList<QStringList> workbookCells(const QString& path) {
    QProcess unzip;
    unzip.start(QStringLiteral("unzip"),
                {QStringLiteral("-p"), path, QStringLiteral("xl/worksheets/sheet1.xml")});
    if (!unzip.waitForFinished(60000) || unzip.exitCode() != 0)
        return {};
    QXmlStreamReader xml(unzip.readAllStandardOutput());
    QList<QStringList> rows;
    int col = 0;
    while (xml.readNextStartElement() || !xml.atEnd()) {
        if (!xml.isStartElement())
            continue;
        if (xml.name() == QLatin1String("row")) {
            rows.append(QStringList());
        } else if (xml.name() == QLatin1String("c")) {
            const QString ref = xml.attributes().value(QLatin1String("r")).toString();
            col = 0;
            for (QChar ch : ref)
                if (ch.isLetter())
                    col = col * 26 + (ch.unicode() - 'A' + 1);
            if (xml.attributes().value(QLatin1String("t")) != QLatin1String("inlineStr"))
                rows.last().append(QStringLiteral("<not text>"));
        } else if (xml.name() == QLatin1String("t")) {
            while (rows.last().size() < col - 1)
                rows.last().append(QString());
            // The sheet's own escape: _xHHHH_ stands for the character HHHH.
            static const QRegularExpression escaped(QStringLiteral("_x([0-9A-Fa-f]{4})_"));
            QString text = xml.readElementText();
            for (qsizetype at = 0;;) {
                const QRegularExpressionMatch m = escaped.match(text, at);
                if (!m.hasMatch())
                    break;
                const QString one(QChar(char16_t(m.captured(1).toUShort(nullptr, 16))));
                text.replace(m.capturedStart(), m.capturedLength(), one);
                at = m.capturedStart() + 1;
            }
            rows.last().append(text);
        }
    }
    return rows;
}
} // namespace

class TestExport : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY2(m_pg.load(), kPgNotRunning); }
    void init();
    void cleanup();
    void filesOfEveryColumnKind_data();
    void filesOfEveryColumnKind();
    void theFileNameBox();
    void failuresLeaveNoFalseFile_data();
    void failuresLeaveNoFalseFile();
    void aStoppedExportKeepsWhatAFailedOneKeeps();
    void workbookCellsAreCutAtTheSheetLimit();
    void oddValuesKeepTheirPlace();
    void recordDatesKeepTheirPrecision_data();
    void recordDatesKeepTheirPrecision();
    void csvFilesImportBack_data() { filesOfEveryColumnKind_data(); }
    void csvFilesImportBack();

private:
    void connect(Route route);
    void query(const QString& sql);
    void exportTo(const char* button, const QString& fileName, QList<int> answers = {});
    QString status() const { return StatusMessage(); }
    // Every cell of the result grid, by row, the header row first.
    QList<QStringList> gridTexts() const {
        QList<QStringList> rows;
        for (int r = 0; r < fg1()->rows(); ++r) {
            rows.append(QStringList());
            for (int c = 0; c < fg1()->cols(); ++c)
                rows.last().append(fg1()->textMatrix(r, c));
        }
        return rows;
    }
    FlexGrid* fg1() const { return m_window->child<FlexGrid>("fg1"); }
    QLineEdit* fileBox() const { return m_window->child<QLineEdit>("txtFileName"); }
    QString path(const QString& name) const { return m_window->program.path(name); }

    PgServer m_pg;
    std::unique_ptr<StartedWindow> m_window;
};

void TestExport::init() {
    m_window = std::make_unique<StartedWindow>([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray());
        makeSqliteDatabase(
            p.path(QStringLiteral("exported.db")),
            QStringLiteral("CREATE TABLE exported (rno INTEGER PRIMARY KEY, name VARCHAR(20), "
                           "amount DECIMAL(20,4), big BIGINT, ratio DOUBLE, day DATETIME, "
                           "code VARCHAR(10));\n"
                           "INSERT INTO exported VALUES (1, ' O''Brien ', 1234567890.1234, "
                           "12345678901234567, 0.1, '2003-05-07 14:03:09', '00123');\n"
                           "INSERT INTO exported VALUES (2, NULL, NULL, NULL, NULL, NULL, NULL);\n"
                           "INSERT INTO exported VALUES (3, '茶,壺', -0.5, 0, 1e20, "
                           "'2016-11-25 00:00:00', 'x');\n"));
    });
    QVERIFY(
        m_pg.exec({QStringLiteral("DROP TABLE IF EXISTS exported"),
                   QStringLiteral("CREATE TABLE exported (rno INTEGER PRIMARY KEY, name VARCHAR(20), "
                                  "amount NUMERIC(20,4), big BIGINT, ratio DOUBLE PRECISION, day TIMESTAMP, "
                                  "code VARCHAR(10))"),
                   QStringLiteral("INSERT INTO exported VALUES (1, ' O''Brien ', 1234567890.1234, "
                                  "12345678901234567, 0.1, '2003-05-07 14:03:09', '00123'), "
                                  "(2, NULL, NULL, NULL, NULL, NULL, NULL), "
                                  "(3, '茶,壺', -0.5, 0, 1e20, '2016-11-25 00:00:00', 'x')")}));
}

void TestExport::cleanup() {
    m_window.reset();
    LocalCodec::setCodecName("UTF-8");
}

void TestExport::connect(Route route) {
    const QString text =
        route == Sqlite ? QStringLiteral("Driver={SQLite3};Database=exported.db") : m_pg.connectionString();
    m_window->window->connectActions().DBQConnect(text);
    QVERIFY2(MainConnection() && MainConnection()->isOpen(), qPrintable(text));
}

void TestExport::query(const QString& sql) {
    m_window->window->ui().tabPage->setCurrentIndex(0);
    m_window->editor()->setPlainText(sql);
    QTest::mouseClick(m_window->child<QPushButton>("cmdQryDB"), Qt::LeftButton);
}

void TestExport::exportTo(const char* button, const QString& fileName, QList<int> answers) {
    m_window->window->ui().tabPage->setCurrentIndex(1);
    fileBox()->setText(fileName);
    m_window->op.answers = answers;
    QTest::mouseClick(m_window->child<QPushButton>(button), Qt::LeftButton);
}

void TestExport::filesOfEveryColumnKind_data() {
    QTest::addColumn<int>("route");
    QTest::newRow("SQLite") << int(Sqlite);
    QTest::newRow("PostgreSQL") << int(Postgres);
}

void TestExport::filesOfEveryColumnKind() {
    QFETCH(int, route);
    connect(Route(route));
    query(kQuery);
    QCOMPARE(fg1()->rows(), 4);

    exportTo("cmdSaveCSV", path(QStringLiteral("grid.csv")));
    QCOMPARE(status(), QStringLiteral("存檔名:") + path(QStringLiteral("grid.csv")));
    QCOMPARE(
        QString::fromUtf8(readFileBytes(path(QStringLiteral("grid.csv")))),
        QStringLiteral("name,amount,big,ratio,day,code\r\n"
                       "'O''Brien',1234567890.1234,12345678901234567,0.1,'2003/05/07 14:03:09','00123'\r\n"
                       "'',,,,,''\r\n"
                       "'茶,壺',-0.5,0,1E+20,'2016/11/25','x'\r\n"));

    exportTo("cmdSaveTXT", path(QStringLiteral("grid.txt")));
    QCOMPARE(
        QString::fromUtf8(readFileBytes(path(QStringLiteral("grid.txt")))),
        QStringLiteral("RNo\tname\tamount\tbig\tratio\tday\tcode\r\n"
                       "1\t O'Brien \t1234567890.1234\t12345678901234567\t0.1\t2003/05/07 14:03:09\t00123\r\n"
                       "2\t\t\t\t\t\t\r\n"
                       "3\t茶,壺\t-0.5\t0\t1E+20\t2016/11/25\tx\r\n"));

    exportTo("cmdSaveXLS", path(QStringLiteral("grid.xls")));
    QCOMPARE(status(), QStringLiteral("已存檔:") + path(QStringLiteral("grid.xls")));
    QList<QStringList> shown = gridTexts();
    shown[2] = QStringList{QStringLiteral("2")}; // empty cells are not written
    QCOMPARE(workbookCells(path(QStringLiteral("grid.xls"))), shown);

    // In maintenance mode the CSV comes from the records: NULL stays NULL, numbers exact.
    m_window->window->ui().tabPage->setCurrentIndex(0);
    QTest::keyClick(m_window->editor(), Qt::Key_F5);
    QCOMPARE(m_window->child<QLabel>("lblMode")->text(), QStringLiteral("EDIT"));
    exportTo("cmdSaveCSV", path(QStringLiteral("records.csv")));
    QCOMPARE(
        QString::fromUtf8(readFileBytes(path(QStringLiteral("records.csv")))),
        QStringLiteral("name,amount,big,ratio,day,code\r\n"
                       "'O''Brien',1234567890.1234,12345678901234567,0.1,'2003/05/07 14:03:09','00123'\r\n"
                       "NULL,NULL,NULL,NULL,NULL,NULL\r\n"
                       "'茶,壺',-0.5,0,1E+20,'2016/11/25 00:00:00','x'\r\n"));
    QVERIFY(m_window->op.boxes.isEmpty());
}

void TestExport::theFileNameBox() {
    QPushButton* xls = m_window->child<QPushButton>("cmdSaveXLS");
    QPushButton* csv = m_window->child<QPushButton>("cmdSaveCSV");
    QVERIFY(!xls->isEnabled() && csv->isEnabled()); // the empty box offers the text files
    QTest::keyClicks(fileBox(), QStringLiteral("report.xls"));
    QVERIFY(xls->isEnabled() && !csv->isEnabled() && !m_window->action("mnuSave_4")->isEnabled());
    QTest::keyClick(fileBox(), Qt::Key_Backspace);
    QVERIFY(!xls->isEnabled() && csv->isEnabled() && m_window->action("mnuSave_3")->isEnabled());

    connect(Sqlite);
    const QString defaultCsv = m_window->program.folder() + QStringLiteral("/DataOutCSV.txt");
    writeFileBytes(defaultCsv, "kept");
    query(QStringLiteral("select * from exported where rno > 9"));
    exportTo("cmdSaveCSV", QString()); // nothing to write: no question, the file untouched
    QCOMPARE(fileBox()->text(), defaultCsv);
    QCOMPARE(status(), QStringLiteral("沒有資料"));
    QCOMPARE(readFileBytes(defaultCsv), QByteArray("kept"));
    QVERIFY(m_window->op.boxes.isEmpty());

    query(kQuery);
    exportTo("cmdSaveTXT", defaultCsv, {MsgAnswer::No});
    QCOMPARE(m_window->op.boxes.last().text, QStringLiteral("檔案已存在, 要覆蓋嗎?"));
    QCOMPARE(readFileBytes(defaultCsv), QByteArray("kept"));
    exportTo("cmdSaveTXT", defaultCsv, {MsgAnswer::Yes});
    QVERIFY(readFileBytes(defaultCsv).startsWith("RNo\tname"));

    fileBox()->clear(); // a blank box offers no workbook: the handler is asked directly
    m_window->window->filePage().cmdSaveXLS_Click();
    QCOMPARE(fileBox()->text(), m_window->program.folder() + QStringLiteral("/SQDataOut.xls"));
    QVERIFY(xls->isEnabled() && !csv->isEnabled());
    QCOMPARE(workbookCells(fileBox()->text()).size(), 4);

    const int boxes = int(m_window->op.boxes.size());
    exportTo("cmdSaveCSV", path(QStringLiteral("*.txt")));
    QCOMPARE(m_window->op.boxes.size(), boxes + 1);
    QVERIFY(m_window->op.boxes.last().text.contains(QStringLiteral("cmdSaveCSV_Click")));
}

void TestExport::failuresLeaveNoFalseFile_data() {
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason"); // what the box says
    QTest::addColumn<bool>("writing");   // the writer failed (else the command refused before writing)
    for (const char* button : {"cmdSaveCSV", "cmdSaveTXT", "cmdSaveXLS"}) {
        const QString writer = QString::fromLatin1(button) == QLatin1String("cmdSaveCSV")   ? "SaveFG2CSV"
                               : QString::fromLatin1(button) == QLatin1String("cmdSaveTXT") ? "SaveFG2File"
                                                                                            : "SaveXLS";
        QTest::addRow("%s, full disk", button) << button << "full disk" << writer << true;
        QTest::addRow("%s, a folder's name", button) << button << "folder"
                                                     << "資料夾" << false;
    }
    QTest::newRow("CSV, a character Big5 cannot hold") << "cmdSaveCSV"
                                                       << "big5"
                                                       << "한" << true;
    // The sheet passes the limit while its packed file stays under it; the file it replaces stays.
    QTest::newRow("workbook over a file, a limit only the sheet reaches") << "cmdSaveXLS"
                                                                          << "sheet limit"
                                                                          << "SaveXLS" << true;
    QTest::newRow("workbook, too many columns") << "cmdSaveXLS"
                                                << "columns"
                                                << "16384" << false;
}

void TestExport::failuresLeaveNoFalseFile() {
    QFETCH(QString, button);
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    QFETCH(bool, writing);
    const bool workbook = button == QLatin1String("cmdSaveXLS");
    connect(Sqlite);
    const bool sheetLimit = fault == QLatin1String("sheet limit");
    query(sheetLimit ? QStringLiteral("with recursive c(x) as (select 1 union all select x + 1 from c "
                                      "where x < 30000) select 'x' from c")
                     : QStringLiteral("select rno, name, printf('%.*c', 20000, 'x') as long from exported"));
    exportTo("cmdSaveTXT", path(QStringLiteral("earlier.txt"))); // its message must not outlive the failure
    if (fault == QLatin1String("columns"))
        fg1()->setCols(16385);
    if (fault == QLatin1String("big5")) {
        fg1()->setTextMatrix(2, 1, QStringLiteral("한"));
        LocalCodec::setCodecName("Big5");
    }
    QString name = path(workbook ? QStringLiteral("out.xls") : QStringLiteral("out.txt"));
    writeFileBytes(name + QStringLiteral(".saving"), "the operator's own file"); // no name of ours
    if (fault == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(name));
    if (fault == QLatin1String("columns") || sheetLimit)
        writeFileBytes(name, "kept");

    {
        std::optional<FileSizeLimit> limit;
        if (fault == QLatin1String("full disk") || sheetLimit)
            limit.emplace(sheetLimit ? 64 * 1024 : 4096);
        exportTo(qPrintable(button), name, {MsgAnswer::Yes});
    }

    QVERIFY(!m_window->op.boxes.isEmpty());
    const QString said = m_window->op.boxes.last().text;
    QVERIFY2(said.contains(reason), qPrintable(said));
    if (fault == QLatin1String("full disk") || sheetLimit) // the reason said, and the file named
        QVERIFY2(said.contains(QStringLiteral("超過檔案大小的上限")) && said.contains(name) &&
                     !said.contains(QStringLiteral(".orvik-")),
                 qPrintable(said));
    // The failure is the last word on the panel: no success message, of this run or an earlier one.
    QCOMPARE(status(), writing ? QStringLiteral("存檔錯誤:") + name : QString());
    if (workbook) // a workbook under the name is whole or absent; one never written keeps the old file
        QVERIFY(fault == QLatin1String("folder")                  ? QFileInfo(name).isDir()
                : fault == QLatin1String("columns") || sheetLimit ? readFileBytes(name) == "kept"
                                                                  : !QFileInfo::exists(name));
    QCOMPARE(pendingSaves(m_window->program.folder()), QStringList());
    QCOMPARE(readFileBytes(name + QStringLiteral(".saving")), QByteArray("the operator's own file"));
    if (fault == QLatin1String("big5")) // the lines before the refused character are in the file
        QCOMPARE(readFileBytes(name).count("\r\n"), 2);
}

void TestExport::aStoppedExportKeepsWhatAFailedOneKeeps() {
    connect(Sqlite);
    query(QStringLiteral("select 'row' as c"));
    fg1()->setRows(5000);
    for (const bool workbook : {false, true}) {
        const QString name = path(workbook ? QStringLiteral("stopped.xls") : QStringLiteral("stopped.txt"));
        ExportRun run;
        run.progress = [](qint64) { return false; };
        run.replaceAsked = workbook; // a workbook the operator agreed to replace
        if (workbook)
            writeFileBytes(name, "old");
        QVERIFY(!(workbook ? SaveXLS(*fg1()->grid(), name, &run) : SaveFG2File(*fg1()->grid(), name, &run)));
        QVERIFY(run.stopped);
        // A text file keeps the lines written before the stop, as after a failure; a workbook
        // leaves the file it would have replaced as it was.
        QCOMPARE(readFileBytes(name).count("\r\n"), workbook ? 0 : run.linesKept);
        if (workbook)
            QCOMPARE(readFileBytes(name), QByteArray("old"));
    }
    QVERIFY(m_window->op.boxes.isEmpty());
}

void TestExport::workbookCellsAreCutAtTheSheetLimit() {
    connect(Sqlite);
    query(QStringLiteral("select printf('%.*c', 40000, 'x') || '尾' as long"));
    exportTo("cmdSaveXLS", path(QStringLiteral("long.xls")));
    QCOMPARE(status(),
             QStringLiteral("已存檔:%1 (1 格超過 32767 字, 已截斷)").arg(path(QStringLiteral("long.xls"))));
    const QList<QStringList> cells = workbookCells(path(QStringLiteral("long.xls")));
    QCOMPARE(cells.size(), 2);
    QCOMPARE(cells[1].value(0), QString(32767, QLatin1Char('x')));
}

void TestExport::oddValuesKeepTheirPlace() {
    connect(Sqlite);
    // Text in a column whose first value was a number; text the sheet XML has escapes for.
    query(QStringLiteral(
        "select 5 as v, 1 as k union all select 'x,y', 2 union all select 'O''Brien', 3 "
        "union all select 'lit _x0041_ end', 4 union all select 'x' || char(65535) || 'y', 5"));
    exportTo("cmdSaveCSV", path(QStringLiteral("odd.csv")));
    QCOMPARE(
        QString::fromUtf8(readFileBytes(path(QStringLiteral("odd.csv")))),
        QStringLiteral("v,k\r\n5,1\r\n'x,y',2\r\n'O''Brien',3\r\n'lit _x0041_ end',4\r\n'x\uFFFFy',5\r\n"));
    exportTo("cmdSaveXLS", path(QStringLiteral("odd.xls")));
    const QList<QStringList> cells = workbookCells(path(QStringLiteral("odd.xls")));
    QCOMPARE(cells.value(4).value(0), QStringLiteral("lit _x0041_ end"));
    QCOMPARE(cells.value(5).value(0), QStringLiteral("x\uFFFFy"));
}

void TestExport::recordDatesKeepTheirPrecision_data() {
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("a date as text") << QVariant(QStringLiteral("2015-03-02")) << "'2015/03/02'";
    QTest::newRow("a date") << QVariant(QDate(2015, 3, 2)) << "'2015/03/02'";
    QTest::newRow("midnight, written")
        << QVariant(QStringLiteral("2015-03-02 00:00:00")) << "'2015/03/02 00:00:00'";
    QTest::newRow("a time alone") << QVariant(QStringLiteral("14:03:09")) << "'1899/12/30 14:03:09'";
    QTest::newRow("no date at all") << QVariant(QStringLiteral("soon")) << "'soon'";
}

void TestExport::recordDatesKeepTheirPrecision() {
    QFETCH(QVariant, value);
    QFETCH(QString, written);
    QCOMPARE(TextWriters::recordCsvField(value, 133), written);
}

void TestExport::csvFilesImportBack() {
    QFETCH(int, route);
    connect(Route(route));
    const QString columns = QStringLiteral("trim(name), amount, big, ratio, day, code");
    const QString order = QStringLiteral(" order by case when big is null then 1 else 0 end, big");
    query(QStringLiteral("select %1 from exported%2").arg(columns, order));
    const QList<QStringList> original = gridTexts().mid(1);
    query(kQuery);
    exportTo("cmdSaveCSV", path(QStringLiteral("grid.csv")));
    m_window->window->ui().tabPage->setCurrentIndex(0);
    QTest::keyClick(m_window->editor(), Qt::Key_F5);
    exportTo("cmdSaveCSV", path(QStringLiteral("records.csv")));

    for (const QString& file : {QStringLiteral("grid.csv"), QStringLiteral("records.csv")}) {
        query(QStringLiteral("SERVER DROP TABLE IF EXISTS back"));
        query(route == Sqlite
                  ? QStringLiteral("SERVER CREATE TABLE back (name VARCHAR(20), amount DECIMAL(20,4), "
                                   "big BIGINT, ratio DOUBLE, day DATETIME, code VARCHAR(10))")
                  : QStringLiteral("SERVER CREATE TABLE back (name VARCHAR(20), amount NUMERIC(20,4), "
                                   "big BIGINT, ratio DOUBLE PRECISION, day TIMESTAMP, code VARCHAR(10))"));
        m_window->window->ui().tabPage->setCurrentIndex(1);
        fileBox()->setText(path(file));
        m_window->op.inputs = {QStringLiteral("back")};
        QTest::mouseClick(m_window->child<QPushButton>("cmdLoadTextToDB"), Qt::LeftButton);
        QCOMPARE(m_window->op.inputPrompts.last().defaultText, file.section(u'.', 0, 0));
        QCOMPARE(status(), QStringLiteral("異動筆數:3"));
        query(QStringLiteral("select %1 from back%2").arg(columns, order));
        QCOMPARE(gridTexts().mid(1), original);
    }
    QVERIFY2(m_window->op.boxes.isEmpty(), qPrintable(m_window->op.boxes.value(0).text));
}

QTEST_MAIN(TestExport)
#include "tst_export.moc"
