#include "db/server_reach.h"

#include "db/statement_wait.h"

#include <QThread>

#include <atomic>
#include <memory>
#include <thread>

#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// One attempt to open a TCP connection, within the timeout; runs on its own thread.
ServerReach tryConnect(const QByteArray& host, const QByteArray& port, int timeoutMs) {
    addrinfo hints = {};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.constData(), port.constData(), &hints, &found) != 0 || !found)
        return ServerReach::Refused; // the driver names the unknown host itself
    ServerReach reach = ServerReach::Refused;
    for (addrinfo* a = found; a && reach != ServerReach::Answered; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) {
            reach = ServerReach::Answered;
        } else if (errno == EINPROGRESS) {
            pollfd p = {fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, timeoutMs);
            int error = 0;
            socklen_t length = sizeof error;
            if (ready == 0)
                reach = ServerReach::Silent;
            else if (ready > 0 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
                reach = ServerReach::Answered;
        }
        ::close(fd);
    }
    freeaddrinfo(found);
    return reach;
}
} // namespace

ServerReach waitForServer(const QString& host, int port, int timeoutSeconds) {
    struct Outcome {
        std::atomic<bool> done{false};
        ServerReach reach = ServerReach::Refused;
    };
    auto outcome = std::make_shared<Outcome>();
    // The attempt keeps its own copy of everything: given up, it ends on its own within the timeout.
    std::thread([outcome, host = host.toUtf8(), port = QByteArray::number(port), ms = timeoutSeconds * 1000] {
        outcome->reach = tryConnect(host, port, ms);
        outcome->done = true;
    }).detach();
    while (!outcome->done) {
        if (StatementWait::pump()) {
            StatementWait::noteCancelled();
            return ServerReach::Cancelled;
        }
        QThread::msleep(20);
    }
    return outcome->reach;
}
