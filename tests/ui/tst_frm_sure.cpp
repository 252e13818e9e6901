// The message and pick-list dialog: its button arithmetic, the list rules, the transposed result,
// which panels show, the answers of its three buttons, and what it keeps between calls.
#include "support/scripted_operator.h"
#include "support/test_databases.h"
#include "support/test_program.h"

#include "db/connection.h"
#include "grid/flex_grid.h"
#include "ui/frm_sure.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {
// Presses one of the dialog's buttons once SHOWMSG has it up, from inside its modal loop.
void whenShown(frmSure& dialog, const std::function<void()>& act) {
    auto* poll = new QTimer(&dialog);
    QObject::connect(poll, &QTimer::timeout, &dialog, [&dialog, poll, act] {
        if (!dialog.isVisible())
            return;
        poll->deleteLater();
        poll->stop();
        act();
    });
    poll->start(5);
}
void pressWhenShown(frmSure& dialog, const char* button) {
    whenShown(dialog, [&dialog, button] { dialog.findChild<QPushButton*>(QLatin1String(button))->click(); });
}
} // namespace

class TestFrmSure : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void buttonArithmetic_data();
    void buttonArithmetic();
    void eachLineSetsTheListWidth();
    void resultIsTransposed();
    void resultsWithoutRecordsOrClosed();
    void buttonsAnswer_data();
    void buttonsAnswer();
    void blankMessageShowsOnlyTheList();

private:
    std::unique_ptr<TestProgram> m_program;
    std::unique_ptr<Connection> m_db;
};

void TestFrmSure::initTestCase() {
    m_program = std::make_unique<TestProgram>();
    m_program->installCatalog();
    m_program->initGlobal();
    QString wide = QStringLiteral("CREATE TABLE wide (");
    for (int i = 0; i < 300; ++i)
        wide += QStringLiteral("%1c%2 INT").arg(i ? QStringLiteral(", ") : QString()).arg(i);
    makeSqliteDatabase(m_program->path(QStringLiteral("d.db")),
                       QStringLiteral("CREATE TABLE t (id INT, name TEXT, note TEXT);\n"
                                      "INSERT INTO t VALUES (1, '甲', NULL);\n"
                                      "INSERT INTO t VALUES (2, '乙', 'x');\n") +
                           wide + QStringLiteral(");\nINSERT INTO wide (c0, c299) VALUES (7, 9)"));
    m_db = std::make_unique<Connection>();
    m_db->open(QStringLiteral("Driver={SQLite3 ODBC Driver};Database=d.db"));
}

void TestFrmSure::buttonArithmetic_data() {
    QTest::addColumn<int>("bar");
    QTest::addColumn<bool>("okAlone");
    QTest::addColumn<bool>("option");
    QTest::addColumn<double>("ok");
    QTest::addColumn<double>("cancel");
    QTest::addColumn<double>("optionLeft");
    QTest::newRow("two buttons") << 6000 << false << false << 1060.0 << 3560.0 << -1.0;
    QTest::newRow("OK alone") << 6000 << true << false << 2280.0 << -1.0 << -1.0;
    QTest::newRow("OK alone keeps the option where it was") << 6000 << true << true << 2280.0 << -1.0 << -1.0;
    QTest::newRow("three buttons") << 6010 << false << true << 1710.0 << 3890.0 << 10.0;
    QTest::newRow("odd width, whole part first")
        << 6001 << false << false << 1060.0 + 1.0 / 3 << 3560.0 + 2.0 / 3 << -1.0;
}

void TestFrmSure::buttonArithmetic() {
    QFETCH(int, bar);
    QFETCH(bool, okAlone);
    QFETCH(bool, option);
    QFETCH(double, ok);
    QFETCH(double, cancel);
    QFETCH(double, optionLeft);
    const SureButtonPlaces places = sureButtonPlaces(bar, okAlone, option);
    QCOMPARE(places.okLeft, ok);
    QCOMPARE(places.cancelShown, cancel >= 0);
    if (cancel >= 0)
        QCOMPARE(places.cancelLeft, cancel);
    QCOMPARE(places.optionPlaced, optionLeft >= 0);
    if (optionLeft >= 0)
        QCOMPARE(places.optionLeft, optionLeft);
}

void TestFrmSure::eachLineSetsTheListWidth() {
    ScriptedOperator op;
    frmSure dialog;
    dialog.ClearMsgFrom();
    dialog.AddLine(QStringLiteral("a\tb\tc"));
    dialog.AddLine(QStringLiteral("d\te"));
    QCOMPARE(dialog.list()->cols(), 2);
    QCOMPARE(dialog.list()->textMatrix(0, 1), QStringLiteral("b"));
    QCOMPARE(dialog.list()->textMatrix(1, 1), QStringLiteral("e"));
    dialog.AddLine(QStringLiteral("lone"));
    QCOMPARE(dialog.list()->rows(), 3);
    QCOMPARE(dialog.list()->cols(), 1);
    pressWhenShown(dialog, "cmdOK");
    QVERIFY(dialog.SHOWMSG(QStringLiteral("訊息")));
    QVERIFY(!dialog.listShown()); // a one-column list is never shown
    QVERIFY(op.boxes.isEmpty());
}

void TestFrmSure::resultIsTransposed() {
    ScriptedOperator op;
    frmSure dialog;
    auto rs = m_db->execute(QStringLiteral("SELECT id, name, note FROM t ORDER BY id"));
    pressWhenShown(dialog, "cmdOK");
    QVERIFY(
        dialog.SHOWMSG(QStringLiteral("挑選"), QStringLiteral("訊息視窗"), QStringLiteral("Y"), rs.get()));
    FlexGrid* list = dialog.list();
    QCOMPARE(list->rows(), 3);
    QCOMPARE(list->cols(), 3);
    QCOMPARE(list->grid()->fixedCols(), 1);
    const QStringList expected = {"id", "1", "2", "name", "甲", "乙", "note", "", "x"};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            QCOMPARE(list->textMatrix(r, c), expected.at(r * 3 + c));
    QVERIFY(dialog.listShown());

    auto wide = m_db->execute(QStringLiteral("SELECT * FROM wide"));
    dialog.PickRST(wide.get());
    QCOMPARE(list->rows(), 300);
    QCOMPARE(list->textMatrix(299, 0), QStringLiteral("c299"));
    QCOMPARE(list->textMatrix(299, 1), QStringLiteral("9"));
    QVERIFY(op.boxes.isEmpty());
}

void TestFrmSure::resultsWithoutRecordsOrClosed() {
    ScriptedOperator op;
    frmSure dialog;
    auto none = m_db->execute(QStringLiteral("SELECT * FROM t WHERE id < 0"));
    pressWhenShown(dialog, "cmdOK");
    dialog.SHOWMSG(QStringLiteral("空"), QStringLiteral("t"), QStringLiteral("Y"), none.get(),
                   QStringLiteral("確定"), QStringLiteral("取消"), true);
    QCOMPARE(dialog.list()->rows(), 0);
    QVERIFY(!dialog.listShown());
    QCOMPARE(dialog.heightTwips(), frmSure::kShortHeight);

    // A closed result is reported under the routine's label, and the dialog still shows.
    auto closed = m_db->execute(QStringLiteral("SELECT * FROM t"));
    closed->close();
    pressWhenShown(dialog, "cmdOK");
    QVERIFY(dialog.SHOWMSG(QStringLiteral("關閉"), QStringLiteral("t"), QStringLiteral("Y"), closed.get()));
    QCOMPARE(op.boxes.size(), 1);
    QVERIFY(op.boxes.first().text.contains(QLatin1String("frmSure_PickRST")) ||
            op.boxes.first().caption.contains(QLatin1String("frmSure_PickRST")));
    QCOMPARE(dialog.heightTwips(), frmSure::kTallHeight);
}

void TestFrmSure::buttonsAnswer_data() {
    QTest::addColumn<QString>("pvReturn");
    QTest::addColumn<QString>("optionCaption");
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<bool>("buttonOption");
    QTest::addColumn<bool>("cancelShown");
    QTest::newRow("OK") << "Y"
                        << ""
                        << "cmdOK" << true << false << true;
    QTest::newRow("Cancel") << "Y"
                            << ""
                            << "cmdCancel" << false << false << true;
    QTest::newRow("option") << "Y"
                            << "全部"
                            << "cmdOption" << true << true << true;
    QTest::newRow("lower-case n shows OK alone") << "n"
                                                 << ""
                                                 << "cmdOK" << true << false << false;
}

void TestFrmSure::buttonsAnswer() {
    QFETCH(QString, pvReturn);
    QFETCH(QString, optionCaption);
    QFETCH(QString, button);
    QFETCH(bool, answer);
    QFETCH(bool, buttonOption);
    QFETCH(bool, cancelShown);
    frmSure& dialog = frmSure::shared();
    dialog.BUTTONOPTION = true; // each call starts it false
    bool shownCancel = false;
    whenShown(dialog, [&] {
        shownCancel = !dialog.findChild<QPushButton*>(QStringLiteral("cmdCancel"))->isHidden();
        QCOMPARE(dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->text(), QStringLiteral("好"));
        dialog.findChild<QPushButton*>(button)->click();
    });
    QCOMPARE(dialog.SHOWMSG(QStringLiteral("確定嗎?"), QStringLiteral("問"), pvReturn, nullptr,
                            QStringLiteral("好"), QStringLiteral("不要"), false, optionCaption),
             answer);
    QCOMPARE(dialog.BUTTONOPTION, buttonOption);
    QCOMPARE(shownCancel, cancelShown);
    QVERIFY(!dialog.isVisible()); // hidden, not destroyed
    QCOMPARE(&frmSure::shared(), &dialog);
}

void TestFrmSure::blankMessageShowsOnlyTheList() {
    frmSure dialog;
    dialog.ClearMsgFrom();
    dialog.SetList(1, 1, 9);
    dialog.AddLine(QStringLiteral("欄\t值"));
    dialog.AddLine(QStringLiteral("a\t1"));
    bool message = true, list = false;
    whenShown(dialog, [&] {
        message = dialog.messageShown();
        list = dialog.listShown();
        dialog.findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    });
    dialog.SHOWMSG(QStringLiteral("   "));
    QVERIFY(!message);
    QVERIFY(list);
    // Not cleared: the next call finds the list as it was.
    pressWhenShown(dialog, "cmdOK");
    dialog.SHOWMSG(QStringLiteral("再一次"));
    QCOMPARE(dialog.list()->rows(), 2);
    QCOMPARE(dialog.list()->grid()->fixedRows(), 1);
}

QTEST_MAIN(TestFrmSure)
#include "tst_frm_sure.moc"
