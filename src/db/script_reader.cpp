#include "db/script_reader.h"

#include "app/errors.h"

#include <QRegularExpression>

#include <sqlite3.h>

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}

bool is(QStringView word, const char16_t* keyword) {
    return word.compare(keyword, Qt::CaseInsensitive) == 0;
}

// The first letter of the words that decide whether a statement holds a routine body.
char leadLetter(QStringView word, ScriptSyntax::Ends ends) {
    for (const char16_t* keyword : {u"CREATE", u"OR", u"REPLACE", u"FUNCTION", u"PROCEDURE"})
        if (is(word, keyword))
            return char(QChar::toLower(keyword[0]));
    if (ends == ScriptSyntax::Ends::TransactSql)
        for (const char16_t* keyword : {u"ALTER", u"PROC", u"TRIGGER", u"VIEW"})
            if (is(word, keyword))
                return char(QChar::toLower(keyword[0]));
    return 0;
}

bool startsWithWord(QStringView text, const char16_t* keyword) {
    const QStringView trimmed = text.trimmed();
    const qsizetype n = QStringView(keyword).size();
    return trimmed.size() >= n && is(trimmed.left(n), keyword) &&
           (trimmed.size() == n || !isWordChar(trimmed[n]));
}
} // namespace

ScriptReader::ScriptReader(const ScriptSyntax& syntax) : m_syntax(syntax) {
}

void ScriptReader::addLine(QStringView line, QStringView lineEnd, QList<Statement>& done) {
    ++m_lines;
    if (m_state == State::Code && isGoLine(line)) {
        endStatement(done); // a statement without its ";" ends at GO
        return;
    }
    // Between statements, psql reads a line that begins with a backslash as a command of its own.
    if (m_syntax.ends == ScriptSyntax::Ends::PostgresBlocks && m_state == State::Code && m_firstLine == 0 &&
        line.trimmed().startsWith(u'\\')) {
        done.append({line.trimmed().toString(), m_lines, true});
        return;
    }
    scan(line, done);
    if (m_firstLine == 0)
        m_sql.clear(); // blanks and comments between statements are not kept
    else
        m_sql += lineEnd;
}

// Blanks, comments closed on the line, and the word GO once.
bool ScriptReader::isGoLine(QStringView line) const {
    bool go = false;
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n;) {
        const QChar c = line[i];
        const QChar next = i + 1 < n ? line[i + 1] : QChar();
        if (c.isSpace()) {
            ++i;
        } else if ((c == u'-' && next == u'-') || (c == u'#' && m_syntax.hashComments)) {
            return go;
        } else if (c == u'/' && next == u'*') {
            int depth = 1;
            for (i += 2; i < n && depth > 0; ++i) {
                if (line[i] == u'*' && i + 1 < n && line[i + 1] == u'/') {
                    --depth;
                    ++i;
                } else if (m_syntax.nestedComments && line[i] == u'/' && i + 1 < n && line[i + 1] == u'*') {
                    ++depth;
                    ++i;
                }
            }
            if (depth > 0)
                return false;
        } else if (!go && (c == u'g' || c == u'G') && (next == u'o' || next == u'O') &&
                   (i + 2 == n || !isWordChar(line[i + 2]))) {
            go = true;
            i += 2;
        } else {
            return false;
        }
    }
    return go;
}

void ScriptReader::append(QStringView text) {
    if (m_firstLine == 0)
        for (const QChar c : text)
            if (!c.isSpace()) {
                m_firstLine = m_lines;
                break;
            }
    m_sql += text;
}

void ScriptReader::scan(QStringView line, QList<Statement>& done) {
    const qsizetype n = line.size();
    qsizetype run = 0; // where the text not yet appended begins
    const auto flush = [&](qsizetype end) {
        if (end > run)
            append(line.mid(run, end - run));
        run = end;
    };
    const bool wordsMatter = m_syntax.ends == ScriptSyntax::Ends::PostgresBlocks ||
                             m_syntax.ends == ScriptSyntax::Ends::TransactSql;
    for (qsizetype i = 0; i < n;) {
        const QChar c = line[i];
        const QChar next = i + 1 < n ? line[i + 1] : QChar();
        switch (m_state) {
        case State::Block:
            if (c == u'*' && next == u'/') {
                i += 2;
                if (--m_commentDepth == 0) {
                    m_state = State::Code;
                    if (!m_keepComment) {
                        append(u" "); // the comment kept two words apart
                        run = i;
                    }
                }
            } else if (c == u'/' && next == u'*' && m_syntax.nestedComments) {
                ++m_commentDepth;
                i += 2;
            } else {
                ++i;
            }
            continue;
        case State::Literal:
        case State::Name:
        case State::Bracket:
        case State::Backtick: {
            const QChar close = m_state == State::Literal   ? u'\''
                                : m_state == State::Name    ? u'"'
                                : m_state == State::Bracket ? u']'
                                                            : u'`';
            if (m_escaped && c == u'\\') {
                i += 2;
            } else if (c != close) {
                ++i;
            } else if (next == close) { // a doubled quote stands for itself
                i += 2;
            } else {
                m_state = State::Code;
                ++i;
            }
            continue;
        }
        case State::Dollar:
            if (c == u'$' && line.mid(i).startsWith(m_dollarTag)) {
                i += m_dollarTag.size();
                m_state = State::Code;
            } else {
                ++i;
            }
            continue;
        case State::Code:
            break;
        }
        const bool lineComment =
            (c == u'-' && next == u'-' && (!m_syntax.hashComments || i + 2 >= n || line[i + 2].isSpace())) ||
            (c == u'#' && m_syntax.hashComments);
        if (lineComment) {
            flush(i);
            run = n;
            break;
        }
        if (c == u'/' && next == u'*') {
            flush(i);
            const QChar mark = i + 2 < n ? line[i + 2] : QChar();
            m_keepComment = mark == u'+' || (mark == u'!' && m_syntax.server == ServerKind::Mysql);
            m_state = State::Block;
            m_commentDepth = 1;
            m_openedAt = m_lines;
            i += 2;
            if (!m_keepComment)
                run = i;
            continue;
        }
        if (c == u'\'' || c == u'"' || (c == u'[' && m_syntax.bracketNames) ||
            (c == u'`' && m_syntax.backtickNames)) {
            m_state = c == u'\''  ? State::Literal
                      : c == u'"' ? State::Name
                      : c == u'[' ? State::Bracket
                                  : State::Backtick;
            m_escaped =
                (m_syntax.backslashEscapes && c != u'[' && c != u'`') ||
                (m_plainStringsEscape && c == u'\'') ||
                (m_syntax.escapeStrings && c == u'\'' && i > 0 &&
                 (line[i - 1] == u'E' || line[i - 1] == u'e') && (i == 1 || !isWordChar(line[i - 2])));
            m_openedAt = m_lines;
            ++i;
            continue;
        }
        if (c == u'$' && m_syntax.dollarQuotes && (i == 0 || !isWordChar(line[i - 1]))) {
            qsizetype end = i + 1;
            while (end < n && isWordChar(line[end]))
                ++end;
            if (end < n && line[end] == u'$' && !(end > i + 1 && line[i + 1].isDigit())) {
                m_dollarTag = line.mid(i, end - i + 1).toString();
                m_state = State::Dollar;
                m_openedAt = m_lines;
                i = end + 1;
                continue;
            }
        }
        if (c == u';') {
            flush(i + 1);
            if (endsHere()) {
                m_sql.chop(1);
                endStatement(done);
            }
            ++i;
            continue;
        }
        if (m_syntax.ends == ScriptSyntax::Ends::PostgresBlocks) {
            if (c == u'(')
                ++m_ending.parenDepth;
            else if (c == u')' && m_ending.parenDepth > 0)
                --m_ending.parenDepth;
        }
        if (wordsMatter && (c.isLetter() || c == u'_') && (i == 0 || !isWordChar(line[i - 1])) &&
            (m_ending.words < 4 || m_ending.routine || m_syntax.ends == ScriptSyntax::Ends::TransactSql)) {
            qsizetype end = i + 1;
            while (end < n && isWordChar(line[end]))
                ++end;
            if (i == 0 || (line[i - 1] != u'@' && line[i - 1] != u'#' && line[i - 1] != u'$'))
                noteWord(line.mid(i, end - i));
            i = end;
            continue;
        }
        ++i;
    }
    if (m_state != State::Block || m_keepComment)
        flush(n);
}

void ScriptReader::noteWord(QStringView word) {
    Ending& e = m_ending;
    const int index = e.words++;
    if (index < 4)
        e.lead[index] = leadLetter(word, m_syntax.ends);
    if (m_syntax.ends == ScriptSyntax::Ends::PostgresBlocks) {
        // As psql reads it: CREATE [OR REPLACE] FUNCTION | PROCEDURE may hold a BEGIN ATOMIC ... END
        // body, with CASE ... END inside it.
        e.routine = e.lead[0] == 'c' &&
                    (e.lead[1] == 'f' || e.lead[1] == 'p' ||
                     (e.lead[1] == 'o' && e.lead[2] == 'r' && (e.lead[3] == 'f' || e.lead[3] == 'p')));
        if (!e.routine || e.parenDepth > 0)
            return;
        if (is(word, u"BEGIN"))
            ++e.blockDepth;
        else if (is(word, u"CASE") && e.blockDepth > 0)
            ++e.blockDepth;
        else if (is(word, u"END") && e.blockDepth > 0)
            --e.blockDepth;
        return;
    }
    // T-SQL: a procedure, function, trigger or view is the whole of its batch; elsewhere BEGIN ... END
    // blocks (not BEGIN TRANSACTION) and CASE ... END hold their semicolons.
    const bool definer = e.lead[0] == 'c' || e.lead[0] == 'a';
    const auto defines = [](char lead) { return lead == 'p' || lead == 'f' || lead == 't' || lead == 'v'; };
    if (index < 4 && definer &&
        (defines(e.lead[1]) || (e.lead[1] == 'o' && e.lead[2] == 'a' && defines(e.lead[3]))))
        e.toBatchEnd = true;
    if (e.beginPending) {
        e.beginPending = false;
        bool block = true;
        for (const char16_t* notBlock : {u"TRAN", u"TRANSACTION", u"DISTRIBUTED", u"DIALOG", u"CONVERSATION"})
            block = block && !is(word, notBlock);
        if (block)
            ++e.blockDepth;
    }
    if (is(word, u"BEGIN"))
        e.beginPending = true;
    else if (is(word, u"CASE"))
        ++e.blockDepth;
    else if (is(word, u"END") && e.blockDepth > 0)
        --e.blockDepth;
}

bool ScriptReader::endsHere() {
    Ending& e = m_ending;
    switch (m_syntax.ends) {
    case ScriptSyntax::Ends::Semicolon:
        return true;
    case ScriptSyntax::Ends::SqliteComplete:
        // Only a CREATE TRIGGER (or its EXPLAIN) holds semicolons before its end: SQLite says where.
        return !(startsWithWord(m_sql, u"CREATE") || startsWithWord(m_sql, u"EXPLAIN")) ||
               sqlite3_complete(m_sql.toUtf8().constData());
    case ScriptSyntax::Ends::PostgresBlocks:
        return e.parenDepth == 0 && e.blockDepth == 0;
    case ScriptSyntax::Ends::TransactSql:
        if (e.beginPending) { // BEGIN; opens a block
            e.beginPending = false;
            ++e.blockDepth;
        }
        return !e.toBatchEnd && e.blockDepth == 0;
    }
    return true;
}

void ScriptReader::endStatement(QList<Statement>& done) {
    if (m_firstLine != 0) {
        QString sql = std::move(m_sql).trimmed();
        if (m_syntax.ends == ScriptSyntax::Ends::PostgresBlocks)
            followStringSetting(sql);
        if (!sql.isEmpty())
            done.append({std::move(sql), m_firstLine, false});
    }
    m_sql.clear();
    m_firstLine = 0;
    m_ending = {};
}

// SET standard_conforming_strings = off makes PostgreSQL read a backslash in '...' as an escape,
// as psql then reads it.
void ScriptReader::followStringSetting(QStringView statement) {
    static const QRegularExpression setting(
        QStringLiteral("^SET\\s+(SESSION\\s+)?standard_conforming_strings\\s*(=|TO)\\s*'?(\\w+)"),
        QRegularExpression::CaseInsensitiveOption);
    if (!statement.startsWith(u"SET", Qt::CaseInsensitive))
        return;
    const QRegularExpressionMatch match = setting.match(statement);
    if (!match.hasMatch())
        return;
    const QString value = match.captured(3).toLower();
    m_plainStringsEscape = value == u"off" || value == u"false" || value == u"0" || value == u"no";
}

void ScriptReader::finish(QList<Statement>& done) {
    // SQLite takes a comment left open as running to the end of the text; the others refuse it.
    if (m_state == State::Block && m_syntax.ends != ScriptSyntax::Ends::SqliteComplete)
        throw AppError(ErrNo::InvalidCall,
                       QStringLiteral("第 %1 行開始的註解 /* 到檔案結尾都沒有結束").arg(m_openedAt));
    if (m_state != State::Code && m_state != State::Block)
        throw AppError(ErrNo::InvalidCall,
                       m_firstLine != 0 && m_firstLine != m_openedAt
                           ? QStringLiteral("第 %1 行開始的陳述式中, 第 %2 行開始的引號到檔案結尾都沒有結束")
                                 .arg(m_firstLine)
                                 .arg(m_openedAt)
                           : QStringLiteral("第 %1 行開始的引號到檔案結尾都沒有結束").arg(m_openedAt));
    endStatement(done);
}
