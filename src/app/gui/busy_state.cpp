#include "app/gui/busy_state.h"

#include "app/operator.h"

#include <QApplication>
#include <QKeyEvent>
#include <QScrollBar>
#include <QTimer>

namespace {
bool within(QObject* watched, QWidget* ancestor) {
    auto* widget = qobject_cast<QWidget*>(watched);
    return widget && ancestor && (widget == ancestor || ancestor->isAncestorOf(widget));
}

bool onScrollBar(QObject* watched) {
    for (auto* widget = qobject_cast<QWidget*>(watched); widget; widget = widget->parentWidget())
        if (qobject_cast<QScrollBar*>(widget))
            return true;
    return false;
}
} // namespace

BusyState::BusyState(QObject* parent) : QObject(parent) {
}

BusyState::~BusyState() {
    if (m_depth > 0 && QCoreApplication::instance())
        QCoreApplication::instance()->removeEventFilter(this);
}

BusyState::Scope::Scope(BusyState& state) : m_state(state) {
    m_state.enter();
}

BusyState::Scope::~Scope() {
    m_state.leave();
}

void BusyState::enter() {
    if (m_depth++ == 0) {
        m_stopRequested = false;
        QCoreApplication::instance()->installEventFilter(this);
    }
}

void BusyState::leave() {
    if (--m_depth > 0)
        return;
    QCoreApplication::instance()->removeEventFilter(this);
    m_stopRequested = false;
    if (m_onEachIdle)
        m_onEachIdle();
    if (auto then = std::exchange(m_whenIdle, nullptr))
        // After the operation has returned all the way, not from inside its last step.
        QTimer::singleShot(0, this, std::move(then));
}

bool BusyState::refuse() const {
    if (!isBusy())
        return false;
    currentOperator().beep();
    return true;
}

void BusyState::whenIdle(std::function<void()> then) {
    if (!isBusy()) {
        then();
        return;
    }
    m_whenIdle = std::move(then);
}

bool BusyState::eventFilter(QObject* watched, QEvent* event) {
    // Shortcuts reach actions, not widgets.
    if (event->type() == QEvent::Shortcut)
        return !QApplication::activeModalWidget();
    // Input reaches the window first and the widget under it next: it is judged at the widget,
    // and a box the operation itself shows is answered as usual.
    if (!watched->isWidgetType() || within(watched, QApplication::activeModalWidget()))
        return false;
    switch (event->type()) {
    case QEvent::KeyPress:
        // Esc asks the operation to stop; it goes no further, where it would drop an edit.
        if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
            m_stopRequested = true;
            return true;
        }
        currentOperator().beep();
        return true;
    case QEvent::KeyRelease:
    case QEvent::ShortcutOverride:
        return static_cast<QKeyEvent*>(event)->key() != Qt::Key_Escape;
    case QEvent::ContextMenu:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
        if (onScrollBar(watched))
            return false;
        if (event->type() == QEvent::MouseButtonPress)
            currentOperator().beep();
        return true;
    case QEvent::MouseButtonRelease:
        return !onScrollBar(watched);
    default:
        return false;
    }
}
