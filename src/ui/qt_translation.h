#pragma once

// Qt's own texts (dialog buttons, file dialogs) in Traditional Chinese, as the rest of the program,
// whatever the locale. False when the translation is not installed; Qt's English texts stay then.
bool installQtTranslation();
