#pragma once

#include <QString>

// Whether a server answers at host:port, found out on a thread of its own while the window keeps
// answering (StatementWait), so that a connection to a host that does not answer can be given up
// by the operator instead of freezing the window until the driver's own timeout.
enum class ServerReach { Answered, Refused, Silent, Cancelled };
ServerReach waitForServer(const QString& host, int port, int timeoutSeconds);
