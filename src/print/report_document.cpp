#include "print/report_document.h"

#include "app/errors.h"
#include "app/file_writer.h"
#include "app/helpers.h"
#include "grid/grid_model.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QScreen>
#include <QTextLayout>

#include <algorithm>

namespace {
constexpr double kTwipsPerInch = 1440;

// Texts are measured in twips, on a device of 1440 dots an inch: at that resolution no hinting
// narrows a glyph, so what fits here fits on paper and on the screen alike.
const QPaintDevice* twipDevice() {
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_RGB32);
        image.setDotsPerMeterX(int(kTwipsPerInch / 0.0254));
        image.setDotsPerMeterY(int(kTwipsPerInch / 0.0254));
        return image;
    }();
    return &device;
}

QFontMetricsF twipMetrics(const QFont& font) {
    return QFontMetricsF(font, twipDevice());
}

ReportLayout::Page pageOf(const ReportDocument::Content& c) {
    const QSizeF points = c.pageSize.size(QPageSize::Point);
    ReportLayout::Page page;
    const bool landscape = c.orientation == QPageLayout::Landscape;
    page.width = (landscape ? points.height() : points.width()) * 20; // a point is 20 twips
    page.height = (landscape ? points.width() : points.height()) * 20;
    page.top = c.top;
    page.bottom = c.bottom;
    page.left = c.left;
    page.right = c.right;
    return page;
}

// The text cut into lines that fit the width, at the font's measure.
QStringList wrap(const QString& text, const QFont& font, double widthTwips) {
    QStringList lines;
    if (text.isEmpty())
        return lines;
    for (const QString& paragraph : text.split(QLatin1Char('\n'))) {
        QTextLayout layout(paragraph, font, const_cast<QPaintDevice*>(twipDevice()));
        QTextOption option;
        option.setWrapMode(
            QTextOption::WrapAtWordBoundaryOrAnywhere); // a word wider than the page breaks too
        layout.setTextOption(option);
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(widthTwips);
            lines << paragraph.mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        if (paragraph.isEmpty())
            lines << QString();
    }
    return lines;
}

ReportLayout::Grid gridOf(const ReportDocument::Content& c, double rowHeight) {
    ReportLayout::Grid grid;
    grid.columnWidths = c.columnWidths;
    grid.rowHeight = rowHeight;
    grid.dataRows = c.grid ? std::max(0, c.grid->rows() - 1) : 0;
    return grid;
}
} // namespace

ReportDocument::ReportDocument(Content content, ReportDecoration decoration)
    : m_content(std::move(content)), m_decoration(std::move(decoration)), m_printedAt(m_decoration.now()),
      m_page(pageOf(m_content)), m_rowHeight(twipMetrics(m_content.font).height() + 90),
      m_lineHeight(twipMetrics(m_content.font).lineSpacing()),
      m_textLines(wrap(m_content.text, m_content.font, m_page.printableWidth())),
      m_layout(m_page, gridOf(m_content, m_rowHeight), {int(m_textLines.size()), m_lineHeight}) {
}

QList<double> ReportDocument::fittedColumnWidths(const GridModel& grid, const QList<double>& shownTwips,
                                                 const QFont& font, double pageWidthTwips) {
    const QFontMetricsF metrics = twipMetrics(font);
    QList<double> widths;
    for (int col = 0; col < grid.cols(); ++col) {
        double wanted = shownTwips.value(col);
        for (int row : {0, grid.longestRow(col)}) {
            if (row < 0 || row >= grid.rows())
                continue;
            const QString text = grid.text(row, col).left(GridModel::kShownChars);
            wanted = std::max(wanted, metrics.horizontalAdvance(text) + 120);
        }
        widths << std::min(wanted, pageWidthTwips);
    }
    return widths;
}

QPageLayout ReportDocument::pageLayout() const {
    return QPageLayout(m_content.pageSize, m_content.orientation, QMarginsF(0, 0, 0, 0));
}

void ReportDocument::paintPage(QPainter& painter, int page) const {
    const double scale = painter.device()->logicalDpiX() / kTwipsPerInch; // device units per twip
    const ReportLayout::Slice slice = m_layout.slice(page);
    painter.save();
    if (slice.grid)
        paintGrid(painter, slice, scale);
    paintText(painter, slice, scale);
    decorate(painter, page, scale);
    painter.restore();
}

void ReportDocument::paintGrid(QPainter& painter, const ReportLayout::Slice& slice, double scale) const {
    if (!m_content.grid)
        return;
    const GridModel& grid = *m_content.grid;
    QFont font = m_content.font;
    painter.setFont(font);
    painter.setPen(QPen(Qt::black, 0));
    const double rowHeight = m_rowHeight * scale;
    const auto paintRow = [&](int gridRow, double y, bool header) {
        double x = m_page.left * scale;
        for (int c = slice.firstColumn; c < slice.firstColumn + slice.columnCount; ++c) {
            const double width = m_content.columnWidths.value(c) * scale;
            const QRectF cell(x, y, width, rowHeight);
            if (header)
                painter.fillRect(cell, QColor(230, 230, 230));
            painter.drawRect(cell);
            // A cell shows what fits on its line; the grid shows no more of a long text either.
            QString text = gridRow < grid.rows() && c < grid.cols()
                               ? grid.text(gridRow, c).left(GridModel::kShownChars)
                               : QString();
            text.replace(u'\n', u' ').replace(u'\r', u' '); // a cell is one line on paper
            painter.drawText(cell.adjusted(45 * scale, 0, -45 * scale, 0), Qt::AlignVCenter | Qt::AlignLeft,
                             painter.fontMetrics().elidedText(text, Qt::ElideRight, width - 90 * scale));
            x += width;
        }
    };
    double y = m_page.top * scale;
    paintRow(0, y, true);
    for (int r = 0; r < slice.rowCount; ++r) {
        y += rowHeight;
        paintRow(slice.firstRow + r + 1, y, false);
    }
}

void ReportDocument::paintText(QPainter& painter, const ReportLayout::Slice& slice, double scale) const {
    if (slice.rule) {
        painter.setPen(QPen(Qt::black, 0));
        painter.drawLine(QPointF(m_page.left * scale, slice.ruleY * scale),
                         QPointF((m_page.width - m_page.left - m_page.right) * scale, slice.ruleY * scale));
    }
    if (slice.textLineCount <= 0)
        return;
    painter.setFont(m_content.font);
    double y = slice.textY * scale;
    for (int i = 0; i < slice.textLineCount; ++i) {
        painter.drawText(
            QRectF(m_page.left * scale, y, m_page.printableWidth() * scale, m_lineHeight * scale),
            Qt::AlignLeft | Qt::AlignTop, m_textLines.value(slice.firstTextLine + i));
        y += m_lineHeight * scale;
    }
}

void ReportDocument::decorate(QPainter& painter, int page, double scale) const {
    const ReportDecoration& d = m_decoration;
    const auto font = [&](double points, bool bold) {
        QFont f(d.fontFamily);
        f.setPointSizeF(points);
        f.setBold(bold);
        painter.setFont(f);
    };
    const double left = m_page.left * scale;
    const double width = (m_page.width - m_page.left - m_page.right) * scale;
    const auto line = [&](double yTwips, Qt::Alignment align, const QString& text) {
        const double height = painter.fontMetrics().height() * 1.2;
        // A text longer than the line is cut at its end, not at both edges of the paper.
        painter.drawText(QRectF(left, yTwips * scale, width, height), align | Qt::AlignTop,
                         painter.fontMetrics().elidedText(text, Qt::ElideRight, int(width)));
    };
    painter.setPen(Qt::black);
    font(12, false);
    line(400, Qt::AlignHCenter, d.customerName);
    font(15, true);
    line(700, Qt::AlignHCenter, d.title);
    font(8, true);
    line(m_page.top - 300, Qt::AlignRight, QStringLiteral("列印時間: ") + DisplayDateTime(m_printedAt));
    const double footer = m_page.height - m_page.bottom + 150;
    line(footer, Qt::AlignLeft, QStringLiteral("程式編號:") + d.programId);
    line(footer, Qt::AlignHCenter, d.customerName);
    line(footer, Qt::AlignRight, QStringLiteral("頁次:%1/%2").arg(page + 1).arg(pageCount()));
    if (!d.logo.isNull()) {
        // The logo box holds at most kLogoMaxTwips; a bigger picture is scaled down into it, whole.
        QSizeF box = d.logoTwips;
        if (box.width() > kLogoMaxTwips.width() || box.height() > kLogoMaxTwips.height())
            box.scale(kLogoMaxTwips, Qt::KeepAspectRatio);
        painter.drawImage(QRectF(800 * scale, 500 * scale, box.width() * scale, box.height() * scale),
                          d.logo);
    }
}

bool ReportDocument::paintPages(QPagedPaintDevice& device, int from, int to,
                                const PageProgress& progress) const {
    from = std::clamp(from, 0, pageCount() - 1);
    to = std::clamp(to, from, pageCount() - 1);
    QPainter painter(&device);
    for (int page = from; page <= to; ++page) {
        if (page > from)
            device.newPage();
        paintPage(painter, page);
        if (progress && !progress(page - from + 1))
            return false;
    }
    return true;
}

bool ReportDocument::writePdf(const QString& path, int from, int to, const PageProgress& progress) const {
    // Written beside the file and put under its name only when complete: a full disk or a stop
    // leaves the old file as it was and no part of a new one.
    PendingFile pending(path);
    bool finished = false;
    {
        QPdfWriter writer(&pending.device());
        writer.setPageLayout(pageLayout());
        writer.setResolution(300);
        writer.setCreator(QStringLiteral("ORVIK"));
        // A full disk ends the drawing at once; the commit then says why.
        finished = paintPages(writer, from, to,
                              [&](int done) { return !pending.failed() && (!progress || progress(done)); });
    }
    if (finished || pending.failed())
        pending.commit();
    return finished;
}
