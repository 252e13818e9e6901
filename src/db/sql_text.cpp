#include "db/sql_text.h"

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

// The command of a statement that opens with named queries: the first SELECT, INSERT, UPDATE or
// DELETE outside the parentheses, quotes and comments.
StatementKind withStatementKind(QStringView sql) {
    int depth = 0;
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(u"*/", i + 2);
            i = end < 0 ? n : end + 1;
        } else if (c == u'\'' || c == u'"' || c == u'[' || c == u'`') {
            const QChar close = c == u'[' ? u']' : c;
            const qsizetype end = sql.indexOf(close, i + 1);
            i = end < 0 ? n : end;
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
        if (c == u'-' && i + 1 < n && sql[i + 1] == u'-') {
            while (i < n && sql[i] != u'\n')
                ++i;
        } else if (c == u'/' && i + 1 < n && sql[i + 1] == u'*') {
            const qsizetype end = sql.indexOf(u"*/", i + 2);
            i = end < 0 ? n : end + 1;
        } else if (c == u'\'' || c == u'"' || c == u'`' || c == u'[') {
            const QChar closing = c == u'[' ? u']' : c;
            content = true;
            for (++i; i < n; ++i)
                if (sql[i] == closing) {
                    if (closing != u']' && i + 1 < n && sql[i + 1] == closing)
                        ++i; // a doubled quote stands for itself
                    else
                        break;
                }
        } else if (c == u'$' && (i == 0 || !isWordChar(sql[i - 1]))) {
            // $tag$ ... $tag$: the whole body is one literal.
            qsizetype end = i + 1;
            while (end < n && isWordChar(sql[end]))
                ++end;
            content = true;
            if (end < n && sql[end] == u'$' && !(end > i + 1 && sql[i + 1].isDigit())) {
                const QStringView tag = sql.mid(i, end - i + 1);
                const qsizetype closing = sql.indexOf(tag, end + 1);
                i = closing < 0 ? n : closing + tag.size() - 1;
            }
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
