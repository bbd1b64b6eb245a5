// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/category_grid.h"
#include "main_window/main_window.h"

#include <QLineEdit>

void TFoablak::setEntryDialog(editing::EntryWindow* dialog)
{
    m_editState.setEntryWindow(dialog);
    // The activation rule needs the dialog's window: a return from it counts as an activation.
    m_entryDialogWindow = dialog ? dialog->dialogWindow() : nullptr;
}

void TFoablak::FelvetelClick()
{
    if (editing::EntryWindow* dialog = m_editState.entryWindow())
        dialog->openForNewRows();
}

void TFoablak::SzerkesztesClick()
{
    if (editing::EntryWindow* dialog = m_editState.entryWindow())
        dialog->openForEditing();
}

void TFoablak::clearSearch()
{
    m_kereses->clear();
}

std::vector<int> TFoablak::shownColumnWidths() const
{
    const int tab = activeTab();
    if (tab < 0 || tab >= static_cast<int>(columnWidths.size()))
        return {};
    return grid(tab)->columnWidths();
}

void TFoablak::showColumnWidths(const std::vector<int>& widths)
{
    const int tab = activeTab();
    if (tab >= 0 && tab < static_cast<int>(columnWidths.size()))
        grid(tab)->setColumnWidths(widths);
}
