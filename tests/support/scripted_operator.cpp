#include "support/scripted_operator.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

void ScriptedOperator::runModalLoop() const {
    if (!answerFromModalLoop)
        return;
    QEventLoop loop;
    QTimer::singleShot(30, &loop, &QEventLoop::quit);
    loop.exec();
}

int ScriptedOperator::messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                                 const QString& caption) {
    boxes.append({text, buttons, icon, caption});
    runModalLoop();
    if (buttons == MsgButtons::Ok) // a box with one button takes no scripted answer
        return MsgAnswer::Ok;
    if (!answers.isEmpty())
        return answers.takeFirst();
    unanswered << text;
    return buttons == MsgButtons::YesNo ? MsgAnswer::No : MsgAnswer::Cancel;
}

std::optional<QString> ScriptedOperator::inputBox(const QString& prompt, const QString& title,
                                                  const QString& defaultText, EchoMode echo) {
    inputPrompts.append({prompt, title, defaultText, echo});
    runModalLoop();
    if (!inputs.isEmpty())
        return inputs.takeFirst();
    unanswered << prompt;
    return std::nullopt;
}

QString ScriptedOperator::nextFileName(const QString& startPath) {
    fileDialogStarts << startPath;
    if (!fileNames.isEmpty())
        return fileNames.takeFirst();
    unanswered << QStringLiteral("file dialog at ") + startPath;
    return {};
}

QString ScriptedOperator::openFileName(const QString&, const QString& startPath, const QString&) {
    return nextFileName(startPath);
}

QString ScriptedOperator::saveFileName(const QString&, const QString& startPath, const QString&) {
    return nextFileName(startPath);
}

void ScriptedOperator::processEvents() {
    ++eventPumps;
    QCoreApplication::processEvents();
}
