#include "app/gui/run_progress.h"

#include "app/gui/busy_state.h"
#include "app/operator.h"

namespace {
constexpr int kProgressEveryMs = 250;
}

bool RunProgress::operator()(qint64 done) {
    const auto goesOn = [this] {
        return !(m_escape && m_escape->pressed) && !(m_busy && m_busy->stopRequested());
    };
    if (m_clock.elapsed() - m_lastShown < kProgressEveryMs)
        return goesOn();
    m_lastShown = m_clock.elapsed();
    m_show(done);
    currentOperator().processEvents();
    return goesOn();
}
