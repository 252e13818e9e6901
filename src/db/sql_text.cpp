#include "db/sql_text.h"

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// Where a comment or a quoted text opening at sql[i] ends (the index of its last character), or -1
// when none opens there. Comments: "--" to the line end, "/* */". Quoted: '', "", ``, [] with a
// doubled quote standing for itself, and PostgreSQL's $tag$ bodies.
qsizetype endOfQuotedOrComment(QStringView sql, qsizetype i) {
    const qsizetype n = sql.size();
    const QChar c = sql[i];
    const QChar next = i + 1 < n ? sql[i + 1] : QChar();
    if (c == u'-' && next == u'-') {
        while (i < n && sql[i] != u'\n')
            ++i;
        return i;
    }
    if (c == u'/' && next == u'*') {
        const qsizetype end = sql.indexOf(u"*/", i + 2);
        return end < 0 ? n : end + 1;
    }
    if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
        const QChar closing = c == u'[' ? u']' : c;
        // PostgreSQL's E'...': a backslash takes the next character as it is.
        const bool escaped = c == u'\'' && i > 0 && (sql[i - 1] == u'E' || sql[i - 1] == u'e') &&
                             (i == 1 || !isWordChar(sql[i - 2]));
        for (++i; i < n; ++i)
            if (escaped && sql[i] == u'\\')
                ++i;
            else if (sql[i] == closing) {
                if (closing != u']' && i + 1 < n && sql[i + 1] == closing)
                    ++i;
                else
                    return i;
            }
        return n;
    }
    if (c == u'$' && (i == 0 || !isWordChar(sql[i - 1]))) {
        qsizetype end = i + 1;
        while (end < n && isWordChar(sql[end]))
            ++end;
        if (end < n && sql[end] == u'$' && !(end > i + 1 && sql[i + 1].isDigit())) {
            const QStringView tag = sql.mid(i, end - i + 1);
            const qsizetype closing = sql.indexOf(tag, end + 1);
            return closing < 0 ? n : closing + tag.size() - 1;
        }
    }
    return -1;
}

// The command of a statement that opens with named queries: the first SELECT, INSERT, UPDATE or
// DELETE outside the parentheses, quotes and comments.
StatementKind withStatementKind(QStringView sql) {
    int depth = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (const qsizetype end = endOfQuotedOrComment(sql, i); end >= 0) {
            i = end;
        } else if (c == u'(') {
            ++depth;
        } else if (c == u')') {
            --depth;
        } else if (depth == 0 && c.isLetter() && (i == 0 || !isWordChar(sql[i - 1]))) {
            qsizetype end = i;
            while (end < n && isWordChar(sql[end]))
                ++end;
            const QStringView word = sql.mid(i, end - i);
            if (word.compare(u"SELECT", Qt::CaseInsensitive) == 0)
                return StatementKind::Select;
            for (const char16_t* change : {u"INSERT", u"UPDATE", u"DELETE"})
                if (word.compare(change, Qt::CaseInsensitive) == 0)
                    return StatementKind::Change;
            i = end - 1;
        }
    }
    return StatementKind::Other;
}
} // namespace

StatementKind classify(const QString& justSql) {
    if (justSql.left(4).compare(QLatin1String("WITH"), Qt::CaseInsensitive) == 0 &&
        (justSql.size() == 4 || !isWordChar(justSql[4])))
        return withStatementKind(justSql);
    const QString word = justSql.left(6).toUpper();
    if (word == QLatin1String("INSERT") || word == QLatin1String("UPDATE") || word == QLatin1String("DELETE"))
        return StatementKind::Change;
    if (word == QLatin1String("SELECT"))
        return StatementKind::Select;
    if (word == QLatin1String("SERVER"))
        return StatementKind::Server;
    if (word.startsWith(QLatin1String("EXEC")))
        return StatementKind::Exec;
    if (word.startsWith(QLatin1String("USE")))
        return StatementKind::Use;
    return StatementKind::Other;
}

QStringList splitStatements(QStringView sql) {
    QStringList statements;
    qsizetype begin = 0;
    bool content = false; // something other than blanks and comments since the last ";"
    const auto close = [&](qsizetype end) {
        if (content)
            statements << sql.mid(begin, end - begin).trimmed().toString();
        begin = end + 1;
        content = false;
    };
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (const qsizetype end = endOfQuotedOrComment(sql, i); end >= 0) {
            if (c != u'-' && c != u'/')
                content = true; // a quoted text is content, a comment is not
            i = end;
        } else if (c == u';') {
            close(i);
        } else if (!c.isSpace()) {
            content = true;
        }
    }
    close(n);
    return statements;
}

int countStatements(QStringView sql) {
    return int(splitStatements(sql).size());
}
