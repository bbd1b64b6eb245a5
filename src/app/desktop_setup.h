// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QIcon>
#include <QString>

class QApplication;
class QCoreApplication;

// What the program sets up on the desktop before its windows are made: the designed font, Qt's own texts in
// Hungarian, the program's icon and the roles its windows have for screen readers.
namespace desktop_setup {

// The Tahoma clone of the Wine fonts, made to stand in for Tahoma with its widths.
extern const QString tahomaCloneFolder;

// Makes Tahoma available to the program from the clone in folder when the system has no Tahoma. Returns
// whether Tahoma is there afterwards.
bool loadDesignedFont(const QString& folder = tahomaCloneFolder);

// Loads Qt's Hungarian translation, so that the standard buttons of the boxes and Qt's open dialog speak
// Hungarian. Returns false when the translation is not installed (the boxes then speak English).
bool installQtTranslation(QCoreApplication& app);

// The program's icon in every size built into it.
QIcon programIcon();

// The main window reaches screen readers as a frame, the entry dialog as a dialog, the link labels as links.
void installAccessibleRoles();

// All of the above, once, for the application about to make its windows.
void prepareDesktop(QApplication& app);

} // namespace desktop_setup
