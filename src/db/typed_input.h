#pragma once

#include "db/engine_route.h"

#include <QString>
#include <QVariant>

// What the operator typed into a column, as the value to write. Empty text is NULL. Dates typed as
// the grid shows them (2016/1/5, 2016/01/05 13:45) go in ISO form (2016-01-05 13:45:00) on every
// server; bytes are typed as 0x and hexadecimal digits. SQLite keeps whatever it is given, so
// there text that is not a value of the column's declared kind is refused here, as the servers
// refuse it themselves.
//
// Throws AppError naming the column and the kind of value it needs.
QVariant typedValue(const QString& text, int adoType, const QString& column, ServerKind server);
