#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// A private program folder for one test: settings, logs, catalog and saved state live in a
// temporary folder that GlobalSettings and the program paths point at.
class TestProgram {
public:
    explicit TestProgram(const QString& exeBaseName = QStringLiteral("ORVIK"));
    ~TestProgram();

    QString folder() const { return m_dir.path(); }
    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Copies the catalog built for the program folder into this one.
    void installCatalog(const QString& name = QStringLiteral("ZKMSG.MDB")) const;
    // Runs InitGlobal for this folder (settings file base name + ".INI").
    void initGlobal() const;

    void write(const QString& name, const QByteArray& bytes) const;
    QByteArray read(const QString& name) const;

private:
    QTemporaryDir m_dir;
    QString m_exeBaseName;
};

// A file-size limit on this process while it lives, standing in for a full disk: a write past it
// fails with EFBIG, as SIGXFSZ is ignored (the program ignores it too).
class FileSizeLimit {
public:
    explicit FileSizeLimit(qint64 bytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    quint64 m_before = 0;
};

// The hidden files a save leaves beside its target while it runs (".<name>.orvik-XXXXXX").
QStringList pendingSaves(const QString& folder);

QByteArray readFileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);
