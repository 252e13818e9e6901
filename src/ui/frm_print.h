#pragma once

#include <QAbstractItemModel>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>

class BusyState;
class QLabel;
class QPushButton;
class QScrollArea;
class ReportDocument;
class ReportPageView;

// The report preview window: pages through a report, prints all of it or the page shown (to a
// printer, or to a PDF file where none is installed). Created on the first print and then only
// hidden; each print hands it a new document.
class frmPrint : public QWidget {
    Q_OBJECT

public:
    // busy, when given, is the main window's: printing holds it, so the grid stays as it is.
    explicit frmPrint(BusyState* busy = nullptr, QWidget* parent = nullptr);
    ~frmPrint() override;

    void setHeader(const QString& title) { m_header = title; } // fvHeader
    void setProgId(const QString& id) { m_progId = id; }       // fvProgID
    QString header() const { return m_header; }
    QString progId() const { return m_progId; }
    // The logo loaded at set-up (null when there is none).
    const QImage& logo() const { return m_logo; }

    // Takes the document and shows its first page.
    void setDocument(std::unique_ptr<ReportDocument> document);
    const ReportDocument* document() const { return m_document.get(); }
    int shownPage() const { return m_page; } // from 0
    bool wholePage() const { return m_wholePage; }

    void cmdFirst_Click();
    void cmdPrevious_Click();
    void cmdNext_Click();
    void cmdLast_Click();
    void cmdPrint_Click();
    void cmdPrintPage_Click();
    void cmdSetupPrinter_Click();
    void cmdExit_Click() { hide(); }
    void vsFrame_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void showPage(int page);
    void stopWatchingGrid();
    // Prints pages from..to on the default printer, or, with none installed, into a PDF file the
    // operator names.
    void printPages(int from, int to);
    // Prints pages from..to into the PDF file path, asking first when a file has that name, and
    // says where the pages went or that they were stopped.
    void printToFile(const QString& path, int from, int to, const std::function<bool(int)>& progress);

    QString m_header;
    QString m_progId;
    QImage m_logo;
    std::unique_ptr<ReportDocument> m_document;
    int m_page = 0;
    bool m_wholePage = false;
    QScrollArea* m_vsFrame = nullptr;
    ReportPageView* m_vsp = nullptr;
    QLabel* m_pageLabel = nullptr;
    QPushButton* m_cmdPrint = nullptr;
    QPointer<const QAbstractItemModel> m_watchedGrid;
    BusyState* m_busy = nullptr;
};
