#include "db/postgres_wait.h"

#include "db/statement_wait.h"

#include <libpq-fe.h>

#include <poll.h>

namespace PostgresWait {

void cancel(PGconn* conn) {
    if (PGcancel* request = PQgetCancel(conn)) {
        char why[256];
        PQcancel(request, why, sizeof why);
        PQfreeCancel(request);
    }
}

PGresult* nextResult(PGconn* conn) {
    while (PQisBusy(conn)) {
        pollfd socket = {PQsocket(conn), POLLIN, 0};
        if (socket.fd < 0)
            break;
        ::poll(&socket, 1, 30);
        if (!PQconsumeInput(conn))
            break; // the connection is gone: PQgetResult says so
        if (!StatementWait::stopAsked())
            continue;
        cancel(conn);
        StatementWait::noteCancelled();
    }
    return PQgetResult(conn);
}

void discardResults(PGconn* conn) {
    while (PGresult* result = PQgetResult(conn))
        PQclear(result);
}

} // namespace PostgresWait
