#include "ui/fm_orvik_layout.h"

#include "app/gui/widget_helpers.h"

#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"

#include <QAction>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
template <typename W, typename... Args> W* named(const char* name, Args&&... args) {
    auto* widget = new W(std::forward<Args>(args)...);
    widget->setObjectName(QLatin1String(name));
    return widget;
}

QPushButton* button(const char* name, const QString& caption) {
    auto* pushButton = named<QPushButton>(name, caption);
    if (caption.contains(u'&'))
        ClickAtOnceOnMnemonic(pushButton);
    return pushButton;
}

FlexGrid* grid(const char* name) {
    return named<FlexGrid>(name);
}

QLabel* statusLabel(const char* name, const QString& caption) {
    auto* label = named<QLabel>(name, caption);
    label->setFrameShape(QFrame::Panel);
    label->setFrameShadow(QFrame::Sunken);
    label->setMinimumWidth(140);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QAction* entry(QMenu* menu, const char* name, int index, const QString& caption) {
    auto* action = menu->addAction(caption);
    action->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(index));
    return action;
}
} // namespace

void FmOrvikUi::setupUi(QMainWindow* window) {
    window->setObjectName(QStringLiteral("fmORVIK"));
    window->setWindowTitle(QStringLiteral("資料庫查詢維護程式"));
    window->resize(1180, 800);

    auto* central = new QWidget(window);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(4, 4, 4, 4);
    column->setSpacing(4);

    // Header band: program id, application title, today's date.
    vsHead = named<QFrame>("vsHead", central);
    vsHead->setFrameShape(QFrame::StyledPanel);
    auto* head = new QHBoxLayout(vsHead);
    head->setContentsMargins(8, 2, 8, 2);
    for (int i = 0; i < 3; ++i) {
        lblHead[i] = new QLabel(vsHead);
        lblHead[i]->setObjectName(QStringLiteral("lblHead_%1").arg(i));
    }
    QFont titleFont = lblHead[1]->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    lblHead[1]->setFont(titleFont);
    lblHead[1]->setAlignment(Qt::AlignCenter);
    lblHead[2]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    head->addWidget(lblHead[0], 1);
    head->addWidget(lblHead[1], 3);
    head->addWidget(lblHead[2], 1);
    column->addWidget(vsHead);

    tabPage = named<QTabWidget>("tabPage", central);
    column->addWidget(tabPage, 1);

    // Page 0: the editor, the table list and the result grid.
    auto* page0 = new QWidget;
    auto* page0Layout = new QVBoxLayout(page0);
    page0Layout->setContentsMargins(2, 2, 2, 2);
    auto* splitter = named<QSplitter>("splitPage0", Qt::Vertical, page0);
    elaPupper = named<QWidget>("elaPupper");
    auto* upper = new QHBoxLayout(elaPupper);
    upper->setContentsMargins(0, 0, 0, 0);
    auto* commands = new QVBoxLayout;
    cmdQryDB = button("cmdQryDB", QStringLiteral("&E 執行"));
    cmdPrint = button("cmdPrint", QStringLiteral("&P 列印"));
    chkLandscape = named<QCheckBox>("chkLandscape", QStringLiteral("橫印"));
    commands->addWidget(cmdQryDB);
    commands->addWidget(cmdPrint);
    commands->addWidget(chkLandscape);
    commands->addStretch(1);
    upper->addLayout(commands);
    fgTableName = grid("fgTableName");
    fgTableName->setMinimumWidth(180);
    fgTableName->setMaximumWidth(260);
    fgTableName->horizontalHeader()->setStretchLastSection(true);
    upper->addWidget(fgTableName, 1);
    txtSQL = named<QPlainTextEdit>("txtSQL");
    QFont fixed(QStringLiteral("Noto Sans Mono CJK TC"));
    if (!QFontDatabase::families().contains(fixed.family()))
        fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setStyleHint(QFont::Monospace);
    txtSQL->setFont(fixed);
    txtSQL->setLineWrapMode(QPlainTextEdit::NoWrap);
    upper->addWidget(txtSQL, 4);
    elaPlower = named<QWidget>("elaPlower");
    auto* lower = new QVBoxLayout(elaPlower);
    lower->setContentsMargins(0, 0, 0, 0);
    fg1 = grid("fg1");
    lower->addWidget(fg1);
    splitter->addWidget(elaPupper);
    splitter->addWidget(elaPlower);
    splitter->setStretchFactor(0, 2);
    splitter->setStretchFactor(1, 3);
    page0Layout->addWidget(splitter);
    tabPage->addTab(page0, QStringLiteral("資料庫查詢維護"));

    // Page 1: the shared file name and the file commands.
    auto* page1 = new QWidget;
    auto* files = new QGridLayout(page1);
    files->addWidget(new QLabel(QStringLiteral("檔案名稱:  ")), 0, 0);
    txtFileName = named<QLineEdit>("txtFileName");
    files->addWidget(txtFileName, 0, 1, 1, 2);
    elaSelectFile = named<QToolButton>("elaSelectFile");
    elaSelectFile->setIcon(elaSelectFile->style()->standardIcon(QStyle::SP_DirOpenIcon));
    elaSelectFile->setToolTip(QStringLiteral("選擇檔案"));
    files->addWidget(elaSelectFile, 0, 3);
    cmdScript = button("cmdScript", QStringLiteral("載入SQL7Script"));
    cmdLoadTextToDB = button("cmdLoadTextToDB", QStringLiteral("載入資料庫"));
    cmdStartDoc = button("cmdStartDoc", QStringLiteral("檔案瀏覽"));
    cmdSaveXLS = button("cmdSaveXLS", QStringLiteral("存入試算表"));
    cmdSaveTXT = button("cmdSaveTXT", QStringLiteral("存入檔案"));
    cmdSaveCSV = button("cmdSaveCSV", QStringLiteral("存入CSV檔案"));
    files->addWidget(cmdScript, 1, 1);
    files->addWidget(cmdLoadTextToDB, 2, 1);
    files->addWidget(cmdStartDoc, 3, 1);
    files->addWidget(cmdSaveXLS, 1, 2);
    files->addWidget(cmdSaveTXT, 2, 2);
    files->addWidget(cmdSaveCSV, 3, 2);
    files->setColumnStretch(1, 1);
    files->setColumnStretch(2, 1);
    files->setRowStretch(4, 1);
    cmdScript->setEnabled(false); // enabled when the window initialises
    tabPage->addTab(page1, QStringLiteral("存檔作業"));

    // Page 2: the connection profiles.
    auto* page2 = new QWidget;
    auto* profiles = new QGridLayout(page2);
    fgCntStr = grid("fgCntStr");
    profiles->addWidget(fgCntStr, 0, 0, 1, 4);
    profiles->addWidget(new QLabel(QStringLiteral("連接ADO參數:")), 1, 0);
    txtCntStr = named<QLineEdit>("txtCntStr");
    profiles->addWidget(txtCntStr, 1, 1, 1, 3);
    profiles->addWidget(new QLabel(QStringLiteral("資料庫名稱:")), 2, 0);
    txtDBName = named<QLineEdit>("txtDBName");
    profiles->addWidget(txtDBName, 2, 1);
    lblDBName = named<QLabel>("lblDBName", QStringLiteral("DBName"));
    profiles->addWidget(lblDBName, 2, 2, 1, 2);
    profiles->addWidget(new QLabel(QStringLiteral("ADO參數範例:")), 3, 0);
    auto* sample = named<QLabel>("lblCntStrSample",
                                 QStringLiteral("Driver={SQLite3 ODBC Driver};Database=ORVIKDEMO.db\n"
                                                "Driver={PostgreSQL Unicode};Server=127.0.0.1;Port=5432;"
                                                "Database=db;Uid=user;Password=XXXX"));
    sample->setTextInteractionFlags(Qt::TextSelectableByMouse);
    profiles->addWidget(sample, 3, 1, 1, 3);
    auto* profileCommands = new QHBoxLayout;
    cmdBuiltCntStr = button("cmdBuiltCntStr", QStringLiteral("設定精靈"));
    cmdUpdateSetting = button("cmdUpdateSetting", QStringLiteral("更新設定"));
    cmdDelSetting = button("cmdDelSetting", QStringLiteral("刪除設定"));
    cmdSave = button("cmdSave", QStringLiteral("設定存檔"));
    cmdAddSetting = button("cmdAddSetting", QStringLiteral("新增設定"));
    cmdConnect = button("cmdConnect", QStringLiteral("&E 連接.."));
    for (QPushButton* b :
         {cmdBuiltCntStr, cmdUpdateSetting, cmdDelSetting, cmdSave, cmdAddSetting, cmdConnect})
        profileCommands->addWidget(b);
    profiles->addLayout(profileCommands, 4, 0, 1, 4);
    profiles->setRowStretch(0, 1);
    profiles->setColumnStretch(1, 1);
    tabPage->addTab(page2, QStringLiteral("資料庫連接"));

    // Status band.
    elaSBar = named<QFrame>("elaSBar", central);
    auto* status = new QHBoxLayout(elaSBar);
    status->setContentsMargins(0, 0, 0, 0);
    cmdExit = button("cmdExit", QStringLiteral("&Z 離開"));
    elaMsg = named<ElasticPanel>("elaMsg");
    lblStatus = statusLabel("lblStatus", QStringLiteral("連線狀態"));
    lblMode = statusLabel("lblMode", QStringLiteral("作業模式"));
    status->addWidget(cmdExit);
    status->addWidget(elaMsg, 1);
    status->addWidget(lblStatus);
    status->addWidget(lblMode);
    column->addWidget(elaSBar);
    window->setCentralWidget(central);

    // Menus: one group per page, then the about and exit entries.
    QMenuBar* bar = window->menuBar();
    mnuDBMaintain = bar->addMenu(QStringLiteral("資料庫查詢維護"));
    mnuDBMaintain->setObjectName(QStringLiteral("mnuDBMaintain"));
    const QString maintain[] = {QStringLiteral("執行"),     QStringLiteral("載入指令"),
                                QStringLiteral("存指令檔"), QStringLiteral("計算"),
                                QStringLiteral("列印"),     QStringLiteral("橫印")};
    for (int i = 0; i < 6; ++i)
        mnuMaintain[i] = entry(mnuDBMaintain, "mnuMaintain", i, maintain[i]);
    mnuMaintain[5]->setCheckable(true);

    mnuDBSave = bar->addMenu(QStringLiteral("存檔作業"));
    mnuDBSave->setObjectName(QStringLiteral("mnuDBSave"));
    const QString save[] = {QStringLiteral("載入SQL7 Script"), QStringLiteral("載入資料庫"),
                            QStringLiteral("存入試算表"), QStringLiteral("存入檔案"),
                            QStringLiteral("存入CSV檔")};
    for (int i = 0; i < 5; ++i)
        mnuSave[i] = entry(mnuDBSave, "mnuSave", i, save[i]);
    mnuSave[0]->setEnabled(false); // enabled when the window initialises

    mnuDBConnect = bar->addMenu(QStringLiteral("資料庫連接"));
    mnuDBConnect->setObjectName(QStringLiteral("mnuDBConnect"));
    const QString connect[] = {QStringLiteral("連接"), QStringLiteral("刪除設定"), QStringLiteral("新增設定"),
                               QStringLiteral("設定存檔")};
    for (int i = 0; i < 4; ++i)
        mnuConnect[i] = entry(mnuDBConnect, "mnuConnect", i, connect[i]);

    mnuAbout = bar->addAction(QStringLiteral("說明"));
    mnuAbout->setObjectName(QStringLiteral("mnuAbout"));
    mnuExit = bar->addAction(QStringLiteral("離開"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));
    mnuExit->setEnabled(false);
}
