#include "app/errors.h"
#include "app/global_settings.h"
#include "db/connection_string.h"
#include "db/engine_route.h"
#include "db/session.h"
#include "support/scripted_operator.h"
#include "support/test_databases.h"
#include "support/test_program.h"

#include <QTest>

class TestConnectionStrings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { m_odbc.install(nullptr, QString()); }
    void parse_data();
    void parse();
    void quoteValueRoundTrips_data();
    void quoteValueRoundTrips();
    void maskedHidesEveryPassword_data();
    void maskedHidesEveryPassword();
    void reportedProvider_data();
    void reportedProvider();
    void routes_data();
    void routes();
    void unroutableStringsNameWhatWasAsked_data();
    void unroutableStringsNameWhatWasAsked();
    void dialectKey_data();
    void dialectKey();
    void dialectTable_data();
    void dialectTable();
    void justSql_data();
    void justSql();

private:
    OdbcEnvironment m_odbc;
};

void TestConnectionStrings::parse_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "Provider=SQLOLEDB;Data Source=srv"
                           << "data source"
                           << "srv";
    QTest::newRow("blanks around") << " Server = host ; Port=5432"
                                   << "SERVER"
                                   << "host";
    QTest::newRow("braces") << "Driver={SQLite3 ODBC Driver};Database=a.db"
                            << "Driver"
                            << "SQLite3 ODBC Driver";
    QTest::newRow("braces with ; and doubled }") << "Pwd={a;b}}c};Uid=u"
                                                 << "pwd"
                                                 << "a;b}c";
    QTest::newRow("double quotes") << "Password=\"x;y\"\"z\";User ID=sa"
                                   << "Password"
                                   << "x;y\"z";
    QTest::newRow("single quotes") << "Password='it''s';A=1"
                                   << "password"
                                   << "it's";
    QTest::newRow("first of repeated keys") << "A=1;A=2"
                                            << "a"
                                            << "1";
    QTest::newRow("trailing semicolon") << "DSN=pg;"
                                        << "dsn"
                                        << "pg";
    QTest::newRow("part without =") << "junk;DSN=pg"
                                    << "dsn"
                                    << "pg";
    QTest::newRow("empty value") << "Password=;Uid=u"
                                 << "password"
                                 << "";
    QTest::newRow("= inside value") << "Extra=a=b;X=1"
                                    << "extra"
                                    << "a=b";
    QTest::newRow("chinese") << "Database=資料.db"
                             << "database" << QStringLiteral("資料.db");
}

void TestConnectionStrings::parse() {
    QFETCH(QString, text);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const auto value = ConnectionString::parse(text).value(key);
    QVERIFY(value.has_value());
    QCOMPARE(*value, expected);
}

void TestConnectionStrings::quoteValueRoundTrips_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("written");
    QTest::newRow("plain") << "secret"
                           << "secret";
    QTest::newRow("semicolon") << "a;b"
                               << "{a;b}";
    QTest::newRow("closing brace") << "x}y"
                                   << "{x}}y}";
    QTest::newRow("quotes") << "it's \"q\""
                            << "{it's \"q\"}";
    QTest::newRow("outer blanks") << " pad "
                                  << "{ pad }";
    QTest::newRow("empty") << ""
                           << "";
}

void TestConnectionStrings::quoteValueRoundTrips() {
    QFETCH(QString, value);
    QFETCH(QString, written);
    QCOMPARE(ConnectionString::quoteValue(value), written);
    const QString text = QStringLiteral("Uid=u;Password=") + written + QStringLiteral(";Port=1");
    QCOMPARE(ConnectionString::parse(text).value(QStringLiteral("Password")).value_or(QStringLiteral("?")),
             value);
    QCOMPARE(ConnectionString::parse(text).value(QStringLiteral("Port")).value_or(QString()),
             QStringLiteral("1"));
}

void TestConnectionStrings::maskedHidesEveryPassword_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("masked");
    QTest::newRow("Password and PWD") << "Server=s;Password=abc;PWD=def;Uid=u"
                                      << "Server=s;Password=****;PWD=****;Uid=u";
    QTest::newRow("braced with ;") << "Pwd={a;b};Uid=u"
                                   << "Pwd=****;Uid=u";
    QTest::newRow("lower case key, at end") << "uid=u;password=x"
                                            << "uid=u;password=****";
    QTest::newRow("no password") << "DSN=pg"
                                 << "DSN=pg";
}

void TestConnectionStrings::maskedHidesEveryPassword() {
    QFETCH(QString, text);
    QFETCH(QString, masked);
    QCOMPARE(ConnectionString::masked(text), masked);
}

void TestConnectionStrings::reportedProvider_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("provider");
    QTest::newRow("SQLOLEDB") << "Provider=SQLOLEDB;Data Source=s"
                              << "SQLOLEDB.1";
    QTest::newRow("sqloledb lower") << "Provider=sqloledb;Data Source=s"
                                    << "SQLOLEDB.1";
    QTest::newRow("MSDASQL") << "Provider=MSDASQL;DSN=x"
                             << "MSDASQL.1";
    QTest::newRow("no provider") << "Driver={SQLite3};Database=a"
                                 << "MSDASQL.1";
    QTest::newRow("MSDAORA") << "Provider=MSDAORA;Data Source=o"
                             << "MSDAORA.1";
    QTest::newRow("versioned stays") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a.mdb"
                                     << "Microsoft.Jet.OLEDB.4.0";
    QTest::newRow("SQLNCLI11 as written") << "Provider=SQLNCLI11;Server=s"
                                          << "SQLNCLI11";
}

void TestConnectionStrings::reportedProvider() {
    QFETCH(QString, text);
    QFETCH(QString, provider);
    QCOMPARE(reportedProviderName(text), provider);
}

void TestConnectionStrings::routes_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("qtDriver");
    QTest::addColumn<QString>("databaseName");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("dataSource");

    QTest::newRow("DSN passes through") << "DSN=orvik_pg;Uid=u;Pwd={a;b}"
                                        << "QODBC"
                                        << "orvik_pg;Uid=u;Pwd={a;b}"
                                        << "" << -1 << ""
                                        << ""
                                        << "orvik_pg";
    QTest::newRow("registered driver not recognised passes through")
        << "Driver={PG Alias Driver};Server=h;Database=d"
        << "QODBC"
        << "Driver={PG Alias Driver};Server=h;Database=d"
        << "" << -1 << ""
        << ""
        << "h";
    QTest::newRow("SQLite ODBC driver name") << "Driver={SQLite3 ODBC Driver};Database=sample.db"
                                             << "QSQLITE"
                                             << "/prog/sample.db"
                                             << "" << -1 << ""
                                             << ""
                                             << "/prog/sample.db";
    QTest::newRow("SQLite3 driver, DBQ absolute") << "Driver={SQLite3};DBQ=/data/x.db"
                                                  << "QSQLITE"
                                                  << "/data/x.db"
                                                  << "" << -1 << ""
                                                  << ""
                                                  << "/data/x.db";
    QTest::newRow("SQLite provider, Data Source") << "Provider=SQLiteOLEDB;Data Source=sub/y.db"
                                                  << "QSQLITE"
                                                  << "/prog/sub/y.db"
                                                  << "" << -1 << ""
                                                  << ""
                                                  << "/prog/sub/y.db";
    QTest::newRow("PostgreSQL driver")
        << "Driver={PostgreSQL Unicode};Server=db1;Port=5433;Database=shop;Uid=op;Pwd=pw"
        << "QPSQL"
        << "shop"
        << "db1" << 5433 << "op"
        << "pw"
        << "db1";
    QTest::newRow("PostgreSQL provider")
        << "Provider=PostgreSQL OLE DB Provider;Host=h;Database=d;User ID=u;Password=p"
        << "QPSQL"
        << "d"
        << "h" << -1 << "u"
        << "p"
        << "h";
    QTest::newRow("PGNP provider")
        << "Provider=PGNP.1;Data Source=pghost;Initial Catalog=erp;User ID=u;Password=p"
        << "QPSQL"
        << "erp"
        << "pghost" << -1 << "u"
        << "p"
        << "pghost";
    QTest::newRow("SQLOLEDB via FreeTDS, host,port")
        << "Provider=SQLOLEDB;Data Source=10.1.2.3,1433;Initial Catalog=erp;User ID=sa;Password=p;w"
        << "QODBC"
        << "Driver=FreeTDS;Server=10.1.2.3;Port=1433;Database=erp;UID=sa;PWD=p;TDS_Version=7.4;ClientCharset="
           "UTF-8;"
        << "" << -1 << ""
        << ""
        << "10.1.2.3,1433";
    QTest::newRow("SQL Server driver, instance, braced password")
        << "Driver={SQL Server};Server=srv\\SQLEXPRESS;Database=d;Uid=sa;Pwd={a;b}"
        << "QODBC"
        << "Driver=FreeTDS;Server=srv\\SQLEXPRESS;Database=d;UID=sa;PWD={a;b};TDS_Version=7.4;ClientCharset="
           "UTF-8;"
        << "" << -1 << ""
        << ""
        << "srv\\SQLEXPRESS";
    QTest::newRow("Jet file through MDBTools") << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=old.mdb"
                                               << "QODBC"
                                               << "Driver=MDBTools;DBQ=/prog/old.mdb;"
                                               << "" << -1 << ""
                                               << ""
                                               << "/prog/old.mdb";
    QTest::newRow("ACE file through MDBTools") << "Provider=Microsoft.ACE.OLEDB.12.0;Data Source=/x/new.accdb"
                                               << "QODBC"
                                               << "Driver=MDBTools;DBQ=/x/new.accdb;"
                                               << "" << -1 << ""
                                               << ""
                                               << "/x/new.accdb";
    QTest::newRow("MySQL driver")
        << "Driver={MySQL ODBC 8.0 Unicode Driver};Server=m;Port=3307;Database=d;Uid=u;Pwd=p"
        << "QMYSQL"
        << "d"
        << "m" << 3307 << "u"
        << "p"
        << "m";
}

void TestConnectionStrings::routes() {
    QFETCH(QString, text);
    QFETCH(QString, qtDriver);
    QFETCH(QString, databaseName);
    QFETCH(QString, host);
    QFETCH(int, port);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(QString, dataSource);
    const EngineRoute route = planRoute(text, QStringLiteral("/prog"));
    QCOMPARE(route.qtDriver, qtDriver);
    QCOMPARE(route.databaseName, databaseName);
    QCOMPARE(route.host, host);
    QCOMPARE(route.port, port);
    QCOMPARE(route.user, user);
    QCOMPARE(route.password, password);
    QCOMPARE(route.dataSource, dataSource);
    QCOMPARE(route.provider, reportedProviderName(text));
}

void TestConnectionStrings::unroutableStringsNameWhatWasAsked_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown provider") << "Provider=Foo.Bar;Data Source=x"
                                      << "Provider=Foo.Bar";
    QTest::newRow("unregistered driver") << "Driver={No Such Driver};Server=x"
                                         << "Driver={No Such Driver}";
    QTest::newRow("Oracle without a driver") << "Provider=MSDAORA;Data Source=orcl"
                                             << "Provider=MSDAORA";
    QTest::newRow("nothing to go by") << "Server=x;Database=y"
                                      << "沒有 Provider, Driver 或 DSN";
    QTest::newRow("SQLite without a file") << "Driver={SQLite3};Timeout=5"
                                           << "沒有指定 SQLite 資料庫檔案";
    QTest::newRow("port that is no number") << "Driver={PostgreSQL Unicode};Server=h;Port=abc;Database=d"
                                            << "Port=abc";
    QTest::newRow("PostgreSQL without a server") << "Driver={PostgreSQL Unicode};Database=d;Uid=u"
                                                 << "沒有 Server=";
    QTest::newRow("SQL Server without a server") << "Provider=SQLOLEDB;Initial Catalog=d"
                                                 << "沒有 Data Source=";
}

void TestConnectionStrings::unroutableStringsNameWhatWasAsked() {
    QFETCH(QString, text);
    QFETCH(QString, named);
    try {
        planRoute(text, QStringLiteral("/prog"));
        QFAIL("a route was planned");
    } catch (const AppError& e) {
        QCOMPARE(e.number(), ErrNo::DbOpenFailed);
        QVERIFY2(e.description().contains(named), qPrintable(e.description()));
        if (e.description().startsWith(QStringLiteral("沒有已安裝的驅動程式")))
            QVERIFY2(e.description().contains(QLatin1String("FreeTDS")) &&
                         e.description().contains(QLatin1String("QSQLITE")),
                     qPrintable(e.description()));
    }
}

void TestConnectionStrings::dialectKey_data() {
    QTest::addColumn<QString>("provider");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("key");
    QTest::newRow("PostgreSQL inside") << "MSDASQL.1"
                                       << "Driver={PostgreSQL Unicode};Server=h"
                                       << "POSTGRE";
    QTest::newRow("postgresql lower case") << "MSDASQL.1"
                                           << "Driver={postgresql};Server=h"
                                           << "POSTGRE";
    QTest::newRow("PostgreSQL at the very start") << "PostgreSQL.1"
                                                  << "PostgreSQL=1;x"
                                                  << "POSTGRE";
    QTest::newRow("starts with PostgreSQL, ODBC provider") << "MSDASQL.1"
                                                           << "PostgreSQLx=1"
                                                           << "MSDASQL";
    QTest::newRow("SQLite3") << "MSDASQL.1"
                             << "Driver={SQLite3 ODBC Driver};Database=a"
                             << "SQLITE3";
    QTest::newRow("SQLOLEDB") << "SQLOLEDB.1"
                              << "Provider=SQLOLEDB;Data Source=s"
                              << "SQLOLED";
    QTest::newRow("Jet") << "Microsoft.Jet.OLEDB.4.0"
                         << "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=a"
                         << "MICROSO";
    QTest::newRow("short provider whole") << "PGNP"
                                          << "Provider=PGNP;Data Source=h"
                                          << "PGNP";
}

void TestConnectionStrings::dialectKey() {
    QFETCH(QString, provider);
    QFETCH(QString, text);
    QFETCH(QString, key);
    QCOMPARE(dialectKeyFor(provider, text), key);
}

void TestConnectionStrings::dialectTable_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("dbType");
    QTest::addColumn<QString>("serverDate");
    QTest::addColumn<QString>("dateQuote");
    QTest::addColumn<QString>("identity");
    QTest::newRow("SQLITE3") << "SQLITE3"
                             << "SQLITE"
                             << "strftime('%Y-%m-%d %H:%M:%S' , 'now', 'localtime')"
                             << "'"
                             << " SELECT last_insert_rowid() AS NewRNo ";
    QTest::newRow("SQLOLED") << "SQLOLED"
                             << "MS_SQL"
                             << "getDate()"
                             << "'"
                             << " SELECT @@IDENTITY AS 'NewRNo' ";
    QTest::newRow("MSDAORA") << "MSDAORA"
                             << "ORACLE"
                             << "SYSDATE"
                             << "TO_DATE"
                             << " SELECT @@IDENTITY AS 'NewRNo' ";
    QTest::newRow("MSDASQL") << "MSDASQL"
                             << "PG_SQL"
                             << "now()"
                             << "'"
                             << " SELECT lastval() AS NewRNo ";
    QTest::newRow("MICROSO") << "MICROSO"
                             << "ACCESS"
                             << "now()"
                             << "#"
                             << " SELECT @@IDENTITY AS 'NewRNo' ";
    QTest::newRow("POSTGRE") << "POSTGRE"
                             << "PG_SQL"
                             << "now()"
                             << "'"
                             << " SELECT lastval() AS NewRNo ";
    QTest::newRow("lower-case key matches nothing") << "sqloled"
                                                    << "SQL_DB"
                                                    << "getDate()"
                                                    << "'"
                                                    << " SELECT @@IDENTITY AS 'NewRNo' ";
}

void TestConnectionStrings::dialectTable() {
    QFETCH(QString, key);
    QFETCH(QString, dbType);
    QFETCH(QString, serverDate);
    QFETCH(QString, dateQuote);
    QFETCH(QString, identity);
    ScriptedOperator op;
    Connection unopened;
    SetDBType(&unopened, key);
    QCOMPARE(Dialect().DBType, dbType);
    QCOMPARE(Dialect().ServerDateExpr, serverDate);
    QCOMPARE(Dialect().LikeWildcard, QStringLiteral("%"));
    QCOMPARE(GlobalSettings().DateQuote, dateQuote);
    QCOMPARE(Dialect().IdentityQuery, identity);
    QVERIFY(op.boxes.isEmpty());
}

void TestConnectionStrings::justSql_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("comment then lower-case select") << "-- monthly report\nselect * from t"
                                                    << "select * from t";
    QTest::newRow("USE inside a table name") << "zz USERS"
                                             << "USERS";
    QTest::newRow("update in a comment wins") << "/* update later */ SELECT 1"
                                              << "update later */ SELECT 1";
    QTest::newRow("EXECUTE is no word") << "EXECUTE sp_who"
                                        << "";
    QTest::newRow("EXECUTE then a later word") << "EXECUTE x; select 1"
                                               << "select 1";
    QTest::newRow("EXEC with blank") << "  exec sp_help"
                                     << "exec sp_help";
    QTest::newRow("DROP needs its blank") << "DROPX; drop table t"
                                          << "drop table t";
    QTest::newRow("nothing") << "hello world"
                             << "";
    QTest::newRow("whole text kept") << "note\nINSERT INTO t VALUES (1)\n"
                                     << "INSERT INTO t VALUES (1)\n";
}

void TestConnectionStrings::justSql() {
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(sGetJustSQL(text), expected);
}

QTEST_GUILESS_MAIN(TestConnectionStrings)
#include "tst_connection_strings.moc"
