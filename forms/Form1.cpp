#include "forms/Form1.h"

#include <array>

#include "forms/Form2.h"
#include "platform/ProgramDir.h"
#include "player/Module1.h"

namespace forms {
namespace {

constexpr int kButtonLeft = 240;
constexpr int kButtonWidth = 1695;
constexpr int kShort = 375;
constexpr int kTall = 495;

constexpr Control Frame(std::string_view name, int left, int tabIndex, std::string_view caption) {
    return {name, ControlKind::Frame, "", left, 240, 2175, 6495, tabIndex, caption, ""};
}

constexpr Control Button(std::string_view name, std::string_view frame, std::string_view caption,
                         int top, int height, int tabIndex, std::string_view clipPath) {
    return {name,    ControlKind::CommandButton,
            frame,   kButtonLeft,
            top,     kButtonWidth,
            height,  tabIndex,
            caption, clipPath};
}

// A button that shows another form instead of playing a clip.
constexpr Control Opener(std::string_view name, std::string_view frame, std::string_view caption,
                         int top, int tabIndex, const FormDefinition& opens) {
    Control button = Button(name, frame, caption, top, kShort, tabIndex, "");
    button.opens = &opens;
    return button;
}

constexpr std::array kControls{
    Frame("Frame1", 240, 0, "Attempt"),
    Frame("Frame2", 2760, 1, "Failure"),
    Frame("Frame3", 5280, 2, "Success"),
    Frame("Frame4", 7800, 3, "Misc"),
    Button("Command1", "Frame1", "Long Try!", 480, kShort, 4, "\\attempt\\long try.wav"),
    Button("Command2", "Frame1", "Far Outside!", 1080, kShort, 5, "\\attempt\\far out side.wav"),
    Button("Command3", "Frame1", "Sends It High!", 1680, kShort, 6, "\\attempt\\sends it high.wav"),
    Button("Command4", "Frame1", "Wild Toss!", 2280, kShort, 7, "\\attempt\\wild toss.wav"),
    Button("Command5", "Frame1", "Nobody Near!", 2880, kShort, 8, "\\attempt\\nobody near.wav"),
    Opener("Command28", "Frame1", "About", 5880, 31, Form2),
    Button("Command6", "Frame2", "Won't Drop In!", 480, kShort, 9, "\\failure\\won't drop in.wav"),
    Button("Command7", "Frame2", "Picked Off!", 1080, kShort, 10, "\\failure\\picked off.wav"),
    Button("Command8", "Frame2", "Off Target!", 1680, kShort, 11, "\\failure\\off target.wav"),
    Button("Command9", "Frame2", "Turned Away!", 2280, kShort, 12, "\\failure\\turned away.wav"),
    Button("Command10", "Frame2", "Snatched!", 2880, kShort, 13, "\\failure\\snatched.wav"),
    Button("Command11", "Frame3", "Kazumbala!", 480, kShort, 14, "\\success\\ka zum bala.wav"),
    Button("Command12", "Frame3", "Look Out!", 1080, kShort, 15, "\\success\\look out.wav"),
    Button("Command13", "Frame3", "She's Rolling!", 1680, kShort, 16,
           "\\success\\she's rolling.wav"),
    Button("Command14", "Frame3", "She's Unstoppable!", 2280, kShort, 17,
           "\\success\\she's unstoppable.wav"),
    Button("Command15", "Frame3", "Was That Luck!?!", 2880, kShort, 18,
           "\\success\\was that luck.wav"),
    Button("Command16", "Frame3", "Drives Inside!", 3480, kShort, 19,
           "\\success\\drives inside.wav"),
    Button("Command17", "Frame3", "Goodness!", 4080, kShort, 20, "\\success\\goodness.wav"),
    Button("Command18", "Frame3", "Clean!", 4680, kShort, 21, "\\success\\clean.wav"),
    Button("Command19", "Frame3", "Score!", 5280, kShort, 22, "\\success\\score.wav"),
    Button("Command20", "Frame4", "Before The Horn!", 480, kShort, 23,
           "\\misc\\before the horn.wav"),
    Button("Command21", "Frame4", "Takes The Loose Ball!", 1080, kShort, 24,
           "\\misc\\takes the loose ball.wav"),
    Button("Command22", "Frame4", "Shoulder Feint!", 1680, kShort, 25,
           "\\misc\\shoulder feint.wav"),
    Button("Command23", "Frame4", "Let's Begin!", 2280, kShort, 26, "\\misc\\let's begin.wav"),
    Button("Command24", "Frame4", "That's A Landslide!", 2880, kShort, 27,
           "\\misc\\that's a land slide.wav"),
    Button("Command25", "Frame4", "Foghorn", 3480, kShort, 28, "\\misc\\foghorn.wav"),
    Button("Command26", "Frame4", "That Seals The Deal Now!", 4080, kTall, 29,
           "\\misc\\that seals the deal now.wav"),
    Button("Command27", "Frame4", "Welcome To Tarvelo!", 4680, kTall, 30,
           "\\misc\\welcome to tarvelo.wav"),
};

void Click(FormHost& host, const Control& button) {
    if (!button.clipPath.empty()) {
        Module1::PlayWaveFile(platform::AppPath() + std::string(button.clipPath));
    } else if (button.opens != nullptr) {
        host.Show(*button.opens);
    }
}

}  // namespace

const FormDefinition Form1{
    .name = "Form1",
    .caption = "Ostrivane v1.0",
    .clientWidth = 10215,
    .clientHeight = 6960,
    .controls = kControls,
    .load = nullptr,
    .click = &Click,
};

}  // namespace forms
