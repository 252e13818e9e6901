#include "db/script_syntax.h"

#include <QHash>
#include <QRegularExpression>

#include <array>

ScriptSyntax ScriptSyntax::of(ServerKind server) {
    ScriptSyntax s;
    s.server = server;
    switch (server) {
    case ServerKind::Sqlite:
        s.ends = Ends::SqliteComplete;
        s.bracketNames = true;
        s.backtickNames = true;
        break;
    case ServerKind::Postgres:
        s.ends = Ends::PostgresBlocks;
        s.nestedComments = true;
        s.dollarQuotes = true;
        s.escapeStrings = true;
        break;
    case ServerKind::SqlServer:
        s.ends = Ends::TransactSql;
        s.nestedComments = true;
        s.bracketNames = true;
        break;
    case ServerKind::Mysql:
        s.backslashEscapes = true;
        s.backtickNames = true;
        s.hashComments = true;
        break;
    case ServerKind::Other: // Access files and whatever else ODBC reaches
        s.bracketNames = true;
        break;
    }
    return s;
}

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// A word of a statement, compared with keywords in any case.
struct Word {
    QStringView text;
    bool operator==(const char16_t* keyword) const {
        const QStringView other(keyword);
        return text.size() == other.size() && text.compare(other, Qt::CaseInsensitive) == 0;
    }
    bool isEmpty() const { return text.isEmpty(); }
};
using Words = std::array<Word, 3>;

// The first words of a statement.
Words leadingWords(QStringView statement) {
    Words words;
    qsizetype i = 0;
    for (Word& word : words) {
        while (i < statement.size() && !isWordChar(statement[i])) {
            if (!statement[i].isSpace())
                return words; // a word is followed by something other than a word: the rest is no keyword
            ++i;
        }
        const qsizetype start = i;
        while (i < statement.size() && isWordChar(statement[i]))
            ++i;
        word.text = statement.mid(start, i - start);
    }
    return words;
}

// Whether the text holds an ASCII keyword (in upper case) in any case; Qt's case-insensitive
// search costs more than an INSERT's parse.
bool containsAsciiWord(QStringView text, QStringView upperWord) {
    const qsizetype n = upperWord.size();
    for (qsizetype i = 0; i + n <= text.size(); ++i) {
        qsizetype k = 0;
        while (k < n && (text[i + k].unicode() & ~char16_t(0x20)) == upperWord[k].unicode())
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

// Whether a pattern is found in the statement's first 400 characters, its text a prefilter: the
// pattern is asked only of a statement that holds that word.
bool matches(QStringView statement, QStringView word, const char* pattern) {
    const QStringView head = statement.left(400);
    if (!containsAsciiWord(head, word))
        return false;
    thread_local QHash<const char*, QRegularExpression> compiled;
    auto found = compiled.find(pattern);
    if (found == compiled.end())
        found =
            compiled.insert(pattern, QRegularExpression(QString::fromLatin1(pattern),
                                                        QRegularExpression::CaseInsensitiveOption |
                                                            QRegularExpression::DotMatchesEverythingOption));
    return found->match(head).hasMatch();
}

bool mentionsTransactionTime(QStringView statement) {
    const bool maybe = containsAsciiWord(statement, u"NOW") || containsAsciiWord(statement, u"CURRENT") ||
                       containsAsciiWord(statement, u"LOCALTIME") ||
                       containsAsciiWord(statement, u"TRANSACTION") || containsAsciiWord(statement, u"XACT");
    static const QRegularExpression words(
        QStringLiteral("\\b(now\\s*\\(|current_(timestamp|time|date)\\b|localtime(stamp)?\\b|"
                       "transaction_timestamp\\b|txid_current|pg_current_xact_id)"),
        QRegularExpression::CaseInsensitiveOption);
    return maybe && words.match(statement).hasMatch();
}

bool postgresRunsAlone(const Words& w, QStringView statement) {
    // COPY talks with the client in a protocol of its own, which a pipeline cannot carry.
    if (w[0] == u"VACUUM" || w[0] == u"CALL" || w[0] == u"DO" || w[0] == u"DISCARD" || w[0] == u"COPY")
        return true;
    // A procedure or DO block may COMMIT; outside a transaction, as psql runs it, it can.
    if ((w[0] == u"CREATE" || w[0] == u"DROP") &&
        (w[1] == u"DATABASE" || w[1] == u"TABLESPACE" || w[1] == u"SUBSCRIPTION"))
        return true;
    if (w[0] == u"ALTER" && (w[1] == u"SYSTEM" || w[1] == u"SUBSCRIPTION"))
        return true;
    if (w[0] == u"REINDEX" && (w[1] == u"SYSTEM" || w[1] == u"DATABASE"))
        return true;
    if (w[0] == u"CLUSTER" && w[1].isEmpty())
        return true;
    // A new enum value cannot be used until the transaction that added it has committed.
    if (w[0] == u"ALTER" && w[1] == u"TYPE" && matches(statement, u"VALUE", "\\bADD\\s+VALUE\\b"))
        return true;
    // SET LOCAL, SET TRANSACTION and SET CONSTRAINTS outside a transaction last for that statement
    // alone; LOCK is refused there; a table ON COMMIT DROP goes at once.
    if (w[0] == u"SET" &&
        (w[1] == u"LOCAL" || w[1] == u"TRANSACTION" || w[1] == u"SESSION" || w[1] == u"CONSTRAINTS"))
        return true;
    if (w[0] == u"LOCK" || (w[0] == u"CREATE" && matches(statement, u"COMMIT", "\\bON\\s+COMMIT\\b")))
        return true;
    // The transaction's own time and number: alone, a statement has a transaction of its own.
    if (mentionsTransactionTime(statement))
        return true;
    return (w[0] == u"CREATE" || w[0] == u"DROP" || w[0] == u"REINDEX" || w[0] == u"REFRESH") &&
           matches(statement, u"CONCURRENTLY", "\\bCONCURRENTLY\\b");
}

bool runsAlone(QStringView statement, ServerKind server, const Words& w) {
    switch (server) {
    case ServerKind::Sqlite: // a ROLLBACK conflict takes back the whole transaction it meets
        return w[0] == u"VACUUM" || w[0] == u"ATTACH" || w[0] == u"DETACH" || w[0] == u"PRAGMA" ||
               matches(statement, u"ROLLBACK", "\\bOR\\s+ROLLBACK\\b");
    case ServerKind::Postgres:
        return postgresRunsAlone(w, statement);
    case ServerKind::SqlServer:
        return w[0] == u"BACKUP" || w[0] == u"RESTORE" || w[0] == u"RECONFIGURE" ||
               ((w[0] == u"CREATE" || w[0] == u"ALTER" || w[0] == u"DROP") && w[1] == u"DATABASE");
    case ServerKind::Mysql: // each of these commits the transaction it meets
        for (const char16_t* word :
             {u"CREATE", u"ALTER", u"DROP", u"RENAME", u"TRUNCATE", u"GRANT", u"REVOKE", u"LOCK", u"UNLOCK",
              u"ANALYZE", u"OPTIMIZE", u"REPAIR", u"FLUSH", u"LOAD", u"SET", u"CALL"})
            if (w[0] == word)
                return true;
        return false;
    case ServerKind::Other:
        break;
    }
    return w[0] == u"VACUUM" || ((w[0] == u"CREATE" || w[0] == u"DROP") && w[1] == u"DATABASE");
}

bool controlsTransactions(ServerKind server, const Words& w) {
    const Word& first = w[0];
    if (server == ServerKind::SqlServer) {
        if (first == u"BEGIN")
            return w[1] == u"TRAN" || w[1] == u"TRANSACTION" || w[1] == u"DISTRIBUTED";
        if (first == u"SAVE")
            return w[1] == u"TRAN" || w[1] == u"TRANSACTION";
        return first == u"COMMIT" || first == u"ROLLBACK";
    }
    if (first == u"START")
        return w[1] == u"TRANSACTION";
    if (first == u"PREPARE")
        return w[1] == u"TRANSACTION";
    for (const char16_t* word :
         {u"BEGIN", u"COMMIT", u"END", u"ROLLBACK", u"ABORT", u"SAVEPOINT", u"RELEASE"})
        if (first == word)
            return true;
    return server == ServerKind::Mysql && first == u"XA";
}
} // namespace

ScriptStatementKind scriptStatementKind(QStringView statement, ServerKind server) {
    const Words words = leadingWords(statement);
    if (controlsTransactions(server, words))
        return ScriptStatementKind::TransactionControl;
    if (runsAlone(statement, server, words))
        return ScriptStatementKind::RunsAlone;
    return ScriptStatementKind::Plain;
}

bool discardsTransaction(QStringView statement) {
    const Words words = leadingWords(statement);
    if (words[0] != u"ROLLBACK" && words[0] != u"ABORT")
        return false;
    // ROLLBACK [WORK | TRANSACTION | TRAN] TO [SAVEPOINT] name keeps the transaction open.
    const Word& next =
        words[1] == u"WORK" || words[1] == u"TRANSACTION" || words[1] == u"TRAN" ? words[2] : words[1];
    return next != u"TO";
}

bool copiesThroughClient(QStringView statement) {
    return leadingWords(statement)[0] == u"COPY" &&
           matches(statement, u"STD", "\\b(FROM\\s+STDIN|TO\\s+STDOUT)\\b");
}

bool copiesFromScript(QStringView statement) {
    return leadingWords(statement)[0] == u"COPY" && matches(statement, u"STDIN", "\\bFROM\\s+STDIN\\b");
}

bool chainsTransaction(QStringView statement) {
    return matches(statement, u"CHAIN", "\\bAND\\s+CHAIN\\b");
}
