#include "main_window/main_window.h"

void TFoablak::Adat_torleseClick() {}
