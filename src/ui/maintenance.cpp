#include "ui/maintenance.h"

#include "app/errors.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/run_log.h"
#include "db/ado_types.h"
#include "db/connection.h"
#include "db/session.h"
#include "db/updatable_recordset.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/result_loader.h"
#include "grid/status_panel.h"
#include "ui/query_page.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QTabWidget>
#include <QTimer>

namespace {
// "2016/11/25[ 09:30:00]" as "2016-11-25[ 09:30:00]" for date columns: the form every engine reads
// and the one SQLite keeps its date texts in.
QString storedText(const QString& text, int adoType) {
    if (!AdoType::isDateType(adoType) || adoType == AdoType::DBTime || text.size() < 10 || text[4] != u'/' ||
        text[7] != u'/')
        return text;
    QString iso = text;
    iso[4] = u'-';
    iso[7] = u'-';
    return iso;
}

void status(ElasticPanel* panel, const QString& text) {
    StatusMessage() = text;
    DispElaMsg(panel, text);
}
} // namespace

Maintenance::Maintenance(const Widgets& widgets, QueryPage& query, QObject* parent)
    : QObject(parent), w(widgets), m_query(query) {
    connect(w.fg1, &FlexGrid::keyDown, this, &Maintenance::fg1_KeyDown);
    connect(w.fg1->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current, const QModelIndex& previous) {
                if (previous.isValid() && (!current.isValid() || current.row() != previous.row()))
                    rowLeft(w.fg1->grid()->gridRow(previous));
            });
    connect(&m_query, &QueryPage::freeModeRequested, this, &Maintenance::leave);
    w.fg1->installEventFilter(this);
}

Maintenance::~Maintenance() = default;

bool Maintenance::eventFilter(QObject* watched, QEvent* event) {
    if (watched == w.fg1 && event->type() == QEvent::FocusIn)
        fg1_GotFocus();
    return QObject::eventFilter(watched, event);
}

bool Maintenance::Form_KeyDown(int key, Qt::KeyboardModifiers) {
    if (w.tabPage->currentIndex() != 0)
        return false;
    w.elaMsg->setCaption(QString());
    w.lblMode->setText(QString());
    if (key != Qt::Key_F5)
        return false;
    enter();
    return true;
}

void Maintenance::enter() {
    guarded(QStringLiteral("fmORVEL_KeyDown"), [&] {
        CurrentSql() = sGetJustSQL(m_query.editorStatement());
        if (CurrentSql().isEmpty()) {
            status(w.elaMsg, ZKMSG(QStringLiteral("ErrorCommand")));
            return;
        }
        if (CurrentSql().left(6).toUpper() != QLatin1String("SELECT")) {
            status(w.elaMsg, ZKMSG(QStringLiteral("PleaseUseSELECT")));
            return;
        }
        leave();
        w.fg1->setEditable(0);
        w.fg1->setRows(1);
        status(w.elaMsg, LocalMsg(QStringLiteral("LoadingRecordSet..")));
        if (!MainConnection() || !MainConnection()->isOpen())
            throw AppError(3709, QStringLiteral("The connection cannot be used to perform this operation. "
                                                "It is either closed or invalid in this context."));
        if (MainConnection()->route().readOnly)
            throw AppError(
                ErrNo::DbStatementRejected,
                QStringLiteral("This data source is opened read-only (%1 files are read through MDBTools): "
                               "its rows can be queried but not maintained.")
                    .arg(MainConnection()->route().kind));
        m_rs = UpdatableRecordset::open(*MainConnection(), CurrentSql());
        showRecords();
        w.fg1->grid()->setEditHook(
            [this](int row, int col, const QString& text) { return cellEdited(row, col, text); });
        w.fg1->setEditable(2);
        status(w.elaMsg, LocalMsg(QStringLiteral("RecCount:")) + QString::number(m_rs->recordCount()));
        w.lblMode->setText(LocalMsg(QStringLiteral("EDIT")));
        w.fg1->setBackColor(maintenanceBackground());
        w.fg1->setFocus();
    });
}

void Maintenance::showRecords() {
    GridModel* model = w.fg1->grid();
    model->setRedraw(false);
    model->setRows(1);
    model->setCols(m_rs->fieldCount());
    for (int i = 0; i < m_rs->fieldCount(); ++i) {
        model->setText(0, i, m_rs->column(i).field.name);
        model->setColDataType(i, m_rs->column(i).field.type);
    }
    CellStore& store = model->store();
    for (int r = 0; r < m_rs->recordCount(); ++r) {
        store.beginRow();
        for (int i = 0; i < m_rs->fieldCount(); ++i)
            store.addCell(cellText(m_rs->value(r, i), m_rs->column(i).field.type));
        store.endRow();
    }
    model->setRedraw(true);
    w.fg1->resizeColumnsToContents();
}

void Maintenance::showRecord(int gridRow, int record) {
    GridModel* model = w.fg1->grid();
    for (int i = 0; i < m_rs->fieldCount(); ++i)
        model->setText(gridRow, i, cellText(m_rs->value(record, i), m_rs->column(i).field.type));
}

void Maintenance::leave() {
    if (!m_rs)
        return;
    // Rows left with pending changes are written now; what the database refuses is reported.
    const QList<int> rows = m_pending.keys();
    for (int row : rows)
        guarded(QStringLiteral("fg1_BeforeRowColChange"), [&] { commitRow(row); });
    m_pending.clear();
    w.fg1->grid()->setEditHook(nullptr);
    m_rs.reset();
    w.fg1->setBackColor(Qt::white);
}

bool Maintenance::cellEdited(int row, int col, const QString& text) {
    if (!m_rs || row < 1)
        return true;
    bool accepted = false;
    guarded(QStringLiteral("fg1_ValidateEdit"), [&] {
        if (!m_rs->column(col).writable || !m_rs->readOnlyReason().isEmpty()) {
            const QString reason =
                !m_rs->readOnlyReason().isEmpty()
                    ? m_rs->readOnlyReason()
                    : QStringLiteral("The column %1 cannot be changed: it is not a column of table %2.")
                          .arg(m_rs->column(col).field.name, m_rs->table());
            throw AppError(ErrNo::DbStatementRejected, reason);
        }
        // An emptied cell holds NULL; a date typed as the grid shows it goes back in ISO form.
        m_pending[row].values[col] =
            text.isEmpty() ? QVariant() : QVariant(storedText(text, m_rs->column(col).field.type));
        accepted = true;
    });
    return accepted;
}

void Maintenance::commitRow(int row) {
    const auto found = m_pending.find(row);
    if (found == m_pending.end())
        return;
    const Pending pending = *found;
    if (pending.isNew) {
        const int record = m_rs->insert(pending.values);
        m_pending.erase(m_pending.find(row));
        showRecord(row, record);
    } else {
        m_rs->update(row - 1, pending.values);
        m_pending.erase(m_pending.find(row));
        showRecord(row, row - 1);
    }
}

void Maintenance::rowLeft(int row) {
    if (!m_rs || !m_pending.contains(row))
        return;
    // A refused row keeps its edits in the grid: they are tried again when the operator leaves
    // that row the next time, or dropped with Esc on it.
    guarded(QStringLiteral("fg1_BeforeRowColChange"), [&] { commitRow(row); });
}

void Maintenance::discardRow(int row) {
    const auto found = m_pending.find(row);
    if (found == m_pending.end())
        return;
    const bool isNew = found->isNew;
    m_pending.erase(found);
    if (isNew)
        w.fg1->removeItem(row);
    else
        showRecord(row, row - 1);
}

void Maintenance::fg1_GotFocus() {
    try {
        if (w.fg1->row() <= 0 && w.fg1->rows() >= 2)
            w.fg1->setRow(1);
    } catch (...) {
    }
}

void Maintenance::fg1_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled) {
    guarded(QStringLiteral("fg1_KeyDown"), [&] {
        const bool ctrl =
            modifiers == Qt::ControlModifier || modifiers == (Qt::ControlModifier | Qt::KeypadModifier);
        const bool free = !isBound() || w.fg1->isEditing();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            // From an open cell editor the key arrives before the editor has handed over its text:
            // the Tab follows once it has.
            QTimer::singleShot(0, w.fg1, [grid = w.fg1] {
                QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
                QCoreApplication::sendEvent(grid, &tab);
            });
            *handled = true;
        } else if (ctrl && key == Qt::Key_C) {
            QApplication::clipboard()->clear();
            QApplication::clipboard()->setText(w.fg1->clip());
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
            discardRow(w.fg1->row());
            *handled = true;
        } else if (key == Qt::Key_Delete || key == Qt::Key_Insert) {
            *handled = true; // these keys change nothing without Ctrl alone
        }
    });
}

void Maintenance::paste() {
    const int before = w.fg1->row();
    const bool fitted = w.fg1->setClip(QApplication::clipboard()->text());
    // Rows the paste changed, other than the one the operator stands on, are written now.
    const QList<int> rows = m_pending.keys();
    for (int row : rows)
        if (row != before)
            rowLeft(row);
    if (!fitted)
        status(w.elaMsg, QStringLiteral("貼上的資料比選取的範圍大, 只貼入選取的範圍."));
}

void Maintenance::deleteRecord() {
    int row = w.fg1->row();
    if (row < 1)
        return;
    const auto pending = m_pending.find(row);
    const bool unsavedNew = pending != m_pending.end() && pending->isNew;
    if (!unsavedNew)
        m_rs->remove(row - 1);
    QMap<int, Pending> shifted;
    for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it)
        if (it.key() != row)
            shifted.insert(it.key() > row ? it.key() - 1 : it.key(), it.value());
    m_pending = shifted;
    w.fg1->removeItem(row);
    currentOperator().processEvents();
    if (w.fg1->rows() > 1) {
        if (row >= w.fg1->rows())
            row = w.fg1->rows() - 1;
        w.fg1->setRow(row);
    }
    w.lblMode->setText(LocalMsg(QStringLiteral("DELETE")));
}

void Maintenance::addRecord() {
    FlexGrid* grid = w.fg1;
    if (grid->rows() > 1)
        grid->setRow(grid->rows() - 1);
    if (grid->cols() > 1)
        grid->setCol(1);
    grid->grid()->appendRow(nullptr, 0);
    const int row = grid->rows() - 1;
    m_pending[row].isNew = true;
    grid->setRow(row);
    for (int i = 0; i < m_rs->fieldCount(); ++i) {
        const FieldInfo& field = m_rs->column(i).field;
        if ((field.attributes & 0x20) != 0 || field.autoIncrement || !m_rs->column(i).writable)
            continue;
        const auto answer =
            currentOperator().inputBox(ZKMSG(QStringLiteral("FieldRequired")) + u':' + field.name,
                                       QStringLiteral("Input Field Value"), field.name, EchoMode::Normal);
        if (answer && !answer->isEmpty()) {
            grid->grid()->setText(row, i, *answer);
            m_pending[row].values[i] = *answer;
        }
    }
    w.lblMode->setText(LocalMsg(QStringLiteral("INSERT")));
    currentOperator().processEvents();
}
