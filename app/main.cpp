#include "windows/application.h"

int main() {
    return forms::Run({.desktopEntry = TABLINOR_APP_ID, .icon = TABLINOR_EXECUTABLE, .fontFolder = TABLINOR_FONT_DIR},
                      tablinor::Start);
}
