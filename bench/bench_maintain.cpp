// Maintenance mode beside the query it maintains, and a paste beside one UPDATE of the same rows.
//
//   bench_maintain               F5 and ExecSQL of the same 1,000,000 x 5 SELECT, each in a fresh
//                                process, five rounds in alternating order; then a paste of 1,000
//                                rows x 1 column in maintenance mode beside one UPDATE of them
//   bench_maintain --child KIND  one measurement (query, f5, paste)
//
// Each child prints: seconds, rows, peak resident MB, CPU seconds (paste: paste seconds, UPDATE
// seconds). F5's wall time holds two 0.2 s pauses of the status panel (its loading note and its
// count), the query's one; the CPU time holds none, and is the figure the target is read on.

#include "bench_data.h"

#include "db/session.h"
#include "grid/flex_grid.h"
#include "ui/fm_orvik.h"
#include "ui/maintenance.h"
#include "ui/query_page.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QSqlQuery>

#include <algorithm>
#include <cstdio>

namespace {
constexpr int kRounds = 5;
constexpr int kPasteRows = 1000;

QString sqliteString() {
    return QStringLiteral("Driver={SQLite3};Database=") + benchFolder() + QStringLiteral("/bench.db");
}

void pressF5(fmORVIK& window, const QString& sql) {
    window.ui().txtSQL->setPlainText(sql);
    window.ui().txtSQL->setFocus();
    QKeyEvent press(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QApplication::sendEvent(window.ui().txtSQL, &press);
}

int child(const QString& kind) {
    const BenchProgram program(sqliteString());
    DefaultsOperator answers;
    installOperator(&answers);
    fmORVIK window;
    window.setEndProcess([] {});
    window.Form_Load();
    QElapsedTimer t;
    if (kind == QLatin1String("paste")) {
        MainConnection()->execute(QStringLiteral("DROP TABLE IF EXISTS paste_t"));
        MainConnection()->execute(QStringLiteral("CREATE TABLE paste_t (id INTEGER PRIMARY KEY, a TEXT)"));
        MainConnection()->execute(
            QStringLiteral("INSERT INTO paste_t (id, a) WITH RECURSIVE c(x) AS (SELECT 1 "
                           "UNION ALL SELECT x + 1 FROM c WHERE x < %1) SELECT x, 'a' FROM c")
                .arg(kPasteRows));
        pressF5(window, QStringLiteral("select id, a from paste_t order by id"));
        FlexGrid* grid = window.ui().fg1;
        grid->setFocus();
        grid->setRow(1);
        grid->setCol(1);
        grid->selectionModel()->select(
            QItemSelection(grid->model()->index(0, 1), grid->model()->index(kPasteRows - 1, 1)),
            QItemSelectionModel::ClearAndSelect);
        QString text;
        for (int i = 0; i < kPasteRows; ++i)
            text += QStringLiteral("p%1\n").arg(i);
        QApplication::clipboard()->setText(text);
        QKeyEvent paste(QEvent::KeyPress, Qt::Key_V, Qt::ControlModifier);
        t.start();
        QApplication::sendEvent(grid, &paste);
        const double pasted = double(t.nsecsElapsed()) / 1e9;
        QSqlQuery written(MainConnection()->database());
        written.exec(QStringLiteral("SELECT count(*) FROM paste_t WHERE a LIKE 'p%'"));
        if (!written.next() || written.value(0).toInt() != kPasteRows)
            qFatal("the paste did not write its %d rows", kPasteRows);
        t.restart();
        MainConnection()->execute(QStringLiteral("UPDATE paste_t SET a = 'u' || id"));
        const double updated = double(t.nsecsElapsed()) / 1e9;
        std::printf("%.6f %.6f\n", pasted, updated);
        installOperator(nullptr);
        return 0;
    }
    t.start();
    const double cpuStart = cpuSeconds();
    if (kind == QLatin1String("f5"))
        pressF5(window, kQuery);
    else
        window.queryPage().ExecSQL(kQuery);
    const double seconds = t.elapsed() / 1000.0;
    const double cpu = cpuSeconds() - cpuStart;
    std::printf("%.3f %d %.1f %.3f\n", seconds, window.ui().fg1->rows() - 1, peakResidentMb(), cpu);
    installOperator(nullptr);
    return 0;
}

struct Figures {
    QList<double> seconds;
    QList<double> mb;
    QList<double> cpu;
};

const char* verdict(double ratio, double target) {
    return ratio <= target ? "met" : "MISSED";
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    makeSqliteData(benchFolder() + QStringLiteral("/bench.db"));

    Figures query, f5;
    for (int round = 0; round < kRounds; ++round) {
        // Alternating order: neither case always runs on a warmer cache.
        for (const bool f5First : {round % 2 == 0}) {
            for (const bool isF5 : {f5First, !f5First}) {
                const QList<QByteArray> f =
                    childFigures({isF5 ? QStringLiteral("f5") : QStringLiteral("query")});
                if (f.size() < 4) {
                    std::printf("%s failed\n", isF5 ? "F5" : "query");
                    return 1;
                }
                Figures& into = isF5 ? f5 : query;
                into.seconds << f[0].toDouble();
                into.mb << f[2].toDouble();
                into.cpu << f[3].toDouble();
            }
        }
    }
    const double timeRatio = minOf(f5.cpu) / minOf(query.cpu);
    const double memoryRatio = minOf(f5.mb) / minOf(query.mb);
    std::printf("SQLite 1,000,000 x 5, %d rounds, min / median\n", kRounds);
    std::printf("  query load   %6.3f / %6.3f s CPU, %6.3f / %6.3f s wall (one status pause), peak %6.1f / "
                "%6.1f MB\n",
                minOf(query.cpu), medianOf(query.cpu), minOf(query.seconds), medianOf(query.seconds),
                minOf(query.mb), medianOf(query.mb));
    std::printf("  F5           %6.3f / %6.3f s CPU, %6.3f / %6.3f s wall (two status pauses), peak %6.1f / "
                "%6.1f MB\n",
                minOf(f5.cpu), medianOf(f5.cpu), minOf(f5.seconds), medianOf(f5.seconds), minOf(f5.mb),
                medianOf(f5.mb));
    std::printf("  F5 time / query   %5.2f CPU, %5.2f wall less the pauses (target <= 1.2: %s)\n", timeRatio,
                (minOf(f5.seconds) - 0.4) / (minOf(query.seconds) - 0.2), verdict(timeRatio, 1.2));
    std::printf("  F5 memory / query %5.2f (target <= 1.5: %s)\n", memoryRatio, verdict(memoryRatio, 1.5));

    QList<double> paste, update;
    for (int round = 0; round < kRounds; ++round) {
        const QList<QByteArray> f = childFigures({QStringLiteral("paste")});
        if (f.size() < 2) {
            std::printf("paste failed\n");
            return 1;
        }
        paste << f[0].toDouble();
        update << f[1].toDouble();
    }
    std::printf("Paste of %d rows x 1 column, %d rounds, min / median\n", kPasteRows, kRounds);
    std::printf("  paste        %6.4f / %6.4f s (target <= 0.1 s: %s)\n", minOf(paste), medianOf(paste),
                minOf(paste) <= 0.1 ? "met" : "MISSED");
    std::printf("  one UPDATE   %6.4f / %6.4f s   paste / UPDATE %5.1f\n", minOf(update), medianOf(update),
                minOf(paste) / std::max(minOf(update), 1e-9));
    return 0;
}
