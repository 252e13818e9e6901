#include "ui/startup.h"

#include "app/errors.h"
#include "app/global_settings.h"
#include "app/gui/session_end.h"
#include "app/gui/widget_operator.h"
#include "app/message_catalog.h"
#include "app/program_folder.h"
#include "app/program_info.h"
#include "app/run_log.h"
#include "db/connection.h"
#include "ui/fm_orvik.h"
#include "ui/fonts.h"
#include "ui/qt_translation.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QTimer>

#include <csignal>
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
        std::fputs("ORVIK 是桌面程式, 需要顯示器 (DISPLAY 或 WAYLAND_DISPLAY 未設定)。\n"
                   "請在桌面環境中啟動, 或在虛擬 X 伺服器中執行:\n"
                   "    xvfb-run -a -s \"-screen 0 1600x1000x24\" tools/run.sh\n",
                   stderr);
        return 1;
    }
    // A write past a file-size limit (ulimit -f) then fails as a full disk does, and is reported,
    // instead of ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    prepareEngineLibraries();
    QApplication app(argc, argv);
    // The installed desktop entry and icon name the window to the desktop.
    QGuiApplication::setDesktopFileName(QStringLiteral("orvik"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("orvik")));
    WidgetOperator widgetOperator;
    installOperator(&widgetOperator);
    installUiFonts();
    installQtTranslation();

    std::unique_ptr<fmORVIK> window;
    ProgramFolderChoice place;
    guarded(QStringLiteral("bmORVEL_Main"), [&] {
        const QString installed = ProgramInfo::installFolder();
        place = settleProgramFolder(installed, installFolderWritable(installed), perUserProgramFolder(),
                                    seedFileNames(ProgramInfo::exeBaseName()));
        if (place.perUser)
            ProgramInfo::relocateProgramFolder(place.folder);
        ProgramInfo::setKeepsFiles(place.writable);
        const QString folder = ProgramInfo::programFolder();
        QDir::setCurrent(folder);
        InitGlobal(ProgramInfo::exeBaseName() + QStringLiteral(".INI"), folder);
        InitMsgDB();
        window = std::make_unique<fmORVIK>();
        window->Form_Load();
        watchEndRequests(window.get(), [w = window.get()] { w->endSession(); });
        if (!place.writable) { // nothing is written where it would not be kept
            GlobalSettings().LogFile.clear();
            GlobalSettings().ErrFile.clear();
        }
        WriteLog(QStringLiteral("程式啟動."));
        // Said once the window's event loop runs, so that the end of the session can end it too.
        if (!place.problems.isEmpty())
            QTimer::singleShot(0, window.get(), [problems = place.problems.join(u'\n')] {
                currentOperator().messageBox(problems, MsgButtons::Ok, MsgIcon::Exclamation,
                                             ProgramInfo::appTitle());
            });
    });
    const int code = window ? app.exec() : 1;
    window.reset();
    CloseMsgDB();
    installOperator(nullptr);
    return code;
}
