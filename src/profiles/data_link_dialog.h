#pragma once

#include "profiles/data_link.h"

#include <QDialog>

#include <optional>

class QCheckBox;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

// The data-link dialog: the operator picks a kind of source, fills the fields it needs, sees the
// connection string it makes and how it would be opened, and may test it on a connection of the
// dialog's own. Modal to its owner window; OK gives the string, Cancel gives none.
class DataLinkDialog : public QDialog {
    Q_OBJECT

public:
    explicit DataLinkDialog(QWidget* owner);

    // Shows the dialog for a new connection; the composed string, or nullopt when cancelled.
    static std::optional<QString> PromptNew(QWidget* owner);

    DataLink::Source source() const;
    // The string OK gives: with the password only when saving it is allowed.
    QString connectionString() const;
    bool isTesting() const { return m_testing; }

    void cmdTest_Click();
    void cmdBrowse_Click();
    void accept() override;

private:
    void kindChanged();
    void refresh();
    // False (after telling the operator) when the fields cannot make a string yet.
    bool fieldsUsable();

    QComboBox* m_kind = nullptr;
    QComboBox* m_driver = nullptr;
    QComboBox* m_dataSource = nullptr;
    QLineEdit* m_file = nullptr;
    QPushButton* m_browse = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_port = nullptr;
    QLineEdit* m_database = nullptr;
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QCheckBox* m_savePassword = nullptr;
    QLineEdit* m_extra = nullptr;
    QPlainTextEdit* m_result = nullptr;
    QPlainTextEdit* m_route = nullptr;
    QLabel* m_testOutcome = nullptr;
    QPushButton* m_test = nullptr;
    QFormLayout* m_form = nullptr;
    QWidget* m_fileRow = nullptr;
    bool m_testing = false;
};
