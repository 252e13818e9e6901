#include "ui/frm_print.h"

#include "app/errors.h"
#include "app/global_settings.h"
#include "app/gui/busy_state.h"
#include "app/gui/run_progress.h"
#include "app/helpers.h"
#include "app/message_catalog.h"
#include "app/operator.h"
#include "app/program_info.h"
#include "app/run_log.h"
#include "grid/grid_model.h"
#include "print/report_document.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScopeGuard>
#include <QScrollArea>
#include <QVBoxLayout>

// One page of the document at the preview's zoom: 80 percent, or the whole page in the frame.
class ReportPageView : public QWidget {
public:
    explicit ReportPageView(QWidget* parent) : QWidget(parent) {}
    std::function<void()> clicked;
    void show(const ReportDocument* document, int page, double zoom) {
        m_document = document;
        m_page = page;
        m_zoom = zoom;
        const QSizeF twips = document ? document->pageTwips() : QSizeF(11906, 16838);
        const double pixelsPerTwip = logicalDpiX() / 1440.0;
        setFixedSize((twips * pixelsPerTwip * zoom).toSize());
        update();
    }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && clicked)
            clicked();
    }
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Qt::gray);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        if (!m_document)
            return;
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        // The page is drawn at the screen's resolution, scaled to the zoom.
        painter.scale(m_zoom, m_zoom);
        m_document->paintPage(painter, m_page);
    }

private:
    const ReportDocument* m_document = nullptr;
    int m_page = 0;
    double m_zoom = 0.8;
};

namespace {
QPushButton* command(QWidget* parent, QLayout* layout, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    layout->addWidget(button);
    return button;
}
} // namespace

frmPrint::frmPrint(BusyState* busy, QWidget* parent) : QWidget(parent, Qt::Window), m_busy(busy) {
    setObjectName(QStringLiteral("frmPrint"));
    auto* layout = new QVBoxLayout(this);
    auto* commands = new QHBoxLayout;
    layout->addLayout(commands);
    connect(command(this, commands, "cmdFirst", QStringLiteral("第一頁")), &QPushButton::clicked, this,
            &frmPrint::cmdFirst_Click);
    connect(command(this, commands, "cmdPrevious", QStringLiteral("上一頁")), &QPushButton::clicked, this,
            &frmPrint::cmdPrevious_Click);
    connect(command(this, commands, "cmdNext", QStringLiteral("下一頁")), &QPushButton::clicked, this,
            &frmPrint::cmdNext_Click);
    connect(command(this, commands, "cmdLast", QStringLiteral("最後一頁")), &QPushButton::clicked, this,
            &frmPrint::cmdLast_Click);
    m_cmdPrint = command(this, commands, "cmdPrint", QStringLiteral("&P 列印"));
    connect(m_cmdPrint, &QPushButton::clicked, this, &frmPrint::cmdPrint_Click);
    connect(command(this, commands, "cmdPrintPage", QStringLiteral("列印本頁")), &QPushButton::clicked, this,
            &frmPrint::cmdPrintPage_Click);
    connect(command(this, commands, "cmdSetupPrinter", QStringLiteral("指定印表機")), &QPushButton::clicked,
            this, &frmPrint::cmdSetupPrinter_Click);
    connect(command(this, commands, "cmdExit", QStringLiteral("離開")), &QPushButton::clicked, this,
            &frmPrint::cmdExit_Click);
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("lblPage"));
    commands->addWidget(m_pageLabel);
    commands->addStretch();
    m_vsFrame = new QScrollArea(this);
    m_vsFrame->setObjectName(QStringLiteral("vsFrame"));
    m_vsFrame->setAlignment(Qt::AlignCenter);
    m_vsFrame->setBackgroundRole(QPalette::Dark);
    m_vsp = new ReportPageView(m_vsFrame);
    m_vsp->setObjectName(QStringLiteral("vsp"));
    m_vsFrame->setWidget(m_vsp);
    m_vsFrame->viewport()->installEventFilter(this);
    m_vsp->clicked = [this] { vsFrame_Click(); };
    layout->addWidget(m_vsFrame, 1);
    resize(900, 700);
    Form_Load();
}

frmPrint::~frmPrint() = default;

void frmPrint::Form_Load() {
    guarded(QStringLiteral("frmPrint_Form_Load"), [&] {
        setWindowTitle(QStringLiteral("報表預覽畫面"));
        const QString logo = GlobalSettings().LogoFile;
        if (!logo.isEmpty() && FileExists(logo))
            m_logo.load(logo); // a file that is no picture leaves the logo empty
        m_page = 0;
        m_wholePage = false;
    });
}

void frmPrint::stopWatchingGrid() {
    if (m_watchedGrid)
        QObject::disconnect(m_watchedGrid, nullptr, this, nullptr);
    m_watchedGrid = nullptr;
}

void frmPrint::setDocument(std::unique_ptr<ReportDocument> document) {
    stopWatchingGrid();
    m_document = std::move(document);
    // The pages read the grid as they are drawn: once its rows or columns change, they are no
    // longer the report that was laid out, and the preview lets it go rather than show a mixture.
    if (const QAbstractItemModel* grid = m_document ? m_document->grid() : nullptr) {
        const auto dropDocument = [this] {
            stopWatchingGrid();
            m_document.reset();
            showPage(0);
            m_pageLabel->setText(QStringLiteral("結果表格已變更, 請重新列印"));
        };
        m_watchedGrid = grid;
        connect(grid, &QAbstractItemModel::modelReset, this, dropDocument);
        for (auto changed : {&QAbstractItemModel::rowsInserted, &QAbstractItemModel::rowsRemoved,
                             &QAbstractItemModel::columnsInserted, &QAbstractItemModel::columnsRemoved})
            connect(grid, changed, this, dropDocument);
        // An edited cell keeps the pages as they are: the page shown is drawn anew with it, as
        // printing will draw it.
        connect(grid, &QAbstractItemModel::dataChanged, this, [this] { m_vsp->update(); });
    }
    showPage(0);
}

void frmPrint::showPage(int page) {
    const int count = m_document ? m_document->pageCount() : 1;
    m_page = std::clamp(page, 0, count - 1);
    double zoom = 0.8;
    if (m_wholePage && m_document) {
        const QSizeF twips = m_document->pageTwips();
        const QSize room = m_vsFrame->viewport()->size();
        const double pixelsPerTwip = m_vsp->logicalDpiX() / 1440.0;
        zoom = std::min(room.width() / (twips.width() * pixelsPerTwip),
                        room.height() / (twips.height() * pixelsPerTwip));
    }
    m_vsp->show(m_document.get(), m_page, zoom);
    m_pageLabel->setText(QStringLiteral("%1 / %2").arg(m_page + 1).arg(count));
}

void frmPrint::cmdFirst_Click() {
    showPage(0);
}

void frmPrint::cmdPrevious_Click() {
    if (m_page > 0)
        showPage(m_page - 1);
}

void frmPrint::cmdNext_Click() {
    if (m_document && m_page + 1 < m_document->pageCount())
        showPage(m_page + 1);
}

void frmPrint::cmdLast_Click() {
    if (m_document)
        showPage(m_document->pageCount() - 1);
}

void frmPrint::vsFrame_Click() {
    m_wholePage = !m_wholePage;
    showPage(m_page);
}

bool frmPrint::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_vsFrame->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        vsFrame_Click();
    return QWidget::eventFilter(watched, event);
}

void frmPrint::printPages(int from, int to) {
    if (!m_document)
        return;
    // Long documents show how far the printing is and stop on Esc; meanwhile the window is busy,
    // so nothing changes the grid the pages are drawn from.
    std::optional<BusyState::Scope> busy;
    if (m_busy)
        busy.emplace(*m_busy);
    const int pages = to - from + 1;
    RunProgress shown(
        [&](qint64 done) {
            m_pageLabel->setText(QStringLiteral("列印中: 第 %1 / %2 頁 (Esc 停止)").arg(done).arg(pages));
        },
        m_busy);
    const ReportDocument::PageProgress progress = [&](int done) { return shown(done); };
    const auto shownAgain = qScopeGuard([this] { showPage(m_page); });
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        // No printer here: the pages go to a PDF file the operator names.
        const QString path = currentOperator().saveFileName(
            QStringLiteral("存成 PDF 檔"), QStringLiteral("report.pdf"), QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty())
            printToFile(path, from, to, progress);
        return;
    }
    QPrinter printer(QPrinterInfo::defaultPrinter());
    printer.setPageLayout(m_document->pageLayout());
    if (!m_document->paintPages(printer, from, to, progress))
        printer.abort();
}

void frmPrint::printToFile(const QString& path, int from, int to, const std::function<bool(int)>& progress) {
    if (QFileInfo(path).isDir())
        throw AppError(ErrNo::PathFileAccess, QStringLiteral("這是資料夾, 不是檔案: ") + path);
    if (QFileInfo::exists(path) &&
        currentOperator().messageBox(LocalMsg(QStringLiteral("PromptFileOverwrite")), MsgButtons::YesNo,
                                     MsgIcon::Question, ProgramInfo::appTitle()) != MsgAnswer::Yes)
        return;
    const bool finished = m_document->writePdf(path, from, to, progress);
    showPage(m_page); // the progress is over before the outcome is said
    currentOperator().messageBox(finished ? QStringLiteral("已列印至檔案: ") + path
                                          : QStringLiteral("已停止列印, 檔案未寫出: ") + path,
                                 MsgButtons::Ok, MsgIcon::Information, ProgramInfo::appTitle());
}

void frmPrint::cmdPrint_Click() {
    try {
        m_cmdPrint->setEnabled(false);
        currentOperator().setBusy(true);
        printPages(0, m_document ? m_document->pageCount() - 1 : 0);
        m_cmdPrint->setEnabled(true);
        currentOperator().setBusy(false);
    } catch (...) {
        // The button comes back after a failure too: a command left disabled could never be retried.
        ReportErrorResult(QStringLiteral("cmdPrint_Click"), currentError(std::current_exception()));
        m_cmdPrint->setEnabled(true);
        currentOperator().setBusy(false);
    }
}

void frmPrint::cmdPrintPage_Click() {
    guarded(QStringLiteral("cmdPrintPage_Click"), [&] { printPages(m_page, m_page); });
}

void frmPrint::cmdSetupPrinter_Click() {
    guarded(QStringLiteral("cmdSetupPrinter_Click"), [&] {
        if (!m_document || m_document->pageCount() < 1)
            return;
        QPrinter printer;
        printer.setPageLayout(m_document->pageLayout());
        QPrintDialog dialog(&printer, this);
        dialog.setMinMax(1, m_document->pageCount());
        if (dialog.exec() != QDialog::Accepted)
            return;
        // The range the operator chose in the dialog, else every page.
        const bool range = printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0;
        const int from = range ? printer.fromPage() - 1 : 0;
        const int to = range ? printer.toPage() - 1 : m_document->pageCount() - 1;
        // Printing to a file goes the way of every file the program writes.
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            printToFile(printer.outputFileName(), from, to, {});
        else
            m_document->paintPages(printer, from, to);
    });
}
