#pragma once
// The window runtime on Qt Widgets: builds real windows from the constant form tables, keeps the
// open ones, and runs until the last has closed.
#include <QPointer>
#include <map>
#include <vector>

#include "forms/Form.h"
#include "platform/qt/CaptionButton.h"
#include "platform/qt/FormWindow.h"

namespace platform::qt {

class Runtime {
  public:
    Runtime();  // after the QApplication
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Shows the form modeless, creating and loading it first unless it is open.
    FormWindow& Show(const forms::FormDefinition& form);
    // The open window of that form, if any.
    FormWindow* Find(const forms::FormDefinition& form) const;
    // Shows the start-up form (without running the event loop).
    FormWindow& Start(const forms::FormDefinition& startup);
    // Starts, then runs until the last window has closed.
    int Run(const forms::FormDefinition& startup);

  private:
    friend class FormWindow;
    // A window has closed: it no longer counts as open.
    void Forget(const FormWindow& window);

    std::map<const forms::FormDefinition*, FormWindow*> open_;
    std::vector<QPointer<FormWindow>> created_;  // whatever is left of them goes with the runtime
};

}  // namespace platform::qt
