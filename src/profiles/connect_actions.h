#pragma once

#include "profiles/connection_widgets.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

#include <optional>

class BusyState;
struct CatalogRow;

// Connecting the shared connection and filling the table list.
class ConnectActions {
public:
    ConnectActions() = default;
    explicit ConnectActions(const ConnectionWidgets& widgets) : w(widgets) {}
    void attach(const ConnectionWidgets& widgets) { w = widgets; }
    // The window's one busy state: connecting is a long operation of its own, and the connect
    // command is refused while another runs.
    void setBusyState(BusyState* busy) { m_busy = busy; }
    // True (after a beep) while another long operation runs.
    bool refuseWhileBusy() const;
    // Runs before the shared connection is replaced: what works on the old one finishes first.
    void setBeforeConnect(std::function<void()> beforeConnect) { m_beforeConnect = std::move(beforeConnect); }

    // Opens MainConnection with the string (asking for the password where "Password=XXXX" stands),
    // then shows the outcome in the status label, the window title and the table list.
    void DBQConnect(const QString& connectionString);
    // The connect command: DBQConnect with the trimmed connection box, then an empty result grid.
    void cmdConnect_Click();

    // The string with the first "Password=XXXX" (any case, not at the very start) replaced by the
    // typed password, quoted so the driver reads it back unchanged.
    static QString withPassword(const QString& connectionString, const QString& typed);
    static qsizetype placeholderAt(const QString& connectionString);
    // The base-table names of a catalogue (type exactly "TABLE"); nullopt for an empty catalogue.
    static std::optional<QStringList> baseTables(const QList<CatalogRow>& catalogue);

private:
    void fillTableList(const QStringList& names);

    ConnectionWidgets w;
    std::function<void()> m_beforeConnect;
    BusyState* m_busy = nullptr;
};
