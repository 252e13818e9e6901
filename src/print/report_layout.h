#pragma once

#include <QList>

// A report laid out in pages by arithmetic alone, in twips (1/1440 inch) from the page's top left
// corner: the grid's rows cut into pages below a header row repeated on every page, columns wider
// than the page continued on the pages after (each band of columns a page of its own for the same
// rows), then the text after the grid, a line at a time, continued on new pages as needed. Nothing
// is drawn here: a page is drawn when it is shown or printed, from its slice.
class ReportLayout {
public:
    struct Page {
        double width = 0;  // twips
        double height = 0; // twips
        double top = 1200, bottom = 1000, left = 1000, right = 1000;
        double printableWidth() const { return width - left - right; }
        double printableHeight() const { return height - top - bottom; }
    };
    struct Grid {
        QList<double> columnWidths; // twips
        double rowHeight = 300;     // twips, the header row's as well
        int dataRows = 0;
    };
    struct Text {
        int lines = 0; // after the grid: a rule 300 twips down, then the lines 100 twips below it
        double lineHeight = 240;
        static constexpr double ruleGap = 300;
        static constexpr double textGap = 100;
    };

    // What one page shows.
    struct Slice {
        int firstRow = 0; // data rows, counted from 0
        int rowCount = 0;
        int firstColumn = 0;
        int columnCount = 0;
        bool grid = true;  // the page shows grid rows (with the header row)
        bool rule = false; // the rule above the text stands on this page
        double ruleY = 0;  // twips
        int firstTextLine = 0;
        int textLineCount = 0;
        double textY = 0; // twips: the top of the first text line on this page
    };

    ReportLayout(const Page& page, const Grid& grid, const Text& text);

    int pageCount() const { return m_pageCount; }
    Slice slice(int page) const; // page counted from 0

    // The bands of columns a page width holds: the first column of each band.
    const QList<int>& columnBands() const { return m_bandStarts; }
    int rowsPerPage() const { return m_rowsPerPage; }

private:
    Page m_page;
    Grid m_grid;
    Text m_text;
    QList<int> m_bandStarts;
    int m_rowsPerPage = 1;
    int m_rowPages = 1;
    int m_gridPages = 1;
    // The text: how many lines stand on the grid's last page, and the pages after it.
    double m_textStartY = 0; // the rule's y on the grid's last page (or on the first text page)
    bool m_ruleOnNewPage = false;
    int m_linesOnGridPage = 0;
    int m_linesPerPage = 1;
    int m_pageCount = 1;
};
