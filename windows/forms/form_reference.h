// The application-wide reference to a window: using it creates the window, unloading empties it.
#pragma once

#include <memory>

#include "windows/forms/forms.h"

namespace forms {

class Reference {
public:
    Reference(const Reference&) = delete;
    Reference& operator=(const Reference&) = delete;
    Reference(Reference&&) = delete;
    Reference& operator=(Reference&&) = delete;

    // Hides the window at once and destroys it when control is back in the event loop.
    virtual void Unload() = 0;
    // Unloads every window there is, for the end of the run.
    static void UnloadAll();

protected:
    Reference();
    ~Reference();
};

template <class Form>
class FormReference final : public Reference {
public:
    FormReference() = default;
    FormReference(const FormReference&) = delete;
    FormReference& operator=(const FormReference&) = delete;
    FormReference(FormReference&&) = delete;
    FormReference& operator=(FormReference&&) = delete;
    ~FormReference() = default;

    Form& operator*() {
        if (!form_) {
            form_ = std::make_shared<Form>();
        }
        return *form_;
    }
    Form* operator->() { return &**this; }
    [[nodiscard]] bool Exists() const { return form_ != nullptr; }

    void Unload() override {
        if (form_) {
            form_->Hide();
            DestroyLater(std::move(form_));
        }
    }

private:
    std::shared_ptr<Form> form_;
};

}  // namespace forms
