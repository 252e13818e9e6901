#pragma once

#include <QString>
#include <QStringList>

// Where the program keeps its files. An installed program's folder cannot be written, so the
// program then works in a folder of the user's own, seeded once from the installed files.
struct ProgramFolderChoice {
    QString folder;       // where the program reads and writes its files
    bool perUser = false; // folder is the user's own, not the executable's
    bool writable = true; // what the program writes there is kept
    QStringList problems; // for the operator, told once at start; empty when all is well
};

// True when a file can be created in the folder (tried, not guessed from permission bits).
bool folderWritable(const QString& folder);
// Whether the program may keep its files beside the executable: never in a folder the package
// manager keeps (under /usr), whoever runs it, else when the folder can be written.
bool installFolderWritable(const QString& folder);

// The user's own program folder (~/.local/share/ORVIK); empty when neither HOME nor
// XDG_DATA_HOME says where the user's files go.
QString perUserProgramFolder();

// The files a per-user folder receives from the installation when it has none of its own.
QStringList seedFileNames(const QString& exeBaseName);

// Settles where the program works. A writable install folder is used as it is. Otherwise the
// user's folder is made, and every seed it lacks is copied from the install folder; a file the
// user has is never replaced. When the user's folder cannot be used either, the install folder
// stays, and the problems say that nothing the program writes will be kept.
ProgramFolderChoice settleProgramFolder(const QString& installFolder, bool installWritable,
                                        const QString& userFolder, const QStringList& seeds);
