#include "platform/qt/Runtime.h"

#include <QApplication>

#include "platform/qt/Look.h"

namespace platform::qt {

Runtime::Runtime() {
    ApplyLook();
}

Runtime::~Runtime() {
    for (const auto& window : created_) {
        delete window.data();
    }
}

FormWindow* Runtime::Find(const forms::FormDefinition& form) const {
    const auto it = open_.find(&form);
    return it == open_.end() ? nullptr : it->second;
}

FormWindow& Runtime::Show(const forms::FormDefinition& form) {
    if (FormWindow* window = Find(form)) {
        return *window;  // already open: nothing more happens
    }
    auto* window = new FormWindow(form, *this);
    open_[&form] = window;
    std::erase_if(created_, [](const QPointer<FormWindow>& w) { return w.isNull(); });
    created_.emplace_back(window);
    if (form.load != nullptr) {
        form.load(*window);
    }
    window->show();
    return *window;
}

void Runtime::Forget(const FormWindow& window) {
    const auto it = open_.find(&window.Definition());
    if (it != open_.end() && it->second == &window) {
        open_.erase(it);
    }
}

FormWindow& Runtime::Start(const forms::FormDefinition& startup) {
    return Show(startup);
}

int Runtime::Run(const forms::FormDefinition& startup) {
    Start(startup);
    return QApplication::exec();
}

}  // namespace platform::qt
