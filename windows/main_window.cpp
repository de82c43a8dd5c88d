#include "windows/main_window.h"

#include "windows/application.h"
#include "windows/main_window_design.h"

namespace tablinor {

MainWindow::MainWindow()
    : Form(form1::Form1), Text1(Form, form1::Text1), Label2(Form, form1::Label2), Label3(Form, form1::Label3) {
    Text1.OnChange([this] { Text1_Change(); });
    Label2.OnClick([this] { Label2_Click(); });
    Label3.OnClick(Label3_Click);
    // However the desktop closes the main window, the run ends as with the close mark.
    Form.OnCloseRequest(Label3_Click);
}

void MainWindow::ClearEntry() { Text1.SetText(u""); }

void MainWindow::Text1_Change() { conversion::UpdateDigitSlots(DigitSlots, Text1.Text()); }

void MainWindow::Label2_Click() {
    Form2->Show();
    Form2->ApplyColumnUpdates(conversion::ConvertDigitSlots(DigitSlots));
}

void MainWindow::Label3_Click() { forms::End(); }

}  // namespace tablinor
