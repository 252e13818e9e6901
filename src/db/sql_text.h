#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

// What a statement's first command word makes of it, as the execution commands branch on it.
enum class StatementKind { Change, Select, Server, Exec, Use, Other };
StatementKind classify(const QString& justSql);

// How many statements a text holds: the ";" outside quotes ('', "", [], ``, PostgreSQL's $tag$
// quoting) and comments (--, /* */) separate them; a last ";" followed by nothing counts no more.
int countStatements(QStringView sql);
// The statements of a text, each trimmed and without its ";"; those holding only blanks and
// comments are left out.
QStringList splitStatements(QStringView sql);
