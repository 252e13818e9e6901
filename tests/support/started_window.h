#pragma once

#include "support/scripted_operator.h"
#include "support/test_program.h"
#include "ui/fm_orvik.h"

#include <QAction>
#include <QMenu>

#include <memory>

class QPlainTextEdit;

// One started main window in its own program folder, answered by a scripted operator. Files the
// window reads at start (saved SQL, profiles, databases) are laid by `prepare` before it loads.
struct StartedWindow {
    ScriptedOperator op;
    TestProgram program;
    std::unique_ptr<fmORVIK> window;
    int endCalls = 0;

    explicit StartedWindow(const std::function<void(TestProgram&)>& prepare = {}, bool withCatalog = true);
    ~StartedWindow();

    template <typename T> T* child(const char* name) const {
        T* found = window->findChild<T*>(QLatin1String(name));
        if (!found)
            qFatal("no control %s", name);
        return found;
    }
    QAction* action(const char* name) const { return child<QAction>(name); }
    bool groupEnabled(const char* menu) const { return child<QMenu>(menu)->menuAction()->isEnabled(); }
    QPlainTextEdit* editor() const;
};
