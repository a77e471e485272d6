// The clip player and both windows, as the Qt runtime builds them, over the recording fake.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <filesystem>
#include <set>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/EventPump.h"
#include "platform/Mci.h"
#include "platform/ProgramDir.h"
#include "platform/ShortPath.h"
#include "platform/linux/MciErrors.h"
#include "platform/qt/Runtime.h"
#include "player/Module1.h"

// The player and the forms link this recording stand-in in place of the platform. Its MCI models
// the one alias the player uses, with the real service's error numbers: a clip answers "playing"
// to a set number of status queries after it starts.
const std::string kProgramDir = "/home/o'neil/my clips";

struct FakePlatform {
    std::vector<std::string> commands;
    std::vector<std::uint32_t> results;
    std::vector<std::pair<std::string, std::uint32_t>> shortPathCalls;  // path, buffer size
    int doEventsCalls = 0;
    int pollsPerClip = 3;
    int playsStarted = 0;
    bool open = false;
    bool filesExist = true;
    std::function<std::uint32_t(char* buffer, std::uint32_t size)> shortPath;  // else unchanged
    std::function<void()> onDoEvents;
    int pollsLeft = -1;  // while playing, the "playing" answers still to come
} fake;

namespace platform {

MciError mciSendString(const char* text, char* reply, std::uint32_t size, std::uintptr_t window) {
    auto& p = fake;
    const std::string command = text;
    MciError result = 0;
    // Status queries come with a reply buffer of 128 bytes, other commands with none.
    EXPECT_EQ(std::pair(size, window), std::pair(command.starts_with("status") ? 128u : 0u, 0ul));
    if (command.starts_with("open ") && command.ends_with(" alias sound1")) {
        result = p.open                                      ? mci::kDuplicateAlias
                 : command == "open waveaudio! alias sound1" ? mci::kMissingParameter
                 : p.filesExist                              ? mci::kOk
                                                             : mci::kFileNotFound;
        p.open = p.open || result == 0;
    } else if (!p.open) {
        result = mci::kInvalidDeviceName;  // nothing is open under that name
    } else if (command == "play sound1" && p.pollsLeft < 0) {
        p.pollsLeft = p.pollsPerClip;
        ++p.playsStarted;
    } else if (command == "status sound1 mode") {
        std::strncpy(reply, --p.pollsLeft >= 0 ? "playing" : "stopped", size);
    } else if (command == "close sound1") {
        p.open = false;
        p.pollsLeft = -1;
    }
    p.commands.push_back(command);
    p.results.push_back(result);
    return result;
}

std::uint32_t GetShortPathName(const char* path, char* buffer, std::uint32_t size) {
    auto& p = fake;
    p.shortPathCalls.emplace_back(path, size);
    const auto length = static_cast<std::uint32_t>(std::strlen(path));
    if (p.shortPath || length >= size)
        return p.shortPath ? p.shortPath(buffer, size) : length + 1;
    std::memcpy(buffer, path, length + 1);
    return length;
}

void DoEvents() {
    ++fake.doEventsCalls;
    if (fake.onDoEvents)
        fake.onDoEvents();
}

std::string AppPath() {
    return kProgramDir;
}

}  // namespace platform

namespace {

using Texts = std::vector<std::string>;
const std::string kStatus = "status sound1 mode";

struct Module1Test : ::testing::Test {
    FakePlatform& p = fake = {};
};

TEST_F(Module1Test, OpensTheClipByItsShortPathPlaysItPollsUntilItStopsAndClosesIt) {
    p.shortPath = [](char* out, std::uint32_t) {
        return std::strlen(std::strcpy(out, "/A~1.WAV"));
    };
    Module1::PlayWaveFile("/a b.wav");
    EXPECT_EQ(p.shortPathCalls,
              (std::vector<std::pair<std::string, std::uint32_t>>{{"/a b.wav", 260}}));
    EXPECT_EQ(p.commands, (Texts{"open waveaudio!/A~1.WAV alias sound1", "play sound1", kStatus,
                                 kStatus, kStatus, kStatus, "close sound1"}));
    EXPECT_EQ(p.results, std::vector<std::uint32_t>(7, 0));
    EXPECT_EQ(p.doEventsCalls, 3);  // one pump pass after each "playing"
}

// Where no short name exists the path comes back as it is: whole, quoted, if it has blanks.
TEST_F(Module1Test, OpensAPathWithNoShortNameWholeAndQuoted) {
    for (std::string path : {"/my clips/a.wav", "a\tb", "a\nb", "a\rb", "a\vb", "a\fb"}) {
        p = {};
        Module1::PlayWaveFile(path);
        EXPECT_EQ(p.commands.front(), "open \"" + path + "\" type waveaudio alias sound1");
    }
}

// Too long for the buffer: asked again with the size it needs; still growing: given up.
TEST_F(Module1Test, AsksForAShortPathAgainWithTheSizeItNeedsOnce) {
    p.shortPath = [](char* out, std::uint32_t size) {
        return size <= 300 ? 301u : std::strlen(std::strcpy(out, std::string(300, 'A').c_str()));
    };
    EXPECT_EQ(Module1::GetShortPath("/x"), std::string(300, 'A'));
    p.shortPath = [](char*, std::uint32_t size) { return size + 10; };
    EXPECT_EQ(Module1::GetShortPath("/x"), "");
}

// The nested open finds the alias taken and its play lets the first clip play on; back in the first
// call the alias is gone, so its wait ends. A flood of clicks goes sixteen calls deep, no further.
TEST_F(Module1Test, AClipClickedDuringAnotherIsNotHeardAndBothReturnWhenTheFirstEnds) {
    p.pollsPerClip = 4;
    p.onDoEvents = [&, clicked = false]() mutable {
        if (!std::exchange(clicked, true))
            Module1::PlayWaveFile("/second.wav");
    };
    Module1::PlayWaveFile("/first.wav");
    EXPECT_EQ(p.commands,
              (Texts{"open waveaudio!/first.wav alias sound1", "play sound1", kStatus,
                     "open waveaudio!/second.wav alias sound1", "play sound1", kStatus, kStatus,
                     kStatus, kStatus, "close sound1", kStatus, "close sound1"}));
    using namespace mci;
    EXPECT_EQ(p.results,
              (std::vector<std::uint32_t>{kOk, kOk, kOk, kDuplicateAlias, kOk, kOk, kOk, kOk, kOk,
                                          kOk, kInvalidDeviceName, kInvalidDeviceName}));
    Module1::PlayWaveFile("/third.wav");  // the alias is free again: the next click plays
    EXPECT_EQ(p.playsStarted, 2);
    p = {};
    p.pollsPerClip = 100;
    p.onDoEvents = [&, clicks = 0]() mutable {
        while (++clicks <= 10000)
            Module1::PlayWaveFile("/again.wav");
    };
    Module1::PlayWaveFile("/first.wav");
    EXPECT_EQ(std::ranges::count(p.results, mci::kDuplicateAlias), 15);
    EXPECT_EQ(std::pair(p.playsStarted, p.commands.back()),
              std::pair(1, std::string("close sound1")));
}

std::string Focus() {
    return QApplication::focusWidget()->objectName().toStdString();
}

struct FormsTest : ::testing::Test {
    void SetUp() override {
        fake = {};
        QApplication::setActiveWindow(form1);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form1));
    }
    platform::qt::Runtime runtime;
    platform::qt::FormWindow* form1 = &runtime.Start(forms::Form1);
};

TEST_F(FormsTest, EveryControlSitsWhereTheLayoutPutsItWithItsWholeCaption) {
    // In pixels: four frames, buttons 40 px apart, the last two taller, About at the foot.
    std::map<std::string, std::pair<std::string, QRect>> expected{
        {"Command28", {"Frame1", {16, 392, 113, 25}}}, {"Text1", {"Form2", {8, 8, 297, 193}}}};
    int n = 1;
    for (int frame = 0; frame < 4; ++frame) {
        const std::string name = "Frame" + std::to_string(frame + 1);
        expected[name] = {"Form1", {16 + 168 * frame, 16, 145, 433}};
        for (int row = 0; n <= std::array{5, 10, 19, 27}[frame]; ++row) {
            expected["Command" + std::to_string(n)] = {name,
                                                       {16, 32 + 40 * row, 113, n < 26 ? 25 : 33}};
            ++n;
        }
    }
    auto& about = runtime.Show(forms::Form2);
    for (auto [window, size] :
         {std::pair{form1, QSize(681, 464)}, std::pair{&about, QSize(312, 213)}}) {
        EXPECT_EQ(std::pair(window->minimumSize(), window->maximumSize()), std::pair(size, size));
        // Assistive technology sees a window named by its caption, each control by its caption.
        const auto accessible = [](QObject* object) {
            return QAccessible::queryAccessibleInterface(object);
        };
        EXPECT_EQ(accessible(window)->role(), QAccessible::Window);
        EXPECT_FALSE(window->windowIcon().isNull());
        EXPECT_EQ(accessible(window)->text(QAccessible::Name).toStdString(),
                  window->Definition().caption);
        for (const forms::Control& row : window->Definition().controls) {
            SCOPED_TRACE(std::string(row.name));
            QWidget* widget = window->Control(row.name);
            const auto [parent, place] = expected.extract(std::string(row.name)).mapped();
            EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), parent);
            EXPECT_EQ(widget->geometry(), place);
            EXPECT_TRUE(widget->isVisible());
            const QString name = accessible(widget)->text(QAccessible::Name);
            EXPECT_EQ(name.toStdString(),
                      row.kind == forms::ControlKind::TextBox ? "Credits" : row.caption);
            auto* button = dynamic_cast<platform::qt::CaptionButton*>(widget);
            if (button == nullptr)
                continue;
            // The caption fits, wrapped in the font it is drawn in.
            QStyleOptionButton option;
            option.initFrom(widget);
            const QRect area =
                widget->style()->subElementRect(QStyle::SE_PushButtonContents, &option, widget);
            const QRect wrapped =
                QFontMetrics(button->CaptionFont())
                    .boundingRect(QRect(0, 0, area.width(), 1000), Qt::TextWordWrap, name);
            EXPECT_GE(button->CaptionFont().pointSizeF(), 6);
            EXPECT_LE(wrapped.width(), area.width());
            EXPECT_LE(wrapped.height(), area.height());
        }
    }
    EXPECT_TRUE(expected.empty()) << expected.begin()->first << " is missing";
    // The credits box shows no scroll bar, however much is typed into it (its lines wrap).
    auto* credits = static_cast<QPlainTextEdit*>(about.Control("Text1"));
    credits->setPlainText(QString(500, 'x') + QString("\n").repeated(100));
    QCoreApplication::processEvents();
    EXPECT_FALSE(credits->verticalScrollBar()->isVisible());
    const QPointer<QWidget> closed = &about;
    about.close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closed.isNull() && runtime.Show(forms::Form2).isVisible()) << "About opens afresh";
}

// Focus starts on Command1, Tab runs through the buttons in order; each plays its own shipped clip.
TEST_F(FormsTest, TheKeyboardRunsThroughTheButtonsInOrderAndEachPlaysItsOwnShippedClip) {
    std::set<std::string> played;
    for (int n = 1; n <= 28; ++n) {
        EXPECT_EQ(Focus(), "Command" + std::to_string(n));
        if (n < 28) {
            QTest::keyClick(QApplication::focusWidget(),
                            std::array{Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}[n % 3]);
            std::string path = fake.shortPathCalls.back().first;
            const bool first = played.insert(path).second;
            ASSERT_TRUE(path.starts_with(kProgramDir + "\\") && first) << path;
            std::replace(path.begin(), path.end(), '\\', '/');
            EXPECT_TRUE(std::filesystem::is_regular_file(OSTRIVANE_SOURCE_DIR "/clips" +
                                                         path.substr(kProgramDir.size())));
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(fake.playsStarted, 27) << "moving the focus plays nothing";
    EXPECT_EQ(Focus(), "Command1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(Focus(), "Command28");
    fake.filesExist = false;  // no clip folders: a click returns at once
    QTest::mouseClick(static_cast<QAbstractButton*>(form1->Control("Command2")), Qt::LeftButton);
    EXPECT_EQ(fake.doEventsCalls, 27 * 3);
}

// About opens one window at once, even during a clip; the program ends with its last window, once
// the clip under way has ended.
TEST(ProgramEnd, ComesWithTheLastWindowClosedOnceTheClipUnderWayHasEnded) {
    fake = {};
    platform::qt::Runtime runtime;
    std::vector<std::string> events;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed,
                     [&] { events.push_back("none left"); });
    const auto click = [&](std::string_view button) {
        static_cast<QAbstractButton*>(runtime.Find(forms::Form1)->Control(button))->click();
    };
    QPointer<QWidget> form1;  // closed under its own handler: hidden, and gone once it returns
    fake.onDoEvents = [&, once = false]() mutable {
        if (std::exchange(once, true))
            return;
        click("Command28");
        click("Command28");
        auto* credits = static_cast<QPlainTextEdit*>(runtime.Find(forms::Form2)->Control("Text1"));
        if (std::ranges::count(QApplication::topLevelWidgets(), "About", &QWidget::windowTitle) ==
                1 &&
            credits->toPlainText() == QString::fromStdString(forms::CreditsText()).remove('\r'))
            events.push_back("About");
        form1 = runtime.Find(forms::Form1);
        form1->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        events.push_back(form1.isNull() ? "Form1 gone under its handler" : "Form1 closed");
        runtime.Find(forms::Form2)->close();
    };
    QTimer::singleShot(0, [&] {
        click("Command1");
        events.push_back(fake.pollsLeft < 0 ? "clip ended" : "click returned early");
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        events.push_back(form1.isNull() ? "Form1 gone" : "Form1 left behind");
    });
    EXPECT_EQ(runtime.Run(forms::Form1), 0);
    EXPECT_EQ(events, (Texts{"About", "Form1 closed", "none left", "clip ended", "Form1 gone"}));
    EXPECT_EQ(fake.playsStarted, 1) << "About plays nothing";
}

}  // namespace
