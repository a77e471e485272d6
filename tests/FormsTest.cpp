// The two windows as the Qt runtime builds them, over the recording fake: where every control is
// and that its caption fits, the keyboard, what each button does, and when the program ends.
#include <gtest/gtest.h>

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

std::string Name(const QWidget* widget) {
    return widget == nullptr ? "" : widget->objectName().toStdString();
}

class FormsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::State() = {};
        form1 = &runtime.Start(forms::Form1);
        QApplication::setActiveWindow(form1);
        ASSERT_TRUE(QTest::qWaitForWindowActive(form1));
    }
    void Click(std::string_view button) {
        QTest::mouseClick(qobject_cast<QAbstractButton*>(form1->Control(button)), Qt::LeftButton);
    }
    std::string Credits() const {
        auto* about = runtime.Find(forms::Form2);
        return about ? static_cast<QPlainTextEdit*>(about->Control("Text1"))
                           ->toPlainText()
                           .toStdString()
                     : "";
    }
    platform::qt::Runtime runtime;
    platform::qt::FormWindow* form1 = nullptr;
};

TEST_F(FormsTest, EveryControlSitsWhereTheLayoutPutsItWithItsWholeCaption) {
    // In pixels: four frames side by side, clip buttons stacked 40 px apart in each, the two last
    // ones taller, About at the foot of the first frame.
    std::map<std::string, std::pair<std::string, QRect>> expected{
        {"Command28", {"Frame1", QRect(16, 392, 113, 25)}},
        {"Text1", {"Form2", QRect(8, 8, 297, 193)}}};
    const int firstOfFrame[] = {1, 6, 11, 20, 28};
    for (int frame = 0; frame < 4; ++frame) {
        const std::string name = "Frame" + std::to_string(frame + 1);
        expected[name] = {"Form1", QRect(16 + 168 * frame, 16, 145, 433)};
        for (int n = firstOfFrame[frame]; n < firstOfFrame[frame + 1]; ++n) {
            expected["Command" + std::to_string(n)] = {
                name, QRect(16, 32 + 40 * (n - firstOfFrame[frame]), 113, n < 26 ? 25 : 33)};
        }
    }
    auto& about = runtime.Show(forms::Form2);
    EXPECT_EQ(form1->windowTitle(), "Ostrivane v1.0");
    EXPECT_EQ(about.windowTitle(), "About");
    for (auto [window, size] :
         {std::pair{form1, QSize(681, 464)}, std::pair{&about, QSize(312, 213)}}) {
        EXPECT_EQ(window->minimumSize(), size);
        EXPECT_EQ(window->maximumSize(), size);
        for (const forms::Control& row : window->Definition().controls) {
            SCOPED_TRACE(std::string(row.name));
            QWidget* widget = window->Control(row.name);
            ASSERT_TRUE(widget && widget->isVisible());
            const auto [parent, place] = expected.extract(std::string(row.name)).mapped();
            EXPECT_EQ(Name(widget->parentWidget()), parent);
            EXPECT_EQ(widget->geometry(), place);
            const QFontMetrics metrics(widget->font());
            const QString caption = QString::fromUtf8(row.caption.data(), row.caption.size());
            QRect area;
            if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
                EXPECT_EQ(frame->title(), caption);
                QStyleOptionGroupBox option;
                option.initFrom(frame);
                option.text = caption;
                option.subControls = QStyle::SC_GroupBoxLabel;
                area = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                      QStyle::SC_GroupBoxLabel, frame);
                EXPECT_TRUE(frame->rect().contains(area));
            } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_EQ(button->text(), caption);
                QStyleOptionButton option;
                option.initFrom(button);
                area =
                    button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
            } else {
                continue;
            }
            // Wrapped as CaptionButton paints it: only the tall buttons have room for two lines.
            const auto wrap = [&](const QString& text) {
                return metrics.boundingRect(QRect(0, 0, area.width(), 1000), Qt::TextWordWrap,
                                            text);
            };
            EXPECT_LE(wrap(caption).width(), area.width());
            EXPECT_LE(wrap(caption).height(), area.height());
            const int extraLines = place.height() == 33 ? 1 : 0;
            EXPECT_LE((wrap(caption).height() - wrap("X").height()) / metrics.lineSpacing(),
                      extraLines);
        }
    }
    EXPECT_TRUE(expected.empty()) << expected.begin()->first << " is missing";
}

TEST_F(FormsTest, FocusStartsOnCommand1AndTheKeyboardRunsThroughTheButtonsInNumberOrder) {
    EXPECT_EQ(Name(QApplication::focusWidget()), "Command1");
    for (int n = 2; n <= 29; ++n) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(Name(QApplication::focusWidget()), "Command" + std::to_string(n > 28 ? 1 : n));
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(Name(QApplication::focusWidget()), "Command28");
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
            played.insert(fake::State().shortPathCalls.back().first);
        }
    }
    EXPECT_EQ(fake::State().playsStarted, 27);
    ASSERT_EQ(played.size(), 27u);
    EXPECT_TRUE(played.contains(kProgramDir + "\\attempt\\far out side.wav"));
    for (std::string path : played) {
        ASSERT_TRUE(path.starts_with(kProgramDir + "\\")) << path;
        std::replace(path.begin(), path.end(), '\\', '/');
        path = OSTRIVANE_SOURCE_DIR "/clips" + path.substr(kProgramDir.size());
        EXPECT_TRUE(std::filesystem::is_regular_file(path)) << path;
    }

    fake::State() = {};
    fake::State().filesExist = false;  // no clip folders: every button returns at once
    Click("Command2");
    EXPECT_EQ(fake::State().doEventsCalls, 0);
}

TEST_F(FormsTest, AboutOpensOneFreshlyLoadedWindowAtOnceEvenDuringAClip) {
    const std::string credits =
        "Coded By:\nOstrivane developers\nostrivane@example.org\nostrivane.example.org\n\nI still "
        "need the 'thunderclap!', 'they've lost it', and 'tries from deep' sound effects.  If you "
        "want to try and get them, let me know and I'll tell you how I did it.";
    fake::State().pollsPerClip = 10;
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
    int open = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        open += window->isVisible() && window->windowTitle() == "About";
    }
    EXPECT_EQ(open, 1);

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
    fake::State().pollsPerClip = 10;
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
