#pragma once

#include "app/errors.h"

#include <QColor>
#include <QList>
#include <QObject>
#include <QPointer>

#include <memory>

class BoundRecordset;
class BusyState;
class ElasticPanel;
class FlexGrid;
class QLabel;
class QTabWidget;
class QueryPage;
class UpdatableRecordset;

// Maintenance mode: F5 binds the result grid to an updatable recordset of the editor's SELECT.
// The grid shows the recordset's records and hands cell edits to them; a record is written when
// the operator leaves its row. Ctrl+Insert and Ctrl+Delete add and delete records; Esc drops the
// current row's unsaved changes.
//
// What the database or the checks refuse during an edit is reported once the edit has ended, in one
// box for everything one action refused: a box opened inside the grid's edit would run the queued
// keys while the editor is being taken down.
class Maintenance : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        FlexGrid* fg1 = nullptr;
        QLabel* lblMode = nullptr;
        ElasticPanel* elaMsg = nullptr;
        QTabWidget* tabPage = nullptr;
    };

    Maintenance(const Widgets& widgets, QueryPage& query, BusyState& busy, QObject* parent = nullptr);
    ~Maintenance() override;

    // The main window's key preview: every key on the query page clears the status texts; F5
    // enters maintenance mode. Returns true when the key was used up.
    bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // Back to free mode. What is still unsaved is written first; what cannot be is named to the
    // operator, values and all, and kept in the error log. The grid keeps showing the rows as
    // plain texts unless they are about to be replaced anyway. When stoppable and the operator
    // stops a write, nothing more happens: the mode stays with its changes, and false comes back.
    bool leave(bool keepRowsShown = true, bool stoppable = false);
    bool isBound() const { return bool(m_rs); }
    // The records the grid shows while bound; nullptr otherwise.
    const UpdatableRecordset* recordset() const { return m_rs.get(); }

    void fg1_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled);
    void fg1_GotFocus();

    static QColor maintenanceBackground() { return QColor(255, 255, 128); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Refusal {
        QString label;
        int row;
        QString column; // "" for a refused row
        AppError error;
    };

    void enter();
    void showRecordset();
    // Writes the row's record when it holds unsaved changes; a refusal is reported afterwards.
    void rowLeft(int row);
    void discardRow(int row);
    void deleteRecord();
    void addRecord();
    void paste();
    void refuse(const QString& label, int row, const QString& column, const AppError& error);
    void reportRefusals();

    Widgets m_w;
    QPointer<FlexGrid> m_grid; // fg1, watched: the window may take it down before this controller
    QueryPage& m_query;
    BusyState& m_busy;
    std::unique_ptr<UpdatableRecordset> m_rs;
    std::unique_ptr<BoundRecordset> m_rows;
    QList<Refusal> m_refusals;
    bool m_reportQueued = false;
    bool m_reshaping = false; // rows come and go: the row the cursor leaves is no row to write
};
