#include "db/script_reader.h"

#include "app/errors.h"

namespace {
bool isWordChar(QChar c) {
    return c.isLetterOrNumber() || c == u'_';
}
} // namespace

void ScriptReader::scan(QStringView line, QString& kept) {
    const qsizetype n = line.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = line[i];
        const QChar next = i + 1 < n ? line[i + 1] : QChar();
        switch (m_state) {
        case State::Block:
            if (c == u'/' && next == u'*') {
                ++m_blockDepth;
                ++i;
            } else if (c == u'*' && next == u'/') {
                ++i;
                if (--m_blockDepth == 0) {
                    m_state = State::Code;
                    kept += u' '; // a comment between two words keeps them apart
                }
            }
            continue;
        case State::EscapedLiteral: // E'...': a backslash takes the next character as it is
            kept += c;
            if (c == u'\\' && i + 1 < n) {
                kept += next;
                ++i;
            } else if (c == u'\'') {
                if (next == u'\'') {
                    kept += next;
                    ++i;
                } else {
                    m_state = State::Code;
                }
            }
            continue;
        case State::Literal:
        case State::Name:
        case State::Bracket: {
            kept += c;
            const QChar close = m_state == State::Literal ? u'\'' : m_state == State::Name ? u'"' : u']';
            if (c == close) {
                if (next == close) { // a doubled quote stands for itself
                    kept += next;
                    ++i;
                } else {
                    m_state = State::Code;
                }
            }
            continue;
        }
        case State::Dollar:
            if (c == u'$' && line.mid(i).startsWith(m_dollarTag)) {
                kept += m_dollarTag;
                i += m_dollarTag.size() - 1;
                m_state = State::Code;
            } else {
                kept += c;
            }
            continue;
        case State::Code:
            break;
        }
        if (c == u'-' && next == u'-')
            return; // the rest of the line is a comment
        if (c == u'/' && next == u'*') {
            m_state = State::Block;
            m_blockDepth = 1;
            m_openedAt = m_lines;
            ++i;
            continue;
        }
        if (c == u'\'' || c == u'"' || c == u'[') {
            const bool escaped = c == u'\'' && i > 0 && (line[i - 1] == u'E' || line[i - 1] == u'e') &&
                                 (i == 1 || !isWordChar(line[i - 2]));
            m_state = c == u'\''  ? (escaped ? State::EscapedLiteral : State::Literal)
                      : c == u'"' ? State::Name
                                  : State::Bracket;
            m_openedAt = m_lines;
        } else if (c == u'$' && (i == 0 || !isWordChar(line[i - 1]))) {
            qsizetype end = i + 1;
            while (end < n && isWordChar(line[end]))
                ++end;
            if (end < n && line[end] == u'$' && !(end > i + 1 && line[i + 1].isDigit())) {
                m_dollarTag = line.mid(i, end - i + 1).toString();
                kept += m_dollarTag;
                i = end;
                m_state = State::Dollar;
                m_openedAt = m_lines;
                continue;
            }
        }
        kept += c;
    }
}

std::optional<ScriptReader::Batch> ScriptReader::addLine(QStringView line) {
    ++m_lines;
    const bool startsInCode = m_state == State::Code;
    QString kept;
    scan(line, kept);
    if (startsInCode && m_state == State::Code &&
        kept.trimmed().compare(QLatin1String("GO"), Qt::CaseInsensitive) == 0)
        return take(m_lines);
    if (m_firstLine == 0 && !kept.trimmed().isEmpty())
        m_firstLine = m_lines;
    if (!m_batch.isEmpty() || !kept.trimmed().isEmpty()) {
        if (!m_batch.isEmpty())
            m_batch += u'\n';
        m_batch += kept;
    }
    return std::nullopt;
}

ScriptReader::Batch ScriptReader::take(int lastLine) {
    Batch batch{m_batch.trimmed(), m_firstLine, lastLine};
    m_batch.clear();
    m_firstLine = 0;
    return batch;
}

std::optional<ScriptReader::Batch> ScriptReader::finish() {
    if (m_state == State::Block)
        throw AppError(ErrNo::InvalidCall,
                       QStringLiteral("第 %1 行開始的註解 /* 到檔案結尾都沒有結束").arg(m_openedAt));
    if (m_state != State::Code)
        throw AppError(ErrNo::InvalidCall,
                       QStringLiteral("第 %1 行開始的引號到檔案結尾都沒有結束").arg(m_openedAt));
    if (m_batch.trimmed().isEmpty())
        return std::nullopt;
    return take(m_lines);
}
