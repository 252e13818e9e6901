#pragma once

#include "app/operator.h"

// The Operator of the running program: Qt's message boxes, input dialog and file dialogs.
class WidgetOperator final : public Operator {
public:
    int messageBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& caption) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title, const QString& defaultText,
                                    EchoMode echo) override;
    QString openFileName(const QString& caption, const QString& startPath, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& startPath, const QString& filter) override;
    void beep() override;
    void setBusy(bool busy) override;
    void processEvents() override;
};
