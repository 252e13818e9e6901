#include "ui/maintenance.h"

#include "app/gui/busy_state.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/run_log.h"
#include "db/ado_types.h"
#include "db/connection.h"
#include "db/session.h"
#include "db/sql_text.h"
#include "db/statement_wait.h"
#include "db/updatable_recordset.h"
#include "grid/bound_recordset.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"
#include "ui/query_page.h"

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>

namespace {
const QString kRowLeft = QStringLiteral("fg1_BeforeRowColChange");
constexpr qint64 kProgressEveryMs = 250;

void status(ElasticPanel* panel, const QString& text) {
    StatusMessage() = text;
    DispElaMsg(panel, text);
}

// Sets a flag for the length of a scope.
class Raised {
public:
    explicit Raised(bool& flag) : m_flag(flag), m_was(flag) { flag = true; }
    ~Raised() { m_flag = m_was; }

private:
    bool& m_flag;
    bool m_was;
};
// A write to the table: busy while it lasts, so the window answers while the database makes it
// wait and Esc stops it. A write inside a larger operation belongs to that operation's command.
class WriteScope {
public:
    explicit WriteScope(BusyState& busy) : m_ownCommand(!busy.isBusy()), m_busy(busy) {
        if (m_ownCommand)
            StatementWait::reset();
    }

private:
    bool m_ownCommand;
    BusyState::Scope m_busy;
};

const QString kWriteCancelled = QStringLiteral("已取消: 依操作員要求 (Esc) 中止了寫入, 變更仍保留在格子中.");
} // namespace

Maintenance::Maintenance(const Widgets& widgets, QueryPage& query, BusyState& busy, QObject* parent)
    : QObject(parent), m_w(widgets), m_grid(widgets.fg1), m_query(query), m_busy(busy) {
    connect(m_w.fg1, &FlexGrid::keyDown, this, &Maintenance::fg1_KeyDown);
    connect(m_w.fg1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (previous.isValid() && (!current.isValid() || current.row() != previous.row()))
                    rowLeft(m_w.fg1->grid()->gridRow(previous));
            });
    connect(&m_query, &QueryPage::freeModeRequested, this, [this] { leave(false); });
    m_w.fg1->installEventFilter(this);
}

Maintenance::~Maintenance() {
    // The grid may outlive this controller: it must not keep showing records that are gone.
    if (m_rs && m_grid)
        m_grid->grid()->bind(nullptr);
}

bool Maintenance::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_w.fg1 && event->type() == QEvent::FocusIn)
        fg1_GotFocus();
    return QObject::eventFilter(watched, event);
}

bool Maintenance::Form_KeyDown(int key, Qt::KeyboardModifiers) {
    if (m_w.tabPage->currentIndex() != 0)
        return false;
    m_w.elaMsg->setCaption(QString());
    m_w.lblMode->setText(QString());
    if (key != Qt::Key_F5)
        return false;
    if (!m_busy.refuse())
        enter();
    return true;
}

void Maintenance::enter() {
    // Busy while the mode is set up: a key typed ahead would act on a mode only half built.
    const BusyState::Scope busy(m_busy);
    StatementWait::reset();
    const auto body = [&] {
        CurrentSql() = sGetJustSQL(m_query.editorStatement());
        if (CurrentSql().isEmpty()) {
            status(m_w.elaMsg, ZKMSG(QStringLiteral("ErrorCommand")));
            return;
        }
        if (classify(CurrentSql()) != StatementKind::Select) {
            status(m_w.elaMsg, ZKMSG(QStringLiteral("PleaseUseSELECT")));
            return;
        }
        if (const int statements = countStatements(CurrentSql()); statements > 1)
            throw AppError(
                ErrNo::DbStatementRejected,
                QStringLiteral("維護模式只開啟一個 SELECT, 而這段文字有 %1 個陳述式: 請選取要維護的那一個。"
                               "未執行。")
                    .arg(statements));
        // Changes not yet written go first: a write the operator stops keeps the mode and the
        // changes as they are, and the new read does not start.
        if (!leave(false, true)) {
            status(m_w.elaMsg, kWriteCancelled);
            m_w.lblMode->setText(LocalMsg(QStringLiteral("EDIT")));
            return;
        }
        m_w.fg1->setEditable(0);
        m_w.fg1->setRows(1);
        status(m_w.elaMsg, LocalMsg(QStringLiteral("LoadingRecordSet..")));
        if (!MainConnection() || !MainConnection()->isOpen())
            throw Errors::connectionUnusable();
        if (MainConnection()->route().readOnly)
            throw AppError(ErrNo::DbStatementRejected,
                           QStringLiteral("這個資料來源以唯讀方式開啟 (%1 檔案經由 MDBTools 讀取): "
                                          "可以查詢, 不能維護。")
                               .arg(MainConnection()->route().kind));
        // A long read shows its count now and then, and stops on Esc keeping the rows read.
        QElapsedTimer clock;
        clock.start();
        qint64 shownAt = 0;
        m_rs = UpdatableRecordset::open(*MainConnection(), CurrentSql(), [&](qint64 rows) {
            if (clock.elapsed() - shownAt < kProgressEveryMs)
                return false;
            shownAt = clock.elapsed();
            m_w.elaMsg->setCaption(QStringLiteral("已讀入資料行數: ") + QString::number(rows));
            currentOperator().processEvents();
            if (!m_busy.stopRequested())
                return false;
            StatementWait::noteCancelled(); // the statements that learn the table still run
            return true;
        });
        showRecordset();
        if (StatementWait::cancelled())
            status(m_w.elaMsg,
                   QStringLiteral("已停止讀取, 已讀入資料行數: ") + QString::number(m_rs->recordCount()));
        else
            status(m_w.elaMsg, LocalMsg(QStringLiteral("RecCount:")) + QString::number(m_rs->recordCount()));
        // Editable together with the rest of the mode, after the status pause has let events run.
        m_w.fg1->setEditable(2);
        m_w.lblMode->setText(LocalMsg(QStringLiteral("EDIT")));
        m_w.fg1->setBackColor(maintenanceBackground());
        m_w.fg1->setFocus();
    };
    try {
        body();
    } catch (...) {
        // Stopped with Esc while the rows were read: said on the panel, not as a failure.
        if (StatementWait::cancelled())
            status(m_w.elaMsg, QStringLiteral("已取消: 依操作員要求 (Esc) 中止了讀取, 未進入維護模式."));
        else {
            m_w.elaMsg->setCaption(QString()); // the loading note is no longer true
            ReportError(QStringLiteral("fmORVEL_KeyDown"), currentError(std::current_exception()));
        }
    }
}

void Maintenance::showRecordset() {
    m_rows = std::make_unique<BoundRecordset>(*m_rs, [this](int record, int col, const AppError& why) {
        refuse(QStringLiteral("fg1_ValidateEdit"), record + 1, m_rs->column(col).field.name, why);
    });
    GridModel* model = m_w.fg1->grid();
    model->setCols(m_rs->fieldCount());
    for (int i = 0; i < m_rs->fieldCount(); ++i) {
        model->setText(0, i, m_rs->column(i).field.name);
        model->setColDataType(i, m_rs->column(i).field.type);
    }
    model->bind(m_rows.get());
    m_w.fg1->fitColumnsToContents();
}

bool Maintenance::leave(bool keepRowsShown, bool stoppable) {
    if (!m_rs)
        return true;
    // The records go with the mode: what is still unsaved is written now, and what cannot be is
    // named with its values, so nothing typed is lost without a word.
    QStringList lost;
    qint64 number = 0;
    const WriteScope writing(m_busy);
    for (int record : m_rs->unsavedRecords()) {
        try {
            m_rs->save(record);
        } catch (...) {
            if (stoppable && StatementWait::cancelled())
                return false;
            const AppError error = currentError(std::current_exception());
            if (lost.isEmpty())
                number = error.number();
            lost << QStringLiteral("%1 %2: %3\r\n    (%4)")
                        .arg(m_rs->isNew(record) ? QStringLiteral("新資料列") : QStringLiteral("資料列"))
                        .arg(record + 1)
                        .arg(m_rs->describeUnsaved(record), error.description());
        }
    }
    if (keepRowsShown)
        m_w.fg1->grid()->unbindKeepingTexts();
    else
        m_w.fg1->grid()->bind(nullptr);
    m_rows.reset();
    m_rs.reset();
    m_w.fg1->setBackColor(Qt::white);
    reportRefusals();
    if (!lost.isEmpty())
        ReportError(kRowLeft, AppError(number, QStringLiteral("下列變更無法寫入資料表, 也已不在表格中:\r\n") +
                                                   lost.join(QStringLiteral("\r\n"))));
    return true;
}

void Maintenance::rowLeft(int row) {
    if (!m_rs || m_reshaping || row < 1 || row > m_rs->recordCount() || !m_rs->isUnsaved(row - 1))
        return;
    // A refused row keeps its changes in the grid: they are tried again when the operator leaves
    // that row the next time, or dropped with Esc on it.
    const WriteScope writing(m_busy);
    try {
        m_rs->save(row - 1);
        m_w.fg1->grid()->boundRowChanged(row);
    } catch (...) {
        if (StatementWait::cancelled())
            status(m_w.elaMsg, kWriteCancelled);
        else
            refuse(kRowLeft, row, QString(), currentError(std::current_exception()));
    }
}

void Maintenance::refuse(const QString& label, int row, const QString& column, const AppError& error) {
    m_refusals.append({label, row, column, error});
    if (m_reportQueued)
        return;
    m_reportQueued = true;
    QTimer::singleShot(0, this, [this] { reportRefusals(); });
}

void Maintenance::reportRefusals() {
    m_reportQueued = false;
    const QList<Refusal> refusals = std::exchange(m_refusals, {});
    if (refusals.isEmpty())
        return;
    if (refusals.size() == 1) {
        ReportError(refusals[0].label, refusals[0].error);
        return;
    }
    QStringList lines;
    for (const Refusal& r : refusals)
        lines << (r.column.isEmpty() ? QStringLiteral("第 %1 列: %2").arg(r.row).arg(r.error.description())
                                     : QStringLiteral("第 %1 列, 欄位 %2: %3")
                                           .arg(r.row)
                                           .arg(r.column, r.error.description()));
    ReportError(refusals[0].label, AppError(refusals[0].error.number(),
                                            QStringLiteral("%1 項變更被拒絕:\r\n").arg(lines.size()) +
                                                lines.join(QStringLiteral("\r\n"))));
}

void Maintenance::discardRow(int row) {
    if (!m_rs || row < 1 || row > m_rs->recordCount())
        return;
    const int record = row - 1;
    if (!m_rs->discard(record)) {
        m_w.fg1->grid()->boundRowChanged(row);
        return;
    }
    const Raised reshaping(m_reshaping);
    m_w.fg1->grid()->removeBoundRow(row, [&] { m_rs->forget(record); });
}

void Maintenance::fg1_GotFocus() {
    try {
        if (m_w.fg1->row() <= 0 && m_w.fg1->rows() >= 2)
            m_w.fg1->setRow(1);
    } catch (...) {
        // Only where the cursor starts: the grid works from wherever it is.
    }
}

void Maintenance::fg1_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled) {
    guarded(QStringLiteral("fg1_KeyDown"), [&] {
        const bool ctrl =
            modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::KeypadModifier);
        const bool free = !isBound() || m_w.fg1->isEditing();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // From an open cell editor the key arrives before the editor has handed over its text:
            // the Tab follows once it has.
            QTimer::singleShot(0, m_w.fg1, [grid = m_w.fg1] {
                QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                QCoreApplication::sendEvent(grid, &tab);
            });
            *handled = true;
        } else if (ctrl && key == Qt::Key_C) {
            QApplication::clipboard()->clear();
            QApplication::clipboard()->setText(m_w.fg1->clip());
            *handled = true;
        } else if (ctrl && key == Qt::Key_V && !free) {
            paste();
            *handled = true;
        } else if (ctrl && key == Qt::Key_Delete && !free) {
            deleteRecord();
            *handled = true;
        } else if (ctrl && key == Qt::Key_Insert && !free) {
            addRecord();
            *handled = true;
        } else if (key == Qt::Key_Escape && modifiers == Qt::NoModifier && !free) {
            discardRow(m_w.fg1->row());
            *handled = true;
        } else if (key == Qt::Key_Delete || key == Qt::Key_Insert) {
            *handled = true; // these keys change nothing without Ctrl alone
        }
    });
}

void Maintenance::paste() {
    const bool fitted = m_w.fg1->setClip(QApplication::clipboard()->text());
    // Every row the paste changed is written now, the one the operator stands on included, so that
    // whatever the table refuses comes back in the one answer to the paste.
    // The rows go to the table together, in one transaction: one refused row is taken back alone.
    const QList<int> records = m_rs->unsavedRecords();
    const WriteScope writing(m_busy);
    try {
        m_rs->saveTogether(records, [this](int record, const AppError& error) {
            refuse(kRowLeft, record + 1, QString(), error);
        });
    } catch (...) {
        if (StatementWait::cancelled())
            status(m_w.elaMsg, kWriteCancelled);
        else
            refuse(kRowLeft, m_w.fg1->row(), QString(), currentError(std::current_exception()));
    }
    for (int record : records)
        m_w.fg1->grid()->boundRowChanged(record + 1);
    if (!fitted)
        status(m_w.elaMsg, QStringLiteral("貼上的資料比選取的範圍大, 只貼入選取的範圍."));
}

void Maintenance::deleteRecord() {
    int row = m_w.fg1->row();
    if (row < 1)
        return;
    const int record = row - 1;
    {
        const WriteScope writing(m_busy);
        try {
            m_rs->deleteFromTable(record);
        } catch (...) {
            if (!StatementWait::cancelled())
                throw;
            status(m_w.elaMsg, QStringLiteral("已取消: 依操作員要求 (Esc) 中止了刪除, 資料列仍在."));
            return;
        }
    }
    {
        const Raised reshaping(m_reshaping);
        m_w.fg1->grid()->removeBoundRow(row, [&] { m_rs->forget(record); });
    }
    currentOperator().processEvents();
    if (m_w.fg1->rows() > 1) {
        if (row >= m_w.fg1->rows())
            row = m_w.fg1->rows() - 1;
        m_w.fg1->setRow(row);
    }
    m_w.lblMode->setText(LocalMsg(QStringLiteral("DELETE")));
}

void Maintenance::addRecord() {
    FlexGrid* grid = m_w.fg1;
    if (grid->rows() > 1)
        grid->setRow(grid->rows() - 1);
    if (grid->cols() > 1)
        grid->setCol(1);
    const int row = grid->rows();
    int record = -1;
    {
        const Raised reshaping(m_reshaping);
        grid->grid()->insertBoundRow(row, [&] { record = m_rs->addNew(); });
    }
    grid->setRow(row);
    for (int i = 0; i < m_rs->fieldCount(); ++i) {
        const FieldInfo& field = m_rs->column(i).field;
        if ((field.attributes & AdoType::MayBeNull) != 0 || field.autoIncrement || !m_rs->column(i).writable)
            continue;
        const auto answer =
            currentOperator().inputBox(ZKMSG(QStringLiteral("FieldRequired")) + u':' + field.name,
                                       QStringLiteral("Input Field Value"), field.name, EchoMode::Normal);
        if (!answer || answer->isEmpty())
            continue;
        // An answer goes through the same checks as a value typed into the cell.
        try {
            m_rs->setValue(record, i, *answer);
        } catch (...) {
            refuse(QStringLiteral("fg1_KeyDown"), row, field.name, currentError(std::current_exception()));
        }
        grid->grid()->boundRowChanged(row);
    }
    m_w.lblMode->setText(LocalMsg(QStringLiteral("INSERT")));
    currentOperator().processEvents();
}
