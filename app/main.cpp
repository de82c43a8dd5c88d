#include "windows/application.h"
#include "windows/main_window_design.h"

int main() {
    return forms::Run({.desktopEntry = TABLINOR_APP_ID,
                       .icon = true,
                       .fontFolder = TABLINOR_FONT_DIR,
                       .firstWindow = &tablinor::form1::Form1},
                      tablinor::Start);
}
