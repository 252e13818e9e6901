#include "app/gui/widget_operator.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>

#include <limits>

namespace {
QMessageBox::Icon qtIcon(MsgIcon icon) {
    switch (icon) {
    case MsgIcon::Critical:
        return QMessageBox::Critical;
    case MsgIcon::Question:
        return QMessageBox::Question;
    case MsgIcon::Exclamation:
        return QMessageBox::Warning;
    case MsgIcon::Information:
        return QMessageBox::Information;
    case MsgIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}

struct ButtonSet {
    QMessageBox::StandardButtons buttons;
    QMessageBox::StandardButton defaultButton;
};

ButtonSet qtButtons(MsgButtons buttons) {
    switch (buttons) {
    case MsgButtons::OkCancel:
        return {QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok};
    case MsgButtons::AbortRetryIgnore:
        return {QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore, QMessageBox::Abort};
    case MsgButtons::YesNoCancel:
        return {QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::Yes};
    case MsgButtons::YesNo:
        return {QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes};
    case MsgButtons::RetryCancel:
        return {QMessageBox::Retry | QMessageBox::Cancel, QMessageBox::Retry};
    case MsgButtons::Ok:
        break;
    }
    return {QMessageBox::Ok, QMessageBox::Ok};
}

// A question is answered with the normal pointer, whatever the program was showing; the pointer
// it was showing comes back afterwards.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() : m_busy(QApplication::overrideCursor() != nullptr) {
        if (m_busy)
            QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    ~ArrowWhileAsking() {
        if (m_busy)
            QApplication::restoreOverrideCursor();
    }

private:
    bool m_busy;
};

// The text as much of it as a box can show on the screen: long lines cut, and the lines that do
// not fit left out with their count said (the error log keeps the whole text).
QString screenful(const QString& text) {
    constexpr int kCharsPerLine = 100;
    constexpr int kLongestLine = 400;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int height = screen ? screen->availableGeometry().height() : 600;
    const int lineHeight = std::max(1, QFontMetrics(QApplication::font()).lineSpacing());
    int budget = std::max(5, (height - 200) / lineHeight); // room left for the caption and buttons
    QStringList lines = text.split(QLatin1Char('\n'));
    int needed = 0;
    for (QString& line : lines) {
        if (line.size() > kLongestLine)
            line = line.left(kLongestLine) + QStringLiteral("…");
        needed += 1 + int(line.size()) / kCharsPerLine;
    }
    if (needed <= budget)
        return lines.join(QLatin1Char('\n'));
    // Too long: the middle goes. The head says what was done and the tail why it failed (the
    // reporters end with the database's message), so both stay.
    const auto takes = [&](qsizetype i) { return 1 + int(lines[i].size()) / kCharsPerLine; };
    budget -= 1; // the line that says how much is left out
    qsizetype tailStart = lines.size();
    for (int tailBudget = budget / 2; tailStart > 1 && takes(tailStart - 1) <= tailBudget;) {
        --tailStart;
        tailBudget -= takes(tailStart);
        budget -= takes(tailStart);
    }
    qsizetype headEnd = 0;
    while (headEnd < tailStart && takes(headEnd) <= budget) {
        budget -= takes(headEnd);
        ++headEnd;
    }
    QStringList shown = lines.mid(0, headEnd);
    shown << QStringLiteral("…(另有 %1 行未顯示)").arg(tailStart - headEnd);
    shown << lines.mid(tailStart);
    return shown.join(QLatin1Char('\n'));
}

int answerOf(int qtButton) {
    switch (qtButton) {
    case QMessageBox::Ok:
        return MsgAnswer::Ok;
    case QMessageBox::Abort:
        return MsgAnswer::Abort;
    case QMessageBox::Retry:
        return MsgAnswer::Retry;
    case QMessageBox::Ignore:
        return MsgAnswer::Ignore;
    case QMessageBox::Yes:
        return MsgAnswer::Yes;
    case QMessageBox::No:
        return MsgAnswer::No;
    default:
        return MsgAnswer::Cancel;
    }
}
} // namespace

int WidgetOperator::messageBox(const QString& text, MsgButtons buttons, MsgIcon icon,
                               const QString& caption) {
    const ButtonSet set = qtButtons(buttons);
    QMessageBox box(qtIcon(icon), caption, screenful(text), set.buttons, QApplication::activeWindow());
    box.setDefaultButton(set.defaultButton);
    const ArrowWhileAsking arrow;
    return answerOf(box.exec());
}

std::optional<QString> WidgetOperator::inputBox(const QString& prompt, const QString& title,
                                                const QString& defaultText, EchoMode echo) {
    QInputDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(echo == EchoMode::Password ? QLineEdit::Password : QLineEdit::Normal);
    dialog.setTextValue(defaultText);
    // An answer of any length is taken whole, not cut at the line editor's default limit.
    if (auto* line = dialog.findChild<QLineEdit*>())
        line->setMaxLength(std::numeric_limits<int>::max());
    const ArrowWhileAsking arrow;
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

QString WidgetOperator::openFileName(const QString& caption, const QString& startPath,
                                     const QString& filter) {
    const ArrowWhileAsking arrow;
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), caption, startPath, filter);
}

QString WidgetOperator::saveFileName(const QString& caption, const QString& startPath,
                                     const QString& filter) {
    const ArrowWhileAsking arrow;
    return QFileDialog::getSaveFileName(QApplication::activeWindow(), caption, startPath, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void WidgetOperator::beep() {
    QApplication::beep();
}

void WidgetOperator::setBusy(bool busy) {
    // The old pointer was a single setting, not a stack: one "normal" ends every hourglass.
    if (busy) {
        if (!QApplication::overrideCursor())
            QApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        while (QApplication::overrideCursor())
            QApplication::restoreOverrideCursor();
    }
}

void WidgetOperator::processEvents() {
    QApplication::processEvents();
}
