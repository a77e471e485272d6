#pragma once
// A window described as constant data: what the window runtime builds, and the handlers it calls.
// Positions and sizes are in twips; nothing here knows a toolkit.
#include <span>
#include <string>
#include <string_view>

namespace forms {

inline constexpr int kTwipsPerPixel = 15;  // at 96 dots per inch

enum class ControlKind { Frame, CommandButton, TextBox };

struct FormDefinition;

struct Control {
    std::string_view name;
    ControlKind kind;
    std::string_view parent;  // the frame it sits in; empty for the window itself
    int left, top, width, height;
    int tabIndex;
    std::string_view caption;   // a text box's initial text
    std::string_view clipPath;  // appended to the program directory; empty for other buttons
    std::string_view accessibleName = {};   // what a screen reader calls a control with no caption
    const FormDefinition* opens = nullptr;  // the form a button shows when clicked
};

// What a form's handlers may ask of the window runtime, for the window they belong to.
class FormHost {
  public:
    virtual ~FormHost() = default;
    virtual void SetText(std::string_view control, const std::string& text) = 0;
    // Shows another form modeless; creates and loads it first unless it is open already.
    virtual void Show(const FormDefinition& form) = 0;
};

struct FormDefinition {
    std::string_view name;
    std::string_view caption;
    int clientWidth, clientHeight;
    std::span<const Control> controls;
    void (*load)(FormHost& host);                          // before the window is first seen
    void (*click)(FormHost& host, const Control& button);  // every button of the form
};

}  // namespace forms
