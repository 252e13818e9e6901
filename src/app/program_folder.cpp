#include "app/program_folder.h"

#include "app/errors.h"
#include "app/file_writer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

bool folderWritable(const QString& folder) {
    if (!QFileInfo(folder).isDir())
        return false;
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral(".orvik-probe-XXXXXX")));
    return probe.open();
}

bool installFolderWritable(const QString& folder) {
    return !QDir::cleanPath(folder).startsWith(QLatin1String("/usr/")) && folderWritable(folder);
}

QString perUserProgramFolder() {
    if (qEnvironmentVariableIsEmpty("HOME") && qEnvironmentVariableIsEmpty("XDG_DATA_HOME"))
        return {};
    // The folder is named after the program, whatever the executable is called.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return data.isEmpty() ? QString() : QDir(data).filePath(QStringLiteral("ORVIK"));
}

QStringList seedFileNames(const QString& exeBaseName) {
    return {exeBaseName + QStringLiteral(".INI"), QStringLiteral("CntStr.txt"),
            QStringLiteral("ORVIKDEMO.db")};
}

namespace {
// Why the user's folder cannot be used; empty when it can (made when missing).
QString userFolderProblem(const QString& userFolder) {
    if (userFolder.isEmpty())
        return QStringLiteral("找不到使用者的個人資料夾 (HOME 未設定)。");
    const QFileInfo info(userFolder);
    if (info.exists() && !info.isDir())
        return QStringLiteral("個人資料夾 %1 已是一個檔案, 不是資料夾。").arg(userFolder);
    if (!info.exists()) {
        if (!QDir().mkpath(userFolder))
            return QStringLiteral("無法建立個人資料夾 %1。").arg(userFolder);
        // Profiles hold passwords: the folder is the user's alone.
        QFile::setPermissions(userFolder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    if (!folderWritable(userFolder))
        return QStringLiteral("個人資料夾 %1 無法寫入 (權限不足或磁碟已滿)。").arg(userFolder);
    return {};
}

// Copies one installed file the user lacks; the reason it could not, or empty.
QString seed(const QString& installFolder, const QString& userFolder, const QString& name) {
    const QString target = QDir(userFolder).filePath(name);
    if (QFileInfo::exists(target))
        return {};
    const QString source = QDir(installFolder).filePath(name);
    if (!QFileInfo(source).isFile())
        return QStringLiteral("安裝資料夾缺少 %1, 個人資料夾沒有這個檔案。").arg(name);
    // Through a pending file: a copy cut short by a full disk never stands as the user's file.
    QFile file(source);
    try {
        if (!file.open(QIODevice::ReadOnly))
            throw AppError(ErrNo::PathFileAccess, fileErrorReason(file));
        // The user's folder is the user's alone, and the profiles may come to hold passwords.
        PendingFile copy(target, PendingFile::Access::OwnerOnly);
        for (;;) {
            const QByteArray chunk = file.read(1 << 20);
            if (file.error() != QFileDevice::NoError)
                throw AppError(ErrNo::PathFileAccess, fileErrorReason(file));
            if (chunk.isEmpty())
                break;
            copy.write(chunk);
        }
        copy.commit(PendingFile::Existing::Refuse);
    } catch (const AppError& error) {
        return QStringLiteral("無法複製 %1 到 %2: %3").arg(name, userFolder, error.description());
    }
    return {};
}
} // namespace

ProgramFolderChoice settleProgramFolder(const QString& installFolder, bool installWritable,
                                        const QString& userFolder, const QStringList& seeds) {
    ProgramFolderChoice choice;
    choice.folder = installFolder;
    if (installWritable)
        return choice;
    if (const QString problem = userFolderProblem(userFolder); !problem.isEmpty()) {
        choice.problems << QStringLiteral("程式資料夾 %1 無法寫入。").arg(installFolder) << problem
                        << QStringLiteral("執行記錄、編輯區的SQL指令與連線設定都無法保存; 程式仍可使用。");
        // A folder of the user's that can be read but not written still holds the user's files.
        if (QFileInfo(userFolder).isDir() && QFileInfo::exists(QDir(userFolder).filePath(seeds.value(1)))) {
            choice.folder = QDir::cleanPath(userFolder);
            choice.perUser = true;
        }
        choice.writable = false;
        return choice;
    }
    choice.folder = QDir::cleanPath(userFolder);
    choice.perUser = true;
    for (const QString& name : seeds)
        if (const QString problem = seed(installFolder, userFolder, name); !problem.isEmpty())
            choice.problems << problem;
    return choice;
}
