#pragma once

#include "db/engine_route.h"

#include <QString>
#include <QStringView>

// How one engine reads the text of a script: its comments, its quotes and where its statements end,
// as that engine's own shell cuts them.
struct ScriptSyntax {
    enum class Ends {
        Semicolon,      // every ";" outside quotes and comments
        SqliteComplete, // a ";" where SQLite says the statement is complete (trigger bodies hold ";")
        PostgresBlocks, // a ";" outside parentheses and outside a function's BEGIN ATOMIC ... END body
        TransactSql,    // a ";" outside BEGIN ... END and CASE ... END; a routine or view runs to GO
    };
    ServerKind server = ServerKind::Other;
    Ends ends = Ends::Semicolon;
    bool nestedComments = false;   // "/* /* */ */" is one comment
    bool dollarQuotes = false;     // $tag$ ... $tag$ bodies
    bool escapeStrings = false;    // E'...' takes a backslashed quote as text
    bool backslashEscapes = false; // every '...' and "..." does
    bool bracketNames = false;     // [name]
    bool backtickNames = false;    // `name`
    bool hashComments = false;     // "#" to the line end

    static ScriptSyntax of(ServerKind server);
};

// What a statement of a script is for the run: whether it rules transactions (BEGIN, COMMIT,
// SAVEPOINT...), and whether it must run outside any transaction the run holds (it cannot run in
// one, or does something else there than it does alone: VACUUM, ATTACH, ALTER TYPE ... ADD VALUE).
enum class ScriptStatementKind { Plain, TransactionControl, RunsAlone };
ScriptStatementKind scriptStatementKind(QStringView statement, ServerKind server);
// Whether the statement is PostgreSQL's COPY ... FROM STDIN, whose rows follow it in the script.
bool copiesFromScript(QStringView statement);
// Whether the statement is a COPY whose rows travel between the server and the client (STDIN or
// STDOUT), which only a client that speaks the copy protocol can run.
bool copiesThroughClient(QStringView statement);
// Whether a COMMIT or ROLLBACK begins the next transaction as it ends one (AND CHAIN).
bool chainsTransaction(QStringView statement);
// Whether a transaction-control statement ends its transaction without keeping it (ROLLBACK, ABORT;
// not ROLLBACK TO a savepoint).
bool discardsTransaction(QStringView statement);
