#pragma once

#include "app/operator.h"

#include <QList>
#include <QStringList>

// An Operator for tests: answers come from queues filled before the action, and everything shown
// is recorded. Boxes with a single OK button answer themselves; a question with no queued answer
// is recorded in `unanswered` and answered No or Cancel.
class ScriptedOperator final : public Operator {
public:
    struct Box {
        QString text;
        MsgButtons buttons;
        MsgIcon icon;
        QString caption;
    };
    struct Input {
        QString prompt;
        QString title;
        QString defaultText;
        EchoMode echo;
    };

    ScriptedOperator() { installOperator(this); }
    ~ScriptedOperator() override { installOperator(nullptr); }

    QList<int> answers;
    QList<std::optional<QString>> inputs;
    QStringList fileNames; // answers of open and save dialogs, in order; "" cancels

    QList<Box> boxes;
    QList<Input> inputPrompts;
    QStringList fileDialogStarts;
    QStringList unanswered;
    int beeps = 0;
    bool busy = false;
    int eventPumps = 0;
    // When set, every box and input box answers from inside a nested event loop that runs for a
    // moment, as a real modal box does: posted events and timers run before the answer returns.
    bool answerFromModalLoop = false;

    int messageBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& caption) override;
    std::optional<QString> inputBox(const QString& prompt, const QString& title, const QString& defaultText,
                                    EchoMode echo) override;
    QString openFileName(const QString& caption, const QString& startPath, const QString& filter) override;
    QString saveFileName(const QString& caption, const QString& startPath, const QString& filter) override;
    void beep() override { ++beeps; }
    void setBusy(bool value) override { busy = value; }
    void processEvents() override;

private:
    QString nextFileName(const QString& startPath);
    void runModalLoop() const;
};
