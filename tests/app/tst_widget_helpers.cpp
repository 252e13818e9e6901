#include "app/gui/widget_helpers.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QVBoxLayout>

class TestWidgetHelpers : public QObject {
    Q_OBJECT

private slots:
    void clearFormEmptiesOnlyTxtAndCbo();
    void selectAllText();
    void keyToTabFollowsTabOrder();
    void centerForm();
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

QTEST_MAIN(TestWidgetHelpers)
#include "tst_widget_helpers.moc"
