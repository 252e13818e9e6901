#include "profiles/profile_page.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/gui/widget_helpers.h"
#include "app/helpers.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "profiles/data_link_dialog.h"
#include "profiles/profile_file.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
constexpr int kNumberWidth = 600;
constexpr int kNameWidth = 2400;
const QColor kDragColour(255, 0, 0);
} // namespace

ProfilePage::ProfilePage(const ConnectionWidgets& widgets, ConnectActions& connector, QObject* parent)
    : QObject(parent), w(widgets), m_connect(connector) {
    connect(w.fgCntStr, &FlexGrid::cellClicked, this, &ProfilePage::fgCntStr_Click);
    connect(w.fgCntStr, &FlexGrid::cellDoubleClicked, this, &ProfilePage::fgCntStr_DblClick);
    connect(w.fgCntStr, &FlexGrid::validateEdit, this, &ProfilePage::fgCntStr_ValidateEdit);
    connect(w.fgCntStr, &FlexGrid::beforeMouseDown, this,
            [this](Qt::MouseButton button, Qt::KeyboardModifiers, QPoint, bool* cancel) {
                fgCntStr_BeforeMouseDown(button, cancel);
            });
    connect(w.fgCntStr, &FlexGrid::keyDown, this, &ProfilePage::fgCntStr_KeyDown);
    w.txtCntStr->installEventFilter(this);
    w.txtDBName->installEventFilter(this);
}

QString ProfilePage::profileFilePath() {
    return ProgramInfo::programFolder() + QStringLiteral("/CntStr.txt");
}

void ProfilePage::setUpGrid() {
    FlexGrid* grid = w.fgCntStr;
    grid->setCols(3);
    grid->setRows(1);
    grid->setFixedRows(1);
    grid->setFixedCols(1);
    const int gridWidth = FlexGrid::pixelsToTwips(grid->width(), grid);
    grid->setColWidth(0, kNumberWidth);
    grid->setColWidth(1, std::max(kNumberWidth, gridWidth - kNumberWidth - kNameWidth - 100));
    grid->setColWidth(2, kNameWidth);
    grid->setTextMatrix(0, 0, QStringLiteral("項次"));
    grid->setTextMatrix(0, 1, QStringLiteral("連線參數"));
    grid->setTextMatrix(0, 2, QStringLiteral("資料庫"));
    grid->setEditable(2);
    // A double-click connects, on the current row as on any other: editing in place starts by
    // typing or F2 only.
    grid->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
}

void ProfilePage::load() {
    FlexGrid* grid = w.fgCntStr;
    const QString path = profileFilePath();
    if (!FileExists(path)) {
        StatusMessage() = ZKMSG(QStringLiteral("ErrorReadFile")) + QLatin1Char(':') + path;
        currentOperator().messageBox(StatusMessage(), MsgButtons::Ok, MsgIcon::Exclamation,
                                     ProgramInfo::appTitle());
    } else {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throwReadError(path, fileErrorReason(file));
        m_file = ProfileFile::read(file.readAll());
        file.close();
        grid->setRedraw(false);
        int number = 0;
        for (const QString& line : m_file.lines)
            grid->addItem(QString::number(++number) + u'\t' + line + u'\t');
        grid->setRedraw(true);
        grid->autoSize(0, grid->cols() - 1);
    }
    if (grid->rows() > 1) {
        w.txtCntStr->setText(grid->textMatrix(1, 1));
        w.lblDBName->setText(grid->textMatrix(1, 2));
        w.txtDBName->setText(w.lblDBName->text());
        m_connect.DBQConnect(w.txtCntStr->text());
    }
}

void ProfilePage::pickRow(int row) {
    w.txtCntStr->setText(w.fgCntStr->textMatrix(row, 1));
    w.lblDBName->setText(w.fgCntStr->textMatrix(row, 2));
    w.txtDBName->setText(w.lblDBName->text());
}

void ProfilePage::fgCntStr_Click() {
    guarded(QStringLiteral("fgCntStr_Click"), [&] {
        const int row = w.fgCntStr->row();
        if (row <= 0) {
            currentOperator().beep();
            return;
        }
        pickRow(row);
        w.cmdDelSetting->setEnabled(true);
        w.mnuConnectDelete->setEnabled(true);
    });
}

void ProfilePage::fgCntStr_DblClick() {
    if (m_connect.refuseWhileBusy())
        return;
    guarded(QStringLiteral("fmORVEL_fgCntStr_DblClick"), [&] {
        const int row = w.fgCntStr->row();
        if (row < 1) {
            currentOperator().beep();
            return;
        }
        pickRow(row);
        m_connect.cmdConnect_Click();
    });
}

void ProfilePage::cmdAddSetting_Click() {
    guarded(QStringLiteral("cmdAddSetting_Click"), [&] {
        FlexGrid* grid = w.fgCntStr;
        grid->addItem(QString::number(grid->rows()) + u'\t' + w.txtCntStr->text() + u'\t' +
                      w.txtDBName->text());
    });
}

void ProfilePage::cmdBuiltCntStr_Click() {
    QString name;
    QWidget* owner = nullptr;
    const bool asked = guarded(QStringLiteral("cmdBuiltCntStr_Click"), [&] {
        const auto answer = currentOperator().inputBox(QStringLiteral("請輸入一個資料庫代號"),
                                                       ProgramInfo::appTitle(), QString(), EchoMode::Normal);
        // A name of blanks is no name either.
        name = answer && !answer->trimmed().isEmpty() ? *answer : QStringLiteral("NEWDB");
        owner = w.tabPage->window();
    });
    if (!asked)
        return;
    // Whatever goes wrong inside the dialog, a cancel included, changes nothing and says nothing.
    std::optional<QString> built;
    try {
        built = DataLinkDialog::PromptNew(owner);
    } catch (...) {
        return;
    }
    if (!built)
        return;
    w.txtDBName->setText(name);
    w.txtCntStr->setText(*built);
}

void ProfilePage::cmdUpdateSetting_Click() {
    guarded(QStringLiteral("cmdUpdateSetting_Click"), [&] {
        const int row = w.fgCntStr->row();
        w.fgCntStr->setTextMatrix(row, 1, w.txtCntStr->text());
        w.fgCntStr->setTextMatrix(row, 2, w.txtDBName->text());
    });
}

void ProfilePage::cmdDelSetting_Click() {
    guarded(QStringLiteral("cmdDelSetting_Click"), [&] {
        const int row = w.fgCntStr->row();
        if (row < 1)
            return;
        w.fgCntStr->removeItem(row);
        w.cmdDelSetting->setEnabled(false);
        w.mnuConnectDelete->setEnabled(false);
    });
}

void ProfilePage::cmdSave_Click() {
    guarded(QStringLiteral("cmdSave_Click"), [&] {
        QList<ProfileFile::Profile> profiles;
        for (int row = 1; row < w.fgCntStr->rows(); ++row)
            profiles.append({w.fgCntStr->textMatrix(row, 1), w.fgCntStr->textMatrix(row, 2)});
        const QString path = profileFilePath();
        if (!ProgramInfo::keepsFiles())
            throw AppError(ErrNo::PathFileAccess,
                           QStringLiteral("設定無法存檔: 找不到可寫入的程式資料夾 (見程式啟動時的說明): ") +
                               path);
        ProfileFile::save(path, profiles, m_file);
        StatusMessage() = QStringLiteral("設定存檔於: ") + path;
        currentOperator().messageBox(StatusMessage(), MsgButtons::Ok, MsgIcon::Information,
                                     ProgramInfo::appTitle());
    });
}

void ProfilePage::fgCntStr_ValidateEdit(int, int col, bool*) {
    guarded(QStringLiteral("fgCntStr_ValidateEdit"), [&] {
        const QString text = w.fgCntStr->editText();
        if (col == 1) {
            w.txtCntStr->setText(text);
        } else if (col == 2) {
            w.lblDBName->setText(text);
            w.txtDBName->setText(text);
        }
    });
}

void ProfilePage::fgCntStr_BeforeMouseDown(Qt::MouseButton button, bool* cancel) {
    if (button != Qt::RightButton)
        return;
    *cancel = true;
    guarded(QStringLiteral("fmORVEL_fgCntStr_BeforeMouseDown"), [&] {
        FlexGrid* grid = w.fgCntStr;
        const int row = grid->row();
        if (row < 1)
            return;
        grid->setCellBackColor(row, 0, row, grid->cols() - 1, kDragColour);
        const int placed = grid->dragRow(row);
        currentOperator().processEvents();
        grid->clearCellFormatting(placed, 0, placed, grid->cols() - 1);
    });
}

void ProfilePage::fgCntStr_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled) {
    guarded(QStringLiteral("fgCntStr_KeyDown"), [&] {
        if (key == Qt::Key_C && modifiers == Qt::ControlModifier) {
            QApplication::clipboard()->clear();
            QApplication::clipboard()->setText(w.fgCntStr->clip());
            *handled = true;
        }
    });
}

bool ProfilePage::eventFilter(QObject* watched, QEvent* event) {
    auto* box = qobject_cast<QLineEdit*>(watched);
    if (!box)
        return QObject::eventFilter(watched, event);
    // Every box moves on with Enter and the arrows; only the name box selects its text on focus.
    if ((box == w.txtDBName || event->type() == QEvent::KeyPress) && FieldNavigation(box, event))
        return true;
    return QObject::eventFilter(watched, event);
}
