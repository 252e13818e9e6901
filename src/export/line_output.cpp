#include "export/line_output.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/local_codec.h"

#include <QFileDevice>
#include <QStringDecoder>

namespace {
constexpr qsizetype kBufferBytes = 1 << 20;
}

LineOutput::LineOutput(QIODevice& device) : m_device(device), m_codec(LocalCodec::codecName()) {
    m_utf8 = m_codec.compare("UTF-8", Qt::CaseInsensitive) == 0 ||
             m_codec.compare("UTF8", Qt::CaseInsensitive) == 0;
    if (!m_utf8) {
        m_encoder.emplace(m_codec.constData());
        if (!m_encoder->isValid()) {
            m_encoder.reset();
            m_utf8 = true;
        }
    }
    m_buffer.reserve(kBufferBytes + 4096);
}

void LineOutput::writeLine(const QString& line) {
    ++m_lines;
    append(line);
    m_buffer.append("\r\n", 2);
    if (m_buffer.size() >= kBufferBytes)
        flush();
}

void LineOutput::append(const QString& line) {
    if (m_utf8) {
        m_buffer.append(line.toUtf8());
        return;
    }
    const QByteArray bytes = m_encoder->encode(line);
    // The page gives back what it holds: a character it cannot hold does not come back.
    if (LocalCodec::toUnicode(bytes, m_codec) != line) {
        for (qsizetype i = 0; i < line.size(); ++i) {
            const qsizetype length = line[i].isHighSurrogate() && i + 1 < line.size() ? 2 : 1;
            const QString one = line.mid(i, length);
            QStringEncoder single(m_codec.constData());
            if (LocalCodec::toUnicode(single.encode(one), m_codec) != one) {
                --m_lines;
                flush(); // the lines before it are in the file, as the message says
                throw AppError(ErrNo::PathFileAccess,
                               QStringLiteral("第 %1 行的字元 \"%2\" 無法以本機字碼 (%3) 寫出, "
                                              "檔案只含其前的 %4 行")
                                   .arg(m_lines + 1)
                                   .arg(one, QString::fromLatin1(m_codec))
                                   .arg(m_lines));
            }
            i += length - 1;
        }
    }
    m_buffer.append(bytes);
}

void LineOutput::flush() {
    for (qsizetype done = 0; done < m_buffer.size();) {
        const qint64 written = m_device.write(m_buffer.constData() + done, m_buffer.size() - done);
        if (written <= 0) {
            const auto* file = qobject_cast<const QFileDevice*>(&m_device);
            const QString why = file ? fileErrorReason(*file) : m_device.errorString();
            m_buffer.clear();
            throw AppError(ErrNo::PathFileAccess,
                           QStringLiteral("%1 (檔案只含前 %2 行中已寫入的部分)").arg(why).arg(m_lines));
        }
        done += written;
    }
    m_buffer.clear();
}

void LineOutput::finish() {
    flush();
}
