#include "app/ini_reader.h"

#include "app/local_codec.h"

#include <QFile>

namespace {
constexpr int kValueBufferLength = 255; // a 256-character buffer holds 255 characters and the NUL

QString decodeIniBytes(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.mid(3));
    return LocalCodec::toUnicodeBestEffort(bytes);
}

QString unquote(const QString& value) {
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}
} // namespace

QString GetIniString(const QString& iniFile, const QString& section, const QString& key) {
    QFile file(iniFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QString text = decodeIniBytes(file.readAll());

    bool inSection = false;
    for (QStringView rawLine : QStringView(text).split(u'\n')) {
        const QStringView line = rawLine.trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            const qsizetype close = line.indexOf(u']');
            const QStringView name = line.mid(1, close < 0 ? -1 : close - 1).trimmed();
            inSection = name.compare(section, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inSection)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals < 0)
            continue;
        if (line.left(equals).trimmed().compare(key, Qt::CaseInsensitive) != 0)
            continue;
        QString value = unquote(line.mid(equals + 1).trimmed().toString());
        value.truncate(kValueBufferLength);
        const qsizetype nul = value.indexOf(QChar(0));
        if (nul >= 0)
            value.truncate(nul);
        return value;
    }
    return {};
}
