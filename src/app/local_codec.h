#pragma once

#include <QByteArray>
#include <QString>

// The system's 8-bit code page: the character set of the locale (UTF-8 on most systems, Big5 under
// a zh_TW.BIG5 locale). Every text file the program writes or reads line by line goes through it.
namespace LocalCodec {
// The codec name for a locale character set as nl_langinfo(CODESET) reports it. Plain ASCII
// ("ANSI_X3.4-1968", the C locale) maps to UTF-8 so Chinese text is never turned into "?".
QByteArray codecNameForCharset(const QByteArray& charset);
// The codec in force: from the locale at first use, or as set by setCodecName.
QByteArray codecName();
void setCodecName(const QByteArray& name);

QString toUnicode(const QByteArray& bytes);
// For files from elsewhere: the local code page when the bytes are valid in it, otherwise UTF-8
// or Big5 when the bytes are valid in one of those, otherwise the local code page all the same.
QByteArray detect(const QByteArray& bytes);
QString toUnicodeBestEffort(const QByteArray& bytes);
QString toUnicode(const QByteArray& bytes, const QByteArray& codec);
QByteArray fromUnicode(const QString& text);
// For logs: a character the locale's page cannot hold is written as U+XXXX, not as "?".
QByteArray fromUnicodeMarked(const QString& text);
// The text in the given code page, for files written back in the page they were read in. Throws
// AppError naming the first character the page cannot hold: nothing is replaced.
QByteArray fromUnicodeExactly(const QString& text, const QByteArray& codec);
} // namespace LocalCodec
