// The application-wide references to the two windows: the program's only global state.
#pragma once

#include "windows/forms/form_reference.h"
#include "windows/main_window.h"
#include "windows/result_window.h"

namespace tablinor {

extern forms::FormReference<MainWindow> Form1;
extern forms::FormReference<ResultWindow> Form2;

// What the program does when it starts: show the main window.
void Start();

}  // namespace tablinor
