#pragma once

#include "db/line_source.h"

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringList>
#include <QVarLengthArray>

#include <optional>

class QIODevice;

// The records of a text file to import into a table: the header and the data lines, each cut into
// pieces at the commas outside apostrophe-quoted literals. A line ends at CR LF, a lone CR or a lone
// LF outside a literal; a literal running over a line end continues on the next line and keeps the
// line break as the file has it. Empty lines are skipped. Pieces are kept as written, quotes and all.
class ImportReader {
public:
    struct Record {
        QString text;                          // as the file holds it, without its line end
        QVarLengthArray<qsizetype, 16> commas; // where it is cut into pieces
        int line = 0;                          // the file line the record starts on
        qsizetype size() const { return commas.size() + 1; }
        QStringView piece(qsizetype i) const;
        QStringList pieces() const;
    };

    ImportReader(QIODevice& device, const QByteArray& codec);

    // The next record; nullopt after the last. Throws AppError when the file cannot be read or ends
    // inside a literal (naming the line it opened on); the records before it have been given.
    std::optional<Record> next();
    int linesRead() const { return m_line; }
    // The line the record read last (or being read) starts on.
    int recordLine() const { return m_recordLine; }

private:
    // True when a character is left to read (reading more of the file when needed).
    bool more();
    // The next character without taking it; a null QChar at the end of the file.
    QChar peek();

    DecodedText m_in;
    int m_line = 0; // lines begun so far
    int m_recordLine = 0;
};

// The file's code page: the one its byte-order mark names (UTF-8, UTF-16), else the local one when
// every byte is valid in it, else UTF-8 or Big5 when the bytes are valid there, else the local one
// all the same. The device is read through and left where the text begins, after the mark.
// exact, when given, is false when the bytes are valid in none of them (they then read as U+FFFD).
QByteArray detectCodec(QIODevice& device, bool* exact = nullptr);

// A data piece as the import sends it: an empty piece as NULL, #2003/05/07# as '2003/05/07', and on
// SQLite a quoted date '2003/05/07' or date-time '2003/05/07 14:03:09' with "-" for "/".
void appendImportValue(QString& sql, QStringView piece, bool sqlite);
QString importValue(const QString& piece, bool sqlite);
// "INSERT INTO table ( columns ) " + " Values ( values ) ", the columns and the record's values as
// appendImportValue makes them, each joined by ",".
QString importStatement(const QString& table, const QString& columns, const ImportReader::Record& record,
                        bool sqlite);
// The same, written over `sql` (its memory kept from one line to the next).
void writeImportStatement(QString& sql, const QString& table, const QString& columns,
                          const ImportReader::Record& record, bool sqlite);
