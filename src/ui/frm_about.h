#pragma once

#include <QDialog>

class QLabel;

// The about box: which program and version is running, for which company, and the date of the
// program file. Shown without blocking the main window; "確定" closes it for good.
class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(QWidget* parent = nullptr);

    void cmdOK_Click() { close(); }
    // No system information tool exists on this platform: the operator is told so.
    static void StartSysInfo();

private:
    void Form_Load();

    QLabel* m_title = nullptr;
    QLabel* m_version = nullptr;
    QLabel* m_corpName = nullptr;
    QLabel* m_serial = nullptr;
};
