#include "app/gui/widget_helpers.h"

#include "app/helpers.h"
#include "app/program_info.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QShortcutEvent>
#include <QTextEdit>
#include <QUrl>
#include <QWidget>

namespace {
constexpr int kTwipsAboveCentre = 375;
constexpr int kTwipsPerInch = 1440;
} // namespace

void ClearForm(QWidget* window) {
    if (!window)
        return;
    for (QWidget* child : window->findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (!name.startsWith(QLatin1String("txt")) && !name.startsWith(QLatin1String("cbo")))
            continue;
        if (auto* line = qobject_cast<QLineEdit*>(child))
            line->clear();
        else if (auto* plain = qobject_cast<QPlainTextEdit*>(child))
            plain->clear();
        else if (auto* rich = qobject_cast<QTextEdit*>(child))
            rich->clear();
        else if (auto* combo = qobject_cast<QComboBox*>(child); combo && combo->isEditable())
            combo->setEditText(QString());
    }
}

void SelectAllText(QWidget* textBox) {
    if (auto* line = qobject_cast<QLineEdit*>(textBox))
        line->setSelection(0, int(line->text().size()));
    else if (auto* plain = qobject_cast<QPlainTextEdit*>(textBox))
        plain->selectAll();
    else if (auto* rich = qobject_cast<QTextEdit*>(textBox))
        rich->selectAll();
}

int legacyKeyCode(int qtKey) {
    switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Down:
        return 40;
    default:
        return 0;
    }
}

bool FieldNavigation(QWidget* box, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        // After the focus change has settled, or the click that gave the focus takes the selection away.
        QMetaObject::invokeMethod(
            box, [box] { SelectAllText(box); }, Qt::QueuedConnection);
    } else if (event->type() == QEvent::KeyPress) {
        const int code = legacyKeyCode(static_cast<QKeyEvent*>(event)->key());
        if (code != 0) {
            KeyToTab(box, code);
            return true;
        }
    }
    return false;
}

bool KeyToTab(QWidget* from, int keyCode) {
    if (!from)
        return false;
    QWidget* target = nullptr;
    if (keyCode == 13 || keyCode == 40)
        target = from->nextInFocusChain();
    else if (keyCode == 38)
        target = from->previousInFocusChain();
    else
        return false;
    // Walk the tab order as Tab / Shift+Tab would: skip what cannot take the focus by Tab.
    while (target && target != from &&
           (!(target->focusPolicy() & Qt::TabFocus) || !target->isEnabled() ||
            !target->isVisibleTo(from->window())))
        target = keyCode == 38 ? target->previousInFocusChain() : target->nextInFocusChain();
    if (!target || target == from)
        return false;
    // Not a Tab reason: a line edit would select its whole text, which only some boxes want.
    target->setFocus(Qt::OtherFocusReason);
    return true;
}

namespace {
class MnemonicClick : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Shortcut)
            return false;
        auto* button = qobject_cast<QAbstractButton*>(watched);
        if (!button || !button->isEnabled() || static_cast<QShortcutEvent*>(event)->isAmbiguous())
            return false;
        if (button->focusPolicy() != Qt::NoFocus)
            button->setFocus(Qt::ShortcutFocusReason);
        button->click();
        return true;
    }
};
} // namespace

void ClickAtOnceOnMnemonic(QAbstractButton* button) {
    static auto* filter = new MnemonicClick(QCoreApplication::instance());
    button->installEventFilter(filter);
}

void CenterForm(QWidget* window) {
    if (!window)
        return;
    QScreen* screen = window->screen() ? window->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->geometry();
    const int above = kTwipsAboveCentre * int(screen->logicalDotsPerInchY()) / kTwipsPerInch;
    const QSize size = window->frameGeometry().size();
    window->move(area.left() + (area.width() - size.width()) / 2,
                 area.top() + (area.height() - size.height() - above) / 2);
}

int ShellOpen(const QString& filePath) {
    // A bare name is taken from the program folder, as the old call's working folder made it.
    const QString folder = GetPath(filePath).isEmpty() ? ProgramInfo::programFolder() : GetPath(filePath);
    const QString absolute = QDir(folder).absoluteFilePath(GetFileName(filePath));
    return QDesktopServices::openUrl(QUrl::fromLocalFile(absolute)) ? 42 : 2;
}
