#pragma once

#include <QList>
#include <QString>

#include <optional>

// An ADO-style connection string: keyword=value pairs separated by ";". Keywords compare without
// regard to case; a value may be enclosed in double or single quotes (the quote doubled inside)
// or in ODBC braces ("}" doubled inside).
class ConnectionString {
public:
    struct Pair {
        QString key;
        QString value;
    };

    static ConnectionString parse(const QString& text);

    const QList<Pair>& pairs() const { return m_pairs; }
    std::optional<QString> value(const QString& key) const;
    // The first of the keys that is present.
    std::optional<QString> firstOf(std::initializer_list<const char*> keys) const;

    // A value written so the parser above (and ODBC drivers) read it back unchanged: braces when it
    // holds ";", quotes, braces, "=" or outer blanks; as it is otherwise.
    static QString quoteValue(const QString& value);

    // The text with every password value replaced by "****", for logs.
    static QString masked(const QString& text);

private:
    QList<Pair> m_pairs;
};

// Is key one of the keywords that carry a password?
bool isPasswordKey(const QString& key);
