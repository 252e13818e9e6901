#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The connection profile file: one profile a line, connection string, TAB, profile name, CR LF,
// no header; in the locale's character set, or in whichever of UTF-8 and Big5 it was found in,
// and written back in that one.
namespace ProfileFile {
struct Profile {
    QString connectionString;
    QString name;
};

// The lines that hold a profile: lines end at CR LF or a lone CR (a lone LF stays in the line);
// a line of nothing but spaces is skipped; the others are kept untrimmed.
// codec, when given, receives the code page the bytes were read in.
QList<QString> profileLines(const QByteArray& bytes, QByteArray* codec = nullptr);
// Column 1 is the text before the first TAB, column 2 the text up to the second TAB.
Profile splitLine(const QString& line);
// In the given code page (the locale's when empty); throws AppError for a character it cannot hold.
QByteArray toBytes(const QList<Profile>& profiles, const QByteArray& codec = {});
// Writes the file beside itself and renames it over the old one; throws AppError when it cannot.
void save(const QString& path, const QList<Profile>& profiles, const QByteArray& codec = {});
} // namespace ProfileFile
