// What the operator reads when something fails: the program's own words in Traditional Chinese,
// and an engine's or the system's words only after a Chinese sentence that says what failed.
#include "app/local_codec.h"
#include "db/connection.h"
#include "db/session.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTest>

namespace {
// The part of a box the program composed: an error box's message, or the whole text.
QString composed(const QString& box) {
    const qsizetype at = box.indexOf(QStringLiteral("訊息: "));
    return at < 0 ? box : box.mid(at + 4).trimmed();
}

// Chinese comes first: a CJK character before any run of three English words.
bool saidInChinese(const QString& text) {
    static const QRegularExpression cjk(QStringLiteral("[\\x{3400}-\\x{9fff}\\x{ff00}-\\x{ffef}]"));
    static const QRegularExpression english(QStringLiteral("[A-Za-z']{2,}(\\s+[A-Za-z']{2,}){2}"));
    const QRegularExpressionMatch chinese = cjk.match(text);
    const QRegularExpressionMatch words = english.match(text);
    return chinese.hasMatch() && (!words.hasMatch() || chinese.capturedStart() < words.capturedStart());
}
} // namespace

class TestMessages : public QObject {
    Q_OBJECT

private slots:
    void failuresAreSaidInChinese_data();
    void failuresAreSaidInChinese();
    void cleanup() { LocalCodec::setCodecName("UTF-8"); }
};

void TestMessages::failuresAreSaidInChinese_data() {
    QTest::addColumn<QString>("action"); // connect, query, f5, edit, save profiles, export, script
    QTest::addColumn<QString>("text");   // the connection string, statement, cell text or file
    QTest::newRow("no SQLite file named") << "connect"
                                          << "Driver={SQLite3};Timeout=5";
    QTest::newRow("a SQLite file that is not there") << "connect"
                                                     << "Driver={SQLite3};Database=missing.db";
    QTest::newRow("a file that is no database") << "connect"
                                                << "Driver={SQLite3};Database=CntStr.txt";
    QTest::newRow("nothing to go by") << "connect"
                                      << "Server=x;Database=y";
    QTest::newRow("Oracle") << "connect"
                            << "Provider=OraOLEDB.Oracle;Data Source=x";
    QTest::newRow("an unknown provider") << "connect"
                                         << "Provider=Nobody.Knows;Data Source=x";
    QTest::newRow("PostgreSQL without a server") << "connect"
                                                 << "Driver={PostgreSQL Unicode};Database=d";
    QTest::newRow("a port that is no number") << "connect"
                                              << "Driver={PostgreSQL Unicode};Server=h;Port=x";
    QTest::newRow("a server that refuses")
        << "connect"
        << "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=1;Database=d";
    QTest::newRow("MySQL without a server") << "connect"
                                            << "Driver={MySQL};Database=d";
    QTest::newRow("a table that is not there") << "query"
                                               << "select * from nosuch";
    QTest::newRow("maintenance of two statements") << "f5"
                                                   << "select n from t; select n from t";
    QTest::newRow("maintenance of a join") << "edit"
                                           << "select a.n from t a join t b on a.n = b.n";
    QTest::newRow("a word in a number column") << "edit"
                                               << "select n from t";
    QTest::newRow("a computed column") << "edit"
                                       << "select n * 2 as twice from t";
    QTest::newRow("a name Big5 cannot hold") << "save profiles"
                                             << "简";
    QTest::newRow("an export into no folder") << "export"
                                              << "no/such/folder/out.txt";
    QTest::newRow("a script on a closed connection") << "script"
                                                     << "close";
    QTest::newRow("a script that fails") << "script"
                                         << "insert into nosuch values (1);";
}

void TestMessages::failuresAreSaidInChinese() {
    QFETCH(QString, action);
    QFETCH(QString, text);
    StatusMessage().clear();
    if (action == QLatin1String("save profiles")) // the profile file is read in the locale's Big5
        LocalCodec::setCodecName("Big5");
    StartedWindow s([](TestProgram& p) {
        p.write(QStringLiteral("CntStr.txt"), QByteArray("Driver={SQLite3};Database=m.db\tM\r\n"));
        makeSqliteDatabase(
            p.path(QStringLiteral("m.db")),
            QStringLiteral("CREATE TABLE t (n INTEGER PRIMARY KEY);\nINSERT INTO t VALUES (1), (2);"));
    });
    QVERIFY(MainConnection() && MainConnection()->isOpen());
    auto* editor = s.editor();
    const QString startCaption = s.child<ElasticPanel>("elaMsg")->caption();
    const auto run = [&](const QString& sql, Qt::Key key) {
        s.window->ui().tabPage->setCurrentIndex(0);
        editor->setPlainText(sql);
        editor->setFocus();
        if (key == Qt::Key_F5)
            QTest::keyClick(editor, Qt::Key_F5);
        else
            QTest::mouseClick(s.child<QPushButton>("cmdQryDB"), Qt::LeftButton);
    };
    if (action == QLatin1String("connect")) {
        s.window->connectActions().DBQConnect(text);
    } else if (action == QLatin1String("query")) {
        run(text, Qt::Key_unknown);
    } else if (action == QLatin1String("f5")) {
        run(text, Qt::Key_F5);
    } else if (action == QLatin1String("edit")) {
        run(text, Qt::Key_F5);
        FlexGrid* grid = s.child<FlexGrid>("fg1");
        QVERIFY2(grid->rows() > 1, qPrintable(StatusMessage()));
        grid->setRow(1);
        grid->setCol(0);
        grid->edit(grid->currentIndex());
        if (auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
            box->setText(QStringLiteral("abc"));
            QTest::keyClick(box, Qt::Key_Return);
        }
        grid->setRow(2); // leaving the row writes it
    } else if (action == QLatin1String("save profiles")) {
        s.child<QLineEdit>("txtDBName")->setText(text);
        s.window->profilePage().cmdAddSetting_Click();
        s.window->profilePage().cmdSave_Click();
    } else if (action == QLatin1String("export")) {
        run(QStringLiteral("select n from t"), Qt::Key_unknown);
        s.window->ui().tabPage->setCurrentIndex(1);
        s.child<QLineEdit>("txtFileName")->setText(s.program.path(text));
        QTest::mouseClick(s.child<QPushButton>("cmdSaveTXT"), Qt::LeftButton);
    } else if (action == QLatin1String("script")) {
        if (text == QLatin1String("close"))
            MainConnection()->close();
        s.window->ui().tabPage->setCurrentIndex(1);
        s.child<QLineEdit>("txtFileName")->setText(s.program.path(QStringLiteral("run.sql")));
        s.program.write(QStringLiteral("run.sql"), text.toUtf8());
        QTest::mouseClick(s.child<QPushButton>("cmdScript"), Qt::LeftButton);
    }
    QTest::qWait(20); // refusals of a row left are said once the event loop runs
    QStringList said;
    for (const ScriptedOperator::Box& box : s.op.boxes)
        said << composed(box.text);
    // A failed connect says so, then why: the why must be Chinese first too.
    said << QString(StatusMessage()).remove(QRegularExpression(QStringLiteral("^連線失敗! ")));
    if (const QString caption = s.child<ElasticPanel>("elaMsg")->caption(); caption != startCaption)
        said << caption;
    said.removeAll(QString());
    QVERIFY2(!s.op.boxes.isEmpty() || StatusMessage().startsWith(QStringLiteral("連線失敗! ")),
             "the failure was not said");
    for (const QString& one : said)
        QVERIFY2(saidInChinese(one), qPrintable(one));
}

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
