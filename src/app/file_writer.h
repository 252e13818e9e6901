#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

#include <memory>

// Why a file operation failed, in the operator's words: a full disk, a file-size limit, a
// read-only file system and the other common reasons in Traditional Chinese; any other reason
// as the system words it, after a Chinese sentence.
QString systemErrorReason(int errnum);
QString fileErrorReason(const QFileDevice& file);
// "無法寫入檔案 <path>: <reason>", the AppError every failed write of a file throws; and the
// same for a file that cannot be read.
[[noreturn]] void throwWriteError(const QString& path, const QString& reason);
[[noreturn]] void throwReadError(const QString& path, const QString& reason);

// A new version of a file, written beside it under a name no other file has, and put under the
// file's name only when every write, the flush to disk and the close have succeeded: until then
// a file of that name stays exactly as it was. A pending file that is not committed is removed.
//
// The temporary name is ".<name>.orvik-XXXXXX" (six random letters and digits), a pattern only
// this program writes. The writer holds a lock on its file; a file of that pattern that no one
// holds locked is the leftover of a save that was killed, and the next save of the same name
// removes it.
class PendingFile {
public:
    enum class Access {
        AsBefore,  // an existing file's permissions; a new file's as the umask gives them
        OwnerOnly, // 0600: the file holds a password
    };
    enum class Existing { Replace, Refuse };

    explicit PendingFile(const QString& target, Access access = Access::AsBefore);
    ~PendingFile();
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;

    // Open for writing, buffered; its errors are checked by commit.
    QIODevice& device();
    // For writers that open the file by name themselves.
    QString temporaryPath() const { return m_temporary; }
    const QString& target() const { return m_target; }
    // A write has failed already (commit will say why): a long writer can stop early.
    bool failed() const;
    // Writes all of the bytes; throws the write error when the file does not take them.
    void write(const QByteArray& bytes);
    // Checks that every write went through, flushes to disk and puts the file under its name:
    // over an existing file, or, with Refuse, only while no file of that name exists. Throws the
    // write error otherwise, and the pending file is gone.
    void commit(Existing existing = Existing::Replace);

private:
    class Device;
    void removeLeftovers() const;

    QString m_target;
    QString m_temporary;
    std::unique_ptr<Device> m_device;
    bool m_committed = false;
};

// Replaces a file's contents through a PendingFile; throws AppError when it cannot.
void replaceFileContents(const QString& path, const QByteArray& bytes,
                         PendingFile::Access access = PendingFile::Access::AsBefore);
