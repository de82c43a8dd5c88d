#include "windows/forms/form_reference.h"

#include <algorithm>
#include <vector>

namespace forms {
namespace {

std::vector<Reference*>& References() {
    static std::vector<Reference*> references;
    return references;
}

}  // namespace

Reference::Reference() { References().push_back(this); }

Reference::~Reference() { std::erase(References(), this); }

void Reference::UnloadAll() {
    for (Reference* reference : References()) {
        reference->Unload();
    }
}

}  // namespace forms
