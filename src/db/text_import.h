#pragma once

#include "db/statement_stream.h"

#include <QByteArray>
#include <QString>

#include <functional>

class Connection;

// How one import or script run goes: the progress asked between statements with the count of lines
// done, and what the run came to.
struct LineRun {
    std::function<bool(qint64 lines)> progress; // false stops the run after the current statement
    // Asks the progress; once it says stop, a statement still waiting on the database is the one
    // stopped, and what tidies up after it runs to its end.
    bool goesOn();
    bool stopped = false;
    qint64 lines = 0;       // lines done (data lines of an import, file lines of a script)
    StreamOutcome outcome;  // what stands, and where a failure stopped the run
    QString endNote;        // what became of a transaction the script left open
    QByteArray codec;       // the code page the file was read in
    bool codecExact = true; // false: bytes no code page held were read as U+FFFD
};

// Loads a text file into a table: the header line gives the columns, each data line one INSERT
// of its values as written. True when every data line went in; count then receives their number.
// A failure is reported under "LoadTextToDB" with the file and line; the lines before it stay in
// the table, committed, and no line after it is sent.
bool LoadTextToDB(const QString& fileName, const QString& tableName, Connection* connection, qint64& count,
                  LineRun* run = nullptr);
