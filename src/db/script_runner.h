#pragma once

#include "db/text_import.h"

#include <QString>

class Connection;

// Runs an SQL script file: batches cut at GO lines (comments removed, the text after the last GO
// as a final batch), every statement of a batch in order. Statements run in grouped transactions
// with the outcome of running each by itself: when one fails, everything before it stands and
// nothing after it runs. A script that manages its own transactions (BEGIN, COMMIT, ROLLBACK...)
// rules them from its first such statement on; statements no transaction can hold (VACUUM, CREATE
// DATABASE...) run on their own. run.lines counts the file lines read. Throws AppError naming the
// file and the lines of the failing batch.
void runScriptFile(const QString& fileName, Connection& connection, LineRun& run);
