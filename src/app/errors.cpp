#include "app/errors.h"

#include "app/run_log.h"

AppError::AppError(qint64 number, QString description)
    : m_number(number), m_description(std::move(description)), m_what(m_description.toUtf8()) {
}

namespace Errors {
AppError subscriptOutOfRange() {
    return AppError(381, QStringLiteral("索引超出範圍"));
}

AppError objectNotSet() {
    return AppError(ErrNo::ObjectNotSet, QStringLiteral("物件不存在 (尚未設定)"));
}

AppError objectClosed() {
    return AppError(3704, QStringLiteral("物件已關閉, 不能執行這項操作。"));
}

AppError connectionUnusable() {
    return AppError(3709, QStringLiteral("資料庫連線已關閉或無法使用, 不能執行這項操作。"));
}

AppError noCurrentRecord() {
    return AppError(3021, QStringLiteral("沒有目前的資料錄: 已在第一筆之前或最後一筆之後, 或已被刪除。"));
}

AppError fromEngine(qint64 number, const QString& what, const QString& engineText) {
    const QString said = engineText.trimmed();
    return AppError(number, said.isEmpty() ? what + QStringLiteral(", 資料庫沒有說明原因。")
                                           : what + QStringLiteral(": ") + said);
}

AppError statementRejected(const QString& engineText) {
    return fromEngine(ErrNo::DbStatementRejected, QStringLiteral("資料庫無法執行陳述式"), engineText);
}
} // namespace Errors

AppError currentError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const AppError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return AppError(7, QStringLiteral("記憶體不足"));
    } catch (const std::exception& e) {
        return AppError(ErrNo::InvalidCall, QStringLiteral("程式內部錯誤: ") + QString::fromUtf8(e.what()));
    } catch (...) {
        return AppError(ErrNo::InvalidCall, QStringLiteral("不明的錯誤"));
    }
}

bool guarded(const QString& routineLabel, const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (...) {
        ReportError(routineLabel, currentError(std::current_exception()));
        return false;
    }
}

bool guardedQuiet(const QString& routineLabel, const std::function<void()>& body) {
    try {
        body();
        return true;
    } catch (...) {
        LogError(routineLabel, currentError(std::current_exception()));
        return false;
    }
}
