#include "ui/frm_sure.h"

#include "app/errors.h"
#include "app/gui/widget_helpers.h"
#include "db/recordset.h"
#include "grid/flex_grid.h"
#include "grid/result_loader.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <cmath>

namespace {
constexpr int kBarMargin = 120; // twips above and below the buttons
constexpr int kOptionDesignLeft = 120;

int px(int twips, const QWidget* widget) {
    return FlexGrid::twipsToPixels(twips, widget);
}
} // namespace

SureButtonPlaces sureButtonPlaces(int barWidthTwips, bool okAlone, bool withOption) {
    SureButtonPlaces places;
    const double w = barWidthTwips;
    if (okAlone) {
        places.cancelShown = false;
        places.okLeft = (w - frmSure::kOkWidth) / 2;
    } else if (!withOption) {
        const double gap = std::floor(w - frmSure::kOkWidth - frmSure::kCancelWidth) / 3;
        places.okLeft = gap;
        places.cancelLeft = 2 * gap + frmSure::kOkWidth;
    } else {
        const double gap =
            std::floor(w - frmSure::kOkWidth - frmSure::kCancelWidth - frmSure::kOptionWidth - 10) / 3;
        places.optionPlaced = true;
        places.optionLeft = 10;
        places.okLeft = gap + 10 + frmSure::kOptionWidth;
        places.cancelLeft = 2 * gap + 10 + frmSure::kOptionWidth + frmSure::kOkWidth;
    }
    return places;
}

frmSure::frmSure(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmSure"));
    setModal(true);

    m_body = new QWidget(this);
    m_body->setObjectName(QStringLiteral("vsElastic2"));
    m_messagePanel = new QWidget(m_body);
    m_messagePanel->setObjectName(QStringLiteral("ela1"));
    auto* scroll = new QScrollArea(m_messagePanel);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    m_message = new QLabel(scroll);
    m_message->setObjectName(QStringLiteral("elaMsg"));
    m_message->setWordWrap(true);
    m_message->setAlignment(Qt::AlignCenter);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    scroll->setWidget(m_message);
    auto* messageLayout = new QVBoxLayout(m_messagePanel);
    messageLayout->setContentsMargins(6, 6, 6, 6);
    messageLayout->addWidget(scroll);

    m_listPanel = new QWidget(m_body);
    m_listPanel->setObjectName(QStringLiteral("elaList"));
    m_list = new FlexGrid(m_listPanel);
    m_list->setObjectName(QStringLiteral("fgList"));
    auto* listLayout = new QVBoxLayout(m_listPanel);
    listLayout->setContentsMargins(6, 0, 6, 0);
    listLayout->addWidget(m_list);

    m_buttonBar = new QWidget(this);
    m_buttonBar->setObjectName(QStringLiteral("elaSure"));
    const auto button = [this](const char* name, const QString& caption, int widthTwips) {
        auto* b = new QPushButton(caption, m_buttonBar);
        b->setObjectName(QLatin1String(name));
        b->resize(px(widthTwips, this), px(kButtonHeight, this));
        return b;
    };
    m_option = button("cmdOption", QStringLiteral("選項"), kOptionWidth);
    m_ok = button("cmdOK", QStringLiteral("確定"), kOkWidth);
    m_cancel = button("cmdCancel", QStringLiteral("取消"), kCancelWidth);
    m_ok->setDefault(true);
    connect(m_ok, &QPushButton::clicked, this, &frmSure::cmdOK_Click);
    connect(m_cancel, &QPushButton::clicked, this, &frmSure::cmdCancel_Click);
    connect(m_option, &QPushButton::clicked, this, &frmSure::cmdOption_Click);

    resize(px(kDesignWidth, this), px(kTallHeight, this));
    Form_Load();
}

frmSure& frmSure::shared() {
    // Made once and only hidden after each use; a child of the main window, which ends it.
    static QPointer<frmSure> instance;
    if (!instance) {
        QWidget* owner = nullptr;
        for (QWidget* top : QApplication::topLevelWidgets())
            if (qobject_cast<QMainWindow*>(top))
                owner = top;
        instance = new frmSure(owner);
    }
    return *instance;
}

void frmSure::Form_Load() {
    guarded(QStringLiteral("frmSure_Form_Load"), [&] {
        m_message->clear();
        m_list->setRows(0);
        m_list->setCols(0);
        fvFormSize.clear();
        m_showList = false;
        m_option->hide();
        placePanels();
    });
}

void frmSure::ClearMsgFrom() {
    guarded(QStringLiteral("frmSure_ClearFrom"), [&] {
        m_message->clear();
        m_list->setRows(0);
        m_list->setCols(0);
        m_list->setFixedCols(0);
        m_list->setFixedRows(0);
        m_list->setFontSize(12);
    });
}

void frmSure::SetList(int pvFixedCols, int pvFixedRows, float pvFontSize) {
    guarded(QStringLiteral("frmSure_SetList"), [&] {
        m_list->setFixedCols(pvFixedCols);
        m_list->setFixedRows(pvFixedRows);
        m_list->setFontSize(pvFontSize);
    });
}

void frmSure::AddLine(const QString& pvLine) {
    // Each step reports its own failure and the next one still runs.
    const QString label = QStringLiteral("frmSure_AddLine");
    guarded(label, [&] { m_list->setCols(int(pvLine.count(u'\t')) + 1); });
    guarded(label, [&] { m_list->addItem(pvLine); });
    guarded(label, [&] { m_list->autoSize(0, m_list->cols() - 1); });
}

void frmSure::PickRST(Recordset* pRST) {
    guarded(QStringLiteral("frmSure_PickRST"), [&] {
        m_list->setCols(1);
        m_list->setRows(0);
        if (!pRST || !pRST->isOpen())
            throw Errors::objectClosed();
        if (pRST->eof())
            return;
        m_list->setRedraw(false);
        const int fields = pRST->fieldCount();
        for (int i = 0; i < fields; ++i)
            m_list->addItem(pRST->field(i).name);
        m_list->setFixedCols(1);
        while (!pRST->eof()) {
            const int col = m_list->cols();
            m_list->setCols(col + 1);
            for (int i = 0; i < fields; ++i)
                m_list->setTextMatrix(i, col, cellText(pRST->value(i), pRST->field(i).type));
            pRST->moveNext();
        }
        m_list->setRedraw(true);
        m_list->autoSize(0, m_list->cols() - 1);
    });
    m_list->setRedraw(true);
}

bool frmSure::SHOWMSG(const QString& pvMsg, const QString& pvTitle, const QString& pvReturn, Recordset* pRST,
                      const QString& pvButtonOKTitle, const QString& pvButtonCancelTitle, bool pbShortSize,
                      const QString& pvButtonOptionTitle) {
    bool shown = false;
    guarded(QStringLiteral("frmSure_ShowMsg"), [&] {
        QApplication::processEvents();
        m_message->setText(pvMsg);
        if (pRST)
            PickRST(pRST);
        // A one-column list is never shown.
        m_showList = m_list->rows() >= 1 && m_list->cols() != 1;
        m_showMessage = !pvMsg.trimmed().isEmpty();
        m_ok->setText(pvButtonOKTitle);
        m_cancel->setText(pvButtonCancelTitle);
        if (!pvButtonOptionTitle.isEmpty()) {
            m_option->setText(pvButtonOptionTitle);
            m_option->show();
        } else {
            m_option->hide();
        }
        BUTTONOPTION = false;
        setWindowTitle(pvTitle);
        m_okAlone = pvReturn.compare(QLatin1String("N"), Qt::CaseInsensitive) == 0;
        m_heightTwips = pbShortSize && m_list->rows() == 0 ? kShortHeight : kTallHeight;
        resize(width(), px(m_heightTwips, this));
        placePanels();
        CenterForm(this);
        shown = true;
        exec();
    });
    return shown && m_answer;
}

void frmSure::cmdOK_Click() {
    m_answer = true;
    QDialog::accept();
}

void frmSure::cmdCancel_Click() {
    m_answer = false;
    QDialog::reject();
}

void frmSure::cmdOption_Click() {
    m_answer = true;
    BUTTONOPTION = true;
    QDialog::accept();
}

QString frmSure::messageText() const {
    return m_message->text();
}

bool frmSure::listShown() const {
    return !m_listPanel->isHidden();
}

bool frmSure::messageShown() const {
    return !m_messagePanel->isHidden();
}

int frmSure::buttonLeftTwips(const QPushButton* button) const {
    return FlexGrid::pixelsToTwips(button->x(), this);
}

void frmSure::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    placePanels();
}

void frmSure::placePanels() {
    const int barHeight = px(kButtonHeight + 2 * kBarMargin, this);
    m_buttonBar->setGeometry(0, height() - barHeight, width(), barHeight);
    m_body->setGeometry(0, 0, width(), height() - barHeight);
    const int body = m_body->height();
    const int gap = px(100, this);
    int listHeight = 0;
    if (m_showList) {
        listHeight = m_showMessage ? body * 3 / 5 : body - gap;
        m_listPanel->setGeometry(0, body - listHeight, width(), listHeight);
        m_listPanel->show();
    } else {
        m_listPanel->hide();
    }
    if (m_showMessage) {
        m_messagePanel->setGeometry(0, 0, width(), std::max(0, body - gap - listHeight));
        m_messagePanel->show();
    } else {
        m_messagePanel->hide();
    }
    placeButtons();
}

void frmSure::placeButtons() {
    const int barTwips = FlexGrid::pixelsToTwips(m_buttonBar->width(), this);
    const SureButtonPlaces places = sureButtonPlaces(barTwips, m_okAlone, !m_option->isHidden());
    const int top = px(kBarMargin, this);
    m_ok->move(px(int(std::lround(places.okLeft)), this), top);
    m_cancel->setVisible(places.cancelShown);
    if (places.cancelShown)
        m_cancel->move(px(int(std::lround(places.cancelLeft)), this), top);
    m_option->move(px(places.optionPlaced ? int(std::lround(places.optionLeft)) : kOptionDesignLeft, this),
                   top);
}
