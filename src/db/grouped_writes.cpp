#include "db/grouped_writes.h"

#include "app/errors.h"
#include "db/statement_batch.h"
#include "db/write_guard.h"

GroupedWrites::GroupedWrites(Connection& connection, int groupSize)
    : m_connection(connection), m_groupSize(groupSize) {
}

GroupedWrites::~GroupedWrites() = default; // an open group left behind is undone by its guard

void GroupedWrites::execute(const QString& sql) {
    StatementBatch::runAll(m_connection, sql);
}

void GroupedWrites::run(const QString& sql) {
    if (!m_guard)
        m_guard = std::make_unique<WriteGuard>(m_connection);
    try {
        execute(sql);
    } catch (...) {
        const AppError failure = currentError(std::current_exception());
        const bool undone = m_guard->canUndo() && m_guard->undo().isEmpty();
        m_guard.reset();
        if (undone && !m_group.isEmpty()) {
            WriteGuard again(m_connection);
            for (const QString& before : std::as_const(m_group))
                execute(before);
            again.keep();
            m_kept += m_group.size();
        }
        m_group.clear();
        throw failure;
    }
    m_group << sql;
    if (m_group.size() >= m_groupSize)
        keep();
}

void GroupedWrites::runAlone(const QString& sql) {
    keep();
    execute(sql);
    ++m_kept;
}

void GroupedWrites::keep() {
    if (m_guard)
        m_guard->keep();
    m_guard.reset();
    m_kept += m_group.size();
    m_group.clear();
}
