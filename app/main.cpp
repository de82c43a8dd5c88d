#include <array>

#include "windows/application.h"
#include "windows/main_window_design.h"
#include "windows/result_window_design.h"

namespace {

constexpr std::array<const forms::WindowDesign*, 1> LaterWindows{&tablinor::form2::Form2};

}  // namespace

int main() {
    return forms::Run({.desktopEntry = TABLINOR_APP_ID,
                       .icon = true,
                       .fontFolder = TABLINOR_FONT_DIR,
                       .firstWindow = &tablinor::form1::Form1,
                       .laterWindows = LaterWindows},
                      tablinor::Start);
}
