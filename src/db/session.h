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
bool ConnectADO(const QString& connectionString, std::unique_ptr<Connection>& connection, int commandTimeout = 0);

// Records the dialect of `connection`, or of MainConnection when it is null. A given key replaces
// the detected one.
void SetDBType(Connection* connection = nullptr, const QString& dialectKey = {});
// The key SetDBType works out from a provider name and a connection string.
QString dialectKeyFor(const QString& provider, const QString& connectionString);

// The text from its first SQL command word on; "" when it holds none.
QString sGetJustSQL(const QString& text);
