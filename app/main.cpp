#include "windows/application.h"

int main() {
    return forms::Run({.desktopEntry = TABLINOR_APP_ID, .icon = true, .fontFolder = TABLINOR_FONT_DIR},
                      tablinor::Start);
}
