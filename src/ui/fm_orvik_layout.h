#pragma once

#include <array>

class ElasticPanel;
class FlexGrid;
class QAction;
class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QToolButton;
class QWidget;

// The controls of the main window, each carrying its name as objectName. Indexed controls are
// named name_index ("lblHead_0", "mnuMaintain_3").
struct FmOrvikUi {
    // Header band.
    QFrame* vsHead = nullptr;
    std::array<QLabel*, 3> lblHead{};

    QTabWidget* tabPage = nullptr;

    // Page 0: query and maintenance.
    QWidget* elaPupper = nullptr;
    QWidget* elaPlower = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdQryDB = nullptr;
    QCheckBox* chkLandscape = nullptr;
    FlexGrid* fgTableName = nullptr;
    QPlainTextEdit* txtSQL = nullptr;
    FlexGrid* fg1 = nullptr;

    // Page 1: files.
    QPushButton* cmdScript = nullptr;
    QPushButton* cmdSaveXLS = nullptr;
    QPushButton* cmdStartDoc = nullptr;
    QLineEdit* txtFileName = nullptr;
    QPushButton* cmdSaveTXT = nullptr;
    QPushButton* cmdLoadTextToDB = nullptr;
    QPushButton* cmdSaveCSV = nullptr;
    QToolButton* elaSelectFile = nullptr;

    // Page 2: connections.
    QPushButton* cmdBuiltCntStr = nullptr;
    QPushButton* cmdUpdateSetting = nullptr;
    QPushButton* cmdDelSetting = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdAddSetting = nullptr;
    QPushButton* cmdConnect = nullptr;
    FlexGrid* fgCntStr = nullptr;
    QLineEdit* txtCntStr = nullptr;
    QLineEdit* txtDBName = nullptr;
    QLabel* lblDBName = nullptr;

    // Status band.
    QFrame* elaSBar = nullptr;
    QPushButton* cmdExit = nullptr;
    ElasticPanel* elaMsg = nullptr;
    QLabel* lblStatus = nullptr;
    QLabel* lblMode = nullptr;

    // Menus.
    QMenu* mnuDBMaintain = nullptr;
    QMenu* mnuDBSave = nullptr;
    QMenu* mnuDBConnect = nullptr;
    std::array<QAction*, 6> mnuMaintain{};
    std::array<QAction*, 5> mnuSave{};
    std::array<QAction*, 4> mnuConnect{};
    QAction* mnuAbout = nullptr;
    QAction* mnuExit = nullptr;

    void setupUi(QMainWindow* window);
};
