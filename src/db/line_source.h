#pragma once

#include <QByteArray>
#include <QString>
#include <QStringDecoder>
#include <QStringView>

class QIODevice;

// A text file read in pieces through its code page, so that a big file costs no more memory than a
// small one: `text` holds what has been read and not yet taken, from `pos` on.
struct DecodedText {
    DecodedText(QIODevice& device, const QByteArray& codec);
    // Reads the next piece onto the text, dropping what lies before pos (pos becomes 0); false at
    // the end of the file. Throws AppError when the file cannot be read.
    bool fill();

    QString text;
    qsizetype pos = 0;

private:
    QIODevice& m_device;
    QStringDecoder m_decoder;
    bool m_atEnd = false;
};

// The lines of a text file, each with the line end it had: CR LF, a lone CR or a lone LF (none for a
// last line without one).
class LineSource {
public:
    LineSource(QIODevice& device, const QByteArray& codec) : m_in(device, codec) {}

    // The next line and its end, valid until the next call; false after the last line. Throws
    // AppError when the file cannot be read or holds a NUL character (it is then no text file).
    bool next(QStringView& line, QStringView& lineEnd);

private:
    DecodedText m_in;
    int m_lines = 0;
};
