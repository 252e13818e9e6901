// Builds the SQLite files of the program folder from text sources:
//   orvik_mkdb sql OUT.db SCRIPT.sql       runs the script's statements into a new database
//   orvik_mkdb catalog OUT.MDB MESSAGES.txt builds the message catalog (table Msg) from KEY<TAB>TEXT lines
// The database is written beside OUT under a temporary name and renamed over it when complete.

#include <QCoreApplication>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <cstdio>

namespace {
[[noreturn]] void fail(const QString& message) {
    std::fprintf(stderr, "orvik_mkdb: %s\n", qPrintable(message));
    std::exit(1);
}

QString readUtf8(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1: %2").arg(path, file.errorString()));
    return QString::fromUtf8(file.readAll());
}

// Statements end at ";" outside quotes and comments.
QStringList splitStatements(const QString& script) {
    QStringList statements;
    QString current;
    QChar quote;
    for (qsizetype i = 0; i < script.size(); ++i) {
        const QChar c = script[i];
        if (!quote.isNull()) {
            current += c;
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'-' && i + 1 < script.size() && script[i + 1] == u'-') {
            while (i < script.size() && script[i] != u'\n')
                ++i;
            current += u'\n';
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
            current += c;
        } else if (c == u';') {
            if (!current.trimmed().isEmpty())
                statements << current.trimmed();
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();
    return statements;
}

QStringList catalogStatements(const QString& source) {
    QStringList statements{
        QStringLiteral("CREATE TABLE Msg (MsgID VARCHAR(30) NOT NULL, MsgText VARCHAR(255))")};
    for (const QString& line : source.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        if (tab < 0)
            fail(QStringLiteral("catalog line without TAB: %1").arg(line));
        const auto literal = [](QString text) {
            return u'\'' + text.replace(u'\'', QStringLiteral("''")) + u'\'';
        };
        statements << QStringLiteral("INSERT INTO Msg (MsgID, MsgText) VALUES (%1, %2)")
                          .arg(literal(line.left(tab)), literal(line.mid(tab + 1).trimmed()));
    }
    return statements;
}

void build(const QString& outPath, const QStringList& statements) {
    const QString temporary = outPath + QStringLiteral(".building");
    QFile::remove(temporary);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("mkdb"));
        db.setDatabaseName(temporary);
        if (!db.open())
            fail(db.lastError().text());
        db.transaction();
        for (const QString& statement : statements) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                fail(QStringLiteral("%1\n  in: %2").arg(query.lastError().text(), statement));
        }
        if (!db.commit())
            fail(db.lastError().text());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("mkdb"));
    QFile::remove(outPath);
    if (!QFile::rename(temporary, outPath))
        fail(QStringLiteral("cannot rename %1 to %2").arg(temporary, outPath));
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4 || (args[1] != QLatin1String("sql") && args[1] != QLatin1String("catalog")))
        fail(QStringLiteral("usage: orvik_mkdb sql|catalog OUT SOURCE"));
    const QString source = readUtf8(args[3]);
    build(args[2], args[1] == QLatin1String("sql") ? splitStatements(source) : catalogStatements(source));
    return 0;
}
