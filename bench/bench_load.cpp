// Loading a large SELECT into the result grid, beside a bare forward-only read of the same query.
//
//   bench_load                 builds (once) a 1,000,000 x 5 SQLite data set, measures it, and, when
//                              the PostgreSQL test server runs (tools/pg_test_server.sh), 100,000 rows
//                              from it as well
//   bench_load --child KIND    one measurement in a fresh process (so its peak memory is its own)
//
// Each child prints: bare-read seconds, ExecSQL seconds, rows shown, peak resident MB.

#include "bench_data.h"

#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "db/session.h"
#include "grid/flex_grid.h"
#include "ui/fm_orvik.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

namespace {
constexpr int kPostgresRows = 100000;

struct PgSettings {
    QString host, user, password, database;
    int port = 0;
};

std::optional<PgSettings> pgSettings() {
    QFile file(QStringLiteral(ORVIK_PG_STATE_DIR "/env"));
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    PgSettings pg;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const QList<QByteArray> kv = line.split('=');
        if (kv.size() < 2)
            continue;
        const QString value = QString::fromUtf8(line.mid(kv[0].size() + 1));
        if (kv[0] == "ORVIK_PG_HOST")
            pg.host = value;
        else if (kv[0] == "ORVIK_PG_PORT")
            pg.port = value.toInt();
        else if (kv[0] == "ORVIK_PG_USER")
            pg.user = value;
        else if (kv[0] == "ORVIK_PG_PASSWORD")
            pg.password = value;
        else if (kv[0] == "ORVIK_PG_DATABASE")
            pg.database = value;
    }
    return pg.port > 0 ? std::optional(pg) : std::nullopt;
}

bool makePostgresData(const PgSettings& pg) {
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("make"));
        db.setHostName(pg.host);
        db.setPort(pg.port);
        db.setDatabaseName(pg.database);
        db.setUserName(pg.user);
        db.setPassword(pg.password);
        if (db.open()) {
            QSqlQuery q(db);
            q.exec(QStringLiteral("DROP TABLE IF EXISTS bench"));
            q.exec(QStringLiteral("CREATE TABLE bench (id INTEGER PRIMARY KEY, name VARCHAR(40), amount "
                                  "DOUBLE PRECISION, day DATE, note TEXT)"));
            ok = q.exec(
                QStringLiteral(
                    "INSERT INTO bench SELECT n, '客戶名稱第' || n || '號', n * 1.25, "
                    "DATE '2000-01-01' + (n % 9000), CASE WHEN n % 3 = 0 THEN NULL ELSE 'note ' || n END "
                    "FROM generate_series(1, %1) AS n")
                    .arg(kPostgresRows));
        }
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    return ok;
}

// A plain forward-only read of every value: the floor any loader stands on.
double bareReadSeconds(const QString& connectionString) {
    std::unique_ptr<Connection> c;
    if (!ConnectADO(connectionString, c))
        qFatal("cannot connect for the bare read");
    QSqlQuery q(c->database());
    q.setForwardOnly(true);
    QElapsedTimer t;
    t.start();
    q.exec(kQuery);
    const int fields = q.record().count();
    qint64 rows = 0;
    while (q.next()) {
        for (int i = 0; i < fields; ++i)
            q.value(i);
        ++rows;
    }
    return t.elapsed() / 1000.0;
}

int child(const QString& kind) {
    QString cs;
    if (kind == QLatin1String("sqlite")) {
        cs = QStringLiteral("Driver={SQLite3};Database=") + benchFolder() + QStringLiteral("/bench.db");
    } else {
        const auto pg = pgSettings();
        cs = QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5")
                 .arg(pg->host)
                 .arg(pg->port)
                 .arg(pg->database, pg->user, pg->password);
    }
    const BenchProgram program(cs);

    const double bare = bareReadSeconds(cs);
    fmORVIK window;
    window.setEndProcess([] {});
    window.Form_Load();
    QElapsedTimer t;
    t.start();
    window.queryPage().ExecSQL(kQuery);
    const double load = t.elapsed() / 1000.0;
    const int rows = window.ui().fg1->rows() - 1;
    std::printf("%.3f %.3f %d %.1f\n", bare, load, rows, peakResidentMb());
    return 0;
}

bool measure(const QString& kind, const char* label, double targetRatio, double targetMb) {
    const QList<QByteArray> f = childFigures({kind});
    if (f.size() < 4) {
        std::printf("%-28s failed\n", label);
        return false;
    }
    const double bare = f[0].toDouble(), load = f[1].toDouble(), mb = f[3].toDouble();
    // ExecSQL ends with the status message, which pauses 0.2 s by design; the ratio leaves it out.
    const double shown = load - 0.2;
    std::printf(
        "%-26s rows %8d | bare read %6.3f s | ExecSQL %6.3f s (rows shown after %6.3f s) | ratio %5.2f "
        "(target <= %.1f) | peak %6.1f MB (target <= %.0f)\n",
        label, f[2].toInt(), bare, load, shown, shown / bare, targetRatio, mb, targetMb);
    return true;
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
    measure(QStringLiteral("sqlite"), "SQLite, 1,000,000 x 5", 1.5, 300);
    if (const auto pg = pgSettings(); pg && makePostgresData(*pg))
        measure(QStringLiteral("pg"), "PostgreSQL, 100,000 x 5", 1.5, 300);
    else
        std::printf(
            "PostgreSQL, 100,000 x 5      skipped: start tools/pg_test_server.sh start build/pgtest first\n");
    return 0;
}
