// The report of the result grid: from the print command to page 1 shown in the preview, for the
// 100,000 and 1,000,000 row grids of the load benchmark, and writing the whole 100,000-row report
// to a PDF file beside QPdfWriter painting the same number of pages of plain text, each case in a
// fresh process.
//
//   bench_print                    measures every case
//   bench_print --child KIND ROWS  one case: preview or pdf, or plain (the reference) for ROWS rows

#include "bench_data.h"

#include "app/operator.h"
#include "grid/flex_grid.h"
#include "print/report_document.h"
#include "ui/fm_orvik.h"
#include "ui/frm_print.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>

#include <cstdio>

namespace {
QString pdfPath() {
    return benchFolder() + QStringLiteral("/report.pdf");
}

int child(const QString& kind, int rows) {
    if (kind == QLatin1String("plain")) { // the reference: as many pages of plain text
        QPdfWriter writer(benchFolder() + QStringLiteral("/plain.pdf"));
        writer.setResolution(300);
        QElapsedTimer t;
        t.start();
        QPainter painter(&writer);
        painter.setFont(QFont(QStringLiteral("標楷體"), 10));
        for (int page = 0; page < rows; ++page) {
            if (page > 0)
                writer.newPage();
            for (int line = 0; line < 50; ++line)
                painter.drawText(
                    200, 300 + line * 60,
                    QStringLiteral("%1 %2 客戶名稱第%2號 %3").arg(page).arg(line).arg(line * 1.25));
        }
        painter.end();
        std::printf("%.3f %.1f %.1f %lld\n", t.elapsed() / 1000.0, 0.0, peakResidentMb(),
                    QFile(benchFolder() + QStringLiteral("/plain.pdf")).size());
        return 0;
    }
    DefaultsOperator answers(pdfPath()); // the title as proposed, the PDF file named
    installOperator(&answers);
    const BenchProgram program(QStringLiteral("Driver={SQLite3};Database=") + benchFolder() +
                               QStringLiteral("/bench.db"));
    fmORVIK window;
    window.setEndProcess([] {});
    window.Form_Load();
    window.queryPage().ExecSQL(kQuery + QStringLiteral(" LIMIT %1").arg(rows));
    const double loadedMb = peakResidentMb();
    QElapsedTimer t;
    t.start();
    window.cmdPrint_Click();
    window.preview()->grab(); // page 1 painted, as the screen would show it
    double seconds = t.elapsed() / 1000.0;
    const int pages = window.preview()->document()->pageCount();
    qint64 bytes = 0;
    if (kind == QLatin1String("pdf")) {
        QFile::remove(pdfPath());
        t.restart();
        window.preview()->cmdPrint_Click();
        seconds = t.elapsed() / 1000.0;
        bytes = QFile(pdfPath()).size();
    }
    std::printf("%.3f %.1f %.1f %lld %d\n", seconds, loadedMb, peakResidentMb(), bytes, pages);
    installOperator(nullptr);
    return 0;
}

QList<QByteArray> runChild(const QString& kind, int rows) {
    return childFigures({kind, QString::number(rows)});
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    QCoreApplication app(argc, argv);
    makeSqliteData(benchFolder() + QStringLiteral("/bench.db"));
    std::printf("report of the result grid (5 columns); each case in a fresh process\n");
    for (int rows : {100000, 1000000}) {
        const QList<QByteArray> f = runChild(QStringLiteral("preview"), rows);
        if (f.size() < 5) {
            std::printf("preview of %d rows failed\n", rows);
            continue;
        }
        std::printf(
            "%8d rows: command to page 1 shown %6.3f s (target <= %.0f s), %s pages, memory added %6.1f MB "
            "(target <= 50)\n",
            rows, f[0].toDouble(), rows > 100000 ? 2.0 : 1.0, f[4].constData(),
            f[2].toDouble() - f[1].toDouble());
    }
    const QList<QByteArray> pdf = runChild(QStringLiteral("pdf"), 100000);
    if (pdf.size() >= 5) {
        const QList<QByteArray> plain = runChild(QStringLiteral("plain"), pdf[4].toInt());
        std::printf(
            "  100000 rows to PDF: %7.3f s, %lld bytes, %s pages | QPdfWriter, the same number of pages of "
            "plain text: %7.3f s, %lld bytes\n",
            pdf[0].toDouble(), pdf[3].toLongLong(), pdf[4].constData(), plain.value(0).toDouble(),
            plain.value(3).toLongLong());
    }
    QFile::remove(pdfPath());
    QFile::remove(benchFolder() + QStringLiteral("/plain.pdf"));
    return 0;
}
