// The settings wizard and its data-link dialog: strings that connect for real or route to the
// right driver, the fields the operator gets wrong, the password rule, the test against a server
// that never answers, and the wizard's name and cancel paths.
#include "support/started_window.h"
#include "support/test_databases.h"

#include "db/connection_string.h"
#include "db/engine_route.h"
#include "profiles/data_link.h"
#include "profiles/data_link_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using DataLink::Kind;
using DataLink::Source;

Q_DECLARE_METATYPE(Source)

namespace {
// A password holding every character a connection string must quote.
const QString kAwkwardPassword = QStringLiteral("a;b=c{d}e} f");

// Fills the modal data-link dialog once it is up, as the operator would, then presses a button.
void answerDataLink(const std::function<void(DataLinkDialog*)>& fill, const char* button) {
    QTimer::singleShot(0, [fill, button] {
        auto* dialog = qobject_cast<DataLinkDialog*>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        fill(dialog);
        dialog->findChild<QPushButton*>(QLatin1String(button))->click();
    });
}

void setText(DataLinkDialog* dialog, const char* name, const QString& text) {
    dialog->findChild<QLineEdit*>(QLatin1String(name))->setText(text);
}

void pickKind(DataLinkDialog* dialog, Kind kind) {
    auto* combo = dialog->findChild<QComboBox*>(QStringLiteral("cboKind"));
    combo->setCurrentIndex(combo->findData(int(kind)));
}
} // namespace

class TestDataLink : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void stringsOpenTheirSource_data();
    void stringsOpenTheirSource();
    void fieldsThatCannotConnectAreNamed_data();
    void fieldsThatCannotConnectAreNamed();
    void passwordOnlyWhenSavingIsAllowed();
    void testOfASilentServerKeepsTheWindowAnswering();
    void testReportsTheOutcomeInABox_data();
    void testReportsTheOutcomeInABox();
    void wizardFillsTheBoxes();
    void wizardCancelChangesNothing();

private:
    PgServer m_pg;
    OdbcEnvironment m_odbc;
    std::unique_ptr<TestProgram> m_program;
};

void TestDataLink::initTestCase() {
    if (!m_pg.load())
        QFAIL(kPgNotRunning);
    m_program = std::make_unique<TestProgram>();
    makeSqliteDatabase(m_program->path(QStringLiteral("demo.db")), QStringLiteral("CREATE TABLE t (a INT)"));
    m_odbc.install(&m_pg, m_program->path(QStringLiteral("demo.db")));
    QVERIFY(
        m_pg.exec({QStringLiteral("DROP ROLE IF EXISTS orvik_awkward"),
                   QStringLiteral("CREATE ROLE orvik_awkward LOGIN PASSWORD '%1'").arg(kAwkwardPassword)}));
}

void TestDataLink::cleanupTestCase() {
    m_pg.exec({QStringLiteral("DROP ROLE IF EXISTS orvik_awkward")});
}

void TestDataLink::stringsOpenTheirSource_data() {
    QTest::addColumn<Source>("source");
    QTest::addColumn<QString>("qtDriver");
    QTest::addColumn<bool>("connects"); // a server or file is at hand: the string must open it

    PgServer pg;
    pg.load();
    const auto server = [&](Kind kind, const QString& host, const QString& port, const QString& database,
                            const QString& user, const QString& password) {
        Source s;
        s.kind = kind;
        s.server = host;
        s.port = port;
        s.database = database;
        s.user = user;
        s.password = password;
        s.savePassword = true;
        return s;
    };
    Source sqlite;
    sqlite.file = QStringLiteral("demo.db");
    QTest::newRow("SQLite file of the program folder") << sqlite << "QSQLITE" << true;
    QTest::newRow("PostgreSQL test server")
        << server(Kind::Postgres, pg.host, QString::number(pg.port), pg.database, pg.user, pg.password)
        << "QPSQL" << true;
    QTest::newRow("PostgreSQL, a password needing quotes")
        << server(Kind::Postgres, pg.host, QString::number(pg.port), pg.database,
                  QStringLiteral("orvik_awkward"), kAwkwardPassword)
        << "QPSQL" << true;
    Source dsn;
    dsn.kind = Kind::Dsn;
    dsn.dataSourceName = QStringLiteral("orvik_sqlite");
    QTest::newRow("DSN of odbc.ini") << dsn << "QODBC" << true;
    Source driver =
        server(Kind::OdbcDriver, pg.host, QString::number(pg.port), pg.database, pg.user, pg.password);
    driver.driver = QStringLiteral("PG Alias Driver");
    QTest::newRow("another registered driver") << driver << "QODBC" << true;
    QTest::newRow("SQL Server through FreeTDS")
        << server(Kind::SqlServer, QStringLiteral("db.example"), QStringLiteral("1433"),
                  QStringLiteral("sales"), QStringLiteral("sa"), kAwkwardPassword)
        << "QODBC" << false;
    QTest::newRow("MySQL") << server(Kind::Mysql, QStringLiteral("db.example"), QString(),
                                     QStringLiteral("shop"), QStringLiteral("root"), QString())
                           << "QMYSQL" << false;
}

void TestDataLink::stringsOpenTheirSource() {
    QFETCH(Source, source);
    QFETCH(QString, qtDriver);
    QFETCH(bool, connects);
    const QString folder = m_program->folder();
    QVERIFY2(!DataLink::problemOf(source, folder),
             qPrintable(DataLink::problemOf(source, folder).value_or("")));
    const QString text = DataLink::connectionString(source, folder, true);
    const EngineRoute route = planRoute(text, folder);
    QCOMPARE(route.qtDriver, qtDriver);
    if (!source.password.isEmpty()) // whatever the password holds, the string gives it back unchanged
        QCOMPARE(ConnectionString::parse(text).firstOf({"Pwd", "PWD", "Password"}), source.password);
    if (route.engine == Engine::Odbc && source.kind == Kind::SqlServer)
        QVERIFY(route.databaseName.contains(QLatin1String("FreeTDS")));
    if (connects)
        QCOMPARE(DataLink::testNow(text), QString());
}

void TestDataLink::fieldsThatCannotConnectAreNamed_data() {
    QTest::addColumn<Source>("source");
    QTest::addColumn<QString>("named");
    Source missing;
    missing.file = QStringLiteral("nowhere.db");
    QTest::newRow("file that does not exist") << missing << "nowhere.db";
    Source noFile;
    noFile.kind = Kind::Access;
    QTest::newRow("no file chosen") << noFile << "檔案";
    for (const char* port : {"abc", "0", "70000"}) {
        Source s;
        s.kind = Kind::Postgres;
        s.server = QStringLiteral("h");
        s.database = QStringLiteral("d");
        s.port = QLatin1String(port);
        QTest::newRow(port) << s << QString::fromLatin1(port);
    }
    Source noServer;
    noServer.kind = Kind::SqlServer;
    QTest::newRow("no server") << noServer << "伺服器";
    Source badExtra;
    badExtra.file = QStringLiteral("demo.db");
    badExtra.extra = QStringLiteral("=1");
    QTest::newRow("extra pair without a name") << badExtra << "=1";
}

void TestDataLink::fieldsThatCannotConnectAreNamed() {
    QFETCH(Source, source);
    QFETCH(QString, named);
    const auto problem = DataLink::problemOf(source, m_program->folder());
    QVERIFY(problem);
    QVERIFY2(problem->contains(named), qPrintable(*problem));
}

void TestDataLink::passwordOnlyWhenSavingIsAllowed() {
    Source s;
    s.kind = Kind::Postgres;
    s.server = m_pg.host;
    s.database = m_pg.database;
    s.user = m_pg.user;
    s.password = m_pg.password;
    DataLinkDialog dialog(nullptr);
    pickKind(&dialog, Kind::Postgres);
    setText(&dialog, "txtServer", s.server);
    setText(&dialog, "txtDatabase", s.database);
    setText(&dialog, "txtUser", s.user);
    setText(&dialog, "txtPassword", s.password);
    QVERIFY(!ConnectionString::parse(dialog.connectionString()).firstOf({"Pwd", "Password"}));
    QVERIFY(!dialog.connectionString().contains(QLatin1String("XXXX"), Qt::CaseInsensitive));
    dialog.findChild<QCheckBox*>(QStringLiteral("chkSavePassword"))->setChecked(true);
    QCOMPARE(ConnectionString::parse(dialog.connectionString()).value(QStringLiteral("Pwd")), s.password);
}

void TestDataLink::testOfASilentServerKeepsTheWindowAnswering() {
    // A server that takes the connection and never says a word.
    QTcpServer silent;
    QVERIFY(silent.listen(QHostAddress::LocalHost));
    QList<QTcpSocket*> held;
    connect(&silent, &QTcpServer::newConnection, [&] { held << silent.nextPendingConnection(); });
    ScriptedOperator op;
    DataLinkDialog dialog(nullptr);
    dialog.show();
    pickKind(&dialog, Kind::Postgres);
    setText(&dialog, "txtServer", QStringLiteral("127.0.0.1"));
    setText(&dialog, "txtPort", QString::number(silent.serverPort()));
    setText(&dialog, "txtDatabase", QStringLiteral("d"));
    int ticks = 0;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(50);
    QElapsedTimer clock;
    clock.start();
    dialog.cmdTest_Click();
    QVERIFY(dialog.isTesting());
    QTRY_VERIFY_WITH_TIMEOUT(!op.boxes.isEmpty(), (kConnectTimeoutSeconds + 5) * 1000);
    QVERIFY2(ticks > clock.elapsed() / 50 / 2, "the window stopped answering while the test waited");
    QVERIFY(op.boxes.last().text.startsWith(QStringLiteral("測試連線失敗: ")));
    QVERIFY(op.boxes.last().text.size() > 10); // the database's own words follow
    QVERIFY(!dialog.isTesting());
}

void TestDataLink::testReportsTheOutcomeInABox_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("outcome");
    QTest::newRow("an SQLite database") << QByteArray() << "測試連線成功。";
    QTest::newRow("a file that is no database") << QByteArray(4096, 'x') << "測試連線失敗: ";
}

void TestDataLink::testReportsTheOutcomeInABox() {
    QFETCH(QByteArray, content);
    QFETCH(QString, outcome);
    ScriptedOperator op;
    const QString file =
        m_program->path(content.isEmpty() ? QStringLiteral("demo.db") : QStringLiteral("text.db"));
    if (!content.isEmpty())
        m_program->write(QStringLiteral("text.db"), content);
    DataLinkDialog dialog(nullptr);
    setText(&dialog, "txtFile", file);
    dialog.cmdTest_Click();
    QTRY_VERIFY(!op.boxes.isEmpty());
    QVERIFY2(op.boxes.last().text.startsWith(outcome), qPrintable(op.boxes.last().text));
    QVERIFY(dialog.connectionString().endsWith(QFileInfo(file).fileName() + u';'));
}

void TestDataLink::wizardFillsTheBoxes() {
    for (const std::optional<QString>& answer :
         {std::optional<QString>(), std::optional<QString>(QString()),
          std::optional<QString>(QStringLiteral("   ")), std::optional<QString>(QStringLiteral("銷售庫"))}) {
        StartedWindow s;
        s.program.write(QStringLiteral("shop.db"), QByteArray());
        makeSqliteDatabase(s.program.path(QStringLiteral("shop.db")),
                           QStringLiteral("CREATE TABLE x (a INT)"));
        s.op.boxes.clear(); // the start's own (no profile file here)
        s.op.inputs << answer;
        answerDataLink(
            [&](DataLinkDialog* d) { setText(d, "txtFile", s.program.path(QStringLiteral("shop.db"))); },
            "cmdOK");
        s.child<QPushButton>("cmdBuiltCntStr")->click();
        QCOMPARE(s.op.inputPrompts.last().prompt, QStringLiteral("請輸入一個資料庫代號"));
        QCOMPARE(s.child<QLineEdit>("txtDBName")->text(),
                 answer && !answer->trimmed().isEmpty() ? *answer : QStringLiteral("NEWDB"));
        QCOMPARE(s.child<QLineEdit>("txtCntStr")->text(),
                 QStringLiteral("Driver={SQLite3 ODBC Driver};Database=shop.db;"));
        QVERIFY2(s.op.boxes.isEmpty(), qPrintable(s.op.boxes.value(0).text));
    }
}

void TestDataLink::wizardCancelChangesNothing() {
    StartedWindow s;
    auto* name = s.child<QLineEdit>("txtDBName");
    auto* string = s.child<QLineEdit>("txtCntStr");
    name->setText(QStringLiteral("kept"));
    string->setText(QStringLiteral("DSN=kept;"));
    s.op.boxes.clear(); // the start's own (no profile file here)
    s.op.inputs << QStringLiteral("new");
    // Fields half filled, then Cancel: nothing is asked, nothing reported, nothing changed.
    answerDataLink([](DataLinkDialog* d) { setText(d, "txtFile", QStringLiteral("nowhere.db")); },
                   "cmdCancel");
    s.child<QPushButton>("cmdBuiltCntStr")->click();
    QCOMPARE(name->text(), QStringLiteral("kept"));
    QCOMPARE(string->text(), QStringLiteral("DSN=kept;"));
    QVERIFY2(s.op.boxes.isEmpty(), qPrintable(s.op.boxes.value(0).text));
}

QTEST_MAIN(TestDataLink)
#include "tst_data_link.moc"
