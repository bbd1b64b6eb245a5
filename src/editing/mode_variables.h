// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

// The mode of the entry dialog, shared by the main window and the dialog for the whole run.
struct ModeVariables
{
    bool editMode = false;         // the dialog changes the current row instead of adding rows
    bool closeAfterRecord = false; // a successful recording hides the dialog
    bool newAlbumNeeded = false;   // the next MP3-album track starts a new album row
    int editTab = 0;               // the main window's tab when editing started
};
