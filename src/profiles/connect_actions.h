#pragma once

#include "profiles/connection_widgets.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include <optional>

class BusyState;
struct CatalogRow;

// Connecting the shared connection. What a connect brings is announced: the page that shows the
// table list fills it, the window names the profile in its title.
class ConnectActions : public QObject {
    Q_OBJECT

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
    // The base tables of a catalogue (type exactly "TABLE"); nullopt for an empty catalogue.
    static std::optional<QList<CatalogRow>> baseTables(const QList<CatalogRow>& catalogue);

signals:
    // A connection opened: the profile's name, and its base tables as the operator reads their
    // names and as SQL writes them.
    void connected(const QString& profileName);
    void tablesListed(const QStringList& names, const QStringList& sqlNames);

private:
    ConnectionWidgets w;
    std::function<void()> m_beforeConnect;
    BusyState* m_busy = nullptr;
};
