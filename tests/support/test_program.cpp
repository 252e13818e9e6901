#include "support/test_program.h"

#include "app/global_settings.h"
#include "app/message_catalog.h"
#include "app/program_info.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <csignal>
#include <sys/resource.h>

FileSizeLimit::FileSizeLimit(qint64 bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    m_before = limit.rlim_cur;
    limit.rlim_cur = rlim_t(bytes);
    setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = rlim_t(m_before);
    setrlimit(RLIMIT_FSIZE, &limit);
}

QStringList pendingSaves(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral(".*.orvik-??????")}, QDir::Files | QDir::Hidden);
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

TestProgram::TestProgram(const QString& exeBaseName) : m_exeBaseName(exeBaseName) {
    if (!m_dir.isValid())
        qFatal("no temporary folder");
    ProgramInfo::setProgramPath(m_dir.path(), exeBaseName);
    ProgramInfo::setAppTitle(QString());
    GlobalSettings() = {};
}

TestProgram::~TestProgram() {
    CloseMsgDB();
    GlobalSettings() = {};
}

void TestProgram::installCatalog(const QString& name) const {
    QFile::remove(path(name));
    if (!QFile::copy(QStringLiteral(ORVIK_PROGRAM_DIR "/ZKMSG.MDB"), path(name)))
        qFatal("cannot copy the message catalog from %s", ORVIK_PROGRAM_DIR);
    QFile::setPermissions(path(name), QFile::ReadOwner | QFile::WriteOwner);
}

void TestProgram::initGlobal() const {
    InitGlobal(m_exeBaseName + QStringLiteral(".INI"), folder());
}

void TestProgram::write(const QString& name, const QByteArray& bytes) const {
    writeFileBytes(path(name), bytes);
}

QByteArray TestProgram::read(const QString& name) const {
    return readFileBytes(path(name));
}
