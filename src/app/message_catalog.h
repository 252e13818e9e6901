#pragma once

#include <QString>

#include <optional>

// The message catalog: operator texts looked up by key in a small database beside the program.
// One connection and one prepared lookup for the whole run; nothing is cached, so an edit of the
// catalog while the program runs shows at the next lookup.

bool InitMsgDB();
void CloseMsgDB(); // before the application object goes away

using MsgArg = std::optional<QString>;

// The text for key; the key itself when the catalog has no row for it; "" when the catalog cannot
// answer (after an error record under the routine's own label).
QString ZKMSG(const QString& key, const MsgArg& value1 = {}, const MsgArg& value2 = {},
              const MsgArg& value3 = {});
QString LocalMsg(const QString& key, const MsgArg& value1 = {}, const MsgArg& value2 = {},
                 const MsgArg& value3 = {});

// "%%1", "%%2", "%%3" filled in one pass, so a filled-in value is never scanned again. A later value
// counts only when every earlier one is given.
QString fillPlaceholders(const QString& text, const MsgArg& value1, const MsgArg& value2,
                         const MsgArg& value3);

// How a catalog file is opened, decided by its first bytes.
enum class CatalogFormat { SQLite, Jet, Unknown };
CatalogFormat catalogFormatOf(const QString& path);
