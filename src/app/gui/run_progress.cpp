#include "app/gui/run_progress.h"

#include "app/gui/busy_state.h"
#include "app/operator.h"

namespace {
constexpr int kProgressEveryMs = 250;
}

bool RunProgress::operator()(qint64 done) {
    if (m_clock.elapsed() - m_lastShown < kProgressEveryMs)
        return true;
    m_lastShown = m_clock.elapsed();
    m_show(done);
    currentOperator().processEvents();
    return !m_escape.pressed && !(m_busy && m_busy->stopRequested());
}
