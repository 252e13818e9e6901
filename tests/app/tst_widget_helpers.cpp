#include "app/gui/widget_helpers.h"
#include "app/gui/widget_operator.h"

#include <QApplication>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

class TestWidgetHelpers : public QObject {
    Q_OBJECT

private slots:
    void clearFormEmptiesOnlyTxtAndCbo();
    void selectAllText();
    void keyToTabFollowsTabOrder();
    void centerForm();
    void mnemonicPressesAtOnce();
    void questionsFitTheScreenWithTheNormalPointer();
};

namespace {
template <typename W> W* add(QWidget* parent, const char* name) {
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    parent->layout()->addWidget(w);
    return w;
}
} // namespace

void TestWidgetHelpers::clearFormEmptiesOnlyTxtAndCbo() {
    QWidget window;
    new QVBoxLayout(&window);
    auto* txtA = add<QLineEdit>(&window, "txtA");
    auto* txtSQL = add<QPlainTextEdit>(&window, "txtSQL");
    auto* cboKind = add<QComboBox>(&window, "cboKind");
    cboKind->setEditable(true);
    auto* other = add<QLineEdit>(&window, "editOther");
    auto* upper = add<QLineEdit>(&window, "TxtUpper");
    for (QLineEdit* e : {txtA, other, upper})
        e->setText(QStringLiteral("kept?"));
    txtSQL->setPlainText(QStringLiteral("select 1"));
    cboKind->setEditText(QStringLiteral("typed"));
    ClearForm(&window);
    QCOMPARE(txtA->text(), QString());
    QCOMPARE(txtSQL->toPlainText(), QString());
    QCOMPARE(cboKind->currentText(), QString());
    QCOMPARE(other->text(), QStringLiteral("kept?"));
    QCOMPARE(upper->text(), QStringLiteral("kept?")); // the prefix is matched in lower case only
}

void TestWidgetHelpers::selectAllText() {
    QLineEdit line(QStringLiteral("資料庫名稱"));
    SelectAllText(&line);
    QCOMPARE(line.selectedText(), QStringLiteral("資料庫名稱"));
    QPlainTextEdit plain(QStringLiteral("a\nb"));
    SelectAllText(&plain);
    QCOMPARE(plain.textCursor().selectedText(), QStringLiteral("a\u2029b"));
}

void TestWidgetHelpers::keyToTabFollowsTabOrder() {
    QWidget window;
    new QVBoxLayout(&window);
    auto* first = add<QLineEdit>(&window, "txtFirst");
    auto* disabled = add<QPushButton>(&window, "cmdOff");
    disabled->setEnabled(false);
    auto* second = add<QLineEdit>(&window, "txtSecond");
    auto* third = add<QPushButton>(&window, "cmdThird");
    third->setFocusPolicy(Qt::StrongFocus);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    first->setFocus();
    QVERIFY(KeyToTab(first, 13));
    QCOMPARE(QApplication::focusWidget(), second); // the disabled button is passed over
    QVERIFY(KeyToTab(second, 40));
    QCOMPARE(QApplication::focusWidget(), third);
    QVERIFY(KeyToTab(third, 38));
    QCOMPARE(QApplication::focusWidget(), second);
    QVERIFY(!KeyToTab(second, 65));
    QCOMPARE(QApplication::focusWidget(), second);
    QCOMPARE(legacyKeyCode(Qt::Key_Return), 13);
    QCOMPARE(legacyKeyCode(Qt::Key_Enter), 13);
    QCOMPARE(legacyKeyCode(Qt::Key_Up), 38);
    QCOMPARE(legacyKeyCode(Qt::Key_Down), 40);
    QCOMPARE(legacyKeyCode(Qt::Key_Tab), 0);
}

void TestWidgetHelpers::centerForm() {
    QWidget window;
    window.resize(400, 300);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CenterForm(&window);
    const QRect screen = window.screen()->geometry();
    const QRect frame = window.frameGeometry();
    const int above = 375 * int(window.screen()->logicalDotsPerInchY()) / 1440;
    QCOMPARE(frame.left(), screen.left() + (screen.width() - frame.width()) / 2);
    QCOMPARE(frame.top(), screen.top() + (screen.height() - frame.height() - above) / 2);
}

void TestWidgetHelpers::questionsFitTheScreenWithTheNormalPointer() {
    WidgetOperator op;
    QApplication::setOverrideCursor(Qt::WaitCursor); // a long operation asks a question
    QStringList lines;
    for (int i = 1; i <= 10000; ++i)
        lines << QStringLiteral("line %1 of a rejected statement").arg(i);
    QRect box;
    QString shownText;
    QList<Qt::CursorShape> pointers;
    const auto answerWhenShown = [&] {
        QTimer::singleShot(0, [&] {
            QWidget* shown = QApplication::activeModalWidget();
            QVERIFY(shown);
            box = shown->frameGeometry();
            if (auto* message = qobject_cast<QMessageBox*>(shown))
                shownText = message->text();
            pointers << QApplication::overrideCursor()->shape();
            static_cast<QDialog*>(shown)->reject();
        });
    };
    answerWhenShown();
    op.messageBox(lines.join(QLatin1Char('\n')), MsgButtons::Ok, MsgIcon::Exclamation, QStringLiteral("t"));
    QVERIFY(QApplication::primaryScreen()->availableGeometry().height() >= box.height());
    // The middle is left out: the head and the reason at the end stay.
    QVERIFY(shownText.startsWith(QStringLiteral("line 1 of")));
    QVERIFY(shownText.endsWith(QStringLiteral("line 10000 of a rejected statement")));
    answerWhenShown();
    QCOMPARE(op.inputBox(QStringLiteral("Input DB Password:"), QStringLiteral("t"), {}, EchoMode::Password),
             std::nullopt);
    QCOMPARE(pointers, (QList<Qt::CursorShape>{Qt::ArrowCursor, Qt::ArrowCursor}));
    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor); // back after each answer
    QApplication::restoreOverrideCursor();
}

void TestWidgetHelpers::mnemonicPressesAtOnce() {
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* plain = new QPushButton(QStringLiteral("&A plain"), &window);
    auto* atOnce = new QPushButton(QStringLiteral("&E 執行"), &window);
    layout->addWidget(plain);
    layout->addWidget(atOnce);
    ClickAtOnceOnMnemonic(atOnce);
    int plainClicks = 0, atOnceClicks = 0;
    connect(plain, &QPushButton::clicked, [&] { ++plainClicks; });
    connect(atOnce, &QPushButton::clicked, [&] { ++atOnceClicks; });
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_E, Qt::AltModifier);
    QCOMPARE(atOnceClicks, 1); // no event loop has run: the command ran within the key press
    QTest::keyClick(&window, Qt::Key_A, Qt::AltModifier);
    QCOMPARE(plainClicks, 0); // Qt's own way shows the press first
    QTRY_COMPARE(plainClicks, 1);
}

QTEST_MAIN(TestWidgetHelpers)
#include "tst_widget_helpers.moc"
