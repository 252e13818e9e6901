#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The connection profile file: one profile a line, connection string, TAB, profile name, CR LF,
// in the locale's character set, no header.
namespace ProfileFile {
struct Profile {
    QString connectionString;
    QString name;
};

// The lines that hold a profile: lines end at CR LF or a lone CR (a lone LF stays in the line);
// a line of nothing but spaces is skipped; the others are kept untrimmed.
QList<QString> profileLines(const QByteArray& bytes);
// Column 1 is the text before the first TAB, column 2 the text up to the second TAB.
Profile splitLine(const QString& line);
QByteArray toBytes(const QList<Profile>& profiles);
// Writes the file beside itself and renames it over the old one; throws AppError when it cannot.
void save(const QString& path, const QList<Profile>& profiles);
} // namespace ProfileFile
