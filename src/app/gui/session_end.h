#pragma once

#include <functional>

class QObject;

// Calls onEnd on the window thread when the process is asked to end from outside: SIGTERM (the
// desktop session ends, the system shuts down), SIGHUP (its terminal went away) or SIGINT.
// Without this the process would die at once, taking the operator's unsaved work with it.
void watchEndRequests(QObject* context, std::function<void()> onEnd);
