#include "profiles/connect_actions.h"

#include "app/errors.h"
#include "app/gui/busy_state.h"
#include "app/helpers.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "db/connection_string.h"
#include "db/session.h"
#include "db/statement_wait.h"
#include "grid/elastic_panel.h"
#include "grid/flex_grid.h"
#include "grid/status_panel.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

namespace {
const QString kPlaceholder = QStringLiteral("Password=XXXX");
}

qsizetype ConnectActions::placeholderAt(const QString& connectionString) {
    return connectionString.indexOf(kPlaceholder, 0, Qt::CaseInsensitive);
}

QString ConnectActions::withPassword(const QString& connectionString, const QString& typed) {
    const qsizetype at = placeholderAt(connectionString);
    if (at < 0)
        return connectionString;
    QString result = connectionString;
    result.replace(at, kPlaceholder.size(),
                   QStringLiteral("Password=") + ConnectionString::quoteValue(typed));
    return result;
}

std::optional<QList<CatalogRow>> ConnectActions::baseTables(const QList<CatalogRow>& catalogue) {
    if (catalogue.isEmpty())
        return std::nullopt;
    QList<CatalogRow> tables;
    for (const CatalogRow& row : catalogue)
        if (row.type.toString() == QLatin1String("TABLE"))
            tables << row;
    return tables;
}

void ConnectActions::DBQConnect(const QString& connectionString) {
    std::optional<BusyState::Scope> busy;
    if (m_busy)
        busy.emplace(*m_busy);
    guarded(QStringLiteral("fmORVEL_DBQConnect"), [&] {
        QString cs = connectionString;
        // A placeholder at the very start is not asked for: strings begin with another keyword.
        if (placeholderAt(cs) > 0) {
            const auto typed = currentOperator().inputBox(
                QStringLiteral("Input DB Password:"), ProgramInfo::appTitle(), QString(), EchoMode::Password);
            cs = withPassword(cs, typed.value_or(QString()));
        }
        if (m_beforeConnect)
            m_beforeConnect();
        QString failure;
        StatementWait::reset();
        if (!ConnectADO(cs, MainConnection(), 0, &failure)) {
            // The reason follows on the panel, on one line: a wrong key, a refused password.
            StatusMessage() = QStringLiteral("連線失敗!");
            if (StatementWait::cancelled())
                failure = QStringLiteral("已依操作員要求 (Esc) 取消連線.");
            if (const QString reason = failure.simplified(); !reason.isEmpty())
                StatusMessage() += QLatin1Char(' ') + reason.left(300);
            DispElaMsg(w.elaMsg, StatusMessage());
            w.lblStatus->setText(LocalMsg(QStringLiteral("OFFLine.")));
            w.lblStatus->setToolTip(QString());
            return;
        }
        SetDBType();
        w.lblStatus->setText(w.lblDBName->text());
        w.lblStatus->setToolTip(MainConnection()->dataSource());
        emit connected(w.lblStatus->text());
        if (const auto tables = baseTables(MainConnection()->tables())) {
            QStringList names, sqlNames;
            for (const CatalogRow& table : *tables) {
                names << table.name.toString();
                sqlNames << table.sqlName;
            }
            emit tablesListed(names, sqlNames);
        }
    });
}

bool ConnectActions::refuseWhileBusy() const {
    return m_busy && m_busy->refuse();
}

void ConnectActions::cmdConnect_Click() {
    if (refuseWhileBusy())
        return;
    Operator& op = currentOperator();
    guarded(QStringLiteral("fmORVEL_cmdConnect_Click"), [&] {
        op.setBusy(true);
        w.cmdConnect->setEnabled(false);
        w.mnuConnectConnect->setEnabled(false);
        w.elaMsg->setCaption(QString());
        DBQConnect(TrimSpaces(w.txtCntStr->text()));
    });
    // Each step goes on even when one fails.
    const auto step = [](const std::function<void()>& f) {
        try {
            f();
        } catch (...) {
        }
    };
    step([&] { w.lblMode->setText(QString()); });
    step([&] {
        w.fg1->setRows(0);
        w.fg1->setRows(1);
        w.fg1->setFixedRows(1);
    });
    step([&] { op.setBusy(false); });
    step([&] {
        w.cmdConnect->setEnabled(true);
        w.mnuConnectConnect->setEnabled(true);
    });
    step([&] { w.tabPage->setFocus(); });
}
