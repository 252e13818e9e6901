#pragma once

#include "db/engine_route.h"

#include <QList>
#include <QString>

class QSqlDriver;

// A table as a statement names it: its dot-separated parts, each written quoted or not. Kept as
// written, so that the table is found again the way the server found it for the statement.
struct TableReference {
    struct Part {
        QString name;
        bool quoted = false;
    };
    QList<Part> parts;

    bool isEmpty() const { return parts.isEmpty(); }
    // The parts without their quotes, for messages.
    QString displayName() const;
    // The last part, the table's own name.
    QString tableName() const { return parts.isEmpty() ? QString() : parts.last().name; }
    // The name written for `driver` so that it reaches the same table: a quoted part exactly as
    // written, an unquoted one folded as the server folds unquoted names.
    QString sqlName(const QSqlDriver* driver, ServerKind server) const;

    // Reads "name", "schema.name", ..., with parts quoted by "", [] or ``; empty when the text
    // is not such a name.
    static TableReference parse(const QString& text);
    // The one table "SELECT ... FROM table [alias] [WHERE|ORDER BY|LIMIT ...]" reads; empty with
    // a reason when the statement reads more than one plain table.
    static TableReference ofSelect(const QString& sql, QString* reason);
};
