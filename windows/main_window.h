// Form1, the window the user types the number into.
#pragma once

#include "conversion/digit_slots.h"
#include "windows/forms/forms.h"

namespace tablinor {

class MainWindow {
public:
    MainWindow();
    void Show() { Form.Show(); }
    void Hide() { Form.Hide(); }
    // Empties the entry box; the digit slots keep the last number.
    void ClearEntry();

private:
    void Text1_Change();
    void Label2_Click();
    static void Label3_Click();

    forms::Window Form;
    forms::TextBox Text1;
    forms::Label Label2;
    forms::Label Label3;
    conversion::DigitSlots DigitSlots{};
};

}  // namespace tablinor
