#include "print/report_layout.h"

#include <algorithm>
#include <cmath>

ReportLayout::ReportLayout(const Page& page, const Grid& grid, const Text& text)
    : m_page(page), m_grid(grid), m_text(text) {
    // Columns in bands that fit the printable width; a column wider than the page is a band alone.
    const double width = std::max(1.0, m_page.printableWidth());
    double used = 0;
    for (int c = 0; c < m_grid.columnWidths.size(); ++c) {
        if (m_bandStarts.isEmpty() || used + m_grid.columnWidths[c] > width) {
            if (m_bandStarts.isEmpty() || used > 0)
                m_bandStarts << c;
            used = 0;
        }
        used += m_grid.columnWidths[c];
    }
    if (m_bandStarts.isEmpty())
        m_bandStarts << 0;

    const double rowHeight = std::max(1.0, m_grid.rowHeight);
    const double height = std::max(rowHeight * 2, m_page.printableHeight());
    m_rowsPerPage = std::max(1, int(std::floor(height / rowHeight)) - 1); // below the header row
    m_rowPages = std::max(1, (m_grid.dataRows + m_rowsPerPage - 1) / m_rowsPerPage);
    m_gridPages = m_rowPages * int(m_bandStarts.size());
    m_pageCount = m_gridPages;
    if (m_text.lines <= 0)
        return;

    // The text follows the last rows, on the last page of the first band of columns' last row page
    // being the page the grid ends on: the last grid page.
    const int rowsOnLast = m_grid.dataRows - (m_rowPages - 1) * m_rowsPerPage;
    const double gridEnd = m_page.top + rowHeight * (1 + std::max(0, rowsOnLast));
    const double lineHeight = std::max(1.0, m_text.lineHeight);
    const double pageEnd = m_page.height - m_page.bottom;
    m_linesPerPage = std::max(1, int(std::floor(m_page.printableHeight() / lineHeight)));
    double firstTextY = gridEnd + Text::ruleGap + Text::textGap;
    m_textStartY = gridEnd + Text::ruleGap;
    if (firstTextY + lineHeight > pageEnd) { // not one line fits below the grid: all on new pages
        m_ruleOnNewPage = true;
        m_textStartY = m_page.top;
        firstTextY = m_page.top + Text::textGap;
        m_linesOnGridPage = 0;
        const int firstPageLines = std::max(1, int(std::floor((pageEnd - firstTextY) / lineHeight)));
        const int rest = std::max(0, m_text.lines - firstPageLines);
        m_pageCount += 1 + (rest + m_linesPerPage - 1) / m_linesPerPage;
        return;
    }
    m_linesOnGridPage = std::min(m_text.lines, int(std::floor((pageEnd - firstTextY) / lineHeight)));
    const int rest = m_text.lines - m_linesOnGridPage;
    m_pageCount += (rest + m_linesPerPage - 1) / m_linesPerPage;
}

ReportLayout::Slice ReportLayout::slice(int page) const {
    Slice s;
    page = std::clamp(page, 0, m_pageCount - 1);
    const int bands = int(m_bandStarts.size());
    if (page < m_gridPages) {
        const int rowPage = page / bands;
        const int band = page % bands;
        s.firstRow = rowPage * m_rowsPerPage;
        s.rowCount = std::clamp(m_grid.dataRows - s.firstRow, 0, m_rowsPerPage);
        s.firstColumn = m_bandStarts[band];
        const int next = band + 1 < bands ? m_bandStarts[band + 1] : int(m_grid.columnWidths.size());
        s.columnCount = next - s.firstColumn;
        if (page == m_gridPages - 1 && m_text.lines > 0 && !m_ruleOnNewPage) {
            s.rule = true;
            s.ruleY = m_textStartY;
            s.firstTextLine = 0;
            s.textLineCount = m_linesOnGridPage;
            s.textY = m_textStartY + Text::textGap;
        }
        return s;
    }
    s.grid = false;
    const int after = page - m_gridPages; // text pages after the grid
    if (m_ruleOnNewPage) {
        const double firstTextY = m_page.top + Text::textGap;
        const int firstPageLines = std::max(1, int(std::floor((m_page.height - m_page.bottom - firstTextY) /
                                                              std::max(1.0, m_text.lineHeight))));
        if (after == 0) {
            s.rule = true;
            s.ruleY = m_page.top;
            s.textLineCount = std::min(m_text.lines, firstPageLines);
            s.textY = firstTextY;
            return s;
        }
        s.firstTextLine = firstPageLines + (after - 1) * m_linesPerPage;
    } else {
        s.firstTextLine = m_linesOnGridPage + after * m_linesPerPage;
    }
    s.textLineCount = std::clamp(m_text.lines - s.firstTextLine, 0, m_linesPerPage);
    s.textY = m_page.top;
    return s;
}
