#pragma once
// The window runtime on Qt Widgets: builds real windows from the constant form tables and calls
// their handlers.
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QWidget>
#include <map>
#include <string_view>
#include <vector>

#include "forms/Form.h"

namespace platform::qt {

class Runtime;

// A push button that word-wraps its caption when it does not fit on one line, and draws it a notch
// smaller when it does not fit even so (never under 6 pt), keeping the text itself exactly the
// caption (for screen readers); Enter clicks it as Space does.
class CaptionButton : public QPushButton {
  public:
    using QPushButton::QPushButton;
    // The font the caption is drawn in.
    QFont CaptionFont() const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

class FormWindow : public QWidget, public forms::FormHost {
  public:
    FormWindow(const forms::FormDefinition& form, Runtime& runtime);

    const forms::FormDefinition& Definition() const { return form_; }
    QWidget* Control(std::string_view name) const;

    void SetText(std::string_view control, const std::string& text) override;
    void Show(const forms::FormDefinition& form) override;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    const forms::FormDefinition& form_;
    Runtime& runtime_;
    std::map<std::string_view, QWidget*> controls_;
};

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
    void Forget(const FormWindow& window);

    const forms::FormDefinition* startup_ = nullptr;
    std::map<const forms::FormDefinition*, FormWindow*> open_;
    std::vector<QPointer<FormWindow>> created_;  // whatever is left of them goes with the runtime
};

// Twips to device-independent pixels.
int Pixels(int twips);

}  // namespace platform::qt
