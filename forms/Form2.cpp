#include "forms/Form2.h"

#include <array>

namespace forms {
namespace {

constexpr std::array kControls{
    Control{"Text1", ControlKind::TextBox, "", 120, 120, 4455, 2895, 0, "Text1", "", "Credits"},
};

void Load(FormHost& host) {
    host.SetText("Text1", CreditsText());
}

}  // namespace

std::string CreditsText() {
    const std::string crlf = "\r\n";
    return "Coded By:" + crlf + "Ostrivane developers" + crlf + "ostrivane@example.org" + crlf +
           "ostrivane.example.org" + crlf + crlf +
           "I still need the 'thunderclap!', 'they've lost it', and 'tries from deep'" +
           " sound effects.  If you want to try and get them, let me know and I'll tell you how "
           "I did it.";
}

const FormDefinition Form2{
    .name = "Form2",
    .caption = "About",
    .clientWidth = 4680,
    .clientHeight = 3195,
    .controls = kControls,
    .load = &Load,
    .click = nullptr,
};

}  // namespace forms
