#include "windows/application.h"

namespace tablinor {

forms::FormReference<MainWindow> Form1;
forms::FormReference<ResultWindow> Form2;

void Start() { Form1->Show(); }

}  // namespace tablinor
