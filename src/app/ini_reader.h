#pragma once

#include <QString>

// Reads one value from an INI file the way the Windows profile API does: section and key names
// compared without regard to case, blanks around "=" dropped, lines starting with ";" ignored,
// one enclosing pair of quotes removed, everything else in the value (backslashes, commas, ";")
// kept as written. The value is cut to 255 characters. Missing file, section or key give "".
QString GetIniString(const QString& iniFile, const QString& section, const QString& key);
