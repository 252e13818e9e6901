#pragma once

#include <QString>
#include <QStringView>

#include <optional>

// An SQL script read line by line and cut into batches at the lines that read GO (any case, blanks
// around). Comments are removed as SQL reads them: "--" to the line end and "/* */" over any number
// of lines (nested as PostgreSQL nests them), each only outside quoted literals, quoted names and
// $tag$ bodies; the code before and after a comment stays in the batch, and lines keep their breaks.
class ScriptReader {
public:
    struct Batch {
        QString sql;
        int firstLine = 0; // the first line that gave it code
        int lastLine = 0;  // the GO line, or the last line of the script
    };

    // Takes the next line, without its line end; returns the batch a GO line closes (also one
    // holding nothing but blanks: a GO after nothing runs nothing, the caller decides).
    std::optional<Batch> addLine(QStringView line);
    // After the last line: the text after the last GO when it holds more than blanks. Throws
    // AppError when the script ends inside a block comment or a quoted text, naming where it opened.
    std::optional<Batch> finish();
    int linesRead() const { return m_lines; }

private:
    enum class State { Code, Literal, EscapedLiteral, Name, Bracket, Dollar, Block };
    // Appends the line's code to `kept`, following the state across the line.
    void scan(QStringView line, QString& kept);
    Batch take(int lastLine);

    State m_state = State::Code;
    int m_blockDepth = 0;
    int m_openedAt = 0; // the line where the comment or quoted text now open began
    QString m_dollarTag;
    QString m_batch;
    int m_firstLine = 0;
    int m_lines = 0;
};
