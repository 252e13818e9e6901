#include "ui/startup.h"

#include "app/errors.h"
#include "app/global_settings.h"
#include "app/gui/widget_operator.h"
#include "app/message_catalog.h"
#include "app/program_info.h"
#include "app/run_log.h"
#include "ui/fm_orvik.h"
#include "ui/fonts.h"
#include "ui/qt_translation.h"

#include <QApplication>
#include <QDir>

#include <cstdio>
#include <memory>

namespace {
// Without a display Qt aborts with a terse message; say what is needed instead.
bool displayAvailable() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
} // namespace

int Main(int argc, char** argv) {
    if (!displayAvailable()) {
        std::fputs("ORVIK is a desktop program and needs a display (DISPLAY or WAYLAND_DISPLAY is not set).\n"
                   "Start it from a desktop session, or in a virtual X server:\n"
                   "    xvfb-run -a -s \"-screen 0 1600x1000x24\" tools/run.sh\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    WidgetOperator widgetOperator;
    installOperator(&widgetOperator);
    installUiFonts();
    installQtTranslation();

    std::unique_ptr<fmORVIK> window;
    guarded(QStringLiteral("bmORVEL_Main"), [&] {
        const QString folder = ProgramInfo::programFolder();
        QDir::setCurrent(folder);
        InitGlobal(ProgramInfo::exeBaseName() + QStringLiteral(".INI"), folder);
        InitMsgDB();
        window = std::make_unique<fmORVIK>();
        window->Form_Load();
        WriteLog(QStringLiteral("程式啟動."));
    });
    const int code = window ? app.exec() : 1;
    window.reset();
    CloseMsgDB();
    installOperator(nullptr);
    return code;
}
