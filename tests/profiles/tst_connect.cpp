#include "db/connection.h"
#include "db/connection_string.h"
#include "db/session.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "profiles/connect_actions.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
QStringList tableList(const StartedWindow& s) {
    auto* list = s.child<FlexGrid>("fgTableName");
    QStringList names;
    for (int r = 0; r < list->rows(); ++r)
        names << list->textMatrix(r, 0);
    return names;
}
} // namespace

class TestConnect : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void connectCommandOnSqlite();
    void failedConnectKeepsTitleAndList();
    void passwordPrompt_data();
    void passwordPrompt();
    void passwordWithSeparatorsArrivesIntact();
    void placeholderAtTheVeryStartIsNotAsked();
    void tableListsOfEachEngine();
    void emptyCatalogueKeepsPreviousList();
    void onlyTypeTableIsListed();
    void sampleProgramFolderStartsConnected();
    void escGivesUpAConnectToASilentHost_data();
    void escGivesUpAConnectToASilentHost();

private:
    // A window started with no profile, then connected with `text` through the connect command.
    void connectWith(StartedWindow& s, const QString& text, const QString& name);

    PgServer m_pg;
    OdbcEnvironment m_odbc;
    QTemporaryDir m_shared;
};

void TestConnect::initTestCase() {
    QVERIFY2(m_pg.load(), kPgNotRunning);
    const QString sqlite = m_shared.filePath(QStringLiteral("odbc.db"));
    makeSqliteDatabase(
        sqlite,
        QStringLiteral("CREATE TABLE Viaodbc (a INTEGER);\nCREATE VIEW Viewodbc AS SELECT a FROM Viaodbc"));
    m_odbc.install(&m_pg, sqlite);
    QVERIFY(m_pg.exec(
        {QStringLiteral("DROP VIEW IF EXISTS conn_view"), QStringLiteral("DROP TABLE IF EXISTS conn_table"),
         QStringLiteral("CREATE TABLE conn_table (id INTEGER)"),
         QStringLiteral("CREATE VIEW conn_view AS SELECT id FROM conn_table"),
         QStringLiteral("DROP SCHEMA IF EXISTS conn_other CASCADE"),
         QStringLiteral("CREATE SCHEMA conn_other"),
         QStringLiteral("CREATE TABLE conn_other.conn_table (other INTEGER)"),
         QStringLiteral("CREATE TABLE conn_other.\"Far Away\" (far INTEGER)"),
         QStringLiteral("INSERT INTO conn_other.\"Far Away\" VALUES (7)"),
         QStringLiteral("DO $$BEGIN CREATE ROLE odd LOGIN; EXCEPTION WHEN duplicate_object THEN NULL; END$$"),
         QStringLiteral("ALTER ROLE odd LOGIN PASSWORD 'p;w{x}\"y''z'")}));
}

void TestConnect::connectWith(StartedWindow& s, const QString& text, const QString& name) {
    s.child<QTabWidget>("tabPage")->setCurrentIndex(2);
    s.child<QLineEdit>("txtCntStr")->setText(QStringLiteral("  ") + text + QStringLiteral("  "));
    s.child<QLabel>("lblDBName")->setText(name);
    QTest::mouseClick(s.child<QPushButton>("cmdConnect"), Qt::LeftButton);
}

void TestConnect::connectCommandOnSqlite() {
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray());
        makeSqliteDatabase(
            p.path(QStringLiteral("a.db")),
            QStringLiteral("CREATE TABLE Zeta (RNo INTEGER PRIMARY KEY AUTOINCREMENT, v TEXT);\n"
                           "CREATE TABLE Alpha (x INTEGER);\nCREATE VIEW Vw AS SELECT x FROM Alpha"));
    });
    auto* fg1 = s.child<FlexGrid>("fg1");
    fg1->setCols(2);
    fg1->addItem(QStringLiteral("old\tresult"));
    s.child<QLabel>("lblMode")->setText(QStringLiteral("QUERY"));
    connectWith(s, QStringLiteral("Driver={SQLite3 ODBC Driver};Database=a.db"), QStringLiteral("甲"));
    QCOMPARE(s.child<QLabel>("lblStatus")->text(), QStringLiteral("甲"));
    QCOMPARE(s.child<QLabel>("lblStatus")->toolTip(), s.program.path(QStringLiteral("a.db")));
    QCOMPARE(s.window->windowTitle(), QStringLiteral("甲 -  DB維護程式 - ORVIK"));
    QCOMPARE(tableList(s), (QStringList{"Table Name", "Alpha", "Zeta"}));
    QCOMPARE(Dialect().DBType, QStringLiteral("SQLITE"));
    QCOMPARE(fg1->rows(), 1);
    QCOMPARE(fg1->textMatrix(0, 0), QString());
    QCOMPARE(s.child<QLabel>("lblMode")->text(), QString());
    QVERIFY(s.child<QPushButton>("cmdConnect")->isEnabled());
    QVERIFY(s.action("mnuConnect_0")->isEnabled());
    QVERIFY(!s.op.busy);
    QVERIFY(s.op.boxes.isEmpty());
}

void TestConnect::failedConnectKeepsTitleAndList() {
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=a.db\tGood\r\n"));
        makeSqliteDatabase(p.path(QStringLiteral("a.db")), QStringLiteral("CREATE TABLE Kept (x INTEGER)"));
    });
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Good -  DB維護程式 - ORVIK"));
    const QString wrong = m_pg.connectionString(QStringLiteral("Pwd=wrong;"));
    connectWith(s, wrong, QStringLiteral("Bad"));
    QCOMPARE(s.child<QLabel>("lblStatus")->text(), QStringLiteral("離線."));
    QCOMPARE(s.child<QLabel>("lblStatus")->toolTip(), QString());
    QCOMPARE(s.window->windowTitle(), QStringLiteral("Good -  DB維護程式 - ORVIK"));
    // The database's reason follows on the panel.
    QCOMPARE(s.child<ElasticPanel>("elaMsg")->caption(), StatusMessage());
    QVERIFY2(StatusMessage().startsWith(QStringLiteral("連線失敗! ")) &&
                 StatusMessage().contains(QStringLiteral("password"), Qt::CaseInsensitive),
             qPrintable(StatusMessage()));
    QCOMPARE(tableList(s), (QStringList{"Table Name", "Kept"}));
    QCOMPARE(s.op.beeps, 2);
    QVERIFY(s.op.boxes.isEmpty());
    const QString err = QString::fromUtf8(s.program.read(QStringLiteral("ORVIK.ERR")));
    QVERIFY2(err.contains(QStringLiteral("處理程序: (ConnectADO:") + ConnectionString::masked(wrong) + u')'),
             qPrintable(err));
    QVERIFY(!err.contains(QStringLiteral("Pwd=wrong")));
    QCOMPARE(s.child<FlexGrid>("fg1")->rows(), 1); // the connect command empties the result grid all the same
}

void TestConnect::passwordPrompt_data() {
    QTest::addColumn<QString>("placeholders");
    QTest::addColumn<std::optional<QString>>("typed");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<bool>("connected");
    const QString pw = m_pg.password;
    QTest::newRow("lower-case placeholder")
        << "password=xxxx" << std::optional<QString>(pw) << QStringLiteral("Password=") + pw << true;
    QTest::newRow("two placeholders: the first replaced")
        << "Password=XXXX;Application=Password=XXXX" << std::optional<QString>(pw)
        << QStringLiteral("Password=") + pw + QStringLiteral(";Application=Password=XXXX") << true;
    QTest::newRow("cancel sends an empty password")
        << "Password=XXXX" << std::optional<QString>() << QStringLiteral("Password=") << false;
}

void TestConnect::passwordPrompt() {
    QFETCH(QString, placeholders);
    QFETCH(std::optional<QString>, typed);
    QFETCH(QString, sent);
    QFETCH(bool, connected);
    StartedWindow s([](TestProgram& p) { p.write(QStringLiteral("CntStr.txt"), QByteArray()); });
    s.op.inputs = {typed};
    const QString text = m_pg.connectionString(placeholders);
    connectWith(s, text, QStringLiteral("PG"));
    QCOMPARE(s.op.inputPrompts.size(), 1);
    QCOMPARE(s.op.inputPrompts[0].prompt, QStringLiteral("Input DB Password:"));
    QCOMPARE(s.op.inputPrompts[0].title, QStringLiteral(" DB維護程式 - ORVIK"));
    QCOMPARE(s.op.inputPrompts[0].defaultText, QString());
    QCOMPARE(s.op.inputPrompts[0].echo, EchoMode::Password);
    QVERIFY(MainConnection());
    QCOMPARE(MainConnection()->connectionString(), m_pg.connectionString(sent));
    QCOMPARE(MainConnection()->isOpen(), connected);
    QCOMPARE(s.child<QLabel>("lblStatus")->text(),
             connected ? QStringLiteral("PG") : QStringLiteral("離線."));
    if (connected) {
        QCOMPARE(Dialect().DBType, QStringLiteral("PG_SQL"));
        QVERIFY(tableList(s).contains(QStringLiteral("conn_table")));
        QVERIFY(!tableList(s).contains(QStringLiteral("conn_view")));
    }
    // The profile keeps its placeholder; the password lives only in the connection.
    QCOMPARE(s.child<QLineEdit>("txtCntStr")->text().trimmed(), text);
}

void TestConnect::passwordWithSeparatorsArrivesIntact() {
    StartedWindow s([](TestProgram& p) { p.write(QStringLiteral("CntStr.txt"), QByteArray()); });
    s.op.inputs = {QStringLiteral("p;w{x}\"y'z")};
    connectWith(
        s,
        QStringLiteral(
            "Driver={PostgreSQL Unicode};Server=%1;Port=%2;Database=%3;Uid=odd;Password=XXXX;Timeout=5")
            .arg(m_pg.host)
            .arg(m_pg.port)
            .arg(m_pg.database),
        QStringLiteral("odd"));
    QVERIFY2(MainConnection()->isOpen(), s.program.read(QStringLiteral("ORVIK.ERR")).constData());
    QCOMPARE(s.child<QLabel>("lblStatus")->text(), QStringLiteral("odd"));
    QVERIFY(
        MainConnection()->connectionString().contains(QStringLiteral("Password={p;w{x}}\"y'z};Timeout=5")));
}

void TestConnect::placeholderAtTheVeryStartIsNotAsked() {
    QCOMPARE(ConnectActions::placeholderAt(QStringLiteral("Password=XXXX;DSN=x")), 0);
    StartedWindow s([](TestProgram& p) { p.write(QStringLiteral("CntStr.txt"), QByteArray()); });
    connectWith(s, QStringLiteral("Password=XXXX;DSN=orvik_pg"), QStringLiteral("x"));
    QVERIFY(s.op.inputPrompts.isEmpty());
    QCOMPARE(MainConnection()->connectionString(), QStringLiteral("Password=XXXX;DSN=orvik_pg"));
}

void TestConnect::tableListsOfEachEngine() {
    StartedWindow s([](TestProgram& p) { p.write(QStringLiteral("CntStr.txt"), QByteArray()); });
    connectWith(s, m_pg.connectionString(), QStringLiteral("pg"));
    QVERIFY(tableList(s).contains(QStringLiteral("conn_table")));
    QVERIFY(!tableList(s).contains(QStringLiteral("conn_view")));
    QVERIFY(!tableList(s).contains(QStringLiteral("pg_class")));
    // Tables the session would not find by their bare names are listed with their schema, and a
    // double-click reads the one listed.
    QVERIFY(tableList(s).contains(QStringLiteral("conn_other.conn_table")));
    QVERIFY(tableList(s).contains(QStringLiteral("conn_other.\"Far Away\"")));
    auto* list = s.child<FlexGrid>("fgTableName");
    const int far = int(tableList(s).indexOf(QStringLiteral("conn_other.\"Far Away\"")));
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                       list->visualRect(list->grid()->viewIndex(far, 0)).center());
    QCOMPARE(s.child<FlexGrid>("fg1")->textMatrix(0, 0), QStringLiteral("far"));

    connectWith(s, QStringLiteral("DSN=orvik_sqlite"), QStringLiteral("odbc sqlite"));
    QCOMPARE(tableList(s), (QStringList{"Table Name", "Viaodbc"}));
    QCOMPARE(Dialect().DBType,
             QStringLiteral("PG_SQL")); // an ODBC source naming neither engine reads as PG_SQL

    connectWith(s, QStringLiteral("DSN=orvik_pg"), QStringLiteral("odbc pg"));
    QVERIFY(tableList(s).contains(QStringLiteral("conn_table")));
    QVERIFY(!tableList(s).contains(QStringLiteral("conn_view")));
    QCOMPARE(s.child<QLabel>("lblStatus")->toolTip(), QStringLiteral("orvik_pg"));
}

void TestConnect::emptyCatalogueKeepsPreviousList() {
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=full.db\tfull\r\n"));
        makeSqliteDatabase(p.path(QStringLiteral("full.db")),
                           QStringLiteral("CREATE TABLE Stays (x INTEGER)"));
        makeSqliteDatabase(p.path(QStringLiteral("empty.db")), QStringLiteral("PRAGMA user_version = 1"));
    });
    connectWith(s, QStringLiteral("Driver={SQLite3};Database=empty.db"), QStringLiteral("empty"));
    QCOMPARE(s.child<QLabel>("lblStatus")->text(), QStringLiteral("empty"));
    QCOMPARE(tableList(s), (QStringList{"Table Name", "Stays"}));
}

void TestConnect::onlyTypeTableIsListed() {
    const auto row = [](const char* name, QVariant type) {
        return CatalogRow{QVariant(), QVariant(), QString::fromUtf8(name), type, QString()};
    };
    const auto names = [](const std::optional<QList<CatalogRow>>& rows) {
        QStringList list;
        for (const CatalogRow& r : *rows)
            list << r.name.toString();
        return list;
    };
    const auto tables = ConnectActions::baseTables(
        {row("t1", QStringLiteral("TABLE")), row("lower", QStringLiteral("table")),
         row("v", QStringLiteral("VIEW")), row("s", QStringLiteral("SYSTEM TABLE")),
         row("syn", QStringLiteral("SYNONYM")), row("nul", QVariant()),
         CatalogRow{QVariant(), QVariant(), QVariant(), QStringLiteral("TABLE"), QString()}});
    QVERIFY(tables);
    QCOMPARE(names(tables), (QStringList{"t1", ""}));
    QVERIFY(!ConnectActions::baseTables({}));
    QCOMPARE(names(ConnectActions::baseTables({row("v", QStringLiteral("VIEW"))})), QStringList());
}

void TestConnect::sampleProgramFolderStartsConnected() {
    StartedWindow s([](TestProgram& p) {
        for (const char* name : {"CntStr.txt", "ORVIKDEMO.db"})
            QVERIFY(QFile::copy(QStringLiteral(ORVIK_PROGRAM_DIR "/") + QLatin1String(name),
                                p.path(QLatin1String(name))));
        QFile::setPermissions(p.path(QStringLiteral("ORVIKDEMO.db")), QFile::ReadOwner | QFile::WriteOwner);
    });
    QCOMPARE(s.window->windowTitle(), QStringLiteral("範例資料庫 -  DB維護程式 - ORVIK"));
    QCOMPARE(tableList(s), (QStringList{"Table Name", "Customer", "OrderLog", "Product"}));
    QVERIFY(s.op.boxes.isEmpty());
}

void TestConnect::escGivesUpAConnectToASilentHost_data() {
    QTest::addColumn<QString>("connectionString"); // %1 is the silent port
    QTest::newRow("PostgreSQL")
        << "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=%1;Database=d;Uid=u;Pwd=p";
    QTest::newRow("SQL Server through FreeTDS") << "Provider=SQLOLEDB.1;Data Source=127.0.0.1,%1;User ID=u";
    QTest::newRow("a registered ODBC driver")
        << "Driver={PG Alias Driver};Servername=127.0.0.1;Port=%1;Database=d";
}

void TestConnect::escGivesUpAConnectToASilentHost() {
    QFETCH(QString, connectionString);
    // A listening socket whose only queue place is taken: the next connection attempt is met by
    // silence, as a host behind a dropping firewall meets it.
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QVERIFY(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);
    QVERIFY(::listen(listener, 0) == 0);
    socklen_t length = sizeof address;
    QVERIFY(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0);
    const int filler = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(::connect(filler, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0);

    StartedWindow s;
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (++ticks == 5)
            QTest::keyClick(s.child<QLineEdit>("txtCntStr"), Qt::Key_Escape);
    });
    ticker.start(40);
    connectWith(s, connectionString.arg(ntohs(address.sin_port)), QStringLiteral("silent"));
    ticker.stop();
    ::close(filler);
    ::close(listener);
    QVERIFY(ticks >= 5); // the window answered while it waited
    QCOMPARE(StatusMessage(), QStringLiteral("連線失敗! 已依操作員要求 (Esc) 取消連線."));
    // The next connect works as ever.
    connectWith(s, m_pg.connectionString(), QStringLiteral("pg"));
    QVERIFY(MainConnection() && MainConnection()->isOpen());
}

QTEST_MAIN(TestConnect)
#include "tst_connect.moc"
