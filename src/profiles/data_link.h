#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QObject;

// What the data-link dialog composes, without its widgets: the kind of source and the fields the
// operator filled, turned into a keyword=value connection string the connection opening routes.
namespace DataLink {

enum class Kind { Sqlite, Postgres, SqlServer, Access, Mysql, Oracle, Dsn, OdbcDriver };

// Which fields a kind asks for.
enum Field : unsigned {
    File = 1u << 0,
    Server = 1u << 1,
    Port = 1u << 2,
    Database = 1u << 3,
    User = 1u << 4,
    Password = 1u << 5,
    DataSourceName = 1u << 6,
    Driver = 1u << 7,
};

struct KindInfo {
    Kind kind;
    QString caption;     // as the dialog lists it
    unsigned fields;     // Field flags
    int defaultPort = 0; // shown as a hint; 0 when the kind has no port
};
const QList<KindInfo>& kinds();
const KindInfo& infoOf(Kind kind);

struct Source {
    Kind kind = Kind::Sqlite;
    QString file;
    QString server;
    QString port;
    QString database;
    QString user;
    QString password;
    QString dataSourceName;
    QString driver;
    QString extra; // further keyword=value pairs, as typed
    bool savePassword = false;
};

// The first thing that keeps the fields from making a connection string, in the operator's words;
// nullopt when there is none. Files are looked for from programFolder when relative.
std::optional<QString> problemOf(const Source& source, const QString& programFolder);

// The connection string. The password is written only when withPassword is set; values that need
// it are quoted so the string reads back unchanged. A file inside programFolder is written relative
// to it, as the program's own profiles are.
QString connectionString(const Source& source, const QString& programFolder, bool withPassword);

// How the connection opening would open the string: the Qt driver and what it passes on, or the
// reason it cannot.
QString routeDescription(const QString& connectionString, const QString& programFolder);

// Opens a connection with the string on a thread of its own, closes it again, and hands the
// outcome to done on the receiver's thread: empty on success, else the database's own message.
// done is dropped when the receiver is gone by then.
void testInBackground(const QString& connectionString, QObject* receiver,
                      std::function<void(const QString& failure)> done);
// The same, waiting for the outcome.
QString testNow(const QString& connectionString);

} // namespace DataLink
