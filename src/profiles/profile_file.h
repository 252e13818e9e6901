#pragma once

#include <QByteArray>
#include <QList>
#include <QMultiHash>
#include <QString>

// The connection profile file: one profile a line, connection string, TAB, profile name, CR LF,
// no header. Each line is read in the code page it is valid in (a file may mix Big5 and UTF-8
// lines), and a line the operator did not change is written back byte for byte.
namespace ProfileFile {
struct Profile {
    QString connectionString;
    QString name;
};

// What a read found: the lines that hold a profile, and how to write the unchanged ones back.
struct Contents {
    QList<QString> lines;
    // The code page changed and new lines are written in: the one the whole file is valid in,
    // else the one most of its lines are in; the locale's for a new file.
    QByteArray mainCodec;
    // The bytes of each profile read, by its text as written (connection string TAB name).
    QMultiHash<QString, QByteArray> originals;
};

// Lines end at CR LF, a lone CR or a lone LF; a line of nothing but spaces is skipped; the others
// are kept untrimmed. A line that is valid UTF-8 is UTF-8; any other is in the locale's code
// page where it is valid there, else Big5.
Contents read(const QByteArray& bytes);
QList<QString> profileLines(const QByteArray& bytes);
// Column 1 is the text before the first TAB, column 2 the text up to the second TAB.
Profile splitLine(const QString& line);
// The file's bytes: the profiles found unchanged in what was read as they were read, the others
// in its main code page (the locale's when none). Throws AppError for a character it cannot hold.
QByteArray toBytes(const QList<Profile>& profiles, const Contents& read = {});
// Does any profile carry a password (other than the "XXXX" that asks for one)?
bool holdsPassword(const QList<Profile>& profiles);
// Writes the file beside itself and renames it over the old one, readable by its owner only when
// it holds a password; throws AppError when it cannot.
void save(const QString& path, const QList<Profile>& profiles, const Contents& read);
} // namespace ProfileFile
