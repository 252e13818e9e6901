#pragma once

#include <QDialog>
#include <QString>

class FlexGrid;
class QLabel;
class QPushButton;
class Recordset;

// Where the buttons of the message dialog's button bar stand, in twips from the bar's left edge.
// Computed from the bar's width and the buttons' design widths.
struct SureButtonPlaces {
    bool cancelShown = true;
    double okLeft = 0;
    double cancelLeft = 0;
    double optionLeft = 0; // meaningful only when the option button takes part in the layout
    bool optionPlaced = false;
};
SureButtonPlaces sureButtonPlaces(int barWidthTwips, bool okAlone, bool withOption);

// The general modal dialog: a message, an optional list below it, and OK, Cancel and an optional
// third button with captions of the caller's choosing. Built once and then only hidden: the list
// and BUTTONOPTION keep their contents from one call to the next until the caller clears them.
//
// Calling order: ClearMsgFrom (optional), SetList (optional), AddLine any number of times (or a
// result through SHOWMSG's pRST), then SHOWMSG, which returns true for OK or the option button.
class frmSure : public QDialog {
    Q_OBJECT

public:
    // Design sizes, in twips.
    static constexpr int kOptionWidth = 960;
    static constexpr int kOkWidth = 1440;
    static constexpr int kCancelWidth = 1380;
    static constexpr int kButtonHeight = 615;
    static constexpr int kShortHeight = 4200;
    static constexpr int kTallHeight = 5910;
    static constexpr int kDesignWidth = 7800;

    explicit frmSure(QWidget* parent = nullptr);

    // The program's one instance, made on first use as a child of the main window.
    static frmSure& shared();

    // True after the option button closed the dialog; false from each SHOWMSG on.
    bool BUTTONOPTION = false;
    QString fvFormSize;

    void ClearMsgFrom();
    void SetList(int pvFixedCols, int pvFixedRows, float pvFontSize);
    void AddLine(const QString& pvLine);
    // The result in the list transposed: one row per field, one column per record from the
    // current one to the end.
    void PickRST(Recordset* pRST);
    bool SHOWMSG(const QString& pvMsg, const QString& pvTitle = QStringLiteral("訊息視窗"),
                 const QString& pvReturn = QStringLiteral("Y"), Recordset* pRST = nullptr,
                 const QString& pvButtonOKTitle = QStringLiteral("確定"),
                 const QString& pvButtonCancelTitle = QStringLiteral("取消"), bool pbShortSize = false,
                 const QString& pvButtonOptionTitle = QString());

    FlexGrid* list() const { return m_list; }
    QString messageText() const;
    bool listShown() const;
    bool messageShown() const;
    // The window's height and the buttons' left edges, in twips, as SHOWMSG laid them out.
    int heightTwips() const { return m_heightTwips; }
    int buttonLeftTwips(const QPushButton* button) const;

    void cmdOK_Click();
    void cmdCancel_Click();
    void cmdOption_Click();

protected:
    void resizeEvent(QResizeEvent* event) override;
    // Esc and the window frame's close answer as Cancel does.
    void reject() override { cmdCancel_Click(); }

private:
    void Form_Load();
    void placeButtons();
    void placePanels();

    QWidget* m_body = nullptr;         // vsElastic2
    QWidget* m_listPanel = nullptr;    // elaList
    FlexGrid* m_list = nullptr;        // fgList
    QWidget* m_messagePanel = nullptr; // ela1
    QLabel* m_message = nullptr;       // elaMsg
    QWidget* m_buttonBar = nullptr;    // elaSure
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QPushButton* m_option = nullptr;
    bool m_answer = false;
    bool m_okAlone = false;
    bool m_showList = false;
    bool m_showMessage = true;
    int m_heightTwips = kTallHeight;
};
