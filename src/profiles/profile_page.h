#pragma once

#include "profiles/connect_actions.h"
#include "profiles/connection_widgets.h"
#include "profiles/profile_file.h"

#include <QObject>

class QKeyEvent;

// The connection page: the profile grid and its two boxes, and the commands that keep the list.
// The grid is the working copy; only Save writes the profile file.
class ProfilePage : public QObject {
    Q_OBJECT

public:
    ProfilePage(const ConnectionWidgets& widgets, ConnectActions& connect, QObject* parent = nullptr);

    static QString profileFilePath();

    // Column count, widths, header texts, editability: every start.
    void setUpGrid();
    // Reads the profile file into the grid and connects to the first profile. Failures are the
    // caller's to report.
    void load();

    void cmdAddSetting_Click();
    void cmdUpdateSetting_Click();
    void cmdDelSetting_Click();
    void cmdSave_Click();
    // The settings wizard: a profile name, then the data-link dialog; the boxes receive both, or
    // keep what they hold when the dialog is cancelled. Adds and connects nothing.
    void cmdBuiltCntStr_Click();
    void fgCntStr_Click();
    void fgCntStr_DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void pickRow(int row);
    void fgCntStr_ValidateEdit(int row, int col, bool* cancel);
    void fgCntStr_BeforeMouseDown(Qt::MouseButton button, bool* cancel);
    void fgCntStr_KeyDown(int key, Qt::KeyboardModifiers modifiers, bool* handled);

    ConnectionWidgets w;
    ConnectActions& m_connect;
    ProfileFile::Contents m_file; // the profile file as read: unchanged lines are written back as read
};
