// The program's entry point.
#include "main_window.h"

wxIMPLEMENT_APP(MainWindow);
