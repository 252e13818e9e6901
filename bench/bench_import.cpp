// Loading lines into a table, beside the engines' own shells running the same statements in one
// transaction, each case in a fresh process, in rounds of alternating order:
//   - SQLite: a script of INSERT lines without GO (25,000 / 50,000 / 100,000 lines: time must grow
//     linearly, memory stay flat), a `sqlite3 .dump` of a 100,000-row table, the text import of
//     100,000 lines; each within 1.5x of the sqlite3 shell.
//   - PostgreSQL (when the test server runs): the text import and the script of 100,000 lines, each
//     at least 3x faster than psql, which waits for the answer of every statement.
//
//   bench_import                           measures
//   bench_import --child KIND ENGINE FILE   one case: csv, script or dump, on sqlite or pg
//
// Each child prints the seconds from the command to its end, the rows in the table and its peak
// resident memory.

#include "bench_data.h"

#include "db/session.h"
#include "grid/flex_grid.h"
#include "ui/file_page.h"
#include "ui/fm_orvik.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QThread>

#include <cstdio>
#include <functional>

namespace {
constexpr int kRounds = 3;
const QString kCreate =
    QStringLiteral("CREATE TABLE loaded (id INTEGER, name VARCHAR(40), amount NUMERIC(12,2), "
                   "day DATE, note VARCHAR(40))");

QString file(const QString& name) {
    return benchFolder() + QLatin1Char('/') + name;
}

QString valuesOf(int n) {
    return QStringLiteral("%1,'客戶名稱第%1號',%2,'2003/05/%3','note, %1'")
        .arg(n)
        .arg(n * 1.25, 0, 'f', 2)
        .arg(1 + n % 28, 2, 10, QLatin1Char('0'));
}

std::optional<QStringList> pgArgs() {
    QFile env(QStringLiteral(ORVIK_PG_STATE_DIR "/env"));
    if (!env.open(QIODevice::ReadOnly))
        return std::nullopt;
    QMap<QByteArray, QString> values;
    for (const QByteArray& line : env.readAll().split('\n'))
        if (const qsizetype eq = line.indexOf('='); eq > 0)
            values[line.left(eq)] = QString::fromUtf8(line.mid(eq + 1));
    return QStringList{values.value("ORVIK_PG_HOST"), values.value("ORVIK_PG_PORT"),
                       values.value("ORVIK_PG_DATABASE"), values.value("ORVIK_PG_USER"),
                       values.value("ORVIK_PG_PASSWORD")};
}

// Runs sqlite3 on the bench database, or psql on the test server; stdin from a file when given.
int runShell(const QString& engine, const QStringList& arguments, const QString& input = {}) {
    QProcess p;
    if (!input.isEmpty())
        p.setStandardInputFile(input);
    p.setStandardOutputFile(QProcess::nullDevice());
    if (engine == QLatin1String("sqlite")) {
        p.start(QStringLiteral("sqlite3"), QStringList{file(QStringLiteral("import.db"))} + arguments);
    } else {
        const QStringList pg = *pgArgs();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), pg[4]);
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("psql"),
                QStringList{QStringLiteral("-X"), QStringLiteral("-q"), QStringLiteral("-h"), pg[0],
                            QStringLiteral("-p"), pg[1], QStringLiteral("-U"), pg[3], QStringLiteral("-d"),
                            pg[2]} +
                    arguments);
    }
    p.waitForFinished(-1);
    return p.exitCode();
}

void writeInputs(int lines) {
    const QString n = QString::number(lines);
    QFile csv(file(QStringLiteral("import_%1.csv").arg(n)));
    QFile script(file(QStringLiteral("script_%1.sql").arg(n)));
    QFile reference(file(QStringLiteral("reference_%1.sql").arg(n)));
    for (QFile* f : {&csv, &script, &reference})
        f->open(QIODevice::WriteOnly);
    csv.write("id,name,amount,day,note\r\n");
    reference.write("BEGIN;\n");
    for (int k = 1; k <= lines; ++k) {
        const QByteArray values = valuesOf(k).toUtf8();
        csv.write(values + "\r\n");
        const QByteArray insert = "INSERT INTO loaded (id,name,amount,day,note) VALUES (" + values + ");";
        script.write(insert + "\r\n");
        reference.write(insert + "\n");
    }
    reference.write("COMMIT;\n");
}

// An empty table for each case; for a dump, an empty database.
void freshTable(const QString& engine, bool withTable = true) {
    if (engine == QLatin1String("sqlite")) {
        QFile::remove(file(QStringLiteral("import.db")));
        if (withTable)
            runShell(engine, {kCreate});
        else
            runShell(engine, {QStringLiteral("VACUUM")});
    } else {
        runShell(engine, {QStringLiteral("-c"), QStringLiteral("DROP TABLE IF EXISTS loaded; ") + kCreate});
    }
}

// A `sqlite3 .dump` of a table of the lines, as a program would be given one.
void writeDump(int lines) {
    freshTable(QStringLiteral("sqlite"));
    runShell(QStringLiteral("sqlite"), {}, file(QStringLiteral("reference_%1.sql").arg(lines)));
    QProcess p;
    p.setStandardOutputFile(file(QStringLiteral("dump_%1.sql").arg(lines)));
    p.start(QStringLiteral("sqlite3"), {file(QStringLiteral("import.db")), QStringLiteral(".dump")});
    p.waitForFinished(-1);
}

QString connectionString(const QString& engine) {
    if (engine == QLatin1String("sqlite"))
        return QStringLiteral("Driver={SQLite3};Database=") + file(QStringLiteral("import.db"));
    const QStringList pg = *pgArgs();
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5")
        .arg(pg[0], pg[1], pg[2], pg[3], pg[4]);
}

int child(const QString& kind, const QString& engine, const QString& input) {
    DefaultsOperator answers;
    installOperator(&answers);
    const BenchProgram program(connectionString(engine));
    fmORVIK window;
    window.setEndProcess([] {});
    window.Form_Load();
    QElapsedTimer t;
    if (kind == QLatin1String("csv")) {
        // The table name asked for is answered with its default, the file's base name.
        QFile::remove(file(QStringLiteral("loaded.csv")));
        QFile::copy(input, file(QStringLiteral("loaded.csv")));
        window.ui().txtFileName->setText(file(QStringLiteral("loaded.csv")));
        t.start();
        window.filePage().cmdLoadTextToDB_Click();
    } else {
        window.ui().txtFileName->setText(input);
        t.start();
        window.filePage().cmdScript_Click();
    }
    const double seconds = t.elapsed() / 1000.0;
    window.queryPage().ExecSQL(QStringLiteral("select count(*) from loaded"));
    std::printf("%.3f %s %.1f\n", seconds, qPrintable(window.ui().fg1->textMatrix(1, 0)), peakResidentMb());
    installOperator(nullptr);
    return 0;
}

struct Figures {
    QList<double> ours;
    QList<double> shell;
    QByteArray rows;
    double peakMb = 0;
};

// Rounds of the case and the shell's run of the reference, alternating which goes first.
Figures measure(const QString& kind, const QString& engine, const QString& input, const QString& reference,
                bool referenceMakesTable) {
    Figures f;
    const auto ours = [&] {
        freshTable(engine, kind != QLatin1String("dump"));
        const QList<QByteArray> c = childFigures({kind, engine, input});
        if (c.size() >= 3) {
            f.ours << c[0].toDouble();
            f.rows = c[1];
            f.peakMb = std::max(f.peakMb, c[2].toDouble());
        }
    };
    const auto shell = [&] {
        freshTable(engine, !referenceMakesTable);
        QElapsedTimer t;
        t.start();
        if (engine == QLatin1String("sqlite"))
            runShell(engine, {}, reference);
        else
            runShell(engine, {QStringLiteral("-f"), reference});
        f.shell << t.elapsed() / 1000.0;
    };
    for (int round = 0; round < kRounds; ++round) {
        if (round % 2) {
            shell();
            ours();
        } else {
            ours();
            shell();
        }
    }
    return f;
}

void print(const char* label, const Figures& f, const char* shellLabel, double target) {
    const double ratio = medianOf(f.ours) / std::max(medianOf(f.shell), 1e-6);
    const bool met = ratio <= target;
    std::printf("%-34s %6.3f / %6.3f s, rows %s, peak %5.1f MB | %s %6.3f / %6.3f s | ratio %5.2f, "
                "target <= %.2f: %s\n",
                label, minOf(f.ours), medianOf(f.ours), f.rows.constData(), f.peakMb, shellLabel,
                minOf(f.shell), medianOf(f.shell), ratio, target, met ? "met" : "MISSED");
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 5 && QByteArray(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]),
                     QString::fromLocal8Bit(argv[4]));
    }
    QCoreApplication app(argc, argv);
    const QList<int> sizes = {25000, 50000, 100000};
    for (int lines : sizes)
        writeInputs(lines);
    writeDump(100000);
    std::printf("min / median of %d rounds, each case in a fresh process; %d cores\n", kRounds,
                QThread::idealThreadCount());
    const QString sqlite = QStringLiteral("sqlite");
    for (int lines : sizes) {
        const QString n = QString::number(lines);
        const QByteArray label = "SQLite, script without GO, " + n.toLatin1();
        print(label.constData(),
              measure(QStringLiteral("script"), sqlite, file(QStringLiteral("script_%1.sql").arg(n)),
                      file(QStringLiteral("reference_%1.sql").arg(n)), false),
              "sqlite3, one transaction", 1.5);
    }
    print("SQLite, sqlite3 .dump, 100000 rows",
          measure(QStringLiteral("dump"), sqlite, file(QStringLiteral("dump_100000.sql")),
                  file(QStringLiteral("dump_100000.sql")), true),
          "sqlite3 on the dump     ", 1.5);
    print("SQLite, text import, 100000",
          measure(QStringLiteral("csv"), sqlite, file(QStringLiteral("import_100000.csv")),
                  file(QStringLiteral("reference_100000.sql")), false),
          "sqlite3, one transaction", 1.5);
    if (pgArgs()) {
        const QString pg = QStringLiteral("pg");
        print("PostgreSQL, text import, 100000",
              measure(QStringLiteral("csv"), pg, file(QStringLiteral("import_100000.csv")),
                      file(QStringLiteral("reference_100000.sql")), false),
              "psql, one transaction   ", 1.0 / 3);
        print("PostgreSQL, script without GO, 100000",
              measure(QStringLiteral("script"), pg, file(QStringLiteral("script_100000.sql")),
                      file(QStringLiteral("reference_100000.sql")), false),
              "psql, one transaction   ", 1.0 / 3);
    } else {
        std::printf("PostgreSQL skipped: start tools/pg_test_server.sh start build/pgtest first\n");
    }
    if (qEnvironmentVariableIsEmpty("ORVIK_BENCH_KEEP")) // kept for profiling a child by hand
        for (const QString& name :
             QDir(benchFolder())
                 .entryList({QStringLiteral("import_*"), QStringLiteral("script_*"),
                             QStringLiteral("reference_*"), QStringLiteral("dump_*"),
                             QStringLiteral("loaded.csv"), QStringLiteral("import.db")}))
            QFile::remove(file(name));
    return 0;
}
