#include "main_window/main_window.h"

void TFoablak::LoadLanguage() {}
