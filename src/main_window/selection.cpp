#include "main_window/main_window.h"

void TFoablak::DBGrid1CellClick(int) {}
void TFoablak::DBGrid2CellClick(int) {}
void TFoablak::captureRow(int, int) {}
void TFoablak::gridMouseUp(int) {}
