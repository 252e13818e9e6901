#include "db/session.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "profiles/profile_file.h"
#include "profiles/profile_page.h"
#include "support/started_window.h"
#include "support/test_databases.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringEncoder>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

namespace {
// A program folder with two small SQLite databases and a profile file naming them.
StartedWindow* startWith(const QByteArray& profiles) {
    return new StartedWindow([profiles](TestProgram& p) {
        makeSqliteDatabase(p.path(QStringLiteral("one.db")),
                           QStringLiteral("CREATE TABLE First (a INTEGER)"));
        makeSqliteDatabase(p.path(QStringLiteral("two.db")),
                           QStringLiteral("CREATE TABLE Second (b INTEGER)"));
        if (!profiles.isNull())
            p.write(QStringLiteral("CntStr.txt"), profiles);
    });
}

const QByteArray kTwoProfiles = QStringLiteral("Driver={SQLite3};Database=one.db\t第一\r\n"
                                               "Driver={SQLite3};Database=two.db\t第二\r\n")
                                    .toUtf8();

QStringList gridRow(const FlexGrid* g, int row) {
    return {g->textMatrix(row, 0), g->textMatrix(row, 1), g->textMatrix(row, 2)};
}

QPoint cellCentre(FlexGrid* g, int row, int col) {
    return g->visualRect(g->grid()->viewIndex(row, col)).center();
}
} // namespace

class TestProfiles : public QObject {
    Q_OBJECT

private slots:
    void readingRules_data();
    void readingRules();
    void writingIsByteExact();
    void startLoadsAndConnectsFirstProfile();
    void missingProfileFile();
    void emptyProfileFile();
    void pickAddUpdateDelete();
    void saveWritesGridOrder();
    void saveFailureReportedAndOldFileKept();
    void inPlaceEditFillsBoxes();
    void rightDragReorders();
    void copyNeedsExactlyCtrl();
    void boxesMoveFocusOnEnterAndArrows();
    void doubleClickConnects();
    void menuEntriesRunProfileCommands();
    void fileInAnotherCodePageKeepsIt();
    void mixedCodePagesKeepEveryLine();
    void aPasswordMakesTheFileTheOwnersAlone_data();
    void aPasswordMakesTheFileTheOwnersAlone();
};

void TestProfiles::readingRules_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("connectionStrings");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("blank and space lines skipped")
        << QByteArray("a\tA\r\n\r\n   \r\nb\tB\r\n  \r\nc\tC\r\n") << QStringList{"a", "b", "c"}
        << QStringList{"A", "B", "C"};
    QTest::newRow("no TAB: whole line, empty name")
        << QByteArray("DSN=x\r\n") << QStringList{"DSN=x"} << QStringList{""};
    QTest::newRow("three parts: third dropped")
        << QByteArray("a\tA\textra\r\n") << QStringList{"a"} << QStringList{"A"};
    QTest::newRow("spaces kept") << QByteArray("  a \t B  \r\n") << QStringList{"  a "}
                                 << QStringList{" B  "};
    QTest::newRow("lone CR and lone LF end a line")
        << QByteArray("a\tA\rb\tB\nc\tC") << QStringList{"a", "b", "c"} << QStringList{"A", "B", "C"};
    QTest::newRow("TAB-only line is a profile") << QByteArray("\t\r\n") << QStringList{""} << QStringList{""};
    QTest::newRow("empty file") << QByteArray() << QStringList{} << QStringList{};
    QTest::newRow("chinese") << QStringLiteral("Database=資料.db\t資料庫\r\n").toUtf8()
                             << QStringList{QStringLiteral("Database=資料.db")}
                             << QStringList{QStringLiteral("資料庫")};
}

void TestProfiles::readingRules() {
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, connectionStrings);
    QFETCH(QStringList, names);
    QStringList cs, ns;
    for (const QString& line : ProfileFile::profileLines(bytes)) {
        const ProfileFile::Profile p = ProfileFile::splitLine(line);
        cs << p.connectionString;
        ns << p.name;
    }
    QCOMPARE(cs, connectionStrings);
    QCOMPARE(ns, names);
}

void TestProfiles::writingIsByteExact() {
    QCOMPARE(ProfileFile::toBytes({}), QByteArray());
    QCOMPARE(ProfileFile::toBytes(
                 {{QStringLiteral("  DSN=a "), QString()}, {QStringLiteral("b"), QStringLiteral("名")}}),
             QStringLiteral("  DSN=a \t\r\nb\t名\r\n").toUtf8());
}

void TestProfiles::startLoadsAndConnectsFirstProfile() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles + "   \r\nDSN=third\r\n"));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    QCOMPARE(grid->rows(), 4);
    QCOMPARE(gridRow(grid, 0),
             (QStringList{QStringLiteral("項次"), QStringLiteral("連線參數"), QStringLiteral("資料庫")}));
    QCOMPARE(gridRow(grid, 1),
             (QStringList{"1", "Driver={SQLite3};Database=one.db", QStringLiteral("第一")}));
    QCOMPARE(gridRow(grid, 3), (QStringList{"3", "DSN=third", ""}));
    QCOMPARE(grid->row(), 1);
    QCOMPARE(s->child<QLineEdit>("txtCntStr")->text(), QStringLiteral("Driver={SQLite3};Database=one.db"));
    QCOMPARE(s->child<QLineEdit>("txtDBName")->text(), QStringLiteral("第一"));
    QCOMPARE(s->child<QLabel>("lblDBName")->text(), QStringLiteral("第一"));
    QCOMPARE(s->child<QLabel>("lblStatus")->text(), QStringLiteral("第一"));
    QCOMPARE(s->window->windowTitle(), QStringLiteral("第一 -  DB維護程式 - ORVIK"));
    auto* tables = s->child<FlexGrid>("fgTableName");
    QCOMPARE(tables->rows(), 2);
    QCOMPARE(tables->textMatrix(0, 0), QStringLiteral("Table Name"));
    QCOMPARE(tables->textMatrix(1, 0), QStringLiteral("First"));
    QVERIFY(s->op.boxes.isEmpty());
    QCOMPARE(s->child<QTabWidget>("tabPage")->currentIndex(), 0);
}

void TestProfiles::missingProfileFile() {
    std::unique_ptr<StartedWindow> s(startWith(QByteArray()));
    const QString expected = QStringLiteral("讀取檔案錯誤:") + s->program.path(QStringLiteral("CntStr.txt"));
    QCOMPARE(s->op.boxes.size(), 1);
    QCOMPARE(s->op.boxes[0].text, expected);
    QCOMPARE(s->op.boxes[0].icon, MsgIcon::Exclamation);
    QCOMPARE(StatusMessage(), expected);
    QCOMPARE(s->child<FlexGrid>("fgCntStr")->rows(), 1);
    QVERIFY(!MainConnection());
    QCOMPARE(s->child<QLabel>("lblStatus")->text(), QStringLiteral("連線狀態"));
    // Initialisation went on to the end.
    QCOMPARE(s->child<QTabWidget>("tabPage")->currentIndex(), 0);
    QVERIFY(s->groupEnabled("mnuDBMaintain"));
    QCOMPARE(s->child<QLabel>("lblMode")->text().left(1), QStringLiteral("V"));
}

void TestProfiles::emptyProfileFile() {
    std::unique_ptr<StartedWindow> s(startWith(QByteArray("  \r\n\r\n")));
    QVERIFY(s->op.boxes.isEmpty());
    QCOMPARE(s->child<FlexGrid>("fgCntStr")->rows(), 1);
    QCOMPARE(s->child<FlexGrid>("fgCntStr")->row(), -1);
    QVERIFY(!MainConnection());
    QVERIFY(QTest::qWaitForWindowActive(s->window.get()));
    QCOMPARE(QApplication::focusWidget(), s->editor());
}

void TestProfiles::pickAddUpdateDelete() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    auto* cs = s->child<QLineEdit>("txtCntStr");
    auto* name = s->child<QLineEdit>("txtDBName");
    s->child<QTabWidget>("tabPage")->setCurrentIndex(2);

    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, 1));
    QCOMPARE(grid->row(), 2);
    QCOMPARE(cs->text(), QStringLiteral("Driver={SQLite3};Database=two.db"));
    QCOMPARE(name->text(), QStringLiteral("第二"));
    QVERIFY(s->child<QPushButton>("cmdDelSetting")->isEnabled());
    QVERIFY(s->action("mnuConnect_1")->isEnabled());

    cs->setText(QStringLiteral("DSN=new"));
    name->setText(QStringLiteral("新的"));
    QTest::mouseClick(s->child<QPushButton>("cmdAddSetting"), Qt::LeftButton);
    QTest::mouseClick(s->child<QPushButton>("cmdAddSetting"), Qt::LeftButton); // duplicates are accepted
    QCOMPARE(grid->rows(), 5);
    QCOMPARE(gridRow(grid, 3), (QStringList{"3", "DSN=new", QStringLiteral("新的")}));
    QCOMPARE(gridRow(grid, 4), (QStringList{"4", "DSN=new", QStringLiteral("新的")}));
    QCOMPARE(grid->row(), 2); // the current row stays

    cs->setText(QStringLiteral("DSN=changed"));
    QTest::mouseClick(s->child<QPushButton>("cmdUpdateSetting"), Qt::LeftButton);
    QCOMPARE(gridRow(grid, 2), (QStringList{"2", "DSN=changed", QStringLiteral("新的")}));
    QCOMPARE(s->child<QLabel>("lblDBName")->text(), QStringLiteral("第二")); // update leaves the label

    QTest::mouseClick(s->child<QPushButton>("cmdDelSetting"), Qt::LeftButton);
    QCOMPARE(grid->rows(), 4);
    QCOMPARE(gridRow(grid, 2), (QStringList{"3", "DSN=new", QStringLiteral("新的")})); // no renumbering
    QVERIFY(!s->child<QPushButton>("cmdDelSetting")->isEnabled());
    QVERIFY(!s->action("mnuConnect_1")->isEnabled());

    // Add after a delete: the new row's number is its index, so numbers can repeat.
    QTest::mouseClick(s->child<QPushButton>("cmdAddSetting"), Qt::LeftButton);
    QCOMPARE(grid->textMatrix(4, 0), QStringLiteral("4"));
    QCOMPARE(grid->textMatrix(3, 0), QStringLiteral("4"));
    QVERIFY(QFile(s->program.path(QStringLiteral("CntStr.txt"))).size() ==
            kTwoProfiles.size()); // nothing saved yet
}

void TestProfiles::saveWritesGridOrder() {
    std::unique_ptr<StartedWindow> s(startWith(QByteArray("  a \tA\textra\r\n") + kTwoProfiles));
    s->child<QLineEdit>("txtCntStr")->setText(QStringLiteral("DSN=x"));
    s->child<QLineEdit>("txtDBName")->setText(QString());
    s->window->profilePage().cmdAddSetting_Click();
    QTest::mouseClick(s->child<QPushButton>("cmdSave"), Qt::LeftButton);
    const QString path = s->program.path(QStringLiteral("CntStr.txt"));
    QCOMPARE(s->program.read(QStringLiteral("CntStr.txt")),
             QByteArray("  a \tA\r\n") + kTwoProfiles + "DSN=x\t\r\n");
    QCOMPARE(s->op.boxes.last().text, QStringLiteral("設定存檔於: ") + path);
    QCOMPARE(s->op.boxes.last().icon, MsgIcon::Information);
    QCOMPARE(StatusMessage(), QStringLiteral("設定存檔於: ") + path);

    // Every row deleted: the file becomes empty, and the message still shows.
    auto* grid = s->child<FlexGrid>("fgCntStr");
    while (grid->rows() > 1) {
        grid->setRow(1);
        s->window->profilePage().cmdDelSetting_Click();
    }
    s->window->profilePage().cmdSave_Click();
    QCOMPARE(QFile(path).size(), 0);
    QCOMPARE(s->op.boxes.last().text, QStringLiteral("設定存檔於: ") + path);
}

void TestProfiles::saveFailureReportedAndOldFileKept() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    // The folder refuses the new copy: the old file stays whole and the failure is reported.
    const QString folder = s->program.folder();
    s->window->profilePage().cmdAddSetting_Click();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner);
    QDir(folder).mkdir(QStringLiteral("probe"));
    const bool folderIsWritable = QDir(folder).exists(QStringLiteral("probe")); // root writes anyway
    if (folderIsWritable) {
        QDir(folder).rmdir(QStringLiteral("probe"));
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // Make the profile file's place unusable instead: a folder by that name.
        QFile::rename(s->program.path(QStringLiteral("CntStr.txt")),
                      s->program.path(QStringLiteral("keep.txt")));
        QDir(folder).mkdir(QStringLiteral("CntStr.txt"));
    }
    s->window->profilePage().cmdSave_Click();
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(s->op.boxes.size(), 1);
    QVERIFY(s->op.boxes[0].text.startsWith(QStringLiteral("處理程序: (cmdSave_Click)\r\n")));
    const QString kept = folderIsWritable ? QStringLiteral("keep.txt") : QStringLiteral("CntStr.txt");
    QCOMPARE(s->program.read(kept), kTwoProfiles);
}

void TestProfiles::inPlaceEditFillsBoxes() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    s->child<QTabWidget>("tabPage")->setCurrentIndex(2);
    grid->setRow(2);
    grid->setCol(2);
    grid->edit(grid->currentIndex());
    auto* editor = grid->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(QStringLiteral("改名"));
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_VERIFY(!grid->isEditing());
    QCOMPARE(grid->textMatrix(2, 2), QStringLiteral("改名"));
    QCOMPARE(s->child<QLineEdit>("txtDBName")->text(), QStringLiteral("改名"));
    QCOMPARE(s->child<QLabel>("lblDBName")->text(), QStringLiteral("改名"));
    grid->setCol(1);
    grid->edit(grid->currentIndex());
    grid->findChild<QLineEdit*>()->setText(QStringLiteral("DSN=edited"));
    QTest::keyClick(grid->findChild<QLineEdit*>(), Qt::Key_Return);
    QTRY_VERIFY(!grid->isEditing());
    QCOMPARE(s->child<QLineEdit>("txtCntStr")->text(), QStringLiteral("DSN=edited"));
}

void TestProfiles::rightDragReorders() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles + "DSN=third\t第三\r\n"));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    s->child<QTabWidget>("tabPage")->setCurrentIndex(2);
    grid->setRow(3);
    bool wasRed = false;
    QTimer::singleShot(50, this, [&] {
        wasRed = grid->grid()->cellBackground(3, 1) == QColor(255, 0, 0);
        QTest::mouseMove(grid->viewport(), cellCentre(grid, 1, 1));
        QTest::mouseRelease(grid->viewport(), Qt::RightButton, {}, cellCentre(grid, 1, 1));
    });
    QTest::mousePress(grid->viewport(), Qt::RightButton, {},
                      cellCentre(grid, 2, 1)); // the current row is dragged
    QVERIFY(wasRed);
    QCOMPARE(gridRow(grid, 1), (QStringList{"3", "DSN=third", QStringLiteral("第三")}));
    QVERIFY(!grid->grid()->cellBackground(1, 1).isValid());
    s->window->profilePage().cmdSave_Click();
    QVERIFY(s->program.read(QStringLiteral("CntStr.txt"))
                .startsWith(QStringLiteral("DSN=third\t第三\r\n").toUtf8()));
}

void TestProfiles::copyNeedsExactlyCtrl() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    grid->setRow(2);
    grid->setCol(2);
    QApplication::clipboard()->setText(QStringLiteral("before"));
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
    QTest::keyClick(grid, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("第二"));
}

void TestProfiles::boxesMoveFocusOnEnterAndArrows() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    s->child<QTabWidget>("tabPage")->setCurrentIndex(2);
    QVERIFY(QTest::qWaitForWindowActive(s->window.get()));
    auto* cs = s->child<QLineEdit>("txtCntStr");
    auto* name = s->child<QLineEdit>("txtDBName");
    cs->setFocus();
    QTest::keyClick(cs, Qt::Key_Return);
    QCOMPARE(cs->text(), QStringLiteral("Driver={SQLite3};Database=one.db"));
    QCOMPARE(QApplication::focusWidget(), name);
    QTRY_COMPARE(name->selectedText(), QStringLiteral("第一")); // the whole name is selected on entry
    QTest::keyClick(name, Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget(), cs);
    QVERIFY(!cs->hasSelectedText());
    QTest::keyClick(cs, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), name);
}

void TestProfiles::doubleClickConnects() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    s->child<QTabWidget>("tabPage")->setCurrentIndex(2);
    // A click makes the row current first: the double-click that follows still connects.
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, 0 + 1));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, 0 + 1));
    QVERIFY(!grid->isEditing());
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cellCentre(grid, 2, 0 + 1));
    QCOMPARE(s->child<QLabel>("lblStatus")->text(), QStringLiteral("第二"));
    QCOMPARE(s->window->windowTitle(), QStringLiteral("第二 -  DB維護程式 - ORVIK"));
    QCOMPARE(s->child<FlexGrid>("fgTableName")->textMatrix(1, 0), QStringLiteral("Second"));
    QCOMPARE(s->child<FlexGrid>("fg1")->rows(), 1);
}

void TestProfiles::menuEntriesRunProfileCommands() {
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    s->child<QLineEdit>("txtCntStr")->setText(QStringLiteral("DSN=menu"));
    s->action("mnuConnect_2")->trigger();
    QCOMPARE(s->child<QTabWidget>("tabPage")->currentIndex(), 2);
    QCOMPARE(grid->textMatrix(3, 1), QStringLiteral("DSN=menu"));
    grid->setRow(3);
    s->action("mnuConnect_1")->trigger();
    QCOMPARE(grid->rows(), 3);
    s->action("mnuConnect_3")->trigger();
    QCOMPARE(s->program.read(QStringLiteral("CntStr.txt")), kTwoProfiles);
}

void TestProfiles::fileInAnotherCodePageKeepsIt() {
    // A Big5 profile file where the locale writes UTF-8: read as Big5, written back as Big5.
    const QByteArray big5 = QStringEncoder("Big5").encode(QString::fromUtf8(kTwoProfiles));
    std::unique_ptr<StartedWindow> s(startWith(big5));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    QCOMPARE(grid->textMatrix(2, 2), QStringLiteral("第二"));
    s->window->profilePage().cmdSave_Click();
    QCOMPARE(s->program.read(QStringLiteral("CntStr.txt")), big5);
    // A name Big5 cannot hold is refused with its character named; the file stays as it was.
    grid->setTextMatrix(2, 2, QStringLiteral("第二😀"));
    s->window->profilePage().cmdSave_Click();
    QVERIFY2(s->op.boxes.last().text.contains(QStringLiteral("😀")), qPrintable(s->op.boxes.last().text));
    QCOMPARE(s->program.read(QStringLiteral("CntStr.txt")), big5);
}

void TestProfiles::mixedCodePagesKeepEveryLine() {
    // Three Big5 lines and one UTF-8 line, in a UTF-8 locale.
    const auto big5 = [](const char* utf8) -> QByteArray {
        QStringEncoder encoder("Big5");
        return encoder.encode(QString::fromUtf8(utf8));
    };
    const QByteArray file = big5("Driver={SQLite3};Database=one.db\t第一\r\n") + big5("DSN=a\t會計\r\n") +
                            "DSN=b\t\xe7\xb6\xb2\xe8\xb7\xaf\r\n" + big5("DSN=c\t倉庫\textra\r");
    std::unique_ptr<StartedWindow> s(startWith(file));
    auto* grid = s->child<FlexGrid>("fgCntStr");
    QCOMPARE(grid->rows(), 5);
    QCOMPARE(QStringList({grid->textMatrix(1, 2), grid->textMatrix(2, 2), grid->textMatrix(3, 2),
                          grid->textMatrix(4, 2)}),
             QStringList({QStringLiteral("第一"), QStringLiteral("會計"), QStringLiteral("網路"),
                          QStringLiteral("倉庫")}));
    // Unchanged lines go back as they were read (the third part of a line is dropped as always);
    // a changed line and a new one are written in the file's main code page, Big5.
    grid->setTextMatrix(2, 2, QStringLiteral("會計二"));
    s->child<QLineEdit>("txtCntStr")->setText(QStringLiteral("DSN=d"));
    s->child<QLineEdit>("txtDBName")->setText(QStringLiteral("新增"));
    s->window->profilePage().cmdAddSetting_Click();
    s->window->profilePage().cmdSave_Click();
    QCOMPARE(s->program.read(QStringLiteral("CntStr.txt")),
             big5("Driver={SQLite3};Database=one.db\t第一\r\n") + big5("DSN=a\t會計二\r\n") +
                 "DSN=b\t\xe7\xb6\xb2\xe8\xb7\xaf\r\n" + big5("DSN=c\t倉庫\r\nDSN=d\t新增\r\n"));
}

void TestProfiles::aPasswordMakesTheFileTheOwnersAlone_data() {
    QTest::addColumn<QString>("connectionString");
    QTest::addColumn<bool>("ownerOnly");
    QTest::newRow("a password") << "Driver={SQLite3};Database=one.db;Password=s3cret" << true;
    QTest::newRow("PWD in braces") << "DSN=x;PWD={a;b}" << true;
    QTest::newRow("the placeholder that asks for one") << "DSN=x;Password=XXXX" << false;
    QTest::newRow("no password") << "DSN=x;UID=me" << false;
}

void TestProfiles::aPasswordMakesTheFileTheOwnersAlone() {
    QFETCH(QString, connectionString);
    QFETCH(bool, ownerOnly);
    std::unique_ptr<StartedWindow> s(startWith(kTwoProfiles));
    const QString path = s->program.path(QStringLiteral("CntStr.txt"));
    const QFile::Permissions shared =
        QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
    QFile::setPermissions(path, shared);
    s->child<QLineEdit>("txtCntStr")->setText(connectionString);
    s->window->profilePage().cmdAddSetting_Click();
    s->window->profilePage().cmdSave_Click();
    QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser),
             ownerOnly ? QFile::ReadOwner | QFile::WriteOwner : shared);
    // A new file that holds one is the owner's from the start.
    QFile::remove(path);
    s->window->profilePage().cmdSave_Click();
    if (ownerOnly)
        QCOMPARE(QFile::permissions(path) & ~(QFile::ReadUser | QFile::WriteUser),
                 QFile::ReadOwner | QFile::WriteOwner);
}

QTEST_MAIN(TestProfiles)
#include "tst_profiles.moc"
