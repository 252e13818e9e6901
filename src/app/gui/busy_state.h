#pragma once

#include <QObject>

#include <functional>

// One long operation at a time. While the window is busy (a result loading; an export, import,
// script or print), window events still run so that it repaints, but only Esc, scrolling and
// answers to the operation's own questions act: every other key, click, shortcut or drop is
// refused with a beep. Commands that can also be reached another way ask refuse() first.
class BusyState : public QObject {
public:
    explicit BusyState(QObject* parent = nullptr);
    ~BusyState() override;

    bool isBusy() const { return m_depth > 0; }

    // Marks the window busy for as long as the scope lives; scopes nest.
    class Scope {
    public:
        explicit Scope(BusyState& state);
        ~Scope();
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        BusyState& m_state;
    };

    // A command's first question: while busy it beeps and answers true, and the command does nothing.
    bool refuse() const;

    // Asks the operation under way to stop as soon as it can (as Esc does).
    void requestStop() { m_stopRequested = true; }
    bool stopRequested() const { return m_stopRequested; }
    // Runs `then` once the window is no longer busy: at once when it is not.
    void whenIdle(std::function<void()> then);
    // Runs every time the window stops being busy, before any whenIdle callback.
    void setOnEachIdle(std::function<void()> onIdle) { m_onEachIdle = std::move(onIdle); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enter();
    void leave();

    int m_depth = 0;
    bool m_stopRequested = false;
    std::function<void()> m_whenIdle;
    std::function<void()> m_onEachIdle;
};
