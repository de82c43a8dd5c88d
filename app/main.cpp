#include "windows/application.h"

int main() { return forms::Run({.desktopEntry = TABLINOR_APP_ID, .icon = TABLINOR_EXECUTABLE}, tablinor::Start); }
