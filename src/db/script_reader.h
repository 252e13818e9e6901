#pragma once

#include "db/script_syntax.h"

#include <QList>
#include <QString>
#include <QStringView>

// An SQL script read line by line and cut into statements as the connected engine's own shell cuts
// it, each statement as soon as its last line has been read: at a ";" where the engine's syntax
// ends one (ScriptSyntax), and at the lines that read GO (any case, blanks and comments around),
// which end the statement before them. Comments are removed, outside quoted literals, quoted names
// and $tag$ bodies; a comment between two words leaves a blank. Line breaks stay as the file has
// them, inside literals as well. Each piece of the text is looked at once.
class ScriptReader {
public:
    struct Statement {
        QString sql;              // without the ";" that ended it, trimmed
        int line = 0;             // the file line its first word stands on
        bool psqlCommand = false; // a line of psql's own (\set, \connect...), not SQL
    };

    explicit ScriptReader(const ScriptSyntax& syntax);

    // Takes the next line and the line end it had (empty for a last line without one); the
    // statements it completes are added to `done`.
    void addLine(QStringView line, QStringView lineEnd, QList<Statement>& done);
    // After the last line: the statement still open. Throws AppError when the script ends inside a
    // quoted text, or inside a comment where the engine refuses that, naming the line it opened on.
    void finish(QList<Statement>& done);
    // A line the caller read past the reader (the rows of a COPY ... FROM STDIN).
    void passLine() { ++m_lines; }
    // The line where the comment or quoted text now open began.
    int openedLine() const { return m_openedAt; }

private:
    enum class State { Code, Literal, Name, Bracket, Backtick, Dollar, Block };
    // How the statement under way ends: the words that decide it, read at its start.
    struct Ending {
        int words = 0;           // words of the statement seen so far
        char lead[4] = {};       // CREATE, OR, REPLACE, ALTER, FUNCTION, PROCEDURE... by their first letter
        bool routine = false;    // a routine body: BEGIN ... END counts (PostgreSQL)
        bool toBatchEnd = false; // T-SQL: a routine or view runs to the GO line
        int parenDepth = 0;
        int blockDepth = 0;        // BEGIN ... END and CASE ... END around the text
        bool beginPending = false; // T-SQL: a BEGIN whose next word says whether it opens a block
    };

    bool isGoLine(QStringView line) const;
    void scan(QStringView line, QList<Statement>& done);
    // A word of code outside quotes: the words that decide where the statement ends.
    void noteWord(QStringView word);
    // The ";" at `line[i]`: true when it ends the statement.
    bool endsHere();
    void append(QStringView text);
    void endStatement(QList<Statement>& done);
    void followStringSetting(QStringView statement);

    ScriptSyntax m_syntax;
    State m_state = State::Code;
    bool m_escaped = false;            // the open literal takes a backslashed character as text
    bool m_plainStringsEscape = false; // PostgreSQL with standard_conforming_strings off
    bool m_keepComment = false;        // the open comment is a hint the engine reads (/*+ */, MySQL's /*! */)
    int m_commentDepth = 0;
    int m_openedAt = 0; // the line where the comment or quoted text now open began
    QString m_dollarTag;
    Ending m_ending;
    QString m_sql;
    int m_firstLine = 0; // 0 while the statement holds nothing but blanks
    int m_lines = 0;
};
