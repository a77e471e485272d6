#pragma once
// The window runtime on Win32: builds real windows from the constant form tables and calls their
// handlers.
#include "platform/win32/Windows.h"

#include <map>
#include <memory>
#include <string_view>
#include <vector>

#include "forms/DeferredClose.h"
#include "forms/Form.h"

namespace platform::win32 {

class Runtime;

class FormWindow final : public forms::FormHost {
  public:
    FormWindow(const forms::FormDefinition& form, Runtime& runtime);
    ~FormWindow() override;
    FormWindow(const FormWindow&) = delete;
    FormWindow& operator=(const FormWindow&) = delete;

    const forms::FormDefinition& Definition() const { return form_; }
    HWND Handle() const { return window_; }
    HWND Control(std::string_view name) const;

    void SetText(std::string_view control, const std::string& text) override;
    void Show(const forms::FormDefinition& form) override;

  private:
    friend class Runtime;
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    const forms::Control* Find(HWND control) const;
    HWND FocusTarget() const;
    // Both may destroy the window, and this object with it: nothing may touch it afterwards.
    void Click(const forms::Control& control);
    void Close();

    const forms::FormDefinition& form_;
    Runtime& runtime_;
    HWND window_ = nullptr;
    std::map<std::string_view, HWND> controls_;
    HWND lastFocus_ = nullptr;
    forms::DeferredClose closing_;
};

class Runtime {
  public:
    explicit Runtime(HINSTANCE instance);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;

    // Shows the form modeless, creating and loading it first unless it is open.
    FormWindow& Show(const forms::FormDefinition& form);
    // The open window of that form, if any.
    FormWindow* Find(const forms::FormDefinition& form) const;
    // Runs the message loop until the last window has closed, then returns the exit code.
    int Loop();
    // Shows the start-up form, then runs the loop.
    int Run(const forms::FormDefinition& startup);

    // Twips to pixels at the screen's resolution.
    int Pixels(int twips) const;
    int Dpi() const { return dpi_; }
    HINSTANCE Instance() const { return instance_; }
    HFONT Font() const { return font_; }
    HICON LargeIcon() const { return largeIcon_; }
    HICON SmallIcon() const { return smallIcon_; }

    static constexpr const wchar_t* kWindowClass = L"OstrivaneForm";

  private:
    friend class FormWindow;
    // A window has closed: it no longer counts as open.
    void Closed(const FormWindow& window);
    // Its handle is gone: the object goes too.
    void Destroyed(const FormWindow& window);

    HINSTANCE instance_;
    int dpi_;
    HFONT font_ = nullptr;
    HICON largeIcon_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::map<const forms::FormDefinition*, FormWindow*> open_;
    std::vector<std::unique_ptr<FormWindow>> windows_;  // open, or closed with a handler running
};

}  // namespace platform::win32
