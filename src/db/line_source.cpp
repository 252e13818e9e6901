#include "db/line_source.h"

#include "app/errors.h"
#include "app/file_writer.h"

#include <QFileDevice>
#include <QIODevice>

namespace {
constexpr qint64 kChunkBytes = 1 << 16;
} // namespace

DecodedText::DecodedText(QIODevice& device, const QByteArray& codec)
    : m_device(device), m_decoder(codec.constData()) {
    if (!m_decoder.isValid())
        m_decoder = QStringDecoder(QStringDecoder::Utf8);
}

bool DecodedText::fill() {
    if (m_atEnd)
        return false;
    const QByteArray bytes = m_device.read(kChunkBytes);
    if (bytes.isEmpty()) {
        if (!m_device.atEnd() && !m_device.errorString().isEmpty()) {
            const auto* file = qobject_cast<const QFileDevice*>(&m_device);
            throw AppError(ErrNo::PathFileAccess,
                           QStringLiteral("檔案讀取失敗: ") +
                               (file ? fileErrorReason(*file) : m_device.errorString()));
        }
        m_atEnd = true;
        return false;
    }
    text.remove(0, pos);
    text += m_decoder.decode(bytes);
    pos = 0;
    return true;
}

bool LineSource::next(QStringView& line, QStringView& lineEnd) {
    qsizetype i = m_in.pos;
    for (;;) {
        const qsizetype size = m_in.text.size();
        const QChar* text = m_in.text.constData();
        for (; i < size; ++i) {
            const char16_t c = text[i].unicode();
            if (c > u'\r')
                continue;
            if (c == 0)
                throw AppError(ErrNo::InvalidCall,
                               QStringLiteral("第 %1 行含有 NUL 字元: 這不是文字檔 (或是 UTF-16 編碼)")
                                   .arg(m_lines + 1));
            if (c == u'\n' || c == u'\r')
                break;
        }
        const qsizetype at = i - m_in.pos; // where the scan stands, from the start of the line
        if (i < size) {
            // A CR at the end of what has been read may be the first half of a CR LF.
            if (!(text[i] == u'\r' && i + 1 == size) || !m_in.fill())
                break;
        } else if (!m_in.fill()) {
            if (m_in.pos >= m_in.text.size())
                return false;
            break; // a last line without a line end
        }
        i = m_in.pos + at; // the buffer moved: scan on from the same character
    }
    const qsizetype size = m_in.text.size();
    const qsizetype end = i >= size                                                            ? size
                          : m_in.text[i] == u'\r' && i + 1 < size && m_in.text[i + 1] == u'\n' ? i + 2
                                                                                               : i + 1;
    line = QStringView(m_in.text).mid(m_in.pos, i - m_in.pos);
    lineEnd = QStringView(m_in.text).mid(i, end - i);
    m_in.pos = end;
    ++m_lines;
    return true;
}
