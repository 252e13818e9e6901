#include "app/file_writer.h"

#include "app/errors.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
constexpr int kKnownErrors[] = {ENOSPC, EDQUOT, EFBIG, EROFS,  EACCES, EPERM,        ENOENT, ENOTDIR,
                                EISDIR, EEXIST, EIO,   EMFILE, ENFILE, ENAMETOOLONG, EBUSY,  ETXTBSY};

QString leftoverPrefix(const QString& name) {
    return QLatin1Char('.') + name + QStringLiteral(".orvik-");
}

bool isLeftoverName(const QString& entry, const QString& prefix) {
    if (entry.size() != prefix.size() + 6 || !entry.startsWith(prefix))
        return false;
    for (qsizetype i = prefix.size(); i < entry.size(); ++i)
        if (!(entry[i].isLetterOrNumber() && entry[i].unicode() < 128))
            return false;
    return true;
}

QString randomSuffix() {
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    QString suffix;
    for (int i = 0; i < 6; ++i)
        suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(int(sizeof letters - 1))]);
    return suffix;
}

// The new file's mode: an existing file's, or what the umask leaves of 0666 (open applies it).
mode_t modeFor(const QString& target, PendingFile::Access access, bool* exists) {
    struct stat st {};
    *exists = ::stat(QFile::encodeName(target).constData(), &st) == 0;
    if (access == PendingFile::Access::OwnerOnly)
        return 0600;
    return *exists ? (st.st_mode & 07777) : 0666;
}

constexpr qsizetype kBufferBytes = 1 << 16;
} // namespace

// The pending file's descriptor as a device: writes gathered in a buffer and handed over in large
// writes, the system's error kept from the first one that fails (the descriptor's own errno,
// which QFile does not keep).
class PendingFile::Device : public QIODevice {
public:
    explicit Device(int fd) : m_fd(fd) { open(QIODevice::WriteOnly | QIODevice::Unbuffered); }
    ~Device() override { closeDescriptor(); }
    int descriptor() const { return m_fd; }
    int failure() const { return m_errno; }
    bool flushAll() {
        for (qsizetype done = 0; done < m_buffer.size();) {
            const ssize_t written =
                ::write(m_fd, m_buffer.constData() + done, size_t(m_buffer.size() - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0) {
                m_errno = written < 0 ? errno : ENOSPC;
                setErrorString(systemErrorReason(m_errno));
                m_buffer.clear();
                return false;
            }
            done += written;
        }
        m_buffer.clear();
        return m_errno == 0;
    }
    void closeDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

protected:
    qint64 writeData(const char* data, qint64 length) override {
        if (m_errno != 0)
            return -1;
        m_buffer.append(data, length);
        if (m_buffer.size() >= kBufferBytes && !flushAll())
            return -1;
        return length;
    }
    qint64 readData(char*, qint64) override { return -1; }

private:
    int m_fd;
    int m_errno = 0;
    QByteArray m_buffer;
};

namespace {
void syncFolder(const QString& folder) {
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd); // the new name survives a power cut; a folder that cannot be synced is no failure
        ::close(fd);
    }
}
} // namespace

QString systemErrorReason(int errnum) {
    switch (errnum) {
    case ENOSPC:
        return QStringLiteral("磁碟已滿");
    case EDQUOT:
        return QStringLiteral("超過磁碟配額");
    case EFBIG:
        return QStringLiteral("超過檔案大小的上限");
    case EROFS:
        return QStringLiteral("檔案系統為唯讀");
    case EACCES:
    case EPERM:
        return QStringLiteral("權限不足");
    case ENOENT:
        return QStringLiteral("找不到檔案或資料夾");
    case ENOTDIR:
        return QStringLiteral("路徑中有一段不是資料夾");
    case EISDIR:
        return QStringLiteral("這是資料夾, 不是檔案");
    case EEXIST:
        return QStringLiteral("檔案已存在");
    case EIO:
        return QStringLiteral("磁碟讀寫錯誤");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("開啟的檔案太多");
    case ENAMETOOLONG:
        return QStringLiteral("檔案名稱太長");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("檔案正在使用中");
    default:
        return QStringLiteral("系統回報: ") + QString::fromLocal8Bit(std::strerror(errnum));
    }
}

QString fileErrorReason(const QFileDevice& file) {
    // The device keeps only the system's text: it is matched back to the error it words.
    const QString said = file.errorString();
    for (const int known : kKnownErrors)
        if (said == qt_error_string(known))
            return systemErrorReason(known);
    return said.isEmpty() || file.error() == QFileDevice::NoError ? QStringLiteral("檔案無法存取")
                                                                  : QStringLiteral("系統回報: ") + said;
}

void throwWriteError(const QString& path, const QString& reason) {
    throw AppError(ErrNo::PathFileAccess, QStringLiteral("無法寫入檔案 %1: %2").arg(path, reason));
}

void throwReadError(const QString& path, const QString& reason) {
    throw AppError(ErrNo::PathFileAccess, QStringLiteral("無法讀取檔案 %1: %2").arg(path, reason));
}

namespace {
// A name that is a symbolic link stays one: the file it leads to gets the new contents.
QString fileBehind(const QString& target) {
    const QFileInfo info(target);
    return info.isSymLink() && !info.symLinkTarget().isEmpty() ? info.symLinkTarget()
                                                               : info.absoluteFilePath();
}
} // namespace

PendingFile::PendingFile(const QString& target, Access access) : m_target(fileBehind(target)) {
    const QFileInfo info(m_target);
    removeLeftovers();
    bool exists = false;
    const mode_t mode = modeFor(m_target, access, &exists);
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        m_temporary = info.dir().filePath(leftoverPrefix(info.fileName()) + randomSuffix());
        fd =
            ::open(QFile::encodeName(m_temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            break;
    }
    if (fd < 0)
        throwWriteError(m_target, systemErrorReason(errno));
    ::flock(fd, LOCK_EX); // held until the file is closed: a lock marks a save that is still going on
    if (exists || access == Access::OwnerOnly)
        ::fchmod(fd, mode); // exactly the old file's mode, whatever the umask
    m_device = std::make_unique<Device>(fd);
}

PendingFile::~PendingFile() {
    if (m_committed)
        return;
    m_device->closeDescriptor();
    ::unlink(QFile::encodeName(m_temporary).constData());
}

QIODevice& PendingFile::device() {
    return *m_device;
}

bool PendingFile::failed() const {
    return m_device->failure() != 0;
}

void PendingFile::removeLeftovers() const {
    const QFileInfo info(m_target);
    const QString prefix = leftoverPrefix(info.fileName());
    const QStringList entries = info.dir().entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        if (!isLeftoverName(entry, prefix))
            continue;
        const QByteArray path = QFile::encodeName(info.dir().filePath(entry));
        const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) // no one is writing it: a killed save left it
            ::unlink(path.constData());
        ::close(fd);
    }
}

void PendingFile::write(const QByteArray& bytes) {
    if (m_device->write(bytes) != bytes.size())
        throwWriteError(m_target, systemErrorReason(m_device->failure()));
}

void PendingFile::commit(Existing existing) {
    if (!m_device->flushAll())
        throwWriteError(m_target, systemErrorReason(m_device->failure()));
    if (::fsync(m_device->descriptor()) != 0)
        throwWriteError(m_target, systemErrorReason(errno));
    const QByteArray from = QFile::encodeName(m_temporary);
    const QByteArray to = QFile::encodeName(m_target);
    if (existing == Existing::Refuse) {
        // Put in place only if no file has taken the name meanwhile; where the file system cannot
        // say so in one step, the name is tested just before.
        if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) != 0) {
            const int why = errno;
            if (why != EINVAL && why != ENOSYS)
                throwWriteError(m_target, systemErrorReason(why));
            if (QFileInfo::exists(m_target))
                throwWriteError(m_target, systemErrorReason(EEXIST));
            if (std::rename(from.constData(), to.constData()) != 0)
                throwWriteError(m_target, systemErrorReason(errno));
        }
    } else if (std::rename(from.constData(), to.constData()) != 0) {
        throwWriteError(m_target, systemErrorReason(errno));
    }
    m_committed = true;
    m_device->closeDescriptor();
    syncFolder(QFileInfo(m_target).absolutePath());
}

void replaceFileContents(const QString& path, const QByteArray& bytes, PendingFile::Access access) {
    PendingFile file(path, access);
    file.write(bytes);
    file.commit();
}
