#include "app/run_log.h"

#include "app/global_settings.h"
#include "app/local_codec.h"
#include "app/operator.h"
#include "app/program_info.h"

#include <QFile>
#include <QFileInfo>

namespace {
const QString kCrLf = QStringLiteral("\r\n");

// Appends bytes at the end of a file, creating it when absent; false when it cannot.
bool appendToFile(const QString& path, const QString& text) {
    if (path.isEmpty())
        return false;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray bytes = LocalCodec::fromUnicodeMarked(text);
    const bool written = file.write(bytes) == bytes.size();
    file.close();
    return written && file.error() == QFileDevice::NoError;
}

void trimFile(const QString& path, qint64 limitKb) {
    const QFileInfo info(path);
    if (!path.isEmpty() && info.isFile() && info.size() > limitKb * 1024)
        QFile::remove(path);
}

int showErrorBox(const QString& routineLabel, const AppError& error) {
    Operator& op = currentOperator();
    op.beep();
    const QString message = errorMessageText(routineLabel, error);
    appendToFile(GlobalSettings().ErrFile,
                 errorRecordText(QDateTime::currentDateTime(), routineLabel, error));
    const int answer = op.messageBox(message, MsgButtons::Ok, MsgIcon::Exclamation, ProgramInfo::appTitle());
    op.setBusy(false);
    return answer;
}
} // namespace

QString runLogLine(const QDateTime& when, const QString& text) {
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral(" => ") + text + kCrLf;
}

QString errorMessageText(const QString& routineLabel, const AppError& error) {
    return QStringLiteral("處理程序: (") + routineLabel + QStringLiteral(")") + kCrLf +
           QStringLiteral("執行錯誤, 代碼: ") + QString::number(error.number()) + kCrLf +
           QStringLiteral("訊息: ") + kCrLf + QStringLiteral("     ") + error.description() + kCrLf + kCrLf;
}

QString errorRecordText(const QDateTime& when, const QString& routineLabel, const AppError& error) {
    return QStringLiteral("**記錄時間 - ") + when.toString(QStringLiteral("yy/MM/dd, HH:mm:ss ")) + kCrLf +
           errorMessageText(routineLabel, error);
}

void WriteLog(const QString& text) {
    if (!appendToFile(GlobalSettings().LogFile, runLogLine(QDateTime::currentDateTime(), text)))
        LogError(QStringLiteral("WriteLog"),
                 AppError(ErrNo::PathFileAccess,
                          QStringLiteral("無法寫入執行記錄檔: ") + GlobalSettings().LogFile));
}

void ReportError(const QString& routineLabel, const AppError& error) {
    showErrorBox(routineLabel, error);
}

int ReportErrorResult(const QString& routineLabel, const AppError& error) {
    return showErrorBox(routineLabel, error);
}

void LogError(const QString& routineLabel, const AppError& error) {
    appendToFile(GlobalSettings().ErrFile,
                 errorRecordText(QDateTime::currentDateTime(), routineLabel, error));
}

void TrimLogFile(qint64 limitKb) {
    trimFile(GlobalSettings().LogFile, limitKb);
}

void TrimErrFile(qint64 limitKb) {
    trimFile(GlobalSettings().ErrFile, limitKb);
}
