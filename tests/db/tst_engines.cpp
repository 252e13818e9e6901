#include "app/errors.h"
#include "db/ado_types.h"
#include "db/connection.h"
#include "db/connection_string.h"
#include "db/engine_route.h"
#include "db/session.h"
#include "support/scripted_operator.h"
#include "support/test_databases.h"
#include "support/test_program.h"

#include <QElapsedTimer>

#include <QTest>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QString kSqliteScript = QStringLiteral(
    "CREATE TABLE Kinds (RNo INTEGER PRIMARY KEY AUTOINCREMENT, Name VARCHAR(20) NOT NULL, Memo TEXT, "
    "Amount DECIMAL(12,2), Ratio REAL, Big BIGINT, Day DATE, Stamp DATETIME, Flag BOOLEAN, Pic BLOB);\n"
    "INSERT INTO Kinds (Name, Memo, Amount, Ratio, Big, Day, Stamp, Flag, Pic) VALUES "
    "('台北', NULL, 1234.5, 0.25, 12345678901234567, '2016-11-25', '2016-11-25 09:30:00', 1, x'00ff');\n"
    "INSERT INTO Kinds (Name) VALUES ('second');\n"
    "CREATE TABLE 客戶 (No INTEGER, Name TEXT);\n"
    "CREATE VIEW KindNames AS SELECT Name FROM Kinds;\n");

QMap<QString, int> typesOf(const Recordset& rs) {
    QMap<QString, int> types;
    for (const FieldInfo& f : rs.fields())
        types.insert(f.name.toLower(), f.type);
    return types;
}

// A loopback port nobody listens on: bind one, read its number, let it go.
quint16 closedPort() {
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(s);
    return ntohs(address.sin_port);
}

QStringList namesOfType(const QList<CatalogRow>& rows, const QString& type) {
    QStringList names;
    for (const CatalogRow& row : rows)
        if (row.type.toString() == type)
            names << row.name.toString();
    return names;
}
} // namespace

class TestEngines : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void sqliteNative();
    void sqliteMissingFileIsNotCreated();
    void rejectedStatementCarriesDriverText();
    void postgresNative();
    void postgresWrongPassword();
    void postgresThroughOdbcDsn();
    void postgresThroughUnrecognisedRegisteredDriver();
    void sqliteThroughOdbcDsn();
    void sqlServerRouteFailsClearlyWithoutServer();
    void accessFileRouteFailsForMissingFile();
    void connectAdoLogsMaskedString();

private:
    TestProgram m_program;
    PgServer m_pg;
    OdbcEnvironment m_odbc;
    QString m_sqlite;
};

void TestEngines::initTestCase() {
    QVERIFY2(m_pg.load(), kPgNotRunning);
    m_program.initGlobal();
    m_sqlite = m_program.path(QStringLiteral("kinds.db"));
    makeSqliteDatabase(m_sqlite, kSqliteScript);
    m_odbc.install(&m_pg, m_sqlite);
    QVERIFY(m_pg.exec(
        {QStringLiteral("DROP VIEW IF EXISTS kind_names"), QStringLiteral("DROP TABLE IF EXISTS kinds"),
         QStringLiteral(
             "CREATE TABLE kinds (rno SERIAL PRIMARY KEY, name VARCHAR(20) NOT NULL, memo TEXT, "
             "amount NUMERIC(12,2), ratio DOUBLE PRECISION, big BIGINT, day DATE, stamp TIMESTAMP, "
             "flag BOOLEAN, pic BYTEA, small SMALLINT)"),
         QStringLiteral("INSERT INTO kinds (name, amount, big, day) VALUES ('台北', 1234.5, "
                        "12345678901234567, '2016-11-25')"),
         QStringLiteral("CREATE VIEW kind_names AS SELECT name FROM kinds")}));
}

void TestEngines::sqliteNative() {
    Connection c;
    c.open(
        QStringLiteral("Driver={SQLite3 ODBC Driver};Database=kinds.db")); // relative to the program folder
    QCOMPARE(c.provider(), QStringLiteral("MSDASQL.1"));
    QCOMPARE(c.dataSource(), m_sqlite);
    QCOMPARE(c.route().qtDriver, QStringLiteral("QSQLITE"));

    auto rs = c.execute(QStringLiteral("SELECT * FROM Kinds ORDER BY RNo"));
    QVERIFY(rs->isOpen());
    const QMap<QString, int> expected{{"rno", AdoType::Integer},       {"name", AdoType::VarWChar},
                                      {"memo", AdoType::LongVarWChar}, {"amount", AdoType::Numeric},
                                      {"ratio", AdoType::Double},      {"big", AdoType::BigInt},
                                      {"day", AdoType::DBDate},        {"stamp", AdoType::DBTimeStamp},
                                      {"flag", AdoType::Boolean},      {"pic", AdoType::LongVarBinary}};
    QCOMPARE(typesOf(*rs), expected);
    QVERIFY(rs->field(0).autoIncrement);
    QCOMPARE(rs->field(1).attributes & AdoType::MayBeNull, 0);
    QCOMPARE(rs->field(2).attributes & AdoType::MayBeNull, AdoType::MayBeNull);
    QCOMPARE(rs->field(1).baseTable, QStringLiteral("Kinds"));
    QVERIFY(!rs->eof());
    QCOMPARE(rs->value(1).toString(), QStringLiteral("台北"));
    QVERIFY(rs->value(2).isNull());
    QCOMPARE(rs->value(5).toLongLong(), 12345678901234567LL);
    rs->moveNext();
    QCOMPARE(rs->value(1).toString(), QStringLiteral("second"));
    rs->moveNext();
    QVERIFY(rs->eof());
    QCOMPARE(rs->position(), 2);
    rs.reset();

    qint64 affected = 0;
    auto none = c.execute(QStringLiteral("UPDATE Kinds SET Ratio = 1 WHERE RNo > 0"), &affected);
    QVERIFY(!none->isOpen());
    QCOMPARE(affected, 2);
    c.execute(QStringLiteral("DROP TABLE IF EXISTS NotThere"), &affected); // changes no rows itself
    QCOMPARE(affected, 0);

    // Expressions take their type from the value.
    auto expr = c.execute(QStringLiteral("SELECT count(*) AS n, 'x' || Name AS label FROM Kinds"));
    QCOMPARE(expr->field(0).type, AdoType::Integer);
    expr.reset();

    const QList<CatalogRow> tables = c.tables();
    QCOMPARE(namesOfType(tables, QStringLiteral("TABLE")), (QStringList{"Kinds", QStringLiteral("客戶")}));
    QCOMPARE(namesOfType(tables, QStringLiteral("VIEW")), QStringList{"KindNames"});
    QCOMPARE(namesOfType(tables, QStringLiteral("SYSTEM TABLE")), QStringList{"sqlite_sequence"});
}

void TestEngines::sqliteMissingFileIsNotCreated() {
    Connection c;
    try {
        c.open(QStringLiteral("Driver={SQLite3};Database=typo.db"));
        QFAIL("opened a file that does not exist");
    } catch (const AppError& e) {
        QCOMPARE(e.number(), ErrNo::DbOpenFailed);
        QVERIFY(e.description().contains(QLatin1String("typo.db")));
    }
    QVERIFY(!QFile::exists(m_program.path(QStringLiteral("typo.db"))));
}

void TestEngines::rejectedStatementCarriesDriverText() {
    Connection c;
    c.open(QStringLiteral("Driver={SQLite3};Database=") + m_sqlite);
    try {
        c.execute(QStringLiteral("SELEC * FROM Kinds"));
        QFAIL("a bad statement ran");
    } catch (const AppError& e) {
        QCOMPARE(e.number(), ErrNo::DbStatementRejected);
        QVERIFY2(e.description().contains(QLatin1String("syntax error")), qPrintable(e.description()));
    }
    c.close();
    QVERIFY_THROWS_EXCEPTION(AppError, c.execute(QStringLiteral("SELECT 1")));
}

void TestEngines::postgresNative() {
    Connection c;
    c.open(m_pg.connectionString());
    QCOMPARE(c.route().qtDriver, QStringLiteral("QPSQL"));
    QCOMPARE(c.provider(), QStringLiteral("MSDASQL.1"));
    QCOMPARE(c.dataSource(), m_pg.host);
    auto rs = c.execute(QStringLiteral("SELECT * FROM kinds"));
    const QMap<QString, int> expected{
        {"rno", AdoType::Integer},       {"name", AdoType::VarWChar},     {"memo", AdoType::LongVarWChar},
        {"amount", AdoType::Numeric},    {"ratio", AdoType::Double},      {"big", AdoType::BigInt},
        {"day", AdoType::DBDate},        {"stamp", AdoType::DBTimeStamp}, {"flag", AdoType::Boolean},
        {"pic", AdoType::LongVarBinary}, {"small", AdoType::SmallInt}};
    QCOMPARE(typesOf(*rs), expected);
    QCOMPARE(rs->value(1).toString(), QStringLiteral("台北"));
    QCOMPARE(rs->value(5).toLongLong(), 12345678901234567LL);
    rs.reset();
    qint64 affected = -5;
    c.execute(QStringLiteral("UPDATE kinds SET ratio = 2"), &affected);
    QCOMPARE(affected, 1);

    const QList<CatalogRow> tables = c.tables();
    QVERIFY(namesOfType(tables, QStringLiteral("TABLE")).contains(QStringLiteral("kinds")));
    QVERIFY(!namesOfType(tables, QStringLiteral("TABLE")).contains(QStringLiteral("kind_names")));
    QVERIFY(namesOfType(tables, QStringLiteral("VIEW")).contains(QStringLiteral("kind_names")));
    QVERIFY(!namesOfType(tables, QStringLiteral("TABLE")).contains(QStringLiteral("pg_class")));
}

void TestEngines::postgresWrongPassword() {
    Connection c;
    try {
        c.open(m_pg.connectionString(QStringLiteral("Pwd=wrong")));
        QFAIL("opened with a wrong password");
    } catch (const AppError& e) {
        QCOMPARE(e.number(), ErrNo::DbOpenFailed);
        QVERIFY2(e.description().contains(QLatin1String("password"), Qt::CaseInsensitive),
                 qPrintable(e.description()));
    }
    QVERIFY(!c.isOpen());
}

void TestEngines::postgresThroughOdbcDsn() {
    Connection c;
    c.open(QStringLiteral("DSN=orvik_pg"));
    QCOMPARE(c.route().qtDriver, QStringLiteral("QODBC"));
    QCOMPARE(c.dataSource(), QStringLiteral("orvik_pg"));
    auto rs = c.execute(QStringLiteral("SELECT rno, name, amount, big, day FROM kinds"));
    QCOMPARE(typesOf(*rs), (QMap<QString, int>{{"rno", AdoType::Integer},
                                               {"name", AdoType::VarWChar},
                                               {"amount", AdoType::Numeric},
                                               {"big", AdoType::BigInt},
                                               {"day", AdoType::DBDate}}));
    QCOMPARE(rs->field(1).attributes & AdoType::MayBeNull, 0);
    QCOMPARE(rs->value(1).toString(), QStringLiteral("台北"));
    rs.reset();
    qint64 affected = 0;
    c.execute(QStringLiteral("UPDATE kinds SET ratio = 3"), &affected);
    QCOMPARE(affected, 1);
    const QList<CatalogRow> tables = c.tables();
    QVERIFY(namesOfType(tables, QStringLiteral("TABLE")).contains(QStringLiteral("kinds")));
    QVERIFY(namesOfType(tables, QStringLiteral("VIEW")).contains(QStringLiteral("kind_names")));
}

void TestEngines::postgresThroughUnrecognisedRegisteredDriver() {
    Connection c;
    c.open(
        QStringLiteral("Driver={PG Alias Driver};Servername=%1;Port=%2;Database=%3;Username=%4;Password=%5")
            .arg(m_pg.host)
            .arg(m_pg.port)
            .arg(m_pg.database, m_pg.user, ConnectionString::quoteValue(m_pg.password)));
    QCOMPARE(c.route().qtDriver, QStringLiteral("QODBC"));
    auto rs = c.execute(QStringLiteral("SELECT count(*) FROM kinds"));
    QCOMPARE(rs->value(0).toInt(), 1);
}

void TestEngines::sqliteThroughOdbcDsn() {
    Connection c;
    c.open(QStringLiteral("DSN=orvik_sqlite"));
    QCOMPARE(c.route().qtDriver, QStringLiteral("QODBC"));
    auto rs = c.execute(QStringLiteral("SELECT Name, Big FROM Kinds ORDER BY RNo"));
    QCOMPARE(rs->value(0).toString(), QStringLiteral("台北"));
    QCOMPARE(rs->field(1).type, AdoType::BigInt);
    rs.reset();
    const QList<CatalogRow> tables = c.tables();
    QVERIFY(namesOfType(tables, QStringLiteral("TABLE")).contains(QStringLiteral("Kinds")));
    QVERIFY(namesOfType(tables, QStringLiteral("TABLE")).contains(QStringLiteral("客戶")));
    QCOMPARE(namesOfType(tables, QStringLiteral("VIEW")), QStringList{"KindNames"});
}

void TestEngines::sqlServerRouteFailsClearlyWithoutServer() {
    const quint16 port = closedPort();
    Connection c;
    const QString text =
        QStringLiteral("Provider=SQLOLEDB;Data Source=127.0.0.1,%1;Initial Catalog=erp;User ID=sa;Password=x")
            .arg(port);
    QCOMPARE(planRoute(text, m_program.folder()).databaseName,
             QStringLiteral("Driver=FreeTDS;Server=127.0.0.1;Port=%1;Database=erp;UID=sa;PWD=x;TDS_Version=7."
                            "4;ClientCharset=UTF-8;")
                 .arg(port));
    QElapsedTimer timer;
    timer.start();
    try {
        c.open(text);
        QFAIL("connected to a port with no server");
    } catch (const AppError& e) {
        QCOMPARE(e.number(), ErrNo::DbOpenFailed);
        QVERIFY(!e.description().isEmpty());
    }
    QCOMPARE(c.provider(), QStringLiteral("SQLOLEDB.1"));
    QVERIFY(timer.elapsed() < 30000);
}

void TestEngines::accessFileRouteFailsForMissingFile() {
    Connection c;
    QVERIFY_THROWS_EXCEPTION(AppError,
                             c.open(QStringLiteral("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=none.mdb")));
    QCOMPARE(c.route().qtDriver, QStringLiteral("QODBC"));
    QVERIFY(c.route().readOnly);
}

void TestEngines::connectAdoLogsMaskedString() {
    ScriptedOperator op;
    std::unique_ptr<Connection> connection;
    const QString text = m_pg.connectionString(QStringLiteral("Pwd={not;it}"));
    QVERIFY(!ConnectADO(text, connection));
    QVERIFY(connection); // the new, unopened object
    QVERIFY(!connection->isOpen());
    const QString err = QString::fromUtf8(m_program.read(QStringLiteral("ORVIK.ERR")));
    QVERIFY2(err.contains(QStringLiteral("處理程序: (ConnectADO:") + ConnectionString::masked(text) + u')'),
             qPrintable(err));
    QVERIFY(err.contains(QStringLiteral("Pwd=****")));
    QVERIFY(!err.contains(QStringLiteral("not;it")));
    QVERIFY(err.contains(QStringLiteral("執行錯誤, 代碼: -2147467259")));
    QVERIFY(op.boxes.isEmpty());
    QVERIFY(ConnectADO(m_pg.connectionString(), connection));
    QVERIFY(connection->isOpen());
}

QTEST_GUILESS_MAIN(TestEngines)
#include "tst_engines.moc"
