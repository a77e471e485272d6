// Form1's layout as the program has it, for the tools that click its buttons: its client size and
// every clip button's centre in pixels with the clip it plays, as JSON.
//   ostrivane_layout
#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "forms/Form1.h"

namespace {

using forms::Control;
using forms::kTwipsPerPixel;

// Its centre in the window's client area: a button's place is within its frame's.
std::pair<int, int> Centre(const Control& control) {
    int left = control.left + control.width / 2;
    int top = control.top + control.height / 2;
    for (const Control& frame : forms::Form1.controls) {
        if (frame.name == control.parent) {
            left += frame.left;
            top += frame.top;
        }
    }
    return {(left + kTwipsPerPixel / 2) / kTwipsPerPixel,
            (top + kTwipsPerPixel / 2) / kTwipsPerPixel};
}

// "\attempt\long try.wav" as a path below the program's folder.
std::string Clip(std::string_view path) {
    std::string clip(path.substr(1));
    std::ranges::replace(clip, '\\', '/');
    return clip;
}

}  // namespace

int main() {
    const forms::FormDefinition& form = forms::Form1;
    std::printf("{\"title\": \"%.*s\", \"width\": %d, \"height\": %d, \"buttons\": [",
                int(form.caption.size()), form.caption.data(), form.clientWidth / kTwipsPerPixel,
                form.clientHeight / kTwipsPerPixel);
    const char* separator = "\n";
    for (const Control& control : form.controls) {
        if (!control.clipPath.empty()) {
            const auto [x, y] = Centre(control);
            std::printf("%s  {\"name\": \"%.*s\", \"x\": %d, \"y\": %d, \"clip\": \"%s\"}",
                        separator, int(control.name.size()), control.name.data(), x, y,
                        Clip(control.clipPath).c_str());
            separator = ",\n";
        }
    }
    std::printf("\n]}\n");
    return 0;
}
