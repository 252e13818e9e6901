#include "support/started_window.h"

#include "app/message_catalog.h"
#include "db/session.h"

#include <QPlainTextEdit>

StartedWindow::StartedWindow(const std::function<void(TestProgram&)>& prepare, bool withCatalog) {
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

QPlainTextEdit* StartedWindow::editor() const { return child<QPlainTextEdit>("txtSQL"); }
