// Loading 100,000 lines into a table: a CSV file through the text import and a script of INSERT
// batches (GO every 1,000 lines) through the script runner, beside the sqlite3 shell and psql running
// the same INSERT statements inside one transaction, each case in a fresh process.
//
//   bench_import                     measures SQLite, and PostgreSQL when the test server runs
//   bench_import --child KIND ENGINE  one case: csv or script, on sqlite or pg
//
// Each child prints the seconds from the command to its end and the rows in the table.

#include "bench_data.h"

#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/operator.h"
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

#include <cstdio>

namespace {
constexpr int kLines = 100000;
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

void writeInputs() {
    QFile csv(file(QStringLiteral("import.csv")));
    csv.open(QIODevice::WriteOnly);
    QFile script(file(QStringLiteral("import.sql")));
    script.open(QIODevice::WriteOnly);
    QFile reference(file(QStringLiteral("reference.sql")));
    reference.open(QIODevice::WriteOnly);
    csv.write("id,name,amount,day,note\r\n");
    reference.write("BEGIN;\n");
    for (int n = 1; n <= kLines; ++n) {
        const QByteArray values = valuesOf(n).toUtf8();
        csv.write(values + "\r\n");
        const QByteArray insert = "INSERT INTO loaded (id,name,amount,day,note) VALUES (" + values + ");";
        script.write(insert + "\r\n");
        if (n % 1000 == 0)
            script.write("GO\r\n");
        reference.write(insert + "\n");
    }
    reference.write("COMMIT;\n");
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

QString connectionString(const QString& engine) {
    if (engine == QLatin1String("sqlite"))
        return QStringLiteral("Driver={SQLite3};Database=") + file(QStringLiteral("import.db"));
    const QStringList pg = *pgArgs();
    return QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5")
        .arg(pg[0], pg[1], pg[2], pg[3], pg[4]);
}

// A fresh, empty table for each case.
void freshTable(const QString& engine) {
    if (engine == QLatin1String("sqlite")) {
        QFile::remove(file(QStringLiteral("import.db")));
        QProcess::execute(QStringLiteral("sqlite3"), {file(QStringLiteral("import.db")), kCreate});
    } else {
        const QStringList pg = *pgArgs();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), pg[4]);
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(QStringLiteral("psql"),
                {QStringLiteral("-q"), QStringLiteral("-h"), pg[0], QStringLiteral("-p"), pg[1],
                 QStringLiteral("-U"), pg[3], QStringLiteral("-d"), pg[2], QStringLiteral("-c"),
                 QStringLiteral("DROP TABLE IF EXISTS loaded; ") + kCreate});
        p.waitForFinished(-1);
    }
}

double referenceSeconds(const QString& engine) {
    freshTable(engine);
    QProcess p;
    QElapsedTimer t;
    if (engine == QLatin1String("sqlite")) {
        p.setStandardInputFile(file(QStringLiteral("reference.sql")));
        t.start();
        p.start(QStringLiteral("sqlite3"), {file(QStringLiteral("import.db"))});
    } else {
        const QStringList pg = *pgArgs();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("PGPASSWORD"), pg[4]);
        p.setProcessEnvironment(env);
        t.start();
        p.start(QStringLiteral("psql"),
                {QStringLiteral("-q"), QStringLiteral("-h"), pg[0], QStringLiteral("-p"), pg[1],
                 QStringLiteral("-U"), pg[3], QStringLiteral("-d"), pg[2], QStringLiteral("-f"),
                 file(QStringLiteral("reference.sql"))});
    }
    p.waitForFinished(-1);
    return t.elapsed() / 1000.0;
}

int child(const QString& kind, const QString& engine) {
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
        QFile::copy(file(QStringLiteral("import.csv")), file(QStringLiteral("loaded.csv")));
        window.ui().txtFileName->setText(file(QStringLiteral("loaded.csv")));
        t.start();
        window.filePage().cmdLoadTextToDB_Click();
    } else {
        window.ui().txtFileName->setText(file(QStringLiteral("import.sql")));
        t.start();
        window.filePage().cmdScript_Click();
    }
    const double seconds = t.elapsed() / 1000.0;
    window.queryPage().ExecSQL(QStringLiteral("select count(*) from loaded"));
    std::printf("%.3f %s\n", seconds, qPrintable(window.ui().fg1->textMatrix(1, 0)));
    installOperator(nullptr);
    return 0;
}

void measure(const QString& kind, const QString& engine, double reference, const char* label,
             const char* refLabel) {
    freshTable(engine);
    const QList<QByteArray> f = childFigures({kind, engine});
    if (f.size() < 2) {
        std::printf("%-30s failed\n", label);
        return;
    }
    const double seconds = f[0].toDouble();
    std::printf("%-30s %7.3f s, rows %s | %s %7.3f s | ratio %5.2f (target <= 2.0)\n", label, seconds,
                f[1].constData(), refLabel, reference, seconds / reference);
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    }
    QCoreApplication app(argc, argv);
    writeInputs();
    std::printf("100,000 lines x 5 columns; each case in a fresh process\n");
    const double sqliteRef = referenceSeconds(QStringLiteral("sqlite"));
    measure(QStringLiteral("csv"), QStringLiteral("sqlite"), sqliteRef, "SQLite, text import",
            "sqlite3, one transaction");
    measure(QStringLiteral("script"), QStringLiteral("sqlite"), sqliteRef, "SQLite, script",
            "sqlite3, one transaction");
    if (pgArgs()) {
        const double pgRef = referenceSeconds(QStringLiteral("pg"));
        measure(QStringLiteral("csv"), QStringLiteral("pg"), pgRef, "PostgreSQL, text import",
                "psql, one transaction");
        measure(QStringLiteral("script"), QStringLiteral("pg"), pgRef, "PostgreSQL, script",
                "psql, one transaction");
    } else {
        std::printf("PostgreSQL skipped: start tools/pg_test_server.sh start build/pgtest first\n");
    }
    if (qEnvironmentVariableIsEmpty("ORVIK_BENCH_KEEP")) // kept for profiling a child by hand
        for (const char* name : {"import.csv", "loaded.csv", "import.sql", "reference.sql", "import.db"})
            QFile::remove(file(QString::fromLatin1(name)));
    return 0;
}
