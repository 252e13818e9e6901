#pragma once

#include <QMetaType>
#include <QString>

// ADO data-type codes, as the windows and writers expect them of a field.
namespace AdoType {
inline constexpr int Empty = 0;
inline constexpr int SmallInt = 2;
inline constexpr int Integer = 3;
inline constexpr int Single = 4;
inline constexpr int Double = 5;
inline constexpr int Currency = 6;
inline constexpr int Date = 7;
inline constexpr int Boolean = 11;
inline constexpr int TinyInt = 16;
inline constexpr int UnsignedTinyInt = 17;
inline constexpr int BigInt = 20;
inline constexpr int Guid = 72;
inline constexpr int Binary = 128;
inline constexpr int WChar = 130;
inline constexpr int Numeric = 131;
inline constexpr int DBDate = 133;
inline constexpr int DBTime = 134;
inline constexpr int DBTimeStamp = 135;
inline constexpr int VarWChar = 202;
inline constexpr int LongVarWChar = 203;
inline constexpr int VarBinary = 204;
inline constexpr int LongVarBinary = 205;

// Field attribute bits.
inline constexpr int MayBeNull = 0x20;

// From a declared column type as SQLite keeps it ("DECIMAL(12,2)", "BIGINT", "DATETIME", ...);
// Empty when the text says nothing.
int fromDeclaredType(const QString& declared);
// From a PostgreSQL type OID.
int fromPostgresOid(int oid);
// From an ODBC SQL type code.
int fromOdbcSqlType(int sqlType);
// From a MySQL column type code.
int fromMysqlType(int mysqlType);
// From what Qt made of the value.
int fromMetaType(QMetaType type);
// Is the code one of the date and time types?
bool isDateType(int code);
} // namespace AdoType
