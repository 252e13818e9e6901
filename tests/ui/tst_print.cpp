#include "db/connection.h"
#include "db/session.h"
#include "print/report_document.h"
#include "support/started_window.h"
#include "support/test_databases.h"
#include "ui/frm_print.h"

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

namespace {
QString pdfText(const QString& path) {
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    text.waitForFinished(60000);
    return QString::fromUtf8(text.readAllStandardOutput());
}
} // namespace

class TestPrint : public QObject {
    Q_OBJECT

private slots:
    void previewPagesAndPrints();

private:
    void print(StartedWindow& s, const std::optional<QString>& title);
};

void TestPrint::print(StartedWindow& s, const std::optional<QString>& title) {
    s.op.inputs = {title};
    QTest::mouseClick(s.child<QPushButton>("cmdPrint"), Qt::LeftButton);
}

void TestPrint::previewPagesAndPrints() {
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=p.db\tP\r\n"));
        makeSqliteDatabase(
            p.path(QStringLiteral("p.db")),
            QStringLiteral("CREATE TABLE t (n INTEGER, name VARCHAR(20));\n"
                           "INSERT INTO t WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 "
                           "FROM c WHERE x < 150) SELECT x, '品名' || x FROM c"));
    });
    QVERIFY(MainConnection() && MainConnection()->isOpen());
    s.editor()->setPlainText(QStringLiteral("select n, name from t order by n"));
    QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);

    print(s, QStringLiteral("月報"));
    frmPrint* preview = s.window->preview();
    QVERIFY(preview && preview->isVisible());
    QCOMPARE(s.op.inputPrompts.last().defaultText, QStringLiteral("資料庫查詢列印"));
    const int pages = preview->document()->pageCount();
    QVERIFY(pages >= 3);
    // Paging stops at both ends.
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrevious")), Qt::LeftButton);
    QCOMPARE(preview->shownPage(), 0);
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdLast")), Qt::LeftButton);
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdNext")), Qt::LeftButton);
    QCOMPARE(preview->shownPage(), pages - 1);

    // No printer here: the page shown goes to a PDF file the operator names.
    const QString pdf = s.program.path(QStringLiteral("page.pdf"));
    s.op.fileNames = {pdf};
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrintPage")), Qt::LeftButton);
    const QString last = pdfText(pdf);
    QVERIFY2(last.contains(QStringLiteral("頁次:%1/%1").arg(pages)) &&
                 last.contains(QStringLiteral("月報")) && last.contains(QStringLiteral("程式編號:ORVEL")) &&
                 !last.contains(QStringLiteral("頁次:1/")),
             qPrintable(last));

    // Hidden, then reused; a cancelled title, landscape and the selected SQL text after the grid.
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdExit")), Qt::LeftButton);
    QVERIFY(!preview->isVisible());
    s.child<QCheckBox>("chkLandscape")->setChecked(true);
    s.editor()->selectAll();
    print(s, std::nullopt);
    QCOMPARE(s.window->preview(), preview);
    QVERIFY(preview->isVisible());
    QVERIFY(preview->header().isEmpty());
    QVERIFY(preview->document()->pageTwips().width() > preview->document()->pageTwips().height());
    const QString all = s.program.path(QStringLiteral("all.pdf"));
    s.op.fileNames = {all};
    QTest::mouseClick(preview->findChild<QPushButton*>(QStringLiteral("cmdPrint")), Qt::LeftButton);
    const QString text = pdfText(all);
    QCOMPARE(
        text.count(QRegularExpression(QStringLiteral("頁次:\\d+/%1").arg(preview->document()->pageCount()))),
        preview->document()->pageCount());
    QVERIFY(text.contains(QStringLiteral("select n, name from t order by n")));
    QVERIFY(s.op.boxes.isEmpty());

    // A new query changes the grid under the report: the preview lets the report go.
    s.editor()->setPlainText(QStringLiteral("select 1"));
    QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    QVERIFY(!preview->document());
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"
