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
        filters << parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')');
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
