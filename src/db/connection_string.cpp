#include "db/connection_string.h"

namespace {
struct Token {
    qsizetype keyStart, keyEnd;     // [keyStart, keyEnd) raw key text
    qsizetype valueStart, valueEnd; // [valueStart, valueEnd) raw value text, quotes included
    QString value;                  // value with quotes removed
};

// Splits text into its pairs, keeping the positions so the text can be rewritten in place.
QList<Token> tokenize(const QString& text) {
    QList<Token> tokens;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n) {
        const qsizetype keyStart = i;
        while (i < n && text[i] != u'=' && text[i] != u';')
            ++i;
        if (i >= n || text[i] == u';') { // a part without "=" carries no pair
            ++i;
            continue;
        }
        Token token{keyStart, i, 0, 0, {}};
        ++i; // "="
        while (i < n && text[i] == u' ')
            ++i;
        token.valueStart = i;
        const QChar open = i < n ? text[i] : QChar();
        const QChar close = open == u'{' ? QChar(u'}') : open;
        if (open == u'{' || open == u'"' || open == u'\'') {
            ++i;
            while (i < n) {
                if (text[i] == close) {
                    if (i + 1 < n && text[i + 1] == close) { // doubled: one literal character
                        token.value += close;
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                token.value += text[i++];
            }
            token.valueEnd = i;
            while (i < n && text[i] != u';') // anything after the closing quote up to ";" is ignored
                ++i;
        } else {
            while (i < n && text[i] != u';')
                ++i;
            token.valueEnd = i;
            token.value = text.mid(token.valueStart, i - token.valueStart).trimmed();
        }
        tokens << token;
        ++i; // ";"
    }
    return tokens;
}
} // namespace

bool isPasswordKey(const QString& key) {
    const QString k = key.trimmed();
    return k.compare(QLatin1String("Password"), Qt::CaseInsensitive) == 0 ||
           k.compare(QLatin1String("PWD"), Qt::CaseInsensitive) == 0;
}

ConnectionString ConnectionString::parse(const QString& text) {
    ConnectionString parsed;
    for (const Token& token : tokenize(text))
        parsed.m_pairs.append(
            {text.mid(token.keyStart, token.keyEnd - token.keyStart).trimmed(), token.value});
    return parsed;
}

std::optional<QString> ConnectionString::value(const QString& key) const {
    for (const Pair& pair : m_pairs)
        if (pair.key.compare(key, Qt::CaseInsensitive) == 0)
            return pair.value;
    return std::nullopt;
}

std::optional<QString> ConnectionString::firstOf(std::initializer_list<const char*> keys) const {
    for (const char* key : keys)
        if (auto found = value(QLatin1String(key)))
            return found;
    return std::nullopt;
}

QString ConnectionString::quoteValue(const QString& value) {
    const bool plain = !value.contains(u';') && !value.contains(u'{') && !value.contains(u'}') &&
                       !value.contains(u'"') && !value.contains(u'\'') && !value.contains(u'=') &&
                       value.trimmed() == value;
    if (plain)
        return value;
    return u'{' + QString(value).replace(u'}', QStringLiteral("}}")) + u'}';
}

QString ConnectionString::masked(const QString& text) {
    QString out = text;
    const QList<Token> tokens = tokenize(text);
    for (auto it = tokens.crbegin(); it != tokens.crend(); ++it) // from the end: positions stay valid
        if (isPasswordKey(text.mid(it->keyStart, it->keyEnd - it->keyStart)))
            out.replace(it->valueStart, it->valueEnd - it->valueStart, QStringLiteral("****"));
    return out;
}
