#pragma once

#include <QDateTime>
#include <QString>
#include <QVariant>

#include <optional>

// Small shared routines: dates by the configured calendar, path pieces, text files, SQL literals.

// The date part of value (a date, date-time or text readable as one) by pattern, or by Calendar
// of GlobalSettings when pattern is empty; "" when value is not a date.
QString DBDateDisp(const QVariant& value, const QString& pattern = {});
// A moment as the program shows it whatever the locale: "yyyy/MM/dd HH:mm:ss".
QString DisplayDateTime(const QDateTime& moment);

QString GetPath(const QString& path);
QString GetFileName(const QString& path);
QString GetFileNameNoExt(const QString& name);

// The whole file in the local code page, line ends as "\n"; nullopt after a reported failure.
std::optional<QString> TxtLoadFile(const QString& path);
// Writes text (with "\n" as CR LF) in the local code page, adding a closing CR LF only when the
// text does not end with a line break. The old file is replaced only once the new one is complete.
bool TxtSaveFile(const QString& path, const QString& text);

bool FileExists(const QString& path);

// The text without leading and trailing blanks (spaces only; tabs and line breaks stay).
QString TrimSpaces(const QString& text);
QStringView TrimSpaces(QStringView text);

QString QuoteStr(const QVariant& value);
QVariant QuoteStrValue(const QVariant& value); // the same, as a field value
QString UnquoteStr(const QString& value);

void SleepSeconds(double seconds);
