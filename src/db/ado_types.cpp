#include "db/ado_types.h"

namespace AdoType {

int fromDeclaredType(const QString& declared) {
    const QString t = declared.trimmed().toUpper();
    if (t.isEmpty())
        return Empty;
    if (t.contains(QLatin1String("INT"))) {
        if (t.startsWith(QLatin1String("BIGINT")) || t.startsWith(QLatin1String("INT8")))
            return BigInt;
        if (t.startsWith(QLatin1String("SMALLINT")) || t.startsWith(QLatin1String("INT2")))
            return SmallInt;
        if (t.startsWith(QLatin1String("TINYINT")))
            return UnsignedTinyInt;
        return Integer;
    }
    if (t.startsWith(QLatin1String("DATETIME")) || t.startsWith(QLatin1String("TIMESTAMP")))
        return DBTimeStamp;
    if (t.startsWith(QLatin1String("DATE")))
        return DBDate;
    if (t.startsWith(QLatin1String("TIME")))
        return DBTime;
    if (t.contains(QLatin1String("TEXT")) || t.contains(QLatin1String("CLOB")) ||
        t.contains(QLatin1String("MEMO")))
        return LongVarWChar;
    if (t.contains(QLatin1String("VARCHAR")) || t.contains(QLatin1String("VARYING")) ||
        t.startsWith(QLatin1String("STRING")))
        return VarWChar;
    if (t.contains(QLatin1String("CHAR")))
        return WChar;
    if (t.contains(QLatin1String("BLOB")) || t.contains(QLatin1String("IMAGE")))
        return LongVarBinary;
    if (t.contains(QLatin1String("BINARY")))
        return VarBinary;
    if (t.contains(QLatin1String("DEC")) || t.startsWith(QLatin1String("NUMERIC")) ||
        t.contains(QLatin1String("MONEY")))
        return Numeric;
    if (t.contains(QLatin1String("REAL")) || t.contains(QLatin1String("FLOA")) ||
        t.contains(QLatin1String("DOUB")))
        return Double;
    if (t.startsWith(QLatin1String("BOOL")) || t == QLatin1String("BIT"))
        return Boolean;
    if (t.startsWith(QLatin1String("UUID")) || t.startsWith(QLatin1String("GUID")))
        return Guid;
    return VarWChar;
}

int fromPostgresOid(int oid) {
    switch (oid) {
    case 16:
        return Boolean; // bool
    case 17:
        return LongVarBinary; // bytea
    case 18:
        return WChar; // char
    case 20:
        return BigInt; // int8
    case 21:
        return SmallInt; // int2
    case 23:
        return Integer; // int4
    case 25:
        return LongVarWChar; // text
    case 26:
        return Integer; // oid
    case 700:
        return Single; // float4
    case 701:
        return Double; // float8
    case 790:
        return Currency; // money
    case 1042:
        return WChar; // bpchar
    case 1043:
        return VarWChar; // varchar
    case 1082:
        return DBDate; // date
    case 1083:
        return DBTime; // time
    case 1114:
        return DBTimeStamp; // timestamp
    case 1184:
        return DBTimeStamp; // timestamptz
    case 1266:
        return DBTime; // timetz
    case 1700:
        return Numeric; // numeric
    case 2950:
        return Guid; // uuid
    default:
        return VarWChar;
    }
}

int fromOdbcSqlType(int sqlType) {
    switch (sqlType) {
    case 1:
        return WChar; // SQL_CHAR
    case 2:
    case 3:
        return Numeric; // SQL_NUMERIC, SQL_DECIMAL
    case 4:
        return Integer; // SQL_INTEGER
    case 5:
        return SmallInt; // SQL_SMALLINT
    case 6:
    case 8:
        return Double; // SQL_FLOAT, SQL_DOUBLE
    case 7:
        return Single; // SQL_REAL
    case 9:
    case 91:
        return DBDate; // SQL_DATE, SQL_TYPE_DATE
    case 10:
    case 92:
        return DBTime; // SQL_TIME, SQL_TYPE_TIME
    case 11:
    case 93:
        return DBTimeStamp; // SQL_TIMESTAMP, SQL_TYPE_TIMESTAMP
    case 12:
        return VarWChar; // SQL_VARCHAR
    case -1:
        return LongVarWChar; // SQL_LONGVARCHAR
    case -2:
        return Binary; // SQL_BINARY
    case -3:
        return VarBinary; // SQL_VARBINARY
    case -4:
        return LongVarBinary; // SQL_LONGVARBINARY
    case -5:
        return BigInt; // SQL_BIGINT
    case -6:
        return UnsignedTinyInt; // SQL_TINYINT
    case -7:
        return Boolean; // SQL_BIT
    case -8:
        return WChar; // SQL_WCHAR
    case -9:
        return VarWChar; // SQL_WVARCHAR
    case -10:
        return LongVarWChar; // SQL_WLONGVARCHAR
    case -11:
        return Guid; // SQL_GUID
    default:
        return VarWChar;
    }
}

int fromMysqlType(int mysqlType) {
    switch (mysqlType) {
    case 0:
    case 246:
        return Numeric; // DECIMAL, NEWDECIMAL
    case 1:
        return UnsignedTinyInt; // TINY
    case 2:
        return SmallInt; // SHORT
    case 3:
    case 9:
        return Integer; // LONG, INT24
    case 4:
        return Single; // FLOAT
    case 5:
        return Double; // DOUBLE
    case 7:
    case 12:
        return DBTimeStamp; // TIMESTAMP, DATETIME
    case 8:
        return BigInt; // LONGLONG
    case 10:
    case 14:
        return DBDate; // DATE, NEWDATE
    case 11:
        return DBTime; // TIME
    case 16:
        return Boolean; // BIT
    case 249:
    case 250:
    case 251:
    case 252:
        return LongVarWChar; // BLOB and TEXT kinds
    default:
        return VarWChar;
    }
}

int fromMetaType(QMetaType type) {
    switch (type.id()) {
    case QMetaType::Bool:
        return Boolean;
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
        return Integer;
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        return BigInt;
    case QMetaType::Double:
        return Double;
    case QMetaType::Float:
        return Single;
    case QMetaType::QDate:
        return DBDate;
    case QMetaType::QTime:
        return DBTime;
    case QMetaType::QDateTime:
        return DBTimeStamp;
    case QMetaType::QByteArray:
        return LongVarBinary;
    case QMetaType::QUuid:
        return Guid;
    default:
        return VarWChar;
    }
}

bool isDateType(int code) {
    return code == Date || code == DBDate || code == DBTime || code == DBTimeStamp;
}

} // namespace AdoType
