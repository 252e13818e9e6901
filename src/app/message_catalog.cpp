#include "app/message_catalog.h"

#include "app/errors.h"
#include "app/global_settings.h"
#include "app/helpers.h"
#include "app/ini_reader.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "app/run_log.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <memory>

namespace {
const QString kConnectionName = QStringLiteral("ZKMSG");

struct Catalog {
    std::unique_ptr<QSqlQuery> lookup; // prepared once, bound to the catalog connection
};

Catalog& catalog() {
    static Catalog state;
    return state;
}

QSqlDatabase openCatalogConnection(const QString& path) {
    QSqlDatabase db;
    if (catalogFormatOf(path) == CatalogFormat::Jet) {
        // A real Jet/Access file: only the MDBTools ODBC driver reads it here.
        db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), kConnectionName);
        db.setDatabaseName(QStringLiteral("Driver={MDBTools};DBQ=") + path + QLatin1Char(';'));
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnectionName);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    }
    if (!db.isValid())
        throw AppError(ErrNo::DbOpenFailed,
                       QStringLiteral("訊息資料庫所需的資料庫驅動程式 (QSQLITE) 未安裝。"));
    if (!db.open())
        throw Errors::fromEngine(ErrNo::DbOpenFailed, QStringLiteral("無法開啟訊息資料庫"),
                                 db.lastError().text());
    return db;
}

QString lookUp(const QString& routineLabel, const QString& key, const MsgArg& value1, const MsgArg& value2,
               const MsgArg& value3) {
    QString result;
    guardedQuiet(routineLabel, [&] {
        QSqlQuery* query = catalog().lookup.get();
        if (!query)
            throw Errors::objectNotSet();
        query->bindValue(0, key);
        if (!query->exec())
            throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法查詢訊息資料庫"),
                                     query->lastError().text());
        if (!query->next()) {
            query->finish();
            result = key;
            return;
        }
        const QVariant text = query->value(QStringLiteral("MsgText"));
        query->finish();
        result = fillPlaceholders(text.isNull() ? QString() : text.toString(), value1, value2, value3);
    });
    return result;
}
} // namespace

CatalogFormat catalogFormatOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return CatalogFormat::Unknown;
    const QByteArray head = file.read(32);
    if (head.startsWith(QByteArray("SQLite format 3\0", 16)))
        return CatalogFormat::SQLite;
    const QByteArray signature = head.mid(4, 15);
    if (signature == "Standard Jet DB" || signature == "Standard ACE DB")
        return CatalogFormat::Jet;
    return CatalogFormat::Unknown;
}

QString fillPlaceholders(const QString& text, const MsgArg& value1, const MsgArg& value2,
                         const MsgArg& value3) {
    if (!value1)
        return text;
    const int active = !value2 ? 1 : !value3 ? 2 : 3;
    const QString* values[] = {&*value1, value2 ? &*value2 : nullptr, value3 ? &*value3 : nullptr};
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 2 < text.size() && text[i + 1] == u'%') {
            const int n = text[i + 2].digitValue();
            if (n >= 1 && n <= active) {
                out += *values[n - 1];
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool InitMsgDB() {
    bool opened = false;
    guarded(QStringLiteral("InitMsgDB"), [&] {
        QString name =
            GetIniString(GlobalSettings().IniFile, QStringLiteral("PARAM"), QStringLiteral("ZKMSG"));
        if (name.isEmpty())
            name = QStringLiteral("ZKMSG.MDB");
        QString path = ProgramInfo::programFolder() + QLatin1Char('/') + name;
        // A program moved to a per-user folder reads the installed catalog unless the user keeps one.
        if (!FileExists(path) && ProgramInfo::installFolder() != ProgramInfo::programFolder())
            path = ProgramInfo::installFolder() + QLatin1Char('/') + name;
        if (!FileExists(path)) {
            currentOperator().messageBox(QStringLiteral("Error Open MSGDB:") + path, MsgButtons::Ok,
                                         MsgIcon::Information, ProgramInfo::builtInTitle());
            return;
        }
        CloseMsgDB();
        QSqlDatabase db = openCatalogConnection(path);
        auto query = std::make_unique<QSqlQuery>(db);
        query->setForwardOnly(true);
        if (!query->prepare(QStringLiteral("Select * From Msg Where MsgID = ?")))
            throw Errors::fromEngine(ErrNo::DbStatementRejected, QStringLiteral("無法查詢訊息資料庫"),
                                     query->lastError().text());
        catalog().lookup = std::move(query);
        opened = true;
    });
    if (!opened)
        CloseMsgDB();
    return opened;
}

void CloseMsgDB() {
    catalog().lookup.reset();
    if (QSqlDatabase::contains(kConnectionName)) {
        QSqlDatabase::database(kConnectionName, false).close();
        QSqlDatabase::removeDatabase(kConnectionName);
    }
}

QString ZKMSG(const QString& key, const MsgArg& value1, const MsgArg& value2, const MsgArg& value3) {
    return lookUp(QStringLiteral("ZKMSG"), key, value1, value2, value3);
}

QString LocalMsg(const QString& key, const MsgArg& value1, const MsgArg& value2, const MsgArg& value3) {
    return lookUp(QStringLiteral("LocalMsg"), key, value1, value2, value3);
}
