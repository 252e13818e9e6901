// Loading a large SELECT into the result grid, beside the floors of the same read in the same run.
//
//   bench_load                 builds (once) a 1,000,000 x 5 SQLite data set and measures its load in
//                              five rounds, each in fresh processes, the order of the measurements
//                              alternating; with the PostgreSQL test server running
//                              (tools/pg_test_server.sh) 1,000,000 rows from it as well
//   bench_load --child KIND ORDER  one round in a fresh process (so its peak memory is its own)
//
// The floors: a C loop of sqlite3_step with typed column reads, and a libpq loop reading every value
// as psql -At does; the bare forward-only Qt read is the second line. Times are CPU seconds of this
// process and, on PostgreSQL, of the server process that answered it (the server runs on this
// machine); the PostgreSQL read row by row (single-row mode, as the program streams) is a third line.
// Each child prints: floor CPU, bare Qt CPU, ExecSQL CPU, ExecSQL wall seconds, rows, bytes the
// loaded grid holds per row, peak MB, row-by-row CPU (0 on SQLite).

#include "bench_data.h"

#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "db/connection.h"
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
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <ctime>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace {
constexpr int kPostgresRows = 1000000;

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

// The CPU seconds a server process has used so far, from /proc.
double processCpuSeconds(int pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (pid <= 0 || !stat.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses and may hold blanks.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? (fields[11].toDouble() + fields[12].toDouble()) / double(sysconf(_SC_CLK_TCK))
                              : 0;
}

double residentMb() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    statm.open(QIODevice::ReadOnly);
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0) : 0;
}

// The floor on SQLite: the engine's own loop, each column read in its storage class.
double sqliteFloorCpu(const QString& file) {
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_stmt* statement = nullptr;
    const double start = cpuSeconds();
    sqlite3_prepare_v2(db, kQuery.toUtf8().constData(), -1, &statement, nullptr);
    const int fields = sqlite3_column_count(statement);
    qint64 sink = 0;
    while (sqlite3_step(statement) == SQLITE_ROW)
        for (int i = 0; i < fields; ++i)
            switch (sqlite3_column_type(statement, i)) {
            case SQLITE_INTEGER:
                sink += sqlite3_column_int64(statement, i);
                break;
            case SQLITE_FLOAT:
                sink += qint64(sqlite3_column_double(statement, i));
                break;
            case SQLITE_TEXT:
                sink += sqlite3_column_bytes(statement, i) + *sqlite3_column_text(statement, i);
                break;
            default:
                break;
            }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return sink < 0 ? 0 : cpuSeconds() - start;
}

// The floor on PostgreSQL: libpq reading every value as psql -At does (the whole result at once);
// with rowByRow, the same read in single-row mode, one result per row as the program streams them,
// which tells what reading row by row costs beside reading the whole result at once.
double postgresReadCpu(const PgSettings& pg, bool rowByRow) {
    const QByteArray info = QStringLiteral("host=%1 port=%2 dbname=%3 user=%4 password=%5")
                                .arg(pg.host)
                                .arg(pg.port)
                                .arg(pg.database, pg.user, pg.password)
                                .toUtf8();
    PGconn* conn = PQconnectdb(info.constData());
    const int server = PQbackendPID(conn);
    const double start = cpuSeconds() + processCpuSeconds(server);
    PQsendQuery(conn, kQuery.toUtf8().constData());
    if (rowByRow)
        PQsetSingleRowMode(conn);
    qint64 sink = 0;
    while (PGresult* result = PQgetResult(conn)) {
        for (int r = 0; r < PQntuples(result); ++r)
            for (int c = 0; c < PQnfields(result); ++c)
                sink += PQgetlength(result, r, c) + *PQgetvalue(result, r, c);
        PQclear(result);
    }
    const double cpu = cpuSeconds() + processCpuSeconds(server) - start;
    PQfinish(conn);
    return sink < 0 ? 0 : cpu;
}

// The server process of a PostgreSQL connection; 0 for other engines.
int serverPid(const Connection& c) {
    PGconn* conn = postgresConnection(c.database());
    return conn ? PQbackendPID(conn) : 0;
}

// A plain forward-only Qt read of every value.
double bareQtCpu(const QString& connectionString) {
    std::unique_ptr<Connection> c;
    if (!ConnectADO(connectionString, c))
        qFatal("cannot connect for the bare read");
    QSqlQuery q(c->database());
    q.setForwardOnly(true);
    const int server = serverPid(*c);
    const double start = cpuSeconds() + processCpuSeconds(server);
    q.exec(kQuery);
    const int fields = q.record().count();
    while (q.next())
        for (int i = 0; i < fields; ++i)
            q.value(i);
    return cpuSeconds() + processCpuSeconds(server) - start;
}

QString sqliteFile() {
    return benchFolder() + QStringLiteral("/bench.db");
}

int child(const QString& kind, bool floorsFirst) {
    QString cs;
    std::optional<PgSettings> pg;
    if (kind == QLatin1String("sqlite")) {
        cs = QStringLiteral("Driver={SQLite3};Database=") + sqliteFile();
    } else {
        pg = pgSettings();
        cs = QStringLiteral("Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=%4;Pwd=%5")
                 .arg(pg->host)
                 .arg(pg->port)
                 .arg(pg->database, pg->user, pg->password);
    }
    const BenchProgram program(cs);
    double floor = 0, bare = 0, singleRow = 0;
    const auto floors = [&] {
        floor = pg ? postgresReadCpu(*pg, false) : sqliteFloorCpu(sqliteFile());
        singleRow = pg ? postgresReadCpu(*pg, true) : 0;
        bare = bareQtCpu(cs);
    };
    if (floorsFirst)
        floors();
    fmORVIK window;
    window.setEndProcess([] {});
    window.Form_Load();
    const double before = residentMb();
    const int server = MainConnection() ? serverPid(*MainConnection()) : 0;
    QElapsedTimer wall;
    wall.start();
    const double start = cpuSeconds() + processCpuSeconds(server);
    window.queryPage().ExecSQL(kQuery);
    const double cpu = cpuSeconds() + processCpuSeconds(server) - start;
    const double load = wall.elapsed() / 1000.0;
    const int rows = window.ui().fg1->rows() - 1;
    const double bytesPerRow = rows > 0 ? (residentMb() - before) * 1024 * 1024 / rows : 0;
    if (!floorsFirst)
        floors();
    std::printf("%.3f %.3f %.3f %.3f %d %.1f %.1f %.3f\n", floor, bare, cpu, load, rows, bytesPerRow,
                peakResidentMb(), singleRow);
    return 0;
}

// absoluteTarget, when given, is the most CPU seconds the load may take.
bool measure(const QString& kind, const char* label, const char* floorName, double targetRatio,
             double absoluteTarget = 0) {
    constexpr int kRounds = 5;
    QList<double> floor, bare, cpu, wall, perRow, peak, singleRow;
    int rows = 0;
    for (int round = 0; round < kRounds; ++round) {
        const QList<QByteArray> f =
            childFigures({kind, round % 2 ? QStringLiteral("load-first") : QStringLiteral("floors-first")});
        if (f.size() < 8) {
            std::printf("%-28s failed\n", label);
            return false;
        }
        floor << f[0].toDouble();
        bare << f[1].toDouble();
        cpu << f[2].toDouble();
        wall << f[3].toDouble();
        rows = f[4].toInt();
        perRow << f[5].toDouble();
        peak << f[6].toDouble();
        singleRow << f[7].toDouble();
    }
    const double ratio = minOf(cpu) / minOf(floor);
    std::printf("%s, %d rows, %d rounds in alternating order, min / median\n", label, rows, kRounds);
    std::printf("  %-24s %6.3f / %6.3f s CPU\n", floorName, minOf(floor), medianOf(floor));
    if (minOf(singleRow) > 0)
        std::printf("  %-24s %6.3f / %6.3f s CPU\n", "libpq row by row", minOf(singleRow),
                    medianOf(singleRow));
    std::printf("  %-24s %6.3f / %6.3f s CPU\n", "bare Qt forward read", minOf(bare), medianOf(bare));
    std::printf("  %-24s %6.3f / %6.3f s CPU, %6.3f / %6.3f s wall (0.2 s of it the status pause)\n",
                "ExecSQL into the grid", minOf(cpu), medianOf(cpu), minOf(wall), medianOf(wall));
    std::printf("  CPU / floor %5.2f (target <= %.1f: %s)\n", ratio, targetRatio,
                ratio <= targetRatio ? "met" : "MISSED");
    if (absoluteTarget > 0)
        std::printf("  CPU %.3f s (target <= %.1f s: %s)\n", minOf(cpu), absoluteTarget,
                    minOf(cpu) <= absoluteTarget ? "met" : "MISSED");
    std::printf("  grid memory %5.0f B per row (target <= 75: %s), peak %6.1f MB\n", minOf(perRow),
                minOf(perRow) <= 75 ? "met" : "MISSED", minOf(peak));
    return true;
}
} // namespace

int main(int argc, char** argv) {
    if (argc == 4 && QByteArray(argv[1]) == "--child") {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        QApplication app(argc, argv);
        return child(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]) == "floors-first");
    }
    QCoreApplication app(argc, argv);
    std::printf("%d cores\n", QThread::idealThreadCount());
    makeSqliteData(sqliteFile());
    measure(QStringLiteral("sqlite"), "SQLite, 1,000,000 x 5", "typed C loop (floor)", 1.3);
    if (const auto pg = pgSettings(); pg && makePostgresData(*pg))
        measure(QStringLiteral("pg"), "PostgreSQL, 1,000,000 x 5, CPU of program and server",
                "libpq read (floor)", 1.2, 1.2);
    else
        std::printf("PostgreSQL, 1,000,000 x 5: SKIPPED, the test server is not running "
                    "(tools/pg_test_server.sh start build/pgtest)\n");
    return 0;
}
