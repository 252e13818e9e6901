#include "ui/fonts.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>

void installUiFonts() {
    QFont::insertSubstitution(QStringLiteral("標楷體"), QStringLiteral("AR PL UKai TW"));
    QFont::insertSubstitution(QStringLiteral("DFKai-SB"), QStringLiteral("AR PL UKai TW"));
    QFont::insertSubstitutions(QStringLiteral("新細明體"),
                               {QStringLiteral("Noto Sans CJK TC"), QStringLiteral("AR PL UMing TW")});
    const QStringList families = QFontDatabase::families();
    if (families.contains(QStringLiteral("Noto Sans CJK TC"))) {
        QFont font(QStringLiteral("Noto Sans CJK TC"));
        font.setPointSizeF(QApplication::font().pointSizeF() > 0 ? QApplication::font().pointSizeF() : 10);
        QApplication::setFont(font);
    }
}
