#pragma once

#include "app/gui/busy_state.h"
#include "profiles/connect_actions.h"
#include "profiles/profile_page.h"
#include "ui/file_dialog.h"
#include "ui/file_page.h"
#include "ui/fm_orvik_layout.h"
#include "ui/frm_print.h"
#include "ui/maintenance.h"
#include "ui/query_page.h"

#include <QMainWindow>
#include <QPointer>

#include <functional>

// The main window. It owns the frame: header, pages, menus and their page-dependent enabling,
// status labels, the saved state and the exit sequence; the work behind the commands lives in
// the page actions it dispatches to.
class fmORVIK : public QMainWindow {
    Q_OBJECT

public:
    explicit fmORVIK(QWidget* parent = nullptr);
    ~fmORVIK() override;

    const FmOrvikUi& ui() const { return m_ui; }
    FileDialog& dlgFile() { return m_dlgFile; }
    ConnectActions& connectActions() { return m_connect; }
    ProfilePage& profilePage() { return *m_profiles; }
    QueryPage& queryPage() { return *m_query; }
    Maintenance& maintenance() { return *m_maintenance; }
    FilePage& filePage() { return *m_files; }

    // What ends the process after a confirmed exit; tests replace it to watch the exit happen.
    void setEndProcess(std::function<void()> endProcess) { m_endProcess = std::move(endProcess); }

    // The editor text saved at exit and restored at start.
    static QString savedSqlPath();
    // The per-user store of the file dialog's folder.
    static QString storedInitPath();

    void Form_Load();
    void InitForm();
    void mnuMaintain_Click(int index);
    void mnuSave_Click(int index);
    void mnuConnect_Click(int index);
    void mnuAbout_Click();
    // Composes the report of the result grid and shows it in the preview window.
    void cmdPrint_Click();
    frmPrint* preview() const { return m_preview; }
    void mnuExit_Click();
    void tabPage_Scroll(int index);
    void cmdExit_Click();
    // The process is asked to end from outside (the session ends): what runs is stopped, the
    // editor text and a maintained row's changes are kept, and the program ends without asking.
    void endSession();

protected:
    void closeEvent(QCloseEvent* event) override;
    // The key preview: keys meant for any control of the window pass here first.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void connectSignals();
    void toggleLandscape();
    void showWithinScreen();
    void enableMenuGroupOfPage(int page);
    void storeInitPath();
    // The exit after the question: saved text, dialog folder, pending maintenance, the end.
    void finishExit(bool asking = true);

    ConnectionWidgets connectionWidgets() const;

    FmOrvikUi m_ui;
    BusyState m_busy; // one long operation at a time, for every page
    FileDialog m_dlgFile;
    ConnectActions m_connect;
    ProfilePage* m_profiles = nullptr;
    QueryPage* m_query = nullptr;
    Maintenance* m_maintenance = nullptr;
    FilePage* m_files = nullptr;
    frmPrint* m_preview = nullptr;          // created on the first print, then only hidden
    const QEvent* m_previewedKey = nullptr; // a key event travels up to the parents: preview it once
    QPointer<QWidget> m_previewedAt;
    std::function<void()> m_endProcess;
};
