#include "db/driver_wait.h"

#include "db/statement_wait.h"

#include <QSqlQuery>
#include <QSqlResult>

#include <sql.h>

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

namespace DriverWait {
namespace {
constexpr auto kTick = std::chrono::milliseconds(30);

} // namespace

bool cancelOdbcStatement(const QSqlQuery& query) {
    // The driver makes the statement handle at the start of the call. SQLCancel is the one ODBC
    // function the standard lets another thread call while the statement runs.
    const QVariant handle = query.result() ? query.result()->handle() : QVariant();
    const SQLHSTMT statement =
        handle.isValid() && handle.constData() ? *static_cast<const SQLHSTMT*>(handle.constData()) : nullptr;
    if (!statement)
        return false;
    SQLCancel(statement);
    return true;
}

bool run(const std::function<bool()>& call, const std::function<bool()>& cancel) {
    if (!StatementWait::active())
        return call();
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    bool outcome = false;
    std::exception_ptr failure;
    std::thread worker([&] {
        bool ok = false;
        std::exception_ptr thrown;
        try {
            ok = call();
        } catch (...) {
            thrown = std::current_exception(); // given to the caller on its own thread
        }
        const std::lock_guard lock(mutex);
        outcome = ok;
        failure = thrown;
        done = true;
        ended.notify_one();
    });
    bool stopping = false;
    bool cancelSent = false;
    for (;;) {
        {
            std::unique_lock lock(mutex);
            if (ended.wait_for(lock, kTick, [&] { return done; }))
                break;
        }
        // The window's events run at every tick, also after a stop: a driver may not honour it.
        if (StatementWait::stopAsked()) {
            stopping = true;
            StatementWait::noteCancelled();
        }
        if (stopping && !cancelSent)
            cancelSent = cancel();
    }
    worker.join();
    if (failure)
        std::rethrow_exception(failure);
    return outcome;
}
} // namespace DriverWait
