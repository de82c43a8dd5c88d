// Form2, the window that shows each digit over its consonants.
#pragma once

#include <vector>

#include "conversion/digit_slots.h"
#include "windows/forms/forms.h"

namespace tablinor {

class ResultWindow {
public:
    ResultWindow();
    void Show() { Form.Show(); }
    void Hide() { Form.Hide(); }
    // Writes each shown column; a column left alone keeps what it shows.
    void ApplyColumnUpdates(const conversion::ColumnUpdates& updates);

private:
    struct Column {
        forms::Label digit;
        forms::Label consonants;
    };

    static void Command1_Click();
    static void Form_CloseRequest();

    forms::Window Form;
    std::vector<Column> Columns;
    forms::Button Command1;
};

}  // namespace tablinor
