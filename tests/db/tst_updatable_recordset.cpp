#include "app/errors.h"
#include "db/connection.h"
#include "db/packed_values.h"
#include "db/updatable_recordset.h"
#include "support/test_databases.h"
#include "support/test_program.h"

#include <QDateTime>
#include <QTest>
#include <limits>

namespace {
enum Route { Sqlite, Postgres, OdbcPostgres, OdbcSqlite };

// Statements run on every engine; "rowid" columns spelled per engine.
const QStringList kTables = {
    QStringLiteral("DROP TABLE IF EXISTS ur_keyless"),
    QStringLiteral("DROP TABLE IF EXISTS ur_dup"),
    QStringLiteral("CREATE TABLE ur_keyless (s VARCHAR(10), n INTEGER DEFAULT 0)"),
    QStringLiteral("INSERT INTO ur_keyless VALUES ('a', 5)"),
    QStringLiteral("CREATE TABLE ur_dup (a INTEGER, b VARCHAR(10))"),
    QStringLiteral("INSERT INTO ur_dup VALUES (1, 'same')"),
    QStringLiteral("INSERT INTO ur_dup VALUES (1, 'same')"),
    QStringLiteral("INSERT INTO ur_dup VALUES (2, 'other')"),
    QStringLiteral("DROP TABLE IF EXISTS ur_keyed"),
    QStringLiteral(
        "CREATE TABLE ur_keyed (k INTEGER PRIMARY KEY, name VARCHAR(10) NOT NULL, memo VARCHAR(10))"),
    QStringLiteral("INSERT INTO ur_keyed VALUES (1, 'one', NULL)"),
};
// Types a value into a record and writes it, as leaving the row does.
void write(UpdatableRecordset& rs, int record, int field, const QString& text) {
    rs.setValue(record, field, text);
    rs.save(record);
}

// Adds a record with one value and tries to write it; a refusal leaves it new.
int insert(UpdatableRecordset& rs, int field, const QString& text) {
    const int record = rs.addNew();
    try {
        write(rs, record, field, text);
    } catch (const AppError&) {
    }
    return record;
}
} // namespace

// The updatable recordset against the real engines: which row a write reaches, the operator's own
// transaction, values that must survive the trip exactly, and how tables are named.
class TestUpdatableRecordset : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void packedValuesGiveBackWhatTheyHeld();
    void recordsKeepTheirPlaceThroughRefusals_data() { engines(); }
    void recordsKeepTheirPlaceThroughRefusals();
    void newKeylessRowIsReadBackAsInserted_data() { engines(); }
    void newKeylessRowIsReadBackAsInserted();
    void operatorsTransactionIsRespected_data();
    void operatorsTransactionIsRespected();
    void exactPostgresValuesLocateTheirRow_data();
    void exactPostgresValuesLocateTheirRow();
    void tablesResolvedAsTheStatementNamesThem_data();
    void tablesResolvedAsTheStatementNamesThem();

private:
    void engines();
    void open(Route engine);
    QVariant scalar(const QString& sql);

    TestProgram m_program;
    PgServer m_pg;
    OdbcEnvironment m_odbc;
    QString m_sqlite;
    std::unique_ptr<Connection> m_db;
    Route m_engine = Sqlite;
};

void TestUpdatableRecordset::engines() {
    QTest::addColumn<int>("engine");
    QTest::newRow("SQLite") << int(Sqlite);
    QTest::newRow("PostgreSQL") << int(Postgres);
    QTest::newRow("PostgreSQL through ODBC") << int(OdbcPostgres);
    QTest::newRow("SQLite through ODBC") << int(OdbcSqlite);
}

void TestUpdatableRecordset::initTestCase() {
    QVERIFY2(m_pg.load(), kPgNotRunning);
    m_program.initGlobal();
    m_sqlite = m_program.path(QStringLiteral("ur.db"));
    m_odbc.install(&m_pg, m_sqlite);
}

void TestUpdatableRecordset::init() {
    m_db.reset();
    QFile::remove(m_sqlite);
    makeSqliteDatabase(m_sqlite, kTables.join(QStringLiteral(";\n")));
    QVERIFY(m_pg.exec(kTables));
}

void TestUpdatableRecordset::open(Route engine) {
    m_engine = engine;
    m_db = std::make_unique<Connection>();
    m_db->open(engine == Sqlite         ? QStringLiteral("Driver={SQLite3};Database=") + m_sqlite
               : engine == Postgres     ? m_pg.connectionString()
               : engine == OdbcPostgres ? QStringLiteral("DSN=orvik_pg")
                                        : QStringLiteral("DSN=orvik_sqlite"));
}

QVariant TestUpdatableRecordset::scalar(const QString& sql) {
    // Another operator's connection: it sees only what was committed.
    Connection other;
    other.open(m_engine == Sqlite || m_engine == OdbcSqlite
                   ? QStringLiteral("Driver={SQLite3};Database=") + m_sqlite
                   : m_pg.connectionString());
    auto rs = other.execute(sql);
    return rs->eof() ? QVariant() : rs->value(0);
}

void TestUpdatableRecordset::recordsKeepTheirPlaceThroughRefusals() {
    QFETCH(int, engine);
    open(Route(engine));
    auto rs = UpdatableRecordset::open(*m_db, QStringLiteral("select k, name, memo from ur_keyed"));
    const int refused = insert(*rs, 0, QStringLiteral("3")); // no name: the table refuses it
    const int second = rs->addNew();
    rs->setValue(second, 0, QStringLiteral("4"));
    write(*rs, second, 1, QStringLiteral("four"));
    QVERIFY(rs->isNew(refused) && !rs->isNew(second));
    write(*rs, refused, 1, QStringLiteral("three")); // fixed, written after the later one
    QCOMPARE(rs->value(refused, 0).toInt(), 3);
    QCOMPARE(rs->value(second, 0).toInt(), 4);
    write(*rs, second, 2, QStringLiteral("memo"));
    QCOMPARE(scalar(QStringLiteral("select memo from ur_keyed where k = 4")).toString(),
             QStringLiteral("memo"));
    QVERIFY(scalar(QStringLiteral("select memo from ur_keyed where k = 3")).isNull());
    rs->deleteFromTable(second);
    rs->forget(second);
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_keyed where k = 4")).toInt(), 0);
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_keyed where k = 3")).toInt(), 1);
    QVERIFY(rs->unsavedRecords().isEmpty());
}

void TestUpdatableRecordset::newKeylessRowIsReadBackAsInserted() {
    QFETCH(int, engine);
    open(Route(engine));
    auto rs = UpdatableRecordset::open(*m_db, QStringLiteral("select s, n from ur_keyless"));
    const int added = insert(*rs, 0, QStringLiteral("a"));
    QVERIFY(!rs->isNew(added));
    QCOMPARE(rs->value(added, 1).toInt(), 0); // the new row's own default, not the older row's 5
    try {
        write(*rs, added, 1, QStringLiteral("7"));
    } catch (const AppError&) {
        // A row the engine cannot tell apart may be refused; it must never change another.
    }
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_keyless where n = 5")).toInt(), 1);
}

void TestUpdatableRecordset::operatorsTransactionIsRespected_data() {
    QTest::addColumn<int>("engine");
    QTest::addColumn<QString>("end");
    QTest::newRow("SQLite, then COMMIT") << int(Sqlite) << "COMMIT";
    QTest::newRow("SQLite, then ROLLBACK") << int(Sqlite) << "ROLLBACK";
    QTest::newRow("PostgreSQL, then COMMIT") << int(Postgres) << "COMMIT";
    QTest::newRow("PostgreSQL, then ROLLBACK") << int(Postgres) << "ROLLBACK";
    QTest::newRow("PostgreSQL through ODBC, then COMMIT") << int(OdbcPostgres) << "COMMIT";
    QTest::newRow("SQLite through ODBC, then ROLLBACK") << int(OdbcSqlite) << "ROLLBACK";
}

void TestUpdatableRecordset::operatorsTransactionIsRespected() {
    QFETCH(int, engine);
    QFETCH(QString, end);
    open(Route(engine));
    m_db->execute(QStringLiteral("BEGIN"));
    m_db->execute(QStringLiteral("INSERT INTO ur_dup VALUES (9, 'mine')"));
    auto rs = UpdatableRecordset::open(*m_db, QStringLiteral("select a, b from ur_dup order by a"));
    QVERIFY_THROWS_EXCEPTION(AppError, write(*rs, 0, 1, QStringLiteral("x"))); // two rows alike
    rs->discard(0);
    write(*rs, 2, 1, QStringLiteral("changed")); // the single one
    QCOMPARE(scalar(QStringLiteral("select b from ur_dup where a = 2")).toString(),
             QStringLiteral("other")); // written inside the operator's transaction, not committed
    m_db->execute(end);
    const bool kept = end == QLatin1String("COMMIT");
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_dup where b = 'same'")).toInt(), 2);
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_dup where a = 9")).toInt(), kept ? 1 : 0);
    QCOMPARE(scalar(QStringLiteral("select b from ur_dup where a = 2")).toString(),
             kept ? QStringLiteral("changed") : QStringLiteral("other"));
}

void TestUpdatableRecordset::exactPostgresValuesLocateTheirRow_data() {
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("check");
    // fields: 0 k, 1 ts, 2 tz, 3 num, 4 name
    QTest::newRow("keyless, every value compared") << false << 4 << "new"
                                                   << "name = 'new'";
    QTest::newRow("keyed, timestamp with microseconds") << true << 1 << "2030-01-01 00:00:00.25"
                                                        << "ts = '2030-01-01 00:00:00.25'";
    QTest::newRow("keyed, timestamptz in another zone") << true << 2 << "2030-01-01 00:00:00+00"
                                                        << "tz = '2030-01-01 00:00:00+00'";
    QTest::newRow("keyed, numeric past 15 digits") << true << 3 << "1.5"
                                                   << "num = 1.5";
}

void TestUpdatableRecordset::exactPostgresValuesLocateTheirRow() {
    QFETCH(bool, keyed);
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, check);
    QVERIFY(m_pg.exec({QStringLiteral("DROP TABLE IF EXISTS ur_exact"),
                       QStringLiteral("CREATE TABLE ur_exact (k INTEGER %1, ts TIMESTAMP, tz TIMESTAMPTZ, "
                                      "num NUMERIC(30,10), name TEXT, code VARCHAR(3))")
                           .arg(keyed ? QStringLiteral("PRIMARY KEY") : QString()),
                       QStringLiteral("INSERT INTO ur_exact VALUES (1, now(), now(), "
                                      "12345678901234567890.0123456789, 'old', 'abc')")}));
    open(Postgres);
    m_db->execute(QStringLiteral("SET TIME ZONE 'Asia/Kolkata'")); // not the zone the program runs in
    auto rs = UpdatableRecordset::open(*m_db, QStringLiteral("select k, ts, tz, num, name from ur_exact"));
    write(*rs, 0, field, typed);
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_exact where ") + check).toInt(), 1);
    // What the table holds now is held again exactly: the row can be written a second time.
    write(*rs, 0, 4, QStringLiteral("again"));
    QCOMPARE(scalar(QStringLiteral("select count(*) from ur_exact where name = 'again'")).toInt(), 1);
    // A value too long for its column is refused, not cut to fit.
    QVERIFY_THROWS_EXCEPTION(AppError, write(*rs, 0, 5, QStringLiteral("abcd")));
    QCOMPARE(scalar(QStringLiteral("select code from ur_exact")).toString(), QStringLiteral("abc"));
}

void TestUpdatableRecordset::tablesResolvedAsTheStatementNamesThem_data() {
    QTest::addColumn<QString>("from");
    QTest::newRow("quoted mixed case") << "\"Ur Mixed\"";
    QTest::newRow("schema-qualified") << "ur_other.t";
    QTest::newRow("quoted schema-qualified") << "ur_other.\"T t\"";
    QTest::newRow("unquoted, folded by the server") << "UR_Folded";
}

void TestUpdatableRecordset::tablesResolvedAsTheStatementNamesThem() {
    QFETCH(QString, from);
    QVERIFY(
        m_pg.exec({QStringLiteral("DROP TABLE IF EXISTS \"Ur Mixed\""),
                   QStringLiteral("DROP SCHEMA IF EXISTS ur_other CASCADE"),
                   QStringLiteral("DROP TABLE IF EXISTS ur_folded"),
                   QStringLiteral("CREATE TABLE \"Ur Mixed\" (id SERIAL PRIMARY KEY, v TEXT NOT NULL)"),
                   QStringLiteral("CREATE SCHEMA ur_other"),
                   QStringLiteral("CREATE TABLE ur_other.t (id INTEGER GENERATED ALWAYS AS IDENTITY "
                                  "PRIMARY KEY, v TEXT NOT NULL)"),
                   QStringLiteral("CREATE TABLE ur_other.\"T t\" (id SERIAL PRIMARY KEY, v TEXT NOT NULL)"),
                   QStringLiteral("CREATE TABLE ur_folded (id SERIAL PRIMARY KEY, v TEXT NOT NULL)")}));
    open(Postgres);
    auto rs = UpdatableRecordset::open(*m_db, QStringLiteral("select id, v from ") + from);
    QVERIFY2(rs->readOnlyReason().isEmpty(), qPrintable(rs->readOnlyReason()));
    QVERIFY(rs->column(0).field.autoIncrement); // not asked for on insert
    const int added = insert(*rs, 1, QStringLiteral("x"));
    QCOMPARE(rs->value(added, 0).toInt(), 1);
}

void TestUpdatableRecordset::packedValuesGiveBackWhatTheyHeld() {
    // Every kind of value a driver gives, nulls of a type included: the records locate rows by
    // these, so they must come back with the same type, value and nullness.
    const QVariantList held = {QVariant(),
                               QVariant(QMetaType::fromType<QString>()),
                               QVariant(QMetaType::fromType<qlonglong>()),
                               QVariant(qlonglong(-9007199254740993)),
                               QVariant(std::numeric_limits<qlonglong>::min()),
                               QVariant(std::numeric_limits<qlonglong>::max()),
                               QVariant(qlonglong(-1)),
                               QVariant(int(7)),
                               QVariant(0.1 + 0.2),
                               QVariant(QString()),
                               QVariant(QStringLiteral("台北 ' \t")),
                               QVariant(QString(70000, u'長')),
                               QVariant(QString(128, u'x')), // the first length of two bytes
                               QVariant(QByteArray("\0\xff", 2)),
                               QVariant(true),
                               QVariant(QDate(1915, 1, 1)),
                               QVariant(QDateTime(QDate(2016, 11, 25), QTime(23, 59, 59, 999))),
                               QVariant(QTime(0, 0, 1))};
    const PackedValues packed(held);
    QCOMPARE(packed.size(), held.size());
    const PackedValues copied = packed;
    PackedValues moved = PackedValues(copied);
    for (const PackedValues* p : {&packed, &copied, static_cast<const PackedValues*>(&moved)}) {
        const QVariantList back = p->toList();
        for (int i = 0; i < held.size(); ++i) {
            QCOMPARE(back[i].typeId(), held[i].typeId());
            QCOMPARE(back[i].isNull(), held[i].isNull());
            QCOMPARE(back[i], held[i]);
        }
    }
    QCOMPARE(packed.at(held.size()), QVariant()); // past the end reads as nothing
}

QTEST_MAIN(TestUpdatableRecordset)
#include "tst_updatable_recordset.moc"
