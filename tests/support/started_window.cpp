#include "support/started_window.h"

#include "app/message_catalog.h"
#include "db/session.h"

#include <QPlainTextEdit>
#include <QStandardPaths>

StartedWindow::StartedWindow(const std::function<void(TestProgram&)>& prepare, bool withCatalog) {
    // The per-user store the window reads and writes stays apart from the real one.
    QStandardPaths::setTestModeEnabled(true);
    if (withCatalog)
        program.installCatalog();
    if (prepare)
        prepare(program);
    program.initGlobal();
    InitMsgDB();
    window = std::make_unique<fmORVIK>();
    window->setEndProcess([this] { ++endCalls; });
    window->Form_Load();
}

StartedWindow::~StartedWindow() {
    window.reset();
    MainConnection().reset();
}

QPlainTextEdit* StartedWindow::editor() const {
    return child<QPlainTextEdit>("txtSQL");
}
