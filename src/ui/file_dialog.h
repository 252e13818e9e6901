#pragma once

#include <QString>

// The main window's shared file dialog. Like the old common dialog it keeps its file name from
// one use to the next; cancelling leaves the last chosen name in place.
class FileDialog {
public:
    QString filter;   // "Text(*.txt)|*.txt|All|*.*|" pairs, as the callers write them
    QString initDir;  // folder the dialog opens in
    QString fileName; // the last name chosen in any use; empty until one is chosen
    QString dialogTitle;

    // Both return true when a name was chosen (and stored in fileName).
    bool showOpen();
    bool showSave();

    // "desc|pattern|desc|pattern|" as Qt's "desc (pattern);;desc (pattern)".
    static QString qtFilter(const QString& pairs);

private:
    QString startPath() const;
};
