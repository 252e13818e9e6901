#pragma once

#include <QColor>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QVariant>

#include <memory>

class ElasticPanel;
class FlexGrid;
class QLabel;
class QTabWidget;
class QueryPage;
class UpdatableRecordset;

// Maintenance mode: F5 binds the result grid to an updatable recordset of the editor's SELECT.
// Cell edits collect per row and are written when the operator leaves the row; Ctrl+Insert and
// Ctrl+Delete add and delete records; Esc drops the current row's unsaved changes.
class Maintenance : public QObject {
    Q_OBJECT

public:
    struct Widgets {
        FlexGrid* fg1 = nullptr;
        QLabel* lblMode = nullptr;
        ElasticPanel* elaMsg = nullptr;
        QTabWidget* tabPage = nullptr;
    };

    Maintenance(const Widgets& widgets, QueryPage& query, QObject* parent = nullptr);
    ~Maintenance() override;

    // The main window's key preview: every key on the query page clears the status texts; F5
    // enters maintenance mode. Returns true when the key was used up.
    bool Form_KeyDown(int key, Qt::KeyboardModifiers modifiers);
    // Back to free mode, writing what is still pending first.
    void leave();
    bool isBound() const { return bool(m_rs); }
    UpdatableRecordset* recordset() const { return m_rs.get(); }

    void fg1_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled);
    void fg1_GotFocus();

    static QColor maintenanceBackground() { return QColor(255, 255, 128); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Pending {
        QHash<int, QVariant> values; // by field
        bool isNew = false;
    };

    void enter();
    void showRecords();
    void showRecord(int gridRow, int record);
    bool cellEdited(int row, int col, const QString& text);
    void rowLeft(int row);
    void commitRow(int row);
    // Esc: the row's unsaved changes are dropped and it shows the record again.
    void discardRow(int row);
    void deleteRecord();
    void addRecord();
    void paste();

    Widgets w;
    QueryPage& m_query;
    std::unique_ptr<UpdatableRecordset> m_rs;
    QMap<int, Pending> m_pending; // by grid row
};
