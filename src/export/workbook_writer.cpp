#include "export/workbook_writer.h"

#include "app/errors.h"
#include "app/file_writer.h"

#include <QFile>
#include <QFileInfo>

#include <xlsxwriter.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <sys/resource.h>
#include <sys/statvfs.h>

namespace {
constexpr int kRowsBetweenProgress = 1024;

// The library writes the sheet through temporary files whose writes it does not check: a sheet
// cut short by a file-size limit or a full disk would be packed as if whole. So the writer counts
// what the sheet holds at least (the cell texts and the markup around each) and stops where that
// cannot be written, and a disk found full after packing fails the workbook.
qint64 fileSizeLimit() {
    rlimit limit{};
    return getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY ? qint64(limit.rlim_cur)
                                                                                   : -1;
}

bool folderIsFull(const QString& folder) {
    struct statvfs space {};
    return statvfs(QFile::encodeName(folder).constData(), &space) == 0 && space.f_bavail == 0;
}

// Why the library could not pack the workbook: the system's reason where there is one (a full
// disk, a file-size limit), else the library's own words after a Chinese sentence.
QString packingFailure(lxw_error error, int errnum, const QString& temporary) {
    switch (errnum) {
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
    case EIO:
    case EROFS:
    case EACCES:
        return systemErrorReason(errnum);
    default:
        break;
    }
    // The library does not always leave its errno: a file that stopped at the size limit says it.
    if (const qint64 limit = fileSizeLimit(); limit >= 0 && QFileInfo(temporary).size() >= limit)
        return systemErrorReason(EFBIG);
    if (folderIsFull(QFileInfo(temporary).absolutePath()))
        return systemErrorReason(ENOSPC);
    return QStringLiteral("試算表無法壓縮寫出 (程式庫回報: %1)").arg(QString::fromUtf8(lxw_strerror(error)));
}

constexpr qint64 kMarkupPerCell = 30; // <c r="A1" t="inlineStr"><is><t></t></is></c>, at least

// The workbook being written and the library's object for it; nothing stands under the name
// until it is complete.
class PendingWorkbook {
public:
    explicit PendingWorkbook(const QString& path) : m_file(path), m_sizeLimit(fileSizeLimit()) {}
    ~PendingWorkbook() {
        if (m_workbook)
            lxw_workbook_free(m_workbook);
    }
    void open() {
        lxw_workbook_options options{};
        options.constant_memory = LXW_TRUE;
        options.use_zip64 = LXW_TRUE;
        // Its temporary files go beside the workbook, on the disk whose space is checked.
        m_folder = QFile::encodeName(QFileInfo(m_file.temporaryPath()).absolutePath());
        options.tmpdir = m_folder.data();
        // The library writes the file by its name; the pending file holds the name meanwhile.
        m_workbook = workbook_new_opt(QFile::encodeName(m_file.temporaryPath()).constData(), &options);
        if (!m_workbook)
            throwWriteError(m_file.target(), QStringLiteral("無法建立試算表"));
        m_sheet = workbook_add_worksheet(m_workbook, nullptr);
        if (!m_sheet)
            throwWriteError(m_file.target(), QStringLiteral("無法建立工作表"));
    }
    void put(qint64 row, int col, const QByteArray& utf8) {
        if (utf8.isEmpty())
            return; // an empty cell
        m_sheetBytes += utf8.size() + kMarkupPerCell;
        if (m_sizeLimit >= 0 && m_sheetBytes >= m_sizeLimit)
            throwWriteError(m_file.target(), systemErrorReason(EFBIG));
        const lxw_error error =
            worksheet_write_string(m_sheet, lxw_row_t(row), lxw_col_t(col), utf8.constData(), nullptr);
        if (error != LXW_NO_ERROR)
            throwWriteError(m_file.target(), QStringLiteral("儲存格無法寫入 (程式庫回報: %1)")
                                                 .arg(QString::fromUtf8(lxw_strerror(error))));
    }
    // Packs the workbook into its file. That takes as long as writing the rows, so it runs beside
    // the caller, who is asked for progress meanwhile; false when it asked to stop (the packed file
    // is then dropped).
    bool close(const ExportProgress& progress, qint64 rows) {
        lxw_workbook* workbook = m_workbook;
        m_workbook = nullptr;
        std::future<std::pair<lxw_error, int>> packed = std::async(std::launch::async, [workbook] {
            errno = 0;
            const lxw_error error = workbook_close(workbook); // frees it
            return std::pair(error, errno);
        });
        bool goOn = true;
        while (packed.wait_for(std::chrono::milliseconds(40)) != std::future_status::ready)
            if (progress && !progress(rows))
                goOn = false;
        const auto [error, errnum] = packed.get();
        if (!goOn)
            return false;
        if (error != LXW_NO_ERROR)
            throwWriteError(m_file.target(), packingFailure(error, errnum, m_file.temporaryPath()));
        // A disk that filled up may have cut a temporary file the library did not check.
        if (folderIsFull(QString::fromLocal8Bit(m_folder)) || folderIsFull(QStringLiteral(P_tmpdir)))
            throwWriteError(m_file.target(), systemErrorReason(ENOSPC));
        return true;
    }
    void commit(bool replace) {
        m_file.commit(replace ? PendingFile::Existing::Replace : PendingFile::Existing::Refuse);
    }

private:
    PendingFile m_file;
    qint64 m_sizeLimit;
    qint64 m_sheetBytes = 0;
    QByteArray m_folder;
    lxw_workbook* m_workbook = nullptr;
    lxw_worksheet* m_sheet = nullptr;
};

bool isHexDigit(QChar c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The text in the sheet's own escapes where the sheet XML cannot carry it as it is: characters no
// XML may hold (U+FFFE, U+FFFF, a lone half of a pair) as _xHHHH_, and a literal _xHHHH_ with its
// underscore escaped, so that readers give back what was written. Control characters are escaped
// by the library itself.
QString sheetText(const QString& text) {
    bool plain = true;
    for (QChar c : text)
        if (c == u'_' || c.unicode() >= 0xFFFE || c.isSurrogate()) {
            plain = false;
            break;
        }
    if (plain)
        return text;
    QString out;
    out.reserve(text.size() + 16);
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < n && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (c.unicode() >= 0xFFFE || c.isSurrogate()) {
            out += QStringLiteral("_x%1_")
                       .arg(c.unicode(), 4, 16, QLatin1Char('0'))
                       .toUpper()
                       .replace(u'X', u'x');
        } else if (c == u'_' && i + 6 < n && text[i + 1] == u'x' && isHexDigit(text[i + 2]) &&
                   isHexDigit(text[i + 3]) && isHexDigit(text[i + 4]) && isHexDigit(text[i + 5]) &&
                   text[i + 6] == u'_') {
            out += QStringLiteral("_x005F_");
        } else {
            out += c;
        }
    }
    return out;
}

// The cell as a sheet holds it: at most kMaxCellChars characters, never half a character.
QByteArray cellUtf8(const QString& text, qint64* cut) {
    if (text.size() <= WorkbookWriter::kMaxCellChars)
        return sheetText(text).toUtf8();
    ++*cut;
    qsizetype keep = WorkbookWriter::kMaxCellChars;
    if (text[keep - 1].isHighSurrogate())
        --keep;
    return sheetText(text.left(keep)).toUtf8();
}
} // namespace

namespace WorkbookWriter {

void requireFits(qint64 dataRows, int cols) {
    const qint64 count = dataRows;
    if (count + 1 > kMaxRows || cols > kMaxColumns)
        throw AppError(
            ErrNo::InvalidCall,
            QStringLiteral("資料有 %1 行 %2 欄 (含標題行), 超過試算表一頁的上限 %3 行 %4 欄, 未寫出")
                .arg(count + 1)
                .arg(cols)
                .arg(kMaxRows)
                .arg(kMaxColumns));
}

Outcome write(const ExportRows& rows, const QString& path, const ExportProgress& progress, bool replace) {
    const int cols = rows.columnCount();
    const qint64 count = rows.rowCount();
    requireFits(count, cols);
    Outcome outcome;
    PendingWorkbook workbook(path);
    workbook.open();
    for (int c = 0; c < cols; ++c)
        workbook.put(0, c, cellUtf8(rows.columnName(c), &outcome.cellsCut));
    for (qint64 r = 0; r < count; ++r) {
        for (int c = 0; c < cols; ++c)
            workbook.put(r + 1, c, cellUtf8(rows.text(r, c), &outcome.cellsCut));
        if (progress && (r + 1) % kRowsBetweenProgress == 0 && !progress(r + 1))
            return outcome; // stopped: the temporary file goes with the workbook object
    }
    if (!workbook.close(progress, count))
        return outcome;
    workbook.commit(replace);
    outcome.finished = true;
    return outcome;
}

} // namespace WorkbookWriter
