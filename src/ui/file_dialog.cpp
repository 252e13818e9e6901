#include "ui/file_dialog.h"

#include "app/helpers.h"
#include "app/operator.h"

#include <QStringList>

QString FileDialog::qtFilter(const QString& pairs) {
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty() && parts[i + 1].isEmpty())
            continue;
        QString pattern = parts[i + 1];
        pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
        // "*.*" meant every file; here it would leave out the names without a dot.
        if (pattern == QLatin1String("*.*"))
            pattern = QStringLiteral("*");
        // A description that already shows its patterns is not followed by them a second time.
        const QString& description = parts[i];
        if (description.endsWith(QLatin1Char(')')) &&
            description.mid(description.lastIndexOf(QLatin1Char('(')) + 1).chopped(1).trimmed() == pattern)
            filters << description;
        else
            filters << description + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

QString FileDialog::startPath() const {
    if (!initDir.isEmpty())
        return fileName.isEmpty() ? initDir : initDir + QLatin1Char('/') + GetFileName(fileName);
    return fileName;
}

bool FileDialog::showOpen() {
    const QString chosen = currentOperator().openFileName(dialogTitle, startPath(), qtFilter(filter));
    if (chosen.isEmpty())
        return false;
    fileName = chosen;
    return true;
}

bool FileDialog::showSave() {
    const QString chosen = currentOperator().saveFileName(dialogTitle, startPath(), qtFilter(filter));
    if (chosen.isEmpty())
        return false;
    fileName = chosen;
    return true;
}
