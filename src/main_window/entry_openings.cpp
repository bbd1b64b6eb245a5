// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/entry_dialog.h"
#include "main_window/main_window.h"

void TFoablak::setEntryDialog(TRogzites* dialog)
{
    m_entryDialog = dialog;
    // The activation rule needs the dialog's window: a return from it counts as an activation.
    m_entryDialogWindow = dialog;
}

void TFoablak::FelvetelClick()
{
    if (m_entryDialog)
        m_entryDialog->openForNewRows();
}

void TFoablak::SzerkesztesClick()
{
    if (m_entryDialog)
        m_entryDialog->openForEditing();
}
