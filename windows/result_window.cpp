#include "windows/result_window.h"

#include "windows/application.h"
#include "windows/result_window_design.h"

namespace tablinor {

ResultWindow::ResultWindow() : Form(form2::Form2), Command1(Form, form2::Command1) {
    for (std::size_t k = 0; k < conversion::SlotCount; ++k) {
        Columns.push_back({{Form, form2::Labels.at(2 * k)}, {Form, form2::Labels.at(2 * k + 1)}});
    }
    Command1.OnClick(Command1_Click);
    Form.OnCloseRequest(Form_CloseRequest);
}

void ResultWindow::ApplyColumnUpdates(const conversion::ColumnUpdates& updates) {
    for (std::size_t k = 0; k < updates.size(); ++k) {
        if (const auto& update = updates.at(k)) {
            Columns.at(k).digit.SetText(update->digit);
            Columns.at(k).consonants.SetText(update->consonants);
        }
    }
}

void ResultWindow::Command1_Click() {
    Form1->ClearEntry();
    Form2.Unload();
}

// Closed by the desktop, the window goes as after Ok, but the entry stays as the user left it.
void ResultWindow::Form_CloseRequest() { Form2.Unload(); }

}  // namespace tablinor
