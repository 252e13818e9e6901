#include "ui/frm_about.h"

#include "app/global_settings.h"
#include "app/helpers.h"
#include "app/operator.h"
#include "app/program_info.h"

#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <functional>

namespace {
QLabel* label(QWidget* parent, QLayout* layout, const char* name, const QString& text) {
    auto* shown = new QLabel(text, parent);
    shown->setObjectName(QLatin1String(name));
    shown->setWordWrap(true);
    layout->addWidget(shown);
    return shown;
}

QFrame* separator(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// Each step of the set-up on its own: one that fails leaves the others standing.
void step(const std::function<void()>& body) {
    try {
        body();
    } catch (...) {
    }
}
} // namespace

frmAbout::frmAbout(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmAbout"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("說明"));
    auto* layout = new QVBoxLayout(this);
    m_title = label(this, layout, "lblTitle", QStringLiteral("Application Title"));
    QFont titleFont = m_title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_title->setFont(titleFont);
    m_version = label(this, layout, "lblVersion", QStringLiteral("Version"));
    m_corpName = label(this, layout, "lblCorpName", QStringLiteral("CorpName"));
    m_corpName->setFont(QFont(QStringLiteral("Times New Roman"), m_corpName->font().pointSize()));
    layout->addWidget(separator(this));
    label(this, layout, "lblDescription",
          QStringLiteral(
              "資料庫查詢與維護工作台: 連線設定、SQL 查詢、資料維護、匯出匯入、SQL 指令檔與報表列印。"));
    m_serial = label(this, layout, "lblSerial", QStringLiteral("FileDate"));
    layout->addWidget(separator(this));
    label(this, layout, "lblDisclaimer",
          QStringLiteral("Warning: 本程式受著作權法保護, 未經授權不得複製或散佈本程式之全部或部分。"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    auto* ok = new QPushButton(QStringLiteral("確定(&O)"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    auto* sysInfo = new QPushButton(QStringLiteral("系統資訊(&S)"), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    buttons->addWidget(ok);
    buttons->addWidget(sysInfo);
    layout->addLayout(buttons);
    connect(ok, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
    connect(sysInfo, &QPushButton::clicked, this, [] { StartSysInfo(); });
    Form_Load();
}

void frmAbout::Form_Load() {
    const QString exe = ProgramInfo::exeBaseName();
    step([&] { setWindowTitle(QStringLiteral("關於") + exe); });
    step([&] { m_corpName->setText(GlobalSettings().CorpName); });
    step([&] {
        m_version->setText(QStringLiteral("版本: ") + exe + QStringLiteral(", ") +
                           ProgramInfo::versionText());
    });
    step([&] { m_title->setText(ProgramInfo::appTitle()); });
    step([&] {
        // The program file has no ".exe" here: its own path is taken.
        const QFileInfo file(ProgramInfo::exePath());
        if (file.isFile())
            m_serial->setText(QStringLiteral("檔案日期:") +
                              DisplayDateTime(file.lastModified()));
    });
}

void frmAbout::StartSysInfo() {
    currentOperator().messageBox(QStringLiteral("System Information Is Unavailable At This Time"),
                                 MsgButtons::Ok, MsgIcon::None, ProgramInfo::appTitle());
}
