#pragma once

#include <QString>

class QAbstractButton;
class QEvent;
class QWidget;

// Conveniences for windows and their input boxes.

// Empties every line edit, text edit and combo box of the window whose objectName starts with
// "txt" or "cbo".
void ClearForm(QWidget* window);
// Selects the whole text of a line edit or text edit.
void SelectAllText(QWidget* textBox);
// Enter (13) and Down (40) move the focus to the next control, Up (38) to the previous one.
// Returns true when the key moved the focus.
bool KeyToTab(QWidget* from, int keyCode);
// Field navigation of an input box, for its event filter: the whole text selected on getting the
// focus; Enter and Down to the next control, Up to the previous. Returns true when the event is
// used up (Enter never inserts anything).
bool FieldNavigation(QWidget* box, QEvent* event);
// The old key code of a Qt key: 13 Enter, 38 Up, 40 Down, otherwise 0.
int legacyKeyCode(int qtKey);
// The button's Alt+letter presses it at once: Qt would first show the press for a tenth of a second.
void ClickAtOnceOnMnemonic(QAbstractButton* button);
// Centres the window on its screen, 375 twips (25 pixels at 96 dpi) above the true centre.
void CenterForm(QWidget* window);
// Opens the file with the desktop's associated program; returns 42 when the request was handed
// over, 2 when it was refused (the numbers the old shell call used for success and "not found").
int ShellOpen(const QString& filePath);
