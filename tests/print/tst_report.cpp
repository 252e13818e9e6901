#include "grid/grid_model.h"
#include "print/report_document.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

namespace {
// What an independent reader finds in a PDF: its pages' texts and the first page's size in points.
struct PdfSeen {
    QStringList pageTexts;
    QSizeF size;
};

PdfSeen readPdf(const QString& path) {
    PdfSeen seen;
    QProcess info;
    info.start(QStringLiteral("pdfinfo"), {path});
    info.waitForFinished(60000);
    const QString out = QString::fromUtf8(info.readAllStandardOutput());
    const int pages = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(out).captured(1).toInt();
    const QRegularExpressionMatch size =
        QRegularExpression(QStringLiteral("Page size:\\s+([\\d.]+) x ([\\d.]+)")).match(out);
    seen.size = QSizeF(size.captured(1).toDouble(), size.captured(2).toDouble());
    QProcess text;
    text.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    text.waitForFinished(60000);
    seen.pageTexts = QString::fromUtf8(text.readAllStandardOutput()).split(QLatin1Char('\f'));
    seen.pageTexts = seen.pageTexts.mid(0, pages);
    return seen;
}
} // namespace

class TestReport : public QObject {
    Q_OBJECT

private slots:
    void reportsReadBack_data();
    void reportsReadBack();
};

void TestReport::reportsReadBack_data() {
    QTest::addColumn<int>("rows");
    QTest::addColumn<bool>("landscape");
    QTest::addColumn<QString>("sql");
    QTest::newRow("header row only") << 0 << false << "";
    QTest::newRow("many rows, portrait") << 300 << false << "";
    QTest::newRow("many rows, landscape, with the selected SQL")
        << 300 << true << "select * from 貨品 where 1 = 1";
    QTest::newRow("a text line wider than the page") << 300 << false << QString(400, QLatin1Char('X'));
}

void TestReport::reportsReadBack() {
    QFETCH(int, rows);
    QFETCH(bool, landscape);
    QFETCH(QString, sql);
    GridModel grid;
    grid.setRows(1);
    grid.setCols(3);
    grid.setText(0, 0, QStringLiteral("編號"));
    grid.setText(0, 1, QStringLiteral("名稱"));
    grid.setText(0, 2, QStringLiteral("數量"));
    for (int r = 1; r <= rows; ++r) {
        const QString cells[] = {QString::number(r), QStringLiteral("品名%1").arg(r), QString::number(r * 3)};
        grid.appendRow(cells, 3);
    }
    ReportDocument::Content content;
    content.grid = &grid;
    content.columnWidths = {1200, 3000, 1200};
    content.text = sql;
    content.font = QFont(QStringLiteral("標楷體"), 10);
    content.orientation = landscape ? QPageLayout::Landscape : QPageLayout::Portrait;
    ReportDecoration decoration;
    decoration.customerName = QStringLiteral("客戶公司");
    decoration.title = QStringLiteral("資料庫查詢列印");
    decoration.programId = QStringLiteral("ORVEL");
    const ReportDocument report(content, decoration);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    report.writePdf(path, 0, report.pageCount() - 1);
    const PdfSeen seen = readPdf(path);
    const int pages = report.pageCount();
    QCOMPARE(seen.pageTexts.size(), pages);
    QVERIFY(rows > 0 ? pages > 1 : pages == 1);
    QCOMPARE(seen.size.width() > seen.size.height(), landscape);
    for (int i = 0; i < pages; ++i) {
        const QString& page = seen.pageTexts[i];
        for (const QString& expected :
             {QStringLiteral("頁次:%1/%2").arg(i + 1).arg(pages), QStringLiteral("客戶公司"),
              QStringLiteral("資料庫查詢列印"), QStringLiteral("程式編號:ORVEL"), QStringLiteral("列印時間:"),
              QStringLiteral("編號")})
            QVERIFY2(page.contains(expected),
                     qPrintable(QStringLiteral("page %1 lacks %2").arg(i + 1).arg(expected)));
    }
    if (rows > 0) // every row is on some page, once
        QCOMPARE(seen.pageTexts.join(QString()).count(QStringLiteral("品名%1 ").arg(rows)), 1);
    if (sql.startsWith(QLatin1Char('X'))) // broken over lines, none of it lost
        QCOMPARE(seen.pageTexts.join(QString()).count(QLatin1Char('X')), 400);
    else
        QCOMPARE(seen.pageTexts.last().contains(QStringLiteral("select * from 貨品")), !sql.isEmpty());
}

QTEST_MAIN(TestReport)
#include "tst_report.moc"
