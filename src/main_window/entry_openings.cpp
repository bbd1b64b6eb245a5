#include "main_window/main_window.h"

void TFoablak::setEntryDialog(TRogzites* dialog)
{
    m_entryDialog = dialog;
}

void TFoablak::FelvetelClick() {}
void TFoablak::SzerkesztesClick() {}
