#include "main_window/main_window.h"

void TFoablak::kereses_Change() {}
void TFoablak::KeresesoszlopChange() {}
