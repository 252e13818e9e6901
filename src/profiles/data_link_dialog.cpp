#include "profiles/data_link_dialog.h"

#include "app/operator.h"
#include "app/program_info.h"
#include "db/engine_route.h"
#include "db/odbc_driver_registry.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using DataLink::Kind;

namespace {
QLineEdit* lineEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

QComboBox* comboBox(QWidget* parent, const char* name, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QLatin1String(name));
    combo->setEditable(true);
    combo->addItems(items);
    return combo;
}

const QString kTestCaption = QStringLiteral("測試連線");
} // namespace

DataLinkDialog::DataLinkDialog(QWidget* owner) : QDialog(owner) {
    setObjectName(QStringLiteral("frmDataLink"));
    setWindowTitle(QStringLiteral("資料連結內容"));
    setModal(true);

    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("cboKind"));
    for (const DataLink::KindInfo& info : DataLink::kinds())
        m_kind->addItem(info.caption, int(info.kind));

    m_driver = comboBox(this, "cboDriver", OdbcDriverRegistry::installedDrivers());
    m_dataSource = comboBox(this, "cboDataSource", OdbcDriverRegistry::dataSourceNames());

    m_fileRow = new QWidget(this);
    auto* fileLayout = new QHBoxLayout(m_fileRow);
    fileLayout->setContentsMargins(0, 0, 0, 0);
    m_file = lineEdit(m_fileRow, "txtFile");
    m_browse = new QPushButton(QStringLiteral("瀏覽..."), m_fileRow);
    m_browse->setObjectName(QStringLiteral("cmdBrowse"));
    m_browse->setAutoDefault(false);
    fileLayout->addWidget(m_file, 1);
    fileLayout->addWidget(m_browse);

    m_server = lineEdit(this, "txtServer");
    m_port = lineEdit(this, "txtPort");
    m_database = lineEdit(this, "txtDatabase");
    m_user = lineEdit(this, "txtUser");
    m_password = lineEdit(this, "txtPassword");
    m_password->setEchoMode(QLineEdit::Password);
    m_savePassword = new QCheckBox(QStringLiteral("允許儲存密碼"), this);
    m_savePassword->setObjectName(QStringLiteral("chkSavePassword"));
    m_extra = lineEdit(this, "txtExtra");
    m_extra->setPlaceholderText(QStringLiteral("名稱=值; 名稱=值"));

    // Both texts can be long: shown in boxes of three lines that never push the rows apart.
    const auto textBox = [this](const char* name) {
        auto* box = new QPlainTextEdit(this);
        box->setObjectName(QLatin1String(name));
        box->setReadOnly(true);
        box->setFixedHeight(box->fontMetrics().lineSpacing() * 3 + 12);
        return box;
    };
    m_result = textBox("txtResult");
    m_route = textBox("txtRoute");
    m_testOutcome = new QLabel(this);
    m_testOutcome->setObjectName(QStringLiteral("lblTest"));
    m_testOutcome->setWordWrap(true);

    m_form = new QFormLayout;
    m_form->addRow(QStringLiteral("資料來源種類:"), m_kind);
    m_form->addRow(QStringLiteral("ODBC 驅動程式:"), m_driver);
    m_form->addRow(QStringLiteral("資料來源名稱:"), m_dataSource);
    m_form->addRow(QStringLiteral("資料庫檔案:"), m_fileRow);
    m_form->addRow(QStringLiteral("伺服器:"), m_server);
    m_form->addRow(QStringLiteral("連接埠:"), m_port);
    m_form->addRow(QStringLiteral("資料庫:"), m_database);
    m_form->addRow(QStringLiteral("使用者名稱:"), m_user);
    m_form->addRow(QStringLiteral("密碼:"), m_password);
    m_form->addRow(QString(), m_savePassword);
    m_form->addRow(QStringLiteral("其他參數:"), m_extra);
    m_form->addRow(QStringLiteral("連線字串:"), m_result);
    m_form->addRow(QStringLiteral("開啟方式:"), m_route);

    auto* buttons = new QDialogButtonBox(this);
    m_test = buttons->addButton(kTestCaption, QDialogButtonBox::ActionRole);
    m_test->setObjectName(QStringLiteral("cmdTest"));
    m_test->setAutoDefault(false);
    QPushButton* ok = buttons->addButton(QStringLiteral("確定"), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setDefault(true);
    QPushButton* cancel = buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    cancel->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(m_testOutcome);
    layout->addWidget(buttons);
    setMinimumWidth(560);

    connect(buttons, &QDialogButtonBox::accepted, this, &DataLinkDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &DataLinkDialog::reject);
    connect(m_test, &QPushButton::clicked, this, &DataLinkDialog::cmdTest_Click);
    connect(m_browse, &QPushButton::clicked, this, &DataLinkDialog::cmdBrowse_Click);
    connect(m_kind, &QComboBox::currentIndexChanged, this, &DataLinkDialog::kindChanged);
    for (QLineEdit* edit : {m_file, m_server, m_port, m_database, m_user, m_password, m_extra})
        connect(edit, &QLineEdit::textChanged, this, &DataLinkDialog::refresh);
    for (QComboBox* combo : {m_driver, m_dataSource})
        connect(combo, &QComboBox::currentTextChanged, this, &DataLinkDialog::refresh);
    connect(m_savePassword, &QCheckBox::toggled, this, &DataLinkDialog::refresh);
    kindChanged();
}

std::optional<QString> DataLinkDialog::PromptNew(QWidget* owner) {
    DataLinkDialog dialog(owner);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.connectionString();
}

DataLink::Source DataLinkDialog::source() const {
    DataLink::Source source;
    source.kind = Kind(m_kind->currentData().toInt());
    source.file = m_file->text();
    source.server = m_server->text();
    source.port = m_port->text();
    source.database = m_database->text();
    source.user = m_user->text();
    source.password = m_password->text();
    source.dataSourceName = m_dataSource->currentText();
    source.driver = m_driver->currentText();
    source.extra = m_extra->text();
    source.savePassword = m_savePassword->isChecked();
    return source;
}

QString DataLinkDialog::connectionString() const {
    const DataLink::Source fields = source();
    return DataLink::connectionString(fields, ProgramInfo::programFolder(), fields.savePassword);
}

void DataLinkDialog::kindChanged() {
    const DataLink::KindInfo& info = DataLink::infoOf(Kind(m_kind->currentData().toInt()));
    m_form->setRowVisible(m_driver, info.fields & DataLink::Driver);
    m_form->setRowVisible(m_dataSource, info.fields & DataLink::DataSourceName);
    m_form->setRowVisible(m_fileRow, info.fields & DataLink::File);
    m_form->setRowVisible(m_server, info.fields & DataLink::Server);
    m_form->setRowVisible(m_port, info.fields & DataLink::Port);
    m_form->setRowVisible(m_database, info.fields & DataLink::Database);
    m_form->setRowVisible(m_user, info.fields & DataLink::User);
    m_form->setRowVisible(m_password, info.fields & DataLink::Password);
    m_form->setRowVisible(m_savePassword, info.fields & DataLink::Password);
    m_server->setPlaceholderText(info.kind == Kind::Oracle ? QStringLiteral("TNS 名稱, 或 主機:埠/服務")
                                                           : QStringLiteral("主機名稱或位址"));
    m_port->setPlaceholderText(info.defaultPort > 0 ? QString::number(info.defaultPort) : QString());
    refresh();
    // Rows come and go with the kind: the window takes the height they need.
    layout()->activate();
    resize(width(), sizeHint().height());
}

void DataLinkDialog::refresh() {
    const DataLink::Source fields = source();
    const QString programFolder = ProgramInfo::programFolder();
    const QString shown = DataLink::connectionString(fields, programFolder, fields.savePassword);
    m_result->setPlainText(shown);
    const auto problem = DataLink::problemOf(fields, programFolder);
    m_route->setPlainText(problem
                              ? *problem
                              : DataLink::routeDescription(
                                    DataLink::connectionString(fields, programFolder, true), programFolder));
    if (!m_testing)
        m_testOutcome->clear();
}

bool DataLinkDialog::fieldsUsable() {
    const auto problem = DataLink::problemOf(source(), ProgramInfo::programFolder());
    if (!problem)
        return true;
    currentOperator().messageBox(*problem, MsgButtons::Ok, MsgIcon::Exclamation, windowTitle());
    return false;
}

void DataLinkDialog::cmdBrowse_Click() {
    const Kind kind = Kind(m_kind->currentData().toInt());
    const QString filter =
        kind == Kind::Access ? QStringLiteral("Access 資料庫 (*.mdb *.accdb);;所有檔案 (*)")
                             : QStringLiteral("SQLite 資料庫 (*.db *.sqlite *.sqlite3 *.db3);;所有檔案 (*)");
    const QString current = m_file->text().trimmed();
    const QString start = current.isEmpty() ? ProgramInfo::programFolder()
                                            : QDir(ProgramInfo::programFolder()).absoluteFilePath(current);
    const QString chosen = currentOperator().openFileName(QStringLiteral("選擇資料庫檔案"), start, filter);
    if (!chosen.isEmpty())
        m_file->setText(QDir::toNativeSeparators(chosen));
}

void DataLinkDialog::cmdTest_Click() {
    if (m_testing || !fieldsUsable())
        return;
    // The test always uses the typed password: whether it is kept in the string is another matter.
    const QString text = DataLink::connectionString(source(), ProgramInfo::programFolder(), true);
    m_testing = true;
    m_test->setEnabled(false);
    m_test->setText(QStringLiteral("測試中..."));
    m_testOutcome->setText(QStringLiteral("正在連線, 最多等候 %1 秒...").arg(kConnectTimeoutSeconds));
    DataLink::testInBackground(text, this, [this](const QString& failure) {
        m_testing = false;
        m_test->setEnabled(true);
        m_test->setText(kTestCaption);
        const QString outcome =
            failure.isEmpty() ? QStringLiteral("測試連線成功。") : QStringLiteral("測試連線失敗: ") + failure;
        m_testOutcome->setText(outcome);
        currentOperator().messageBox(outcome, MsgButtons::Ok,
                                     failure.isEmpty() ? MsgIcon::Information : MsgIcon::Critical,
                                     kTestCaption);
    });
}

void DataLinkDialog::accept() {
    if (!fieldsUsable())
        return;
    QDialog::accept();
}
