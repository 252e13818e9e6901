#pragma once

#include <QString>
#include <QTemporaryDir>

// The real databases the tests use.

// The private PostgreSQL server the test run started. Fails the test (QFAIL) when it is not running.
struct PgServer {
    QString host;
    int port = 0;
    QString user;
    QString password;
    QString database;

    // Reads the server's state file; false when the server was not started.
    bool load();
    // "Driver={PostgreSQL Unicode};Server=...;Port=...;Database=...;Uid=...;" followed by the
    // password clause ("Pwd=..." when none is given).
    QString connectionString(const QString& passwordClause) const;
    QString connectionString() const;
    // Runs statements on the server, one by one, through its own connection; false with a
    // warning at the first that fails.
    bool exec(const QStringList& statements) const;
};

// What a test that needs the server says when it was not started.
inline constexpr const char* kPgNotRunning =
    "The PostgreSQL test server is not running; start the tests with tools/test.sh or ctest.";

// ODBC drivers registered from the tests' own odbcinst.ini (through ODBCSYSINI), with data
// sources for the PostgreSQL server and an SQLite file. Install once, before any ODBC call.
class OdbcEnvironment {
public:
    // sqliteFile may be empty; pg may be null when the server is not needed.
    void install(const PgServer* pg, const QString& sqliteFile);
    QString folder() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};

// Creates an SQLite file from statements (separated by ";\n").
void makeSqliteDatabase(const QString& path, const QString& script);
