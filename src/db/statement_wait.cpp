#include "db/statement_wait.h"

#include <QElapsedTimer>
#include <QThread>

namespace StatementWait {
namespace {
constexpr qint64 kIntervalMs = 30;

struct State {
    Pump pump;
    QThread* thread = nullptr; // the window's: the pump runs there only
    QElapsedTimer sinceLast;
    bool cancelled = false;
    int shields = 0;
};

State& state() {
    static State s;
    return s;
}
} // namespace

void install(Pump pump) {
    state().pump = std::move(pump);
    state().thread = QThread::currentThread();
    state().sinceLast.start();
}

bool active() {
    return state().pump && QThread::currentThread() == state().thread;
}

bool pump() {
    State& s = state();
    if (!s.pump || QThread::currentThread() != s.thread)
        return false;
    s.sinceLast.restart();
    return s.pump();
}

bool pumpDue() {
    State& s = state();
    if (!s.pump || QThread::currentThread() != s.thread ||
        (s.sinceLast.isValid() && s.sinceLast.elapsed() < kIntervalMs))
        return false;
    return pump();
}

bool stopAsked() {
    // The pump runs whatever the answer: the window keeps answering after a stop as well.
    const bool asked = pumpDue();
    return asked && !cancelled() && state().shields == 0;
}

Shield::Shield(bool on) : m_on(on) {
    if (m_on)
        ++state().shields;
}

Shield::~Shield() {
    if (m_on)
        --state().shields;
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
