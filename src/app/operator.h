#pragma once

#include <QString>

#include <optional>

// Answers of a message box, numbered as the old message box numbered them.
namespace MsgAnswer {
inline constexpr int Ok = 1;
inline constexpr int Cancel = 2;
inline constexpr int Abort = 3;
inline constexpr int Retry = 4;
inline constexpr int Ignore = 5;
inline constexpr int Yes = 6;
inline constexpr int No = 7;
} // namespace MsgAnswer

enum class MsgButtons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class MsgIcon { None, Critical, Question, Exclamation, Information };
enum class EchoMode { Normal, Password };

// Every question to the person at the screen goes through here: the real one shows Qt dialogs,
// tests install a scripted one that answers from a queue and records what was shown.
class Operator {
public:
    virtual ~Operator() = default;

    // Returns one of MsgAnswer.
    virtual int messageBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& caption) = 0;
    // Empty optional when the operator cancels.
    virtual std::optional<QString> inputBox(const QString& prompt, const QString& title,
                                            const QString& defaultText, EchoMode echo) = 0;
    // filter uses Qt's form ("Text (*.txt);;All (*.*)"). Empty text when cancelled.
    virtual QString openFileName(const QString& caption, const QString& startPath, const QString& filter) = 0;
    virtual QString saveFileName(const QString& caption, const QString& startPath, const QString& filter) = 0;
    virtual void beep() = 0;
    // true: the hourglass; false: the normal arrow.
    virtual void setBusy(bool busy) = 0;
    // Let pending window events run.
    virtual void processEvents() = 0;
};

// The operator in force. Until one is installed, a silent one answers OK / cancel to everything.
Operator& currentOperator();
void installOperator(Operator* op); // nullptr restores the silent one; the caller keeps ownership
