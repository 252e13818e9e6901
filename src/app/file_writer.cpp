#include "app/file_writer.h"

#include "app/errors.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

void replaceFileContents(const QString& path, const QByteArray& bytes) {
    const QString copy = path + QStringLiteral(".saving");
    QFile::remove(copy);
    QFile file(copy);
    const auto fail = [&](const QString& why) {
        file.close();
        QFile::remove(copy);
        throw AppError(ErrNo::PathFileAccess, why + QStringLiteral(": ") + path);
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        fail(file.errorString());
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0)
            fail(file.errorString());
        done += written;
    }
    if (!file.flush() || ::fsync(file.handle()) != 0)
        fail(file.errorString().isEmpty() ? QString::fromLocal8Bit(std::strerror(errno))
                                          : file.errorString());
    if (QFile::exists(path))
        file.setPermissions(QFile::permissions(path));
    file.close();
    if (file.error() != QFileDevice::NoError)
        fail(file.errorString());
    if (std::rename(QFile::encodeName(copy).constData(), QFile::encodeName(path).constData()) != 0)
        fail(QString::fromLocal8Bit(std::strerror(errno)));
}
