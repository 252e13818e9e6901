#pragma once

#include <QString>

#include <exception>
#include <functional>

// The one error type that crosses layers: a signed number and a description.
// Database failures carry the negative numbers the old data layer reported; file and
// run-time failures carry the small positive numbers of the old run-time library.
class AppError : public std::exception {
public:
    AppError(qint64 number, QString description);

    qint64 number() const { return m_number; }
    const QString& description() const { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

private:
    qint64 m_number;
    QString m_description;
    QByteArray m_what;
};

namespace ErrNo {
// Run-time library numbers used for failures outside the database layer.
inline constexpr qint64 InvalidCall = 5;
inline constexpr qint64 ObjectNotSet = 91;
inline constexpr qint64 FileNotFound = 53;
inline constexpr qint64 PathFileAccess = 75;
// Data layer numbers.
inline constexpr qint64 DbOpenFailed = -2147467259;
inline constexpr qint64 DbStatementRejected = -2147217900;
} // namespace ErrNo

// The errors of the program's own data and grid layers, each made in one place, with the numbers
// the old run-time and data libraries gave them and a Traditional Chinese text.
namespace Errors {
AppError subscriptOutOfRange(); // 381: a row, column or item index outside the range
AppError objectNotSet();        // 91: an object that is not there (no connection, no grid)
AppError objectClosed();        // 3704: an operation on a closed object
AppError connectionUnusable();  // 3709: a closed or unusable connection
AppError noCurrentRecord();     // 3021: before the first or after the last record
// A failure the database or its driver reported: its own words, after a sentence saying what
// failed ("what" ends without punctuation).
AppError fromEngine(qint64 number, const QString& what, const QString& engineText);
AppError statementRejected(const QString& engineText);
} // namespace Errors

// Turns whatever a routine threw into the error the reporters write.
AppError currentError(std::exception_ptr error);

// Runs a handler body under its routine label: a failure goes to ReportError and ends the body.
// Returns false when the body failed.
bool guarded(const QString& routineLabel, const std::function<void()>& body);
// The same, with the record written by LogError only (no beep, no box).
bool guardedQuiet(const QString& routineLabel, const std::function<void()>& body);
