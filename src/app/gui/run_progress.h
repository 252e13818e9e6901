#pragma once

#include "app/gui/escape_watch.h"

#include <QElapsedTimer>

#include <functional>
#include <memory>

class BusyState;

// A long run's count shown now and then while window events run. Asked with the count done, it
// shows it (a few times a second, through `show`) and answers whether the run goes on: Esc or a
// close request stops it. With a busy state, Esc is the busy state's, so that a statement waiting
// on the database hears it too; without one, Esc is watched here.
class RunProgress {
public:
    RunProgress(std::function<void(qint64 done)> show, const BusyState* busy)
        : m_show(std::move(show)), m_busy(busy), m_escape(busy ? nullptr : new EscapeWatch) {
        m_clock.start();
    }
    bool operator()(qint64 done);

private:
    std::function<void(qint64)> m_show;
    const BusyState* m_busy;
    std::unique_ptr<EscapeWatch> m_escape;
    QElapsedTimer m_clock;
    qint64 m_lastShown = 0;
};
