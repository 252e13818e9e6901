#include "profiles/profile_file.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/helpers.h"
#include "app/local_codec.h"
#include "db/connection_string.h"

#include <QStringDecoder>

namespace ProfileFile {
namespace {
bool isAscii(const QByteArray& bytes) {
    for (const char c : bytes)
        if (uchar(c) >= 0x80)
            return false;
    return true;
}

bool validIn(const QByteArray& bytes, const QByteArray& codec) {
    QStringDecoder decoder(codec.constData());
    if (!decoder.isValid())
        return false;
    const QString decoded = decoder.decode(bytes); // the conversion runs when the result is taken
    return !decoder.hasError();
}

QByteArray codecOfLine(const QByteArray& bytes, const QByteArray& local) {
    if (isAscii(bytes) || validIn(bytes, "UTF-8"))
        return "UTF-8";
    if (local != "UTF-8" && validIn(bytes, local))
        return local;
    return validIn(bytes, "Big5") ? QByteArray("Big5") : local;
}

// The bytes of a profile as it is written: up to the line's second TAB, with a TAB after a line
// that has none. TAB is never part of a Big5 or UTF-8 character.
QByteArray profileBytes(const QByteArray& line) {
    const qsizetype first = line.indexOf('\t');
    if (first < 0)
        return line + '\t';
    const qsizetype second = line.indexOf('\t', first + 1);
    return second < 0 ? line : line.left(second);
}

QString profileText(const Profile& p) {
    return p.connectionString + u'\t' + p.name;
}
} // namespace

Contents read(const QByteArray& bytes) {
    const QByteArray local = LocalCodec::codecName();
    Contents contents;
    QHash<QByteArray, int> linesIn; // non-ASCII lines by code page
    const auto take = [&](const QByteArray& line) {
        const QByteArray codec = codecOfLine(line, local);
        const QString text = LocalCodec::toUnicode(line, codec);
        if (TrimSpaces(text).isEmpty())
            return;
        contents.lines << text;
        const QByteArray written = profileBytes(line);
        contents.originals.insert(LocalCodec::toUnicode(written, codec), written);
        if (!isAscii(line))
            ++linesIn[codec];
    };
    // CR LF, a lone CR or a lone LF ends a line: a file saved by an editor with LF line ends
    // must not run its profiles, passwords and all, into one name.
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n')
            continue;
        take(bytes.mid(start, i - start));
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < bytes.size())
        take(bytes.mid(start));
    contents.mainCodec = local;
    if (!validIn(bytes, local))
        for (const QByteArray& codec : {QByteArray("UTF-8"), QByteArray("Big5")})
            if (linesIn.value(codec) > linesIn.value(contents.mainCodec))
                contents.mainCodec = codec;
    return contents;
}

QList<QString> profileLines(const QByteArray& bytes) {
    return read(bytes).lines;
}

Profile splitLine(const QString& line) {
    const QStringList parts = line.split(u'\t');
    return {parts.value(0), parts.value(1)};
}

QByteArray toBytes(const QList<Profile>& profiles, const Contents& read) {
    QMultiHash<QString, QByteArray> originals = read.originals;
    const QByteArray codec = read.mainCodec.isEmpty() ? LocalCodec::codecName() : read.mainCodec;
    QByteArray bytes;
    for (const Profile& p : profiles) {
        const QString text = profileText(p);
        if (const auto found = originals.find(text); found != originals.end()) {
            bytes += found.value();
            originals.erase(found); // a second row of the same text takes the next line read
        } else {
            bytes += LocalCodec::fromUnicodeExactly(text, codec);
        }
        bytes += "\r\n";
    }
    return bytes;
}

bool holdsPassword(const QList<Profile>& profiles) {
    for (const Profile& p : profiles) {
        const ConnectionString parsed = ConnectionString::parse(p.connectionString);
        for (const ConnectionString::Pair& pair : parsed.pairs())
            if (isPasswordKey(pair.key) && !pair.value.isEmpty() &&
                pair.value.compare(QLatin1String("XXXX"), Qt::CaseInsensitive) != 0)
                return true;
    }
    return false;
}

void save(const QString& path, const QList<Profile>& profiles, const Contents& read) {
    replaceFileContents(path, toBytes(profiles, read),
                        holdsPassword(profiles) ? PendingFile::Access::OwnerOnly
                                                : PendingFile::Access::AsBefore);
}

} // namespace ProfileFile
