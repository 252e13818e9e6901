#include "profiles/profile_file.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/helpers.h"
#include "app/local_codec.h"

namespace ProfileFile {

QList<QString> profileLines(const QByteArray& bytes, QByteArray* codec) {
    const QByteArray found = LocalCodec::detect(bytes);
    if (codec)
        *codec = found;
    const QString text = LocalCodec::toUnicode(bytes, found);
    QList<QString> lines;
    qsizetype start = 0;
    const auto take = [&](qsizetype end) {
        const QString line = text.mid(start, end - start);
        if (!TrimSpaces(line).isEmpty())
            lines << line;
    };
    // CR LF, a lone CR or a lone LF ends a line: a file saved by an editor with LF line ends
    // must not run its profiles, passwords and all, into one name.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] != u'\r' && text[i] != u'\n')
            continue;
        take(i);
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        take(text.size());
    return lines;
}

Profile splitLine(const QString& line) {
    const QStringList parts = line.split(u'\t');
    return {parts.value(0), parts.value(1)};
}

QByteArray toBytes(const QList<Profile>& profiles, const QByteArray& codec) {
    QString text;
    for (const Profile& p : profiles)
        text += p.connectionString + u'\t' + p.name + QStringLiteral("\r\n");
    return LocalCodec::fromUnicodeExactly(text, codec.isEmpty() ? LocalCodec::codecName() : codec);
}

void save(const QString& path, const QList<Profile>& profiles, const QByteArray& codec) {
    replaceFileContents(path, toBytes(profiles, codec));
}

} // namespace ProfileFile
