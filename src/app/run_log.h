#pragma once

#include "app/errors.h"

#include <QDateTime>
#include <QString>

// The run log (one time-stamped line per event) and the error log (a six-line record per
// reported error), both beside the program and appended to, closed after every write.

void WriteLog(const QString& text);

// Beep, error record, warning box with the application title, normal pointer.
void ReportError(const QString& routineLabel, const AppError& error);
// The same, returning the box's answer (always OK).
int ReportErrorResult(const QString& routineLabel, const AppError& error);
// The error record only.
void LogError(const QString& routineLabel, const AppError& error);

// Delete the log when it is larger than limitKb * 1024 bytes.
void TrimLogFile(qint64 limitKb);
void TrimErrFile(qint64 limitKb);

// The texts, exposed for the reporters' callers and tests.
QString runLogLine(const QDateTime& when, const QString& text);
QString errorMessageText(const QString& routineLabel, const AppError& error); // lines 2 to 6
QString errorRecordText(const QDateTime& when, const QString& routineLabel, const AppError& error);
