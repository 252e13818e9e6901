#include "db/session.h"

#include "app/errors.h"
#include "app/global_settings.h"
#include "app/run_log.h"
#include "db/connection_string.h"

#include <QRegularExpression>

std::unique_ptr<Connection>& MainConnection() {
    static std::unique_ptr<Connection> connection;
    return connection;
}

DialectRecord& Dialect() {
    static DialectRecord record;
    return record;
}

bool ConnectADO(const QString& connectionString, std::unique_ptr<Connection>& connection, int commandTimeout,
                QString* failure) {
    try {
        connection = std::make_unique<Connection>();
        connection->open(connectionString, commandTimeout);
        return true;
    } catch (...) {
        const AppError error = currentError(std::current_exception());
        LogError(QStringLiteral("ConnectADO:") + ConnectionString::masked(connectionString), error);
        if (failure)
            *failure = error.description();
        return false;
    }
}

QString dialectKeyFor(const QString& provider, const QString& connectionString) {
    // Found "at a position greater than 1": a string that starts with the word does not count.
    if (connectionString.indexOf(QLatin1String("PostgreSQL"), 0, Qt::CaseInsensitive) > 0)
        return QStringLiteral("POSTGRE");
    if (connectionString.indexOf(QLatin1String("SQLite3"), 0, Qt::CaseInsensitive) > 0)
        return QStringLiteral("SQLITE3");
    return provider.left(7).toUpper();
}

void SetDBType(Connection* connection, const QString& dialectKey) {
    guarded(QStringLiteral("basADODB_SetDBType"), [&] {
        Connection* c = connection ? connection : MainConnection().get();
        if (!c)
            throw Errors::objectNotSet();
        const QString key =
            dialectKey.isEmpty() ? dialectKeyFor(c->provider(), c->connectionString()) : dialectKey;
        struct Row {
            const char* key;
            const char* dbType;
            const char* serverDate;
            const char* dateQuote;
            const char* identity;
        };
        static const Row rows[] = {
            {"SQLITE3", "SQLITE", "strftime('%Y-%m-%d %H:%M:%S' , 'now', 'localtime')", "'",
             " SELECT last_insert_rowid() AS NewRNo "},
            {"SQLOLED", "MS_SQL", "getDate()", "'", " SELECT @@IDENTITY AS 'NewRNo' "},
            {"MSDAORA", "ORACLE", "SYSDATE", "TO_DATE", " SELECT @@IDENTITY AS 'NewRNo' "},
            {"MSDASQL", "PG_SQL", "now()", "'", " SELECT lastval() AS NewRNo "},
            {"MICROSO", "ACCESS", "now()", "#", " SELECT @@IDENTITY AS 'NewRNo' "},
            {"POSTGRE", "PG_SQL", "now()", "'", " SELECT lastval() AS NewRNo "},
            {nullptr, "SQL_DB", "getDate()", "'", " SELECT @@IDENTITY AS 'NewRNo' "},
        };
        const Row* row = std::begin(rows);
        while (row->key && key != QLatin1String(row->key))
            ++row;
        DialectRecord& d = Dialect();
        d.DBType = QString::fromUtf8(row->dbType);
        d.ServerDateExpr = QString::fromUtf8(row->serverDate);
        d.LikeWildcard = QStringLiteral("%");
        GlobalSettings().DateQuote = QString::fromUtf8(row->dateQuote);
        d.IdentityQuery = QString::fromUtf8(row->identity);
    });
}

QString& CurrentSql() {
    static QString text;
    return text;
}

QString useDatabaseString(const QString& connectionString, const QString& database) {
    QStringList pairs;
    bool set = false;
    const ConnectionString parsed = ConnectionString::parse(connectionString);
    for (const ConnectionString::Pair& pair : parsed.pairs()) {
        const bool databaseKey =
            !set && (pair.key.compare(QLatin1String("Initial Catalog"), Qt::CaseInsensitive) == 0 ||
                     pair.key.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0);
        pairs << pair.key + u'=' + ConnectionString::quoteValue(databaseKey ? database : pair.value);
        set = set || databaseKey;
    }
    if (!set)
        pairs << QStringLiteral("Initial Catalog=") + ConnectionString::quoteValue(database);
    return pairs.join(u';');
}

QString sGetJustSQL(const QString& text) {
    static const char* const words[] = {"INSERT", "UPDATE", "DELETE",    "SELECT", "EXEC ", "CREATE",
                                        "DROP ",  "SHOW ",  "TRUNCATE ", "SERVER", "USE"};
    qsizetype best = text.size();
    for (const char* word : words) {
        const qsizetype at = text.indexOf(QLatin1String(word), 0, Qt::CaseInsensitive);
        if (at >= 0 && at < best)
            best = at;
    }
    // A statement that opens with named queries (WITH name AS ( ... ) SELECT ...) starts at its
    // WITH: cut at the SELECT inside the first query, it would be no statement at all.
    static const QRegularExpression withQuery(
        QStringLiteral("\\bWITH\\s+(RECURSIVE\\s+)?(\\w+|\"[^\"]+\"|\\[[^\\]]+\\])\\s*(\\([^()]*\\)\\s*)?"
                       "AS\\s*((NOT\\s+)?MATERIALIZED\\s*)?\\("),
        QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch m = withQuery.match(text); m.hasMatch() && m.capturedStart() < best)
        best = m.capturedStart();
    return best == text.size() ? QString() : text.mid(best);
}
