// Writing the 1,000,000 x 5 result grid as CSV, tab text and workbook, beside references measured
// in the same run: sqlite3 -csv writing the same table to a file, and a bare libxlsxwriter program
// writing the same strings in constant-memory mode.
//
//   bench_export                 measures every case, each in a fresh process
//   bench_export --child KIND    one case: csv, txt or xls through the window's commands; bare-xls
//
// Each window child prints: export seconds, peak MB after the load, peak MB after the export.

#include "bench_data.h"

#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "db/session.h"
#include "grid/flex_grid.h"
#include "ui/file_page.h"
#include "ui/fm_orvik.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
QString dataFile() {
    return benchFolder() + QStringLiteral("/bench.db");
}

QString outputFile(const QString& kind) {
    return benchFolder() + QStringLiteral("/out.") + (kind.endsWith(QLatin1String("xls")) ? "xls" : kind);
}

int windowChild(const QString& kind) {
    const BenchProgram program(QStringLiteral("Driver={SQLite3};Database=") + dataFile());

    fmORVIK window;
    window.setEndProcess([] {});
    window.Form_Load();
    window.queryPage().ExecSQL(kQuery);
    const double loadedMb = peakResidentMb();
    const QString out = outputFile(kind);
    QFile::remove(out);
    window.ui().txtFileName->setText(out);
    QElapsedTimer t;
    t.start();
    if (kind == QLatin1String("csv"))
        window.filePage().cmdSaveCSV_Click();
    else if (kind == QLatin1String("txt"))
        window.filePage().cmdSaveTXT_Click();
    else
        window.filePage().cmdSaveXLS_Click();
    // The command ends with the status message, which pauses 0.2 s by design: left out.
    const double seconds = t.elapsed() / 1000.0 - 0.2;
    std::printf("%.3f %.1f %.1f %lld\n", seconds, loadedMb, peakResidentMb(), QFile(out).size());
    return 0;
}

// The strings of the grid held in memory, then written by libxlsxwriter alone.
int bareWorkbookChild() {
    std::vector<std::string> cells;
    int cols = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("read"));
        db.setDatabaseName(dataFile());
        db.open();
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.exec(kQuery);
        cols = 5;
        cells.reserve(size_t(kSqliteRows + 1) * 5);
        for (const char* name : {"id", "name", "amount", "day", "note"})
            cells.emplace_back(name);
        while (q.next())
            for (int c = 0; c < cols; ++c)
                cells.push_back(q.value(c).toString().toStdString());
    }
    QSqlDatabase::removeDatabase(QStringLiteral("read"));
    const double loadedMb = peakResidentMb();
    const QByteArray out = QFile::encodeName(outputFile(QStringLiteral("bare-xls")));
    QFile::remove(QString::fromLocal8Bit(out));
    QElapsedTimer t;
    t.start();
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    lxw_workbook* workbook = workbook_new_opt(out.constData(), &options);
    lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
    for (size_t i = 0; i < cells.size(); ++i)
        if (!cells[i].empty())
            worksheet_write_string(sheet, lxw_row_t(i / size_t(cols)), lxw_col_t(i % size_t(cols)),
                                   cells[i].c_str(), nullptr);
    workbook_close(workbook);
    std::printf("%.3f %.1f %.1f %lld\n", t.elapsed() / 1000.0, loadedMb, peakResidentMb(),
                QFile(QString::fromLocal8Bit(out)).size());
    return 0;
}

struct Figures {
    double seconds = 0, loadedMb = 0, peakMb = 0;
    qint64 bytes = 0;
};

std::optional<Figures> runChild(const QString& kind) {
    const QList<QByteArray> f = childFigures({kind});
    if (f.size() < 4)
        return std::nullopt;
    return Figures{f[0].toDouble(), f[1].toDouble(), f[2].toDouble(), f[3].toLongLong()};
}

// sqlite3 -csv writing the same rows to a file, as a whole process.
double sqliteCsvSeconds(const QString& separator) {
    const QString out = benchFolder() + QStringLiteral("/ref.csv");
    QProcess p;
    p.setStandardOutputFile(out);
    QStringList args{QStringLiteral("-csv"), QStringLiteral("-header")};
    if (!separator.isEmpty())
        args << QStringLiteral("-separator") << separator;
    args << dataFile() << kQuery;
    QElapsedTimer t;
    t.start();
    p.start(QStringLiteral("sqlite3"), args);
    p.waitForFinished(-1);
    const double seconds = t.elapsed() / 1000.0;
    QFile::remove(out);
    return p.exitCode() == 0 ? seconds : -1;
}

void report(const char* label, const std::optional<Figures>& f, double reference, const char* refLabel,
            double targetRatio, double targetMb) {
    if (!f) {
        std::printf("%-18s failed\n", label);
        return;
    }
    std::printf("%-18s %6.3f s | %s %6.3f s | ratio %5.2f (target <= %.1f) | memory added %6.1f MB "
                "(target <= %.0f) | file %lld bytes\n",
                label, f->seconds, refLabel, reference, f->seconds / reference, targetRatio,
                f->peakMb - f->loadedMb, targetMb, f->bytes);
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        const QString kind = QString::fromLocal8Bit(argv[2]);
        if (kind == QLatin1String("bare-xls")) {
            QCoreApplication app(argc, argv);
            return bareWorkbookChild();
        }
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return windowChild(kind);
    }
    QCoreApplication app(argc, argv);
    makeSqliteData(dataFile());
    std::printf("1,000,000 x 5 grid, SQLite; each case in a fresh process\n");
    const double csvRef = sqliteCsvSeconds({});
    report("CSV", runChild(QStringLiteral("csv")), csvRef, "sqlite3 -csv", 1.5, 20);
    const double tabRef = sqliteCsvSeconds(QStringLiteral("\t"));
    report("tab text", runChild(QStringLiteral("txt")), tabRef, "sqlite3 -csv -separator TAB", 1.5, 20);
    const auto bare = runChild(QStringLiteral("bare-xls"));
    report("workbook", runChild(QStringLiteral("xls")), bare ? bare->seconds : -1, "bare libxlsxwriter", 1.3,
           30);
    if (bare)
        std::printf("%-18s %6.3f s, memory added %.1f MB, file %lld bytes\n", "(bare libxlsxwriter)",
                    bare->seconds, bare->peakMb - bare->loadedMb, bare->bytes);
    QFile::remove(outputFile(QStringLiteral("csv")));
    QFile::remove(outputFile(QStringLiteral("txt")));
    QFile::remove(outputFile(QStringLiteral("xls")));
    QFile::remove(outputFile(QStringLiteral("bare-xls")));
    return 0;
}
