#pragma once

#include "db/connection.h"

#include <QString>

#include <memory>

// The one shared database connection and the dialect it speaks, for the whole process.

std::unique_ptr<Connection>& MainConnection();

struct DialectRecord {
    QString DBType;
    QString ServerDateExpr;
    QString LikeWildcard;
    QString IdentityQuery;
    // DateQuote lives in GlobalSettings, where start-up puts its first value.
};
DialectRecord& Dialect();

// Opens a new connection object in `connection` (any previous one is released). False when it did
// not open; the error then is in the error log under "ConnectADO:" and the string, passwords masked.
// failure, when given, receives the error's description.
bool ConnectADO(const QString& connectionString, std::unique_ptr<Connection>& connection,
                int commandTimeout = 0, QString* failure = nullptr);

// Records the dialect of `connection`, or of MainConnection when it is null. A given key replaces
// the detected one.
void SetDBType(Connection* connection = nullptr, const QString& dialectKey = {});
// The key SetDBType works out from a provider name and a connection string.
QString dialectKeyFor(const QString& provider, const QString& connectionString);

// The statement being worked on: set by the execution, the maintenance and the table-list
// commands; the script runner and the text import use it as their working buffer.
QString& CurrentSql();

// The connection string for a switch to database `database`: its database key ("Initial Catalog"
// or "Database", wherever it stands) set to the name, every other pair kept in its place; an
// "Initial Catalog" pair added when the string has neither.
QString useDatabaseString(const QString& connectionString, const QString& database);

// The text from its first SQL command word on; "" when it holds none.
QString sGetJustSQL(const QString& text);
