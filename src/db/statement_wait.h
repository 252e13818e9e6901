#pragma once

#include <functional>

// While the database works on a statement, the program keeps answering: the engine layer calls
// pump() every few hundredths of a second, and the window runs its events there. pump() answers
// true when the operator asked to stop; the statement is then cancelled on the server.
namespace StatementWait {
using Pump = std::function<bool()>;
// The window's pump; an empty one (the default) lets statements run without interruption. It runs
// only on the thread that installed it: work on other threads is never interrupted.
void install(Pump pump);
// Whether a pump is installed and this is its thread: whether waiting here should run it.
bool active();
// Runs the pump when its interval has passed since it last ran; true when the operator asked to stop.
bool pumpDue();
// Runs the pump now.
bool pump();
// Runs the pump when due; true when the operator has just asked to stop and this command has not
// been stopped yet (one stop per command: what tidies up after it runs to its end). The caller
// stops its work and calls noteCancelled().
bool stopAsked();
// Whether the last statement was cancelled at the operator's request; reset() before a new command.
bool cancelled();
void noteCancelled();
void reset();
// While one lives (and `on`), stopAsked() answers false: the statement under way runs to its end,
// as one inside a transaction that an interrupt would take back whole. The window still answers.
class Shield {
public:
    explicit Shield(bool on);
    ~Shield();
    Shield(const Shield&) = delete;
    Shield& operator=(const Shield&) = delete;

private:
    bool m_on;
};
} // namespace StatementWait
