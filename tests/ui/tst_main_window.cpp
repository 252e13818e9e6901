#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "grid/elastic_panel.h"
#include "support/started_window.h"
#include "ui/file_dialog.h"
#include "ui/fm_orvik.h"
#include "ui/fonts.h"
#include "ui/qt_translation.h"

#include <QAction>
#include <QCheckBox>
#include <QDate>
#include <QDialog>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

namespace {
// A started window whose program folder has an empty profile list (so nothing connects) and,
// when given, a saved editor text.
struct Started : StartedWindow {
    explicit Started(const QByteArray& savedSql = {}, bool withCatalog = true)
        : StartedWindow(
              [savedSql](TestProgram& p) {
                  p.write(QStringLiteral("CntStr.txt"), QByteArray());
                  if (!savedSql.isNull())
                      p.write(QStringLiteral("ORVIK_SQL.TXT"), savedSql);
              },
              withCatalog) {}
};

void clearStoredInitPath() {
    QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ORVIK"), QStringLiteral("ORVIK"))
        .clear();
}
} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { clearStoredInitPath(); }
    void firstRun();
    void aboutBoxTellsWhatRuns_data();
    void aboutBoxTellsWhatRuns();
    void savedSqlRestored();
    void everyListedControlExists();
    void pageChangesSwitchMenuGroups();
    void menuEntriesSwitchToTheirPage();
    void landscapeToggle();
    void exitAnsweredNo();
    void exitAnsweredYesSavesEditor();
    void exitStoresInitPathOnlyAfterFileDialog();
    void exitWithUnwritableSavedFile();
    void startUpWithoutCatalog();
    void programStartsAndLogsStartLine();
    void programWithoutDisplaySaysSo();
    void fontsDrawTraditionalShapes();
    void windowFitsTheScreen();
    void qtDialogsSpeakTraditionalChinese();

private:
    QTemporaryDir m_home;
};

void TestMainWindow::initTestCase() {
    // Keep the per-user store private to this run.
    qputenv("HOME", m_home.path().toUtf8());
    QStandardPaths::setTestModeEnabled(true);
}

void TestMainWindow::firstRun() {
    Started s;
    QCOMPARE(s.editor()->toPlainText(), QStringLiteral("Select * From [TableName]"));
    QCOMPARE(s.editor()->textCursor().selectedText(), QStringLiteral("[TableName]"));
    QCOMPARE(s.window->dlgFile().initDir, s.program.folder());
    QCOMPARE(s.window->windowTitle(), QStringLiteral("資料庫查詢維護程式"));
    QCOMPARE(ProgramInfo::appTitle(), QStringLiteral(" DB維護程式 - ORVIK"));
    QCOMPARE(s.child<QLabel>("lblHead_0")->text(), QStringLiteral("ORVIK"));
    QCOMPARE(s.child<QLabel>("lblHead_1")->text(), QStringLiteral(" DB維護程式 - ORVIK"));
    QCOMPARE(s.child<QLabel>("lblHead_1")->toolTip(), QStringLiteral("V") + ProgramInfo::versionText());
    QCOMPARE(s.child<QLabel>("lblHead_2")->text(),
             QDate::currentDate().toString(QStringLiteral("yyyy/MM/dd")));
    QCOMPARE(s.child<QLabel>("lblMode")->text(), QStringLiteral("V") + ProgramInfo::versionText());
    QCOMPARE(s.child<ElasticPanel>("elaMsg")->caption(), QStringLiteral("V.") + ProgramInfo::versionText());
    QCOMPARE(s.child<QLabel>("lblStatus")->text(), QStringLiteral("連線狀態"));
    QCOMPARE(s.child<QTabWidget>("tabPage")->currentIndex(), 0);
    QVERIFY(s.groupEnabled("mnuDBMaintain"));
    QVERIFY(!s.groupEnabled("mnuDBSave"));
    QVERIFY(!s.groupEnabled("mnuDBConnect"));
    QVERIFY(s.child<QPushButton>("cmdScript")->isEnabled());
    QVERIFY(s.child<QPushButton>("cmdLoadTextToDB")->isEnabled());
    QVERIFY(s.action("mnuSave_0")->isEnabled());
    QVERIFY(s.action("mnuSave_1")->isEnabled());
    QVERIFY(!s.action("mnuExit")->isEnabled());
    QVERIFY(s.window->isVisible());
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    QCOMPARE(QApplication::focusWidget(), s.editor());
    QVERIFY(!s.op.busy);
    QVERIFY(s.op.boxes.isEmpty());
    for (const char* box : {"txtFileName", "txtCntStr", "txtDBName"})
        QCOMPARE(s.child<QLineEdit>(box)->text(), QString());
}

void TestMainWindow::savedSqlRestored() {
    Started s(QStringLiteral("select * from Customer\r\nwhere City = '台北市'\r\n").toUtf8());
    QCOMPARE(s.editor()->toPlainText(), QStringLiteral("select * from Customer\nwhere City = '台北市'\n"));
}

void TestMainWindow::everyListedControlExists() {
    Started s;
    const std::pair<const char*, QString> buttons[] = {
        {"cmdPrint", "&P 列印"},           {"cmdQryDB", "&E 執行"},       {"cmdScript", "載入SQL7Script"},
        {"cmdSaveXLS", "存入試算表"},      {"cmdStartDoc", "檔案瀏覽"},   {"cmdSaveTXT", "存入檔案"},
        {"cmdLoadTextToDB", "載入資料庫"}, {"cmdSaveCSV", "存入CSV檔案"}, {"cmdBuiltCntStr", "設定精靈"},
        {"cmdUpdateSetting", "更新設定"},  {"cmdDelSetting", "刪除設定"}, {"cmdSave", "設定存檔"},
        {"cmdAddSetting", "新增設定"},     {"cmdConnect", "&E 連接.."},   {"cmdExit", "&Z 離開"}};
    for (const auto& [name, caption] : buttons)
        QCOMPARE(s.child<QPushButton>(name)->text(), caption);
    QCOMPARE(s.child<QCheckBox>("chkLandscape")->text(), QStringLiteral("橫印"));
    QCOMPARE(s.child<QLabel>("lblDBName")->text(), QStringLiteral("DBName"));
    for (const char* grid : {"fg1", "fgTableName", "fgCntStr"})
        QVERIFY(s.window->findChild<QWidget*>(QLatin1String(grid)));
    for (const char* panel : {"vsHead", "elaPupper", "elaPlower", "elaSBar", "elaSelectFile"})
        QVERIFY(s.window->findChild<QWidget*>(QLatin1String(panel)));
    auto* tabs = s.child<QTabWidget>("tabPage");
    QCOMPARE(tabs->count(), 3);
    QCOMPARE(tabs->tabText(0) + u'|' + tabs->tabText(1) + u'|' + tabs->tabText(2),
             QStringLiteral("資料庫查詢維護|存檔作業|資料庫連接"));
    const std::pair<const char*, QString> entries[] = {{"mnuMaintain_0", "執行"},
                                                       {"mnuMaintain_1", "載入指令"},
                                                       {"mnuMaintain_2", "存指令檔"},
                                                       {"mnuMaintain_3", "計算"},
                                                       {"mnuMaintain_4", "列印"},
                                                       {"mnuMaintain_5", "橫印"},
                                                       {"mnuSave_0", "載入SQL7 Script"},
                                                       {"mnuSave_1", "載入資料庫"},
                                                       {"mnuSave_2", "存入試算表"},
                                                       {"mnuSave_3", "存入檔案"},
                                                       {"mnuSave_4", "存入CSV檔"},
                                                       {"mnuConnect_0", "連接"},
                                                       {"mnuConnect_1", "刪除設定"},
                                                       {"mnuConnect_2", "新增設定"},
                                                       {"mnuConnect_3", "設定存檔"},
                                                       {"mnuAbout", "說明"},
                                                       {"mnuExit", "離開"}};
    for (const auto& [name, caption] : entries)
        QCOMPARE(s.action(name)->text(), caption);
    QCOMPARE(s.child<QMenu>("mnuDBMaintain")->title(), QStringLiteral("資料庫查詢維護"));
    QCOMPARE(s.child<QMenu>("mnuDBSave")->title(), QStringLiteral("存檔作業"));
    QCOMPARE(s.child<QMenu>("mnuDBConnect")->title(), QStringLiteral("資料庫連接"));
}

void TestMainWindow::pageChangesSwitchMenuGroups() {
    Started s;
    auto* tabs = s.child<QTabWidget>("tabPage");
    QTabBar* bar = tabs->tabBar();
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(1).center());
    QCOMPARE(tabs->currentIndex(), 1);
    QCOMPARE(s.child<ElasticPanel>("elaMsg")->caption(), QString());
    QVERIFY(!s.groupEnabled("mnuDBMaintain"));
    QVERIFY(s.groupEnabled("mnuDBSave"));
    QVERIFY(!s.groupEnabled("mnuDBConnect"));

    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(2).center());
    QVERIFY(!s.groupEnabled("mnuDBMaintain"));
    QVERIFY(!s.groupEnabled("mnuDBSave"));
    QVERIFY(s.groupEnabled("mnuDBConnect"));

    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(0).center());
    QVERIFY(s.groupEnabled("mnuDBMaintain"));
    QVERIFY(!s.groupEnabled("mnuDBSave"));
    QVERIFY(!s.groupEnabled("mnuDBConnect"));
    QVERIFY(QTest::qWaitForWindowActive(s.window.get()));
    QTRY_COMPARE(QApplication::focusWidget(), s.editor());
}

void TestMainWindow::menuEntriesSwitchToTheirPage() {
    Started s;
    auto* tabs = s.child<QTabWidget>("tabPage");
    s.action("mnuConnect_2")->trigger();
    QCOMPARE(tabs->currentIndex(), 2);
    s.action("mnuSave_4")->trigger();
    QCOMPARE(tabs->currentIndex(), 1);
    s.action("mnuMaintain_3")->trigger();
    QCOMPARE(tabs->currentIndex(), 0);
    // An index outside a group does nothing at all.
    s.window->mnuSave_Click(9);
    QCOMPARE(tabs->currentIndex(), 0);
    QVERIFY(s.op.boxes.isEmpty());
}

void TestMainWindow::landscapeToggle() {
    Started s;
    QAction* entry = s.action("mnuMaintain_5");
    auto* box = s.child<QCheckBox>("chkLandscape");
    QVERIFY(!entry->isChecked());
    QVERIFY(!box->isChecked());
    entry->trigger();
    QVERIFY(entry->isChecked());
    QVERIFY(box->isChecked());
    entry->trigger();
    QVERIFY(!entry->isChecked());
    QVERIFY(!box->isChecked());
    // Ticking the box by hand leaves the menu's mark alone.
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
    QVERIFY(box->isChecked());
    QVERIFY(!entry->isChecked());
    entry->trigger(); // no mark yet: ticks (the box is ticked already) and marks
    QVERIFY(box->isChecked());
    QVERIFY(entry->isChecked());
}

void TestMainWindow::exitAnsweredNo() {
    Started s;
    s.op.answers = {MsgAnswer::No, MsgAnswer::No};
    s.editor()->setPlainText(QStringLiteral("typed"));
    QTest::mouseClick(s.child<QPushButton>("cmdExit"), Qt::LeftButton);
    QVERIFY(!s.window->close()); // the close box asks the same question, and No refuses the close
    QCOMPARE(s.op.boxes.size(), 2);
    for (const auto& box : s.op.boxes) {
        QCOMPARE(box.text, QStringLiteral("確定要離開嗎?"));
        QCOMPARE(box.buttons, MsgButtons::YesNo);
        QCOMPARE(box.icon, MsgIcon::Information);
        QCOMPARE(box.caption, QStringLiteral(" DB維護程式 - ORVIK"));
    }
    QVERIFY(s.window->isVisible());
    QCOMPARE(s.endCalls, 0);
    QVERIFY(!QFile::exists(s.program.path(QStringLiteral("ORVIK_SQL.TXT"))));
    QCOMPARE(s.editor()->toPlainText(), QStringLiteral("typed"));
}

void TestMainWindow::exitAnsweredYesSavesEditor() {
    Started s;
    s.editor()->setPlainText(QString());
    s.editor()->setFocus();
    QTest::sendKeyEvent(QTest::Click, s.editor(), Qt::Key_unknown, QStringLiteral("select * from 客戶"), {});
    QTest::keyClick(s.editor(), Qt::Key_Return);
    QTest::sendKeyEvent(QTest::Click, s.editor(), Qt::Key_unknown, QStringLiteral("where 城市 = '台北'"), {});
    s.op.answers = {MsgAnswer::Yes};
    QVERIFY(!s.window->close()); // the close is refused; the process ends instead
    QCOMPARE(s.endCalls, 1);
    QCOMPARE(s.program.read(QStringLiteral("ORVIK_SQL.TXT")),
             QStringLiteral("select * from 客戶\r\nwhere 城市 = '台北'\r\n").toUtf8());
    QVERIFY(fmORVIK::storedInitPath().isEmpty()); // no file dialog was used
}

void TestMainWindow::exitStoresInitPathOnlyAfterFileDialog() {
    QString chosenFolder;
    {
        Started s;
        QDir(s.program.folder()).mkdir(QStringLiteral("exports"));
        chosenFolder = s.program.path(QStringLiteral("exports"));
        s.op.fileNames = {chosenFolder + QStringLiteral("/data.txt")};
        s.child<QTabWidget>("tabPage")->setCurrentIndex(1);
        QTest::mouseClick(s.child<QToolButton>("elaSelectFile"), Qt::LeftButton);
        QCOMPARE(s.op.fileDialogStarts, QStringList{s.program.folder()});
        QCOMPARE(s.child<QLineEdit>("txtFileName")->text(), chosenFolder + QStringLiteral("/data.txt"));
        QCOMPARE(s.window->dlgFile().initDir, chosenFolder);
        // Cancelling the dialog later keeps the last chosen name.
        s.op.fileNames = {QString()};
        s.child<QLineEdit>("txtFileName")->clear();
        QTest::mouseClick(s.child<QToolButton>("elaSelectFile"), Qt::LeftButton);
        QCOMPARE(s.child<QLineEdit>("txtFileName")->text(), chosenFolder + QStringLiteral("/data.txt"));

        s.op.answers = {MsgAnswer::Yes};
        s.window->cmdExit_Click();
        QCOMPARE(s.endCalls, 1);
        QCOMPARE(fmORVIK::storedInitPath(), chosenFolder);
    }
    {
        // The next run opens its dialog there; an exit without using the dialog keeps the setting.
        Started s;
        QCOMPARE(s.window->dlgFile().initDir, chosenFolder);
        s.op.answers = {MsgAnswer::Yes};
        s.window->cmdExit_Click();
        QCOMPARE(fmORVIK::storedInitPath(), chosenFolder);
    }
}

void TestMainWindow::exitWithUnwritableSavedFile() {
    Started s;
    QVERIFY(QDir(s.program.folder()).mkdir(QStringLiteral("ORVIK_SQL.TXT")));
    s.editor()->setPlainText(QStringLiteral("select 42"));
    // The failure is reported, then the operator chooses: No keeps the window and the text.
    s.op.answers = {MsgAnswer::Yes, MsgAnswer::No};
    s.window->cmdExit_Click();
    QCOMPARE(s.endCalls, 0);
    QCOMPARE(s.op.boxes.size(), 3);
    QVERIFY(s.op.boxes[1].text.startsWith(QStringLiteral("處理程序: (TxtSaveFile)\r\n")));
    QCOMPARE(s.op.boxes[2].text, QStringLiteral("編輯區的SQL指令無法存檔, 仍要離開嗎?"));
    QCOMPARE(s.op.boxes[2].buttons, MsgButtons::YesNo);
    QCOMPARE(s.editor()->toPlainText(), QStringLiteral("select 42"));
    // Yes leaves all the same.
    s.op.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    s.window->cmdExit_Click();
    QCOMPARE(s.endCalls, 1);
}

void TestMainWindow::startUpWithoutCatalog() {
    Started s({}, false);
    QCOMPARE(s.op.boxes.size(), 1);
    QVERIFY(s.op.boxes[0].text.startsWith(QStringLiteral("Error Open MSGDB:")));
    QCOMPARE(s.child<QLabel>("lblMode")->text(), QStringLiteral("V") + ProgramInfo::versionText());
    QCOMPARE(s.editor()->toPlainText(), QStringLiteral("Select * From [TableName]"));
}

void TestMainWindow::programStartsAndLogsStartLine() {
    QTemporaryDir folder;
    for (const char* name : {"ORVIK", "ZKMSG.MDB", "ORVIK.INI", "CntStr.txt", "ORVIKDEMO.db"})
        QVERIFY(QFile::copy(QStringLiteral(ORVIK_PROGRAM_DIR "/") + QLatin1String(name),
                            folder.filePath(QLatin1String(name))));
    QFile::setPermissions(folder.filePath(QStringLiteral("ORVIK")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("HOME"), m_home.path());
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(QDir::tempPath());
    program.start(folder.filePath(QStringLiteral("ORVIK")), {});
    QVERIFY(program.waitForStarted());
    // The start line is written once the window has finished loading.
    const QString log = folder.filePath(QStringLiteral("ORVIK.LOG"));
    QTRY_VERIFY_WITH_TIMEOUT(
        QString::fromUtf8(readFileBytes(log)).contains(QStringLiteral(" => 程式啟動.\r\n")), 20000);
    program.kill();
    program.waitForFinished();
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("ORVIK.ERR"))));
}

void TestMainWindow::programWithoutDisplaySaysSo() {
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
        env.remove(QLatin1String(name));
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(ORVIK_PROGRAM_DIR "/ORVIK"), {});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    QVERIFY2(said.contains(QStringLiteral("需要顯示器")) && said.contains(QStringLiteral("xvfb-run")),
             qPrintable(said));
}

void TestMainWindow::fontsDrawTraditionalShapes() {
    installUiFonts();
    QCOMPARE(QFontInfo(QFont(QStringLiteral("標楷體"))).family(), QStringLiteral("AR PL UKai TW"));
    QCOMPARE(QFontInfo(QApplication::font()).family(), QStringLiteral("Noto Sans CJK TC"));
}

void TestMainWindow::windowFitsTheScreen() {
    Started s; // the test screen is smaller than the window's design size
    // The window's own area: the test platform draws a frame around a maximised window off-screen.
    const QRect area = s.window->screen()->availableGeometry();
    QVERIFY2(s.window->width() <= area.width() && s.window->height() <= area.height(),
             qPrintable(QStringLiteral("%1x%2 on %3x%4")
                            .arg(s.window->geometry().width())
                            .arg(s.window->geometry().height())
                            .arg(area.width())
                            .arg(area.height())));
}

void TestMainWindow::qtDialogsSpeakTraditionalChinese() {
    QVERIFY(installQtTranslation());
    QMessageBox box(QMessageBox::Question, QString(), QString(), QMessageBox::Yes | QMessageBox::No);
    QVERIFY2(box.button(QMessageBox::Yes)->text().contains(QStringLiteral("是")),
             qPrintable(box.button(QMessageBox::Yes)->text()));
    // Each filter's description once; the all-files filter shows names without a dot too.
    QCOMPARE(
        FileDialog::qtFilter(QStringLiteral("SQL Files (*.sql)|*.sql|文字檔案(*.txt)|*.txt|ALLfiles|*.*|")),
        QStringLiteral("SQL Files (*.sql);;文字檔案(*.txt);;ALLfiles (*)"));
}

void TestMainWindow::aboutBoxTellsWhatRuns_data() {
    QTest::addColumn<bool>("programFile");
    QTest::newRow("with the program file") << true;
    QTest::newRow("without it") << false;
}

void TestMainWindow::aboutBoxTellsWhatRuns() {
    QFETCH(bool, programFile);
    // Dates are written the same in every locale, the one the program serves included.
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::TraditionalHanScript, QLocale::Taiwan));
    const auto localeBack = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
    StartedWindow s;
    if (programFile)
        s.program.write(QStringLiteral("ORVIK"), "program");
    GlobalSettings().CorpName = QStringLiteral("範例公司");
    s.action("mnuAbout")->trigger();
    auto* about = s.window->findChild<QDialog*>(QStringLiteral("frmAbout"));
    QVERIFY(about && about->isVisible());
    QCOMPARE(about->windowTitle(), QStringLiteral("關於ORVIK"));
    const auto text = [&](const char* name) {
        return about->findChild<QLabel*>(QLatin1String(name))->text();
    };
    QCOMPARE(text("lblVersion"), QStringLiteral("版本: ORVIK, ") + ProgramInfo::versionText());
    QCOMPARE(text("lblCorpName"), QStringLiteral("範例公司"));
    QCOMPARE(text("lblTitle"), ProgramInfo::appTitle());
    static const QRegularExpression fileDate(
        QStringLiteral("^檔案日期:\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d$"));
    QCOMPARE(fileDate.match(text("lblSerial")).hasMatch(), programFile);
    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdSysInfo")), Qt::LeftButton);
    QCOMPARE(s.op.boxes.last().text, QStringLiteral("System Information Is Unavailable At This Time"));
    QTest::mouseClick(about->findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
    QTRY_VERIFY(!s.window->findChild<QDialog*>(QStringLiteral("frmAbout")));
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
