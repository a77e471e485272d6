#pragma once
// The order the keyboard's Tab key runs through a form's controls, which every window runtime
// follows: by tab index, the table's order between equal indexes.
#include <algorithm>
#include <vector>

#include "forms/Form.h"

namespace forms {

inline std::vector<const Control*> TabOrder(const FormDefinition& form) {
    std::vector<const Control*> ordered;
    ordered.reserve(form.controls.size());
    for (const Control& control : form.controls) {
        ordered.push_back(&control);
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
    return ordered;
}

}  // namespace forms
