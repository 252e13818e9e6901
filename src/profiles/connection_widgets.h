#pragma once

class ElasticPanel;
class FlexGrid;
class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QWidget;

// The main-window controls the profile and connect commands work on.
struct ConnectionWidgets {
    QTabWidget* tabPage = nullptr;
    FlexGrid* fgCntStr = nullptr;
    QLineEdit* txtCntStr = nullptr;
    QLineEdit* txtDBName = nullptr;
    QLabel* lblDBName = nullptr;
    QPushButton* cmdDelSetting = nullptr;
    QAction* mnuConnectDelete = nullptr; // mnuConnect 1
    QPushButton* cmdConnect = nullptr;
    QAction* mnuConnectConnect = nullptr; // mnuConnect 0
    QLabel* lblStatus = nullptr;
    QLabel* lblMode = nullptr;
    ElasticPanel* elaMsg = nullptr;
    FlexGrid* fg1 = nullptr;
};
