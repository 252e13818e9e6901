#pragma once

#include "print/report_layout.h"

#include <QDateTime>
#include <QFont>
#include <QImage>
#include <QPageLayout>
#include <QString>
#include <QStringList>

#include <functional>

class GridModel;
class QPagedPaintDevice;
class QPainter;

// The texts and picture every page carries once the document is complete.
struct ReportDecoration {
    QString customerName;
    QString title;
    QString programId;
    QImage logo;      // null: nothing in the logo rectangle
    QSizeF logoTwips; // the logo rectangle's size
    QString fontFamily = QStringLiteral("標楷體");
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
};

// A report of the result grid: the grid's rows and columns, then (when given) a rule and a text,
// on pages laid out by ReportLayout and drawn only when a page is asked for, each with its
// decoration. Sizes are twips; a page is drawn onto any device at that device's resolution.
class ReportDocument {
public:
    struct Content {
        const GridModel* grid = nullptr;
        QList<double> columnWidths; // twips
        QString text;               // after the grid; empty: no rule, no text
        QFont font;                 // grid and text
        QPageLayout::Orientation orientation = QPageLayout::Portrait;
        QPageSize pageSize = QPageSize(QPageSize::A4);
        double top = 1200, bottom = 1000, left = 1000, right = 1000; // margins, twips
    };

    ReportDocument(Content content, ReportDecoration decoration);

    // Column widths for the report: each at least as the grid shows it (shownTwips), and wide enough
    // for its header and its longest cell in the report's font, up to the width of a page.
    static QList<double> fittedColumnWidths(const GridModel& grid, const QList<double>& shownTwips,
                                            const QFont& font, double pageWidthTwips);

    // The logo box: a picture larger than this is scaled down into it.
    static constexpr QSizeF kLogoMaxTwips{2400, 600};

    int pageCount() const { return m_layout.pageCount(); }
    const GridModel* grid() const { return m_content.grid; }
    QSizeF pageTwips() const { return {m_page.width, m_page.height}; }
    QPageLayout pageLayout() const;

    // Draws page (from 0) with its decoration; the painter's device gives the resolution.
    void paintPage(QPainter& painter, int page) const;
    // Asked after each page drawn with the count so far; false stops the drawing.
    using PageProgress = std::function<bool(int pagesDone)>;
    // Draws pages from..to (from 0, inclusive) onto a paged device, one device page each; false when
    // the progress stopped it.
    bool paintPages(QPagedPaintDevice& device, int from, int to, const PageProgress& progress = {}) const;
    // Writes pages from..to into a PDF file, replacing one of that name only once the new one is
    // complete; throws AppError when it cannot be written. A stopped writing changes no file and
    // gives false.
    bool writePdf(const QString& path, int from, int to, const PageProgress& progress = {}) const;

private:
    void paintGrid(QPainter& painter, const ReportLayout::Slice& slice, double scale) const;
    void paintText(QPainter& painter, const ReportLayout::Slice& slice, double scale) const;
    void decorate(QPainter& painter, int page, double scale) const;

    Content m_content;
    ReportDecoration m_decoration;
    QDateTime m_printedAt; // one time for every page of the document
    ReportLayout::Page m_page;
    double m_rowHeight = 300;
    double m_lineHeight = 240;
    QStringList m_textLines; // the text wrapped to the printable width
    ReportLayout m_layout;
};
