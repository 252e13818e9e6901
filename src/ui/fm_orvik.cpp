#include "ui/fm_orvik.h"

#include "app/errors.h"
#include "app/global_settings.h"
#include "app/gui/widget_helpers.h"
#include "app/helpers.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "db/session.h"
#include "db/statement_wait.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "print/report_document.h"
#include "ui/frm_about.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDate>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

namespace {
enum Page { QueryTab = 0, FileTab = 1, ConnectTab = 2 };

const QString kInitPathKey = QStringLiteral("Default/INITPATH");

QSettings userSettings() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("ORVIK"),
                     ProgramInfo::exeBaseName());
}

QString applicationTitle() {
    return QStringLiteral(" DB維護程式") + QStringLiteral(" - ") + QStringLiteral("ORVIK");
}

void selectRange(QPlainTextEdit* box, int start, int length) {
    QTextCursor cursor = box->textCursor();
    const int end = int(box->document()->characterCount()) - 1;
    cursor.setPosition(std::min(start, end));
    cursor.setPosition(std::min(start + length, end), QTextCursor::KeepAnchor);
    box->setTextCursor(cursor);
}
} // namespace

fmORVIK::~fmORVIK() {
    StatementWait::install({});
}

fmORVIK::fmORVIK(QWidget* parent) : QMainWindow(parent), m_endProcess([] { QCoreApplication::exit(0); }) {
    m_ui.setupUi(this);
    m_connect.attach(connectionWidgets());
    m_connect.setBusyState(&m_busy);
    // While a statement runs on the server the window keeps answering; Esc stops the statement.
    // The operator learns that the wait can be ended, unless the panel already shows progress; the
    // note goes with the work when nothing has replaced it.
    static const QString waitingNote = QStringLiteral("資料庫處理中... (按 Esc 可取消)");
    StatementWait::install([this] {
        if (!m_busy.isBusy())
            return false;
        if (m_ui.elaMsg->caption().isEmpty())
            m_ui.elaMsg->setCaption(waitingNote);
        QCoreApplication::processEvents();
        return m_busy.stopRequested();
    });
    m_busy.setOnEachIdle([this] {
        if (m_ui.elaMsg->caption() == waitingNote)
            m_ui.elaMsg->setCaption(QString());
    });
    m_profiles = new ProfilePage(connectionWidgets(), m_connect, this);
    m_query = new QueryPage({m_ui.txtSQL, m_ui.fg1, m_ui.fgTableName, m_ui.lblMode, m_ui.lblDBName,
                             m_ui.elaMsg, m_ui.mnuMaintain[0]},
                            m_connect, m_dlgFile, m_busy, this);
    m_maintenance =
        new Maintenance({m_ui.fg1, m_ui.lblMode, m_ui.elaMsg, m_ui.tabPage}, *m_query, m_busy, this);
    m_files = new FilePage({m_ui.txtFileName, m_ui.elaSelectFile, m_ui.cmdStartDoc, m_ui.cmdSaveXLS,
                            m_ui.cmdSaveTXT, m_ui.cmdSaveCSV, m_ui.mnuSave[2], m_ui.mnuSave[3],
                            m_ui.mnuSave[4], m_ui.cmdScript, m_ui.cmdLoadTextToDB, m_ui.mnuSave[0],
                            m_ui.mnuSave[1], m_ui.fg1, m_ui.lblMode, m_ui.lblDBName, m_ui.elaMsg},
                           m_dlgFile, *m_maintenance, m_busy, this);
    m_connect.setBeforeConnect([this] { m_maintenance->leave(); });
    connect(&m_connect, &ConnectActions::connected, this, [this](const QString& profileName) {
        setWindowTitle(profileName + QStringLiteral(" - ") + ProgramInfo::appTitle());
    });
    QCoreApplication::instance()->installEventFilter(this);
    m_ui.fgTableName->setCols(1);
    connectSignals();
}

ConnectionWidgets fmORVIK::connectionWidgets() const {
    ConnectionWidgets w;
    w.tabPage = m_ui.tabPage;
    w.fgCntStr = m_ui.fgCntStr;
    w.txtCntStr = m_ui.txtCntStr;
    w.txtDBName = m_ui.txtDBName;
    w.lblDBName = m_ui.lblDBName;
    w.cmdDelSetting = m_ui.cmdDelSetting;
    w.mnuConnectDelete = m_ui.mnuConnect[1];
    w.cmdConnect = m_ui.cmdConnect;
    w.mnuConnectConnect = m_ui.mnuConnect[0];
    w.lblStatus = m_ui.lblStatus;
    w.lblMode = m_ui.lblMode;
    w.elaMsg = m_ui.elaMsg;
    w.fg1 = m_ui.fg1;
    return w;
}

QString fmORVIK::savedSqlPath() {
    return ProgramInfo::programFolder() + QLatin1Char('/') + ProgramInfo::exeBaseName() +
           QStringLiteral("_SQL.TXT");
}

QString fmORVIK::storedInitPath() {
    return userSettings().value(kInitPathKey).toString();
}

void fmORVIK::connectSignals() {
    for (int i = 0; i < int(m_ui.mnuMaintain.size()); ++i)
        connect(m_ui.mnuMaintain[i], &QAction::triggered, this, [this, i] {
            if (i == 5) // the check mark is ours to set: undo the toggle the action did by itself
                m_ui.mnuMaintain[5]->setChecked(!m_ui.mnuMaintain[5]->isChecked());
            mnuMaintain_Click(i);
        });
    for (int i = 0; i < int(m_ui.mnuSave.size()); ++i)
        connect(m_ui.mnuSave[i], &QAction::triggered, this, [this, i] { mnuSave_Click(i); });
    for (int i = 0; i < int(m_ui.mnuConnect.size()); ++i)
        connect(m_ui.mnuConnect[i], &QAction::triggered, this, [this, i] { mnuConnect_Click(i); });
    connect(m_ui.mnuAbout, &QAction::triggered, this, &fmORVIK::mnuAbout_Click);
    connect(m_ui.mnuExit, &QAction::triggered, this, &fmORVIK::mnuExit_Click);
    connect(m_ui.tabPage, &QTabWidget::currentChanged, this, &fmORVIK::tabPage_Scroll);
    connect(m_ui.cmdExit, &QPushButton::clicked, this, &fmORVIK::cmdExit_Click);
    connect(m_ui.cmdQryDB, &QPushButton::clicked, m_query, &QueryPage::cmdQryDB_Click);
    connect(m_ui.cmdPrint, &QPushButton::clicked, this, &fmORVIK::cmdPrint_Click);
    connect(m_ui.cmdConnect, &QPushButton::clicked, this, [this] { m_connect.cmdConnect_Click(); });
    connect(m_ui.cmdAddSetting, &QPushButton::clicked, m_profiles, &ProfilePage::cmdAddSetting_Click);
    connect(m_ui.cmdBuiltCntStr, &QPushButton::clicked, m_profiles, &ProfilePage::cmdBuiltCntStr_Click);
    connect(m_ui.cmdUpdateSetting, &QPushButton::clicked, m_profiles, &ProfilePage::cmdUpdateSetting_Click);
    connect(m_ui.cmdDelSetting, &QPushButton::clicked, m_profiles, &ProfilePage::cmdDelSetting_Click);
    connect(m_ui.cmdSave, &QPushButton::clicked, m_profiles, &ProfilePage::cmdSave_Click);
}

void fmORVIK::Form_Load() {
    Operator& op = currentOperator();
    guarded(QStringLiteral("主畫面載入"), [&] {
        ProgramInfo::setAppTitle(applicationTitle());
        m_ui.lblHead[0]->setText(QStringLiteral("ORVIK"));
        m_ui.lblHead[1]->setText(ProgramInfo::appTitle());
        m_ui.lblHead[2]->setText(DBDateDisp(QDate::currentDate()));
        const QFileInfo exe(ProgramInfo::exePath());
        if (exe.isFile())
            m_ui.lblHead[0]->setToolTip(QStringLiteral("檔案日期:") +
                                        DisplayDateTime(exe.lastModified()));
        const QString version = ProgramInfo::versionText();
        m_ui.lblHead[1]->setToolTip(QStringLiteral("V") + version);
        m_ui.lblMode->setText(QString());
        m_ui.elaMsg->setCaption(QStringLiteral("V.") + version);
        op.setBusy(true);
        showWithinScreen();
        InitForm();
        op.setBusy(false);
    });
}

void fmORVIK::showWithinScreen() {
    // The design size where the screen has room for it; on a smaller screen the window takes the
    // screen's free area, so that no button or status panel lies beyond its edge.
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    if (area.isEmpty()) {
        show();
        return;
    }
    const QSize design = size();
    if (design.width() <= area.width() && design.height() <= area.height()) {
        move(area.center() - QPoint(design.width() / 2, design.height() / 2));
        show();
        return;
    }
    setGeometry(area);
    showMaximized();
}

void fmORVIK::InitForm() {
    guarded(QStringLiteral("InitForm"), [&] {
        ClearForm(this);
        if (const QString saved = savedSqlPath(); FileExists(saved)) {
            if (const auto text = TxtLoadFile(saved))
                m_ui.txtSQL->setPlainText(*text);
        } else {
            m_ui.txtSQL->setPlainText(QStringLiteral("Select * From [TableName]"));
            selectRange(m_ui.txtSQL, 14, 12);
        }
        m_ui.cmdScript->setEnabled(true);
        m_ui.cmdLoadTextToDB->setEnabled(true);
        m_ui.mnuSave[0]->setEnabled(true);
        m_ui.mnuSave[1]->setEnabled(true);

        m_profiles->setUpGrid();
        m_ui.fgCntStr->setUpdatesEnabled(false);
        m_profiles->load();
        if (m_ui.fgCntStr->rows() > 1)
            m_ui.fgCntStr->setRow(1);
        const QString stored = storedInitPath();
        m_dlgFile.initDir = stored.isEmpty() ? ProgramInfo::programFolder() : stored;
        m_ui.tabPage->setCurrentIndex(QueryTab);
        enableMenuGroupOfPage(QueryTab);
        m_ui.txtSQL->setFocus();
    });
    m_ui.fgCntStr->setUpdatesEnabled(true);
    m_ui.lblMode->setText(QStringLiteral("V") + ProgramInfo::versionText());
}

void fmORVIK::enableMenuGroupOfPage(int page) {
    m_ui.mnuDBMaintain->menuAction()->setEnabled(page == QueryTab);
    m_ui.mnuDBSave->menuAction()->setEnabled(page == FileTab);
    m_ui.mnuDBConnect->menuAction()->setEnabled(page == ConnectTab);
}

void fmORVIK::tabPage_Scroll(int index) {
    guarded(QStringLiteral("tabPage_Scroll"), [&] {
        m_ui.elaMsg->setCaption(QString());
        if (index < QueryTab || index > ConnectTab)
            return;
        enableMenuGroupOfPage(index);
        if (index == QueryTab)
            m_ui.txtSQL->setFocus();
    });
}

void fmORVIK::mnuMaintain_Click(int index) {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("fmORVIK_mnuMaintain_Click"), [&] {
        if (index < 0 || index > 5)
            return;
        m_ui.tabPage->setCurrentIndex(QueryTab);
        switch (index) {
        case 0:
            m_query->ExecSQL();
            break;
        case 1:
            m_query->cmdLoadFile_Click();
            break;
        case 2:
            m_query->cmdSaveFile_Click();
            break;
        case 3:
            m_query->ShowColumnTotal();
            break;
        case 5:
            toggleLandscape();
            break;
        case 4:
            cmdPrint_Click();
            break;
        default:
            break;
        }
    });
}

void fmORVIK::toggleLandscape() {
    const bool marked = m_ui.mnuMaintain[5]->isChecked();
    m_ui.chkLandscape->setChecked(!marked);
    m_ui.mnuMaintain[5]->setChecked(!marked);
}

void fmORVIK::mnuSave_Click(int index) {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("fmORVIK_mnuSave_Click"), [&] {
        if (index < 0 || index > 4)
            return;
        m_ui.tabPage->setCurrentIndex(FileTab);
        switch (index) {
        case 0:
            m_files->cmdScript_Click();
            break;
        case 1:
            m_files->cmdLoadTextToDB_Click();
            break;
        case 2:
            m_files->cmdSaveXLS_Click();
            break;
        case 3:
            m_files->cmdSaveTXT_Click();
            break;
        case 4:
            m_files->cmdSaveCSV_Click();
            break;
        }
    });
}

void fmORVIK::mnuConnect_Click(int index) {
    if (m_busy.refuse())
        return;
    guarded(QStringLiteral("fmORVIK_mnuConnect_Click"), [&] {
        if (index < 0 || index > 3)
            return;
        m_ui.tabPage->setCurrentIndex(ConnectTab);
        switch (index) {
        case 0:
            m_connect.cmdConnect_Click();
            break;
        case 1:
            m_profiles->cmdDelSetting_Click();
            break;
        case 2:
            m_profiles->cmdAddSetting_Click();
            break;
        case 3:
            m_profiles->cmdSave_Click();
            break;
        }
    });
}

void fmORVIK::cmdPrint_Click() {
    if (m_busy.refuse())
        return;
    Operator& op = currentOperator();
    op.setBusy(true);
    op.processEvents();
    m_ui.mnuMaintain[4]->setEnabled(false);
    guarded(QStringLiteral("fmORVIK_cmdPrint_Click"), [&] {
        if (!m_preview)
            m_preview = new frmPrint(&m_busy, this);
        const std::optional<QString> title =
            op.inputBox(QStringLiteral("請輸入報表標題"), QStringLiteral("報表標題"),
                        QStringLiteral("資料庫查詢列印"), EchoMode::Normal);
        m_preview->setHeader(title.value_or(QString()));
        m_preview->setProgId(QStringLiteral("ORVEL"));

        ReportDocument::Content content;
        const FlexGrid* grid = m_ui.fg1;
        content.grid = grid->grid();
        const double twipsPerPixel = 1440.0 / grid->logicalDpiX();
        for (int col = 0; col < grid->cols(); ++col) // the widths the grid shows, in twips
            content.columnWidths << (col < grid->grid()->fixedCols()
                                         ? grid->verticalHeader()->width()
                                         : grid->columnWidth(col - grid->grid()->fixedCols())) *
                                        twipsPerPixel;
        content.font = QFont(QStringLiteral("標楷體"), 10);
        content.orientation = m_ui.chkLandscape->isChecked() ? QPageLayout::Landscape : QPageLayout::Portrait;
        const QSizeF page = content.pageSize.size(QPageSize::Point) * 20; // twips
        const double printable =
            (content.orientation == QPageLayout::Landscape ? page.height() : page.width()) - content.left -
            content.right;
        content.columnWidths =
            ReportDocument::fittedColumnWidths(*grid->grid(), content.columnWidths, content.font, printable);
        if (m_ui.txtSQL->textCursor().hasSelection()) {
            CurrentSql() = TrimSpaces(m_ui.txtSQL->textCursor().selectedText().replace(QChar(0x2029), u'\n'));
            content.text = CurrentSql();
        }
        ReportDecoration decoration;
        decoration.customerName = GlobalSettings().CustName;
        decoration.title = m_preview->header();
        decoration.programId = m_preview->progId();
        decoration.logo = m_preview->logo();
        decoration.logoTwips = QSizeF(m_preview->logo().size()) * twipsPerPixel;
        m_preview->setDocument(std::make_unique<ReportDocument>(content, decoration));
        m_preview->show();
        m_preview->raise();
    });
    op.setBusy(false);
    m_ui.mnuMaintain[4]->setEnabled(true);
}

void fmORVIK::mnuAbout_Click() {
    guarded(QStringLiteral("mnuAbout_Click"), [&] {
        auto* about = new frmAbout(this); // closes for good: it deletes itself
        about->show();
    });
}

void fmORVIK::mnuExit_Click() {
    guarded(QStringLiteral("fmORVIK_mnuExit_Click"), [&] { cmdExit_Click(); });
}

void fmORVIK::storeInitPath() {
    if (m_dlgFile.fileName.isEmpty())
        return;
    QSettings settings = userSettings();
    settings.setValue(kInitPathKey, GetPath(m_dlgFile.fileName));
    settings.sync();
}

void fmORVIK::cmdExit_Click() {
    const int answer = currentOperator().messageBox(QStringLiteral("確定要離開嗎?"), MsgButtons::YesNo,
                                                    MsgIcon::Information, ProgramInfo::appTitle());
    if (answer != MsgAnswer::Yes)
        return;
    // A long operation under way is stopped first; the exit goes on once it has ended.
    m_busy.requestStop();
    m_busy.whenIdle([this] { finishExit(); });
}

void fmORVIK::endSession() {
    m_busy.requestStop();
    m_busy.whenIdle([this] {
        // No one is there to answer: what cannot be kept goes to the error log, not into a box.
        installOperator(nullptr);
        finishExit(false);
    });
}

void fmORVIK::finishExit(bool asking) {
    try {
        storeInitPath();
    } catch (...) {
        // a setting that cannot be stored is left as it was
    }
    // The editor text would be gone with the process: when it could not be kept, the operator
    // decides whether to leave anyway (the failure has been reported already).
    // Where the start found no folder to keep files in, the text is not tried (the operator was
    // told then); only the question remains.
    const bool kept = ProgramInfo::keepsFiles() && TxtSaveFile(savedSqlPath(), m_ui.txtSQL->toPlainText());
    if (!kept && asking &&
        currentOperator().messageBox(QStringLiteral("編輯區的SQL指令無法存檔, 仍要離開嗎?"),
                                     MsgButtons::YesNo, MsgIcon::Question,
                                     ProgramInfo::appTitle()) != MsgAnswer::Yes)
        return;
    // Changes typed into a maintained row go to the table before the process ends; what the
    // database refuses is reported.
    m_maintenance->leave(false);
    m_endProcess();
}

bool fmORVIK::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QMainWindow::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this || QApplication::activeModalWidget())
        return false;
    if (event == m_previewedKey && m_previewedAt && widget != m_previewedAt &&
        widget->isAncestorOf(m_previewedAt))
        return false;
    m_previewedKey = event;
    m_previewedAt = widget;
    const auto* key = static_cast<QKeyEvent*>(event);
    bool used = false;
    guarded(QStringLiteral("fmORVEL_KeyDown"),
            [&] { used = m_maintenance->Form_KeyDown(key->key(), key->modifiers()); });
    return used;
}

void fmORVIK::closeEvent(QCloseEvent* event) {
    // Every close request runs the exit sequence; the window only goes when the process ends.
    event->ignore();
    cmdExit_Click();
}
