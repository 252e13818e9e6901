#include "app/program_info.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {
struct ProgramPath {
    QString folder;
    QString baseName;
    bool overridden = false;
    QString relocated; // the per-user folder, when the program was moved there
};

ProgramPath& programPath() {
    static ProgramPath path;
    return path;
}

QString& title() {
    static QString text;
    return text;
}
} // namespace

namespace ProgramInfo {

QString programFolder() {
    if (!programPath().relocated.isEmpty())
        return programPath().relocated;
    return installFolder();
}

QString installFolder() {
    if (programPath().overridden)
        return programPath().folder;
    return QDir::cleanPath(QCoreApplication::applicationDirPath());
}

QString exeBaseName() {
    if (programPath().overridden)
        return programPath().baseName;
    return QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName();
}

QString exePath() {
    if (programPath().overridden)
        return programPath().folder + QLatin1Char('/') + programPath().baseName;
    return QCoreApplication::applicationFilePath();
}

void setProgramPath(const QString& folder, const QString& exeBaseName) {
    programPath() = {QDir::cleanPath(folder), exeBaseName, true, QString()};
}

namespace {
bool& keepsFilesFlag() {
    static bool writable = true;
    return writable;
}
} // namespace

bool keepsFiles() {
    return keepsFilesFlag();
}

void setKeepsFiles(bool keeps) {
    keepsFilesFlag() = keeps;
}

void relocateProgramFolder(const QString& folder) {
    programPath().relocated = QDir::cleanPath(folder);
}

QString builtInTitle() {
    return QStringLiteral("ORVIK");
}

QString appTitle() {
    return title().isEmpty() ? builtInTitle() : title();
}

void setAppTitle(const QString& text) {
    title() = text;
}

QString versionText() {
    return QStringLiteral("%1.%2.%3")
        .arg(ORVIK_VERSION_MAJOR)
        .arg(ORVIK_VERSION_MINOR)
        .arg(ORVIK_VERSION_PATCH);
}

} // namespace ProgramInfo
