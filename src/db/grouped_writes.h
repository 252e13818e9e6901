#pragma once

#include <QString>
#include <QStringList>

#include <memory>

class Connection;
class WriteGuard;

// Statements run in groups, each group in one transaction (or to a savepoint inside the operator's
// own), with the outcome of running every statement by itself: when one fails, its group is taken
// back, the statements of the group before it are run again and kept, and the failure is thrown.
// So everything before the failing statement stands, and nothing after it runs; the cost of a
// commit is paid once a group instead of once a statement.
class GroupedWrites {
public:
    explicit GroupedWrites(Connection& connection, int groupSize = 20000);
    ~GroupedWrites();
    GroupedWrites(const GroupedWrites&) = delete;
    GroupedWrites& operator=(const GroupedWrites&) = delete;

    // Runs one statement (its results are read through and dropped); throws AppError when it fails.
    void run(const QString& sql);
    // Runs a statement on its own, outside any group (transaction control, statements a transaction
    // cannot hold); what ran before it is kept first.
    void runAlone(const QString& sql);
    // Keeps the statements of the open group.
    void keep();
    // Statements that stand, committed.
    qint64 kept() const { return m_kept; }

private:
    void execute(const QString& sql);

    Connection& m_connection;
    int m_groupSize;
    std::unique_ptr<WriteGuard> m_guard;
    QStringList m_group;
    qint64 m_kept = 0;
};
