#include "app/errors.h"

#include "app/run_log.h"

AppError::AppError(qint64 number, QString description)
    : m_number(number), m_description(std::move(description)), m_what(m_description.toUtf8()) {
}

AppError currentError(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const AppError& e) {
        return e;
    } catch (const std::bad_alloc&) {
        return AppError(7, QStringLiteral("Out of memory"));
    } catch (const std::exception& e) {
        return AppError(ErrNo::InvalidCall, QString::fromUtf8(e.what()));
    } catch (...) {
        return AppError(ErrNo::InvalidCall, QStringLiteral("Unknown error"));
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
