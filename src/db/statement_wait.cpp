#include "db/statement_wait.h"

#include <QElapsedTimer>

namespace StatementWait {
namespace {
constexpr qint64 kIntervalMs = 30;

struct State {
    Pump pump;
    QElapsedTimer sinceLast;
    bool cancelled = false;
};

State& state() {
    static State s;
    return s;
}
} // namespace

void install(Pump pump) {
    state().pump = std::move(pump);
    state().sinceLast.start();
}

bool pump() {
    State& s = state();
    if (!s.pump)
        return false;
    s.sinceLast.restart();
    return s.pump();
}

bool pumpDue() {
    State& s = state();
    if (!s.pump || (s.sinceLast.isValid() && s.sinceLast.elapsed() < kIntervalMs))
        return false;
    return pump();
}

bool cancelled() {
    return state().cancelled;
}

void noteCancelled() {
    state().cancelled = true;
}

void reset() {
    state().cancelled = false;
}
} // namespace StatementWait
