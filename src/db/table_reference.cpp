#include "db/table_reference.h"

#include <QRegularExpression>
#include <QSqlDriver>

namespace {
// One part of a name: "quoted" (doubled quotes inside), [bracketed], `backticked`, or plain.
const QString kPart = QStringLiteral(R"((?:"(?:[^"]|"")+"|\[[^\]]+\]|`[^`]+`|[^\s,;()."\[`]+))");
} // namespace

QString TableReference::displayName() const {
    QStringList names;
    for (const Part& part : parts)
        names << part.name;
    return names.join(u'.');
}

QString TableReference::sqlName(const QSqlDriver* driver, ServerKind server) const {
    QStringList names;
    for (const Part& part : parts) {
        const QString name = part.quoted || server != ServerKind::Postgres ? part.name : part.name.toLower();
        names << driver->escapeIdentifier(name, QSqlDriver::TableName);
    }
    return names.join(u'.');
}

TableReference TableReference::parse(const QString& text) {
    static const QRegularExpression whole(QStringLiteral("^%1(?:\\.%1)*$").arg(kPart));
    static const QRegularExpression part(kPart);
    TableReference table;
    if (!whole.match(text).hasMatch())
        return table;
    for (auto it = part.globalMatch(text); it.hasNext();) {
        const QString written = it.next().captured(0);
        const QChar open = written.front();
        if (open == u'"' || open == u'[' || open == u'`') {
            QString name = written.mid(1, written.size() - 2);
            if (open == u'"')
                name.replace(QStringLiteral("\"\""), QStringLiteral("\""));
            table.parts.append({name, true});
        } else {
            table.parts.append({written, false});
        }
    }
    return table;
}

TableReference TableReference::ofSelect(const QString& sql, QString* reason) {
    const QString text = sql.simplified();
    static const QRegularExpression combining(
        QStringLiteral("\\b(JOIN|UNION|INTERSECT|EXCEPT|GROUP\\s+BY|HAVING|DISTINCT)\\b|\\(\\s*SELECT\\b"),
        QRegularExpression::CaseInsensitiveOption);
    if (const auto m = combining.match(text); m.hasMatch()) {
        *reason = QStringLiteral("結果是唯讀的: 它合併或彙總了資料列 (%1)。").arg(m.captured(0).trimmed());
        return {};
    }
    static const QRegularExpression shape(
        QStringLiteral("^SELECT\\s.+?\\sFROM\\s+(%1(?:\\.%1)*)"
                       "(?:\\s+(?:AS\\s+)?(?!WHERE\\b|ORDER\\b|LIMIT\\b)[^\\s,;()]+)?"
                       "\\s*(?:(?:WHERE|ORDER\\s+BY|LIMIT)\\b.*)?;?\\s*$")
            .arg(kPart),
        QRegularExpression::CaseInsensitiveOption);
    const auto m = shape.match(text);
    const TableReference table = m.hasMatch() ? parse(m.captured(1)) : TableReference();
    if (table.isEmpty())
        *reason = QStringLiteral("結果是唯讀的: 這個陳述式不是只讀取一個資料表。");
    return table;
}
