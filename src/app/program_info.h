#pragma once

#include <QString>

// Where the program lives: the folder of the executable and its base name. Tests point both
// at a temporary program folder so settings, logs and saved state stay private to the test.
namespace ProgramInfo {
// Where the program keeps and writes its files: the executable's folder, or the per-user folder
// the start moved it to when that one cannot be written.
QString programFolder();
// The folder holding the executable and the files installed with it.
QString installFolder();
// From here on the program's files live in folder; the executable stays where it is.
void relocateProgramFolder(const QString& folder);
// False when the start found no folder the program can keep its files in (the operator was told).
bool keepsFiles();
void setKeepsFiles(bool keeps);
QString exeBaseName();
QString exePath();
void setProgramPath(const QString& folder, const QString& exeBaseName);

// The application title: the caption of every message box that names none of its own.
// The built-in title holds until the main window sets the full one.
QString appTitle();
void setAppTitle(const QString& title);
QString builtInTitle();

// "6.3.0"-style version text of this build.
QString versionText();
} // namespace ProgramInfo
