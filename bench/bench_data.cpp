#include "bench_data.h"

#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "db/connection.h"
#include "db/session.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {
const char* kFill = "WITH RECURSIVE c(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM c WHERE n < %1) "
                    "INSERT INTO bench SELECT n, '客戶名稱第' || n || '號', n * 1.25, "
                    "date('2000-01-01', '+' || (n % 9000) || ' days'), CASE WHEN n % 3 = 0 THEN NULL ELSE "
                    "'note ' || n END FROM c";

} // namespace

QString benchFolder() {
    const QString folder = QDir::tempPath() + QStringLiteral("/orvik-bench");
    QDir().mkpath(folder);
    return folder;
}

void makeSqliteData(const QString& path) {
    if (QFile::exists(path))
        return;
    std::printf("building %d rows in %s ...\n", kSqliteRows, qPrintable(path));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        db.setDatabaseName(path + QStringLiteral(".part"));
        db.open();
        QSqlQuery q(db);
        q.exec(QStringLiteral("CREATE TABLE bench (id INTEGER PRIMARY KEY, name VARCHAR(40), amount REAL, "
                              "day DATE, note TEXT)"));
        if (!q.exec(QString::fromUtf8(kFill).arg(kSqliteRows)))
            qFatal("%s", qPrintable(q.lastError().text()));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    QFile::rename(path + QStringLiteral(".part"), path);
}

double minOf(QList<double> v) {
    return v.isEmpty() ? 0 : *std::min_element(v.cbegin(), v.cend());
}

double medianOf(QList<double> v) {
    if (v.isEmpty())
        return 0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double peakResidentMb() {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

double cpuSeconds() {
    timespec now = {};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}

BenchProgram::BenchProgram(const QString& connectionString) {
    prepareEngineLibraries(); // as the program's start does
    QStandardPaths::setTestModeEnabled(true);
    ProgramInfo::setProgramPath(m_folder.path(), QStringLiteral("ORVIK"));
    QFile::copy(QStringLiteral(ORVIK_PROGRAM_DIR "/ZKMSG.MDB"),
                m_folder.filePath(QStringLiteral("ZKMSG.MDB")));
    QFile profiles(m_folder.filePath(QStringLiteral("CntStr.txt")));
    profiles.open(QIODevice::WriteOnly);
    profiles.write((connectionString + QStringLiteral("\tbench\r\n")).toUtf8());
    profiles.close();
    InitGlobal(QStringLiteral("ORVIK.INI"), m_folder.path());
    InitMsgDB();
}

BenchProgram::~BenchProgram() {
    MainConnection().reset();
    CloseMsgDB();
}

QList<QByteArray> childFigures(const QStringList& arguments) {
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    p.setProcessEnvironment(env);
    p.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + arguments);
    p.waitForFinished(-1);
    return p.readAllStandardOutput().trimmed().split('\n').last().split(' ');
}
