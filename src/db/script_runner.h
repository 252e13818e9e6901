#pragma once

#include "db/text_import.h"

#include <QString>

class Connection;

// Runs an SQL script file as the connected engine's own shell runs a file and stops at its first
// failure: statements cut as that engine cuts them (comments removed, GO lines ending the statement
// before them), each run as soon as it has been read, with the outcome of running it alone
// (StatementStream): when one fails, everything before it stands and nothing after it runs, and a
// transaction the script opened is rolled back. A transaction the script leaves open at its end is
// the operator's to commit or roll back, asked then. run.lines counts the file lines read; the
// progress is asked after each. Throws AppError naming the file and the line of the failure.
void runScriptFile(const QString& fileName, Connection& connection, LineRun& run);
// Whether to go on with a file that holds bytes no code page tried could read (they become U+FFFD):
// asked of the operator, true at once when there are none.
bool readAnyway(const QString& fileName, const LineRun& run);
