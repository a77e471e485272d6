// The two windows as the Qt runtime builds them, over the recording fake: where every control is
// and that its caption fits, the keyboard, what each button does, and when the program ends.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <set>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/qt/Runtime.h"
#include "tests/support/FakePlatform.h"

namespace {

const std::string kProgramDir = fake::Platform().appPath;

std::string Focus() {
    return QApplication::focusWidget()->objectName().toStdString();
}

struct FormsTest : ::testing::Test {
    void SetUp() override {
        fake::State() = {};
        QApplication::setActiveWindow(form1);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form1));
    }
    void Click(std::string_view button) {
        QTest::mouseClick(static_cast<QAbstractButton*>(form1->Control(button)), Qt::LeftButton);
    }
    std::string Credits() const {
        auto* about = runtime.Find(forms::Form2);
        return about ? static_cast<QPlainTextEdit*>(about->Control("Text1"))
                           ->toPlainText()
                           .toStdString()
                     : "";
    }
    platform::qt::Runtime runtime;
    platform::qt::FormWindow* form1 = &runtime.Start(forms::Form1);
};

TEST_F(FormsTest, EveryControlSitsWhereTheLayoutPutsItWithItsWholeCaption) {
    // In pixels: four frames side by side, clip buttons stacked 40 px apart in each, the two last
    // ones taller, About at the foot of the first frame.
    std::map<std::string, std::pair<std::string, QRect>> expected{
        {"Command28", {"Frame1", {16, 392, 113, 25}}}, {"Text1", {"Form2", {8, 8, 297, 193}}}};
    const int lastOfFrame[] = {5, 10, 19, 27};
    for (int frame = 0, n = 1; frame < 4; ++frame) {
        const std::string name = "Frame" + std::to_string(frame + 1);
        expected[name] = {"Form1", {16 + 168 * frame, 16, 145, 433}};
        for (int row = 0; n <= lastOfFrame[frame]; ++row, ++n) {
            expected["Command" + std::to_string(n)] = {name,
                                                       {16, 32 + 40 * row, 113, n < 26 ? 25 : 33}};
        }
    }
    auto& about = runtime.Show(forms::Form2);
    EXPECT_EQ(form1->windowTitle() + about.windowTitle(), "Ostrivane v1.0About");
    for (auto [window, size] :
         {std::pair{form1, QSize(681, 464)}, std::pair{&about, QSize(312, 213)}}) {
        EXPECT_EQ(window->minimumSize(), size);
        EXPECT_EQ(window->maximumSize(), size);
        for (const forms::Control& row : window->Definition().controls) {
            SCOPED_TRACE(std::string(row.name));
            QWidget* widget = window->Control(row.name);
            const auto [parent, place] = expected.extract(std::string(row.name)).mapped();
            EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), parent);
            EXPECT_EQ(widget->geometry(), place);
            EXPECT_TRUE(widget->isVisible());
            const QString caption = QString::fromUtf8(row.caption.data(), row.caption.size());
            QRect area;
            if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
                QStyleOptionGroupBox option;
                option.initFrom(frame);
                option.text = frame->title();
                option.subControls = QStyle::SC_GroupBoxLabel;
                area = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                      QStyle::SC_GroupBoxLabel, frame);
                EXPECT_TRUE(frame->rect().contains(area));
                EXPECT_EQ(frame->title(), caption);
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                QStyleOptionButton option;
                option.initFrom(button);
                area =
                    button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
                EXPECT_EQ(button->text(), caption);
            } else {
                continue;
            }
            // Wrapped in the font CaptionButton paints it in: only the tall buttons have room for
            // a second line, and no caption is drawn under 6 pt.
            const auto* button = dynamic_cast<platform::qt::CaptionButton*>(widget);
            const QFont font = button ? button->CaptionFont() : widget->font();
            const QFontMetrics metrics(font);
            EXPECT_GE(font.pointSizeF(), 6);
            const auto wrap = [&](const QString& text) {
                return metrics.boundingRect(QRect(0, 0, area.width(), 1000), Qt::TextWordWrap,
                                            text);
            };
            EXPECT_LE(wrap(caption).width(), area.width());
            EXPECT_LE(wrap(caption).height(), area.height());
            EXPECT_LE((wrap(caption).height() - wrap("X").height()) / metrics.lineSpacing(),
                      place.height() == 33);
        }
    }
    EXPECT_TRUE(expected.empty()) << expected.begin()->first << " is missing";
    // Assistive technology sees two windows named by their captions, and a named credits box.
    for (QWidget* widget : {static_cast<QWidget*>(form1), static_cast<QWidget*>(&about)}) {
        QAccessibleInterface* window = QAccessible::queryAccessibleInterface(widget);
        EXPECT_EQ(window->role(), QAccessible::Window);
        EXPECT_EQ(window->text(QAccessible::Name), widget->windowTitle());
    }
    EXPECT_EQ(
        QAccessible::queryAccessibleInterface(about.Control("Text1"))->text(QAccessible::Name),
        "Credits");
}

TEST_F(FormsTest, FocusStartsOnCommand1AndTheKeyboardRunsThroughTheButtonsInNumberOrder) {
    for (int n = 2; n <= 29; ++n) {
        EXPECT_EQ(Focus(), "Command" + std::to_string(n - 1));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    EXPECT_EQ(Focus(), "Command1");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(Focus(), "Command28");
    EXPECT_TRUE(fake::State().commands.empty()) << "moving the focus plays nothing";
    for (Qt::Key key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), key);
    }
    EXPECT_EQ(fake::State().playsStarted, 3);
    EXPECT_EQ(fake::State().shortPathCalls.back().first,
              kProgramDir + "\\attempt\\sends it high.wav");
}

TEST_F(FormsTest, EveryClipButtonPlaysItsOwnShippedClipFromTheProgramDirectory) {
    std::set<std::string> played;
    for (const forms::Control& row : forms::Form1.controls) {
        if (row.kind == forms::ControlKind::CommandButton && row.name != "Command28") {
            Click(row.name);
            std::string path = fake::State().shortPathCalls.back().first;
            played.insert(path);
            ASSERT_TRUE(path.starts_with(kProgramDir + "\\"));
            std::replace(path.begin(), path.end(), '\\', '/');
            EXPECT_TRUE(std::filesystem::is_regular_file(OSTRIVANE_SOURCE_DIR "/clips" +
                                                         path.substr(kProgramDir.size())))
                << path;
        }
    }
    EXPECT_EQ(played.size(), 27u);
    EXPECT_EQ(fake::State().playsStarted, 27);
    EXPECT_TRUE(played.contains(kProgramDir + "\\attempt\\far out side.wav"));
    fake::State().filesExist = false;  // no clip folders: a click returns at once
    Click("Command2");
    EXPECT_EQ(fake::State().doEventsCalls, 27 * 3);
}

TEST_F(FormsTest, AboutOpensOneFreshlyLoadedWindowAtOnceEvenDuringAClip) {
    const std::string credits =
        "Coded By:\nOstrivane developers\nostrivane@example.org\nostrivane.example.org\n\nI still "
        "need the 'thunderclap!', 'they've lost it', and 'tries from deep' sound effects.  If you "
        "want to try and get them, let me know and I'll tell you how I did it.";
    bool openDuringClip = false;
    fake::State().onDoEvents = [&, clicked = false]() mutable {
        if (!std::exchange(clicked, true)) {
            Click("Command28");
            Click("Command28");
            openDuringClip = Credits() == credits;
        }
    };
    Click("Command1");
    EXPECT_TRUE(openDuringClip);
    EXPECT_EQ(fake::State().shortPathCalls.size(), 1u) << "About plays nothing";
    const auto windows = QApplication::topLevelWidgets();
    EXPECT_EQ(
        std::count_if(windows.begin(), windows.end(),
                      [](QWidget* w) { return w->isVisible() && w->windowTitle() == "About"; }),
        1);
    QTest::keyClicks(runtime.Find(forms::Form2)->Control("Text1"), "scribble");
    QPointer<QWidget> first = runtime.Find(forms::Form2);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull()) << "a closed About window is destroyed";
    Click("Command28");
    EXPECT_EQ(Credits(), credits);
}

// The program ends when its last window has closed, and not before the clip under way has ended.
TEST(ProgramEnd, ComesWithTheLastWindowClosedOnceTheClipUnderWayHasEnded) {
    fake::State() = {};
    platform::qt::Runtime runtime;
    std::vector<std::string> events;
    QObject::connect(qApp, &QGuiApplication::lastWindowClosed,
                     [&] { events.push_back("none left"); });
    fake::State().onDoEvents = [&, closed = false]() mutable {
        if (!std::exchange(closed, true)) {
            runtime.Find(forms::Form1)->close();
            events.push_back("Form1 closed");
            runtime.Find(forms::Form2)->close();
        }
    };
    QTimer::singleShot(0, [&] {
        runtime.Find(forms::Form1)->Show(forms::Form2);
        static_cast<QAbstractButton*>(runtime.Find(forms::Form1)->Control("Command1"))->click();
        events.push_back(fake::State().pollsLeft < 0 ? "clip ended" : "click returned early");
    });
    EXPECT_EQ(runtime.Run(forms::Form1), 0);
    EXPECT_EQ(events, (std::vector<std::string>{"Form1 closed", "none left", "clip ended"}));
}

}  // namespace
