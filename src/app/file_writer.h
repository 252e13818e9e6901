#pragma once

#include <QByteArray>
#include <QString>

// Replaces a file's contents so that it is never left empty or half written: the bytes go to a
// copy beside it (the name with ".saving" added), every write and the flush to disk are checked,
// and only a complete copy is renamed over the old file. On any failure the copy is removed, the
// old file stays as it was, and AppError says why. A copy left by a save that was killed is
// removed by the next save.
void replaceFileContents(const QString& path, const QByteArray& bytes);
