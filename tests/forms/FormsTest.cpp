// The forms as built by the Qt runtime: layout against the tables, captions that fit, and what the
// buttons do, with the recording platform fake standing in for audio.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionGroupBox>
#include <QTest>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "forms/Form1.h"
#include "forms/Form2.h"
#include "platform/ProgramDir.h"
#include "platform/qt/Runtime.h"
#include "tests/fakes/FakePlatform.h"

namespace {

using forms::Control;
using forms::ControlKind;
using platform::qt::FormWindow;

QString ToQt(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Name(const QWidget* widget) {
    return widget == nullptr ? "<none>" : widget->objectName().toStdString();
}

const Control& Row(const forms::FormDefinition& form, std::string_view name) {
    const auto it = std::find_if(form.controls.begin(), form.controls.end(),
                                 [&](const Control& c) { return c.name == name; });
    EXPECT_NE(it, form.controls.end()) << name;
    return *it;
}

std::vector<const Control*> ClipButtons() {
    std::vector<const Control*> rows;
    for (const Control& c : forms::Form1.controls) {
        if (!c.clipPath.empty()) {
            rows.push_back(&c);
        }
    }
    return rows;
}

QRect Pixels(int left, int top, int width, int height) {
    const int k = forms::kTwipsPerPixel;
    return {left / k, top / k, width / k, height / k};
}

std::string LongPath(const Control& row) {
    return platform::AppPath() + std::string(row.clipPath);
}

// Long paths become this, so that the open command shows which of the two it was given.
std::uint32_t FakeShortPath(const char* /*longPath*/, char* buffer, std::uint32_t size) {
    const std::string shortForm = "/OSTRIV~1/CLIP~1.WAV";
    if (shortForm.size() + 1 > size) {
        return static_cast<std::uint32_t>(shortForm.size() + 1);
    }
    std::copy(shortForm.c_str(), shortForm.c_str() + shortForm.size() + 1, buffer);
    return static_cast<std::uint32_t>(shortForm.size());
}

class FormsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        fake::Reset();
        fake::State().appPath = "/home/o'neil/my clips";
        window_ = &runtime_.Start(forms::Form1);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_));
    }

    void Activate() {
        QApplication::setActiveWindow(window_);
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_));
    }

    QAbstractButton* Button(std::string_view name) const {
        auto* button = qobject_cast<QAbstractButton*>(window_->Control(name));
        EXPECT_NE(button, nullptr) << name;
        return button;
    }

    void Click(std::string_view name) { QTest::mouseClick(Button(name), Qt::LeftButton); }

    // Runs action once, from inside the first event pump call of the clip being waited on.
    void DuringPlayback(std::function<void()> action) {
        fake::State().onDoEvents = [action = std::move(action)]() mutable {
            if (action) {
                auto once = std::move(action);
                action = nullptr;
                once();
            }
        };
    }

    std::vector<QWidget*> OpenAboutWindows() const {
        std::vector<QWidget*> found;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName() == "Form2" && w->isVisible()) {
                found.push_back(w);
            }
        }
        return found;
    }

    QPlainTextEdit* Credits() const {
        FormWindow* about = runtime_.Find(forms::Form2);
        return about == nullptr ? nullptr : qobject_cast<QPlainTextEdit*>(about->Control("Text1"));
    }

    platform::qt::Runtime runtime_;
    FormWindow* window_ = nullptr;
};

TEST_F(FormsTest, EveryControlSitsWhereItsTableSays) {
    EXPECT_EQ(window_->windowTitle(), ToQt(forms::Form1.caption));
    EXPECT_EQ(window_->size(), QSize(681, 464));
    FormWindow& about = runtime_.Show(forms::Form2);
    EXPECT_EQ(about.size(), QSize(312, 213));
    EXPECT_EQ(window_->Control("Command2")->geometry(), QRect(16, 72, 113, 25));

    for (FormWindow* form : {window_, &about}) {
        const forms::FormDefinition& table = form->Definition();
        EXPECT_EQ(form->rect(), Pixels(0, 0, table.clientWidth, table.clientHeight));
        for (const Control& row : table.controls) {
            SCOPED_TRACE(std::string(row.name));
            // Whole pixels only: a table value off by a few twips would be rounded away silently.
            for (int twips : {row.left, row.top, row.width, row.height}) {
                EXPECT_EQ(twips % forms::kTwipsPerPixel, 0);
            }
            QWidget* widget = form->Control(row.name);
            ASSERT_NE(widget, nullptr);
            EXPECT_EQ(Name(widget), row.name);
            EXPECT_EQ(widget->geometry(), Pixels(row.left, row.top, row.width, row.height));
            QWidget* parent = row.parent.empty() ? form : form->Control(row.parent);
            EXPECT_EQ(widget->parentWidget(), parent);
            EXPECT_TRUE(parent->rect().contains(widget->geometry()));
            EXPECT_TRUE(widget->isVisible());
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
                EXPECT_EQ(button->text(), ToQt(row.caption));
                EXPECT_EQ(row.kind, ControlKind::CommandButton);
            } else if (auto* frame = qobject_cast<QGroupBox*>(widget)) {
                EXPECT_EQ(frame->title(), ToQt(row.caption));
                EXPECT_EQ(row.kind, ControlKind::Frame);
            }
            for (const Control& other : table.controls) {
                if (&other != &row && other.parent == row.parent) {
                    EXPECT_FALSE(
                        widget->geometry().intersects(form->Control(other.name)->geometry()))
                        << "overlaps " << other.name;
                }
            }
        }
    }
}

TEST_F(FormsTest, FocusStartsOnCommand1AndTabFollowsTheTabIndexes) {
    Activate();
    std::vector<const Control*> buttons;
    for (const Control& row : forms::Form1.controls) {
        if (row.kind == ControlKind::CommandButton) {
            buttons.push_back(&row);
        }
    }
    std::sort(buttons.begin(), buttons.end(),
              [](const Control* a, const Control* b) { return a->tabIndex < b->tabIndex; });
    ASSERT_EQ(buttons.size(), 28u);
    EXPECT_EQ(buttons.front()->name, "Command1");
    EXPECT_EQ(buttons.back()->name, "Command28");

    EXPECT_EQ(Name(QApplication::focusWidget()), "Command1");
    for (std::size_t i = 1; i <= buttons.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(Name(QApplication::focusWidget()), buttons[i % buttons.size()]->name);
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_EQ(Name(QApplication::focusWidget()), "Command28");
    EXPECT_TRUE(fake::State().calls.empty());  // moving the focus plays nothing
}

TEST_F(FormsTest, EveryCaptionFitsItsControl) {
    for (const Control& row : forms::Form1.controls) {
        SCOPED_TRACE(std::string(row.name));
        QWidget* widget = window_->Control(row.name);
        const QFontMetrics metrics(widget->font());
        const QString caption = ToQt(row.caption);
        if (row.kind == ControlKind::Frame) {
            auto* frame = static_cast<QGroupBox*>(widget);
            QStyleOptionGroupBox option;
            option.initFrom(frame);
            option.text = caption;
            option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
            const QRect label = frame->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                               QStyle::SC_GroupBoxLabel, frame);
            EXPECT_GE(label.width(), metrics.horizontalAdvance(caption));
            EXPECT_TRUE(frame->rect().contains(label)) << label.x() << "+" << label.width();
            continue;
        }
        QStyleOptionButton option;
        option.initFrom(widget);
        option.text = caption;
        const QRect area =
            widget->style()->subElementRect(QStyle::SE_PushButtonContents, &option, widget);
        // Wrapped the way CaptionButton paints it; each line past the first adds a line spacing.
        const auto wrap = [&](const QString& text) {
            return metrics.boundingRect(
                QRect(QPoint(0, 0), QSize(area.width(), 10 * area.height())),
                Qt::AlignCenter | Qt::TextWordWrap, text);
        };
        const QRect wrapped = wrap(caption);
        const int lines = 1 + (wrapped.height() - wrap("X").height()) / metrics.lineSpacing();
        const int allowed = (row.name == "Command26" || row.name == "Command27") ? 2 : 1;
        EXPECT_LE(lines, allowed);
        EXPECT_LE(wrapped.width(), area.width());
        EXPECT_LE(wrapped.height(), area.height());
        if (allowed == 1) {
            EXPECT_LE(metrics.horizontalAdvance(caption), area.width());
        }
    }
}

TEST_F(FormsTest, EveryClipButtonPlaysItsOwnFile) {
    const auto rows = ClipButtons();
    ASSERT_EQ(rows.size(), 27u);
    EXPECT_TRUE(LongPath(Row(forms::Form1, "Command2")).ends_with("\\attempt\\far out side.wav"));
    for (const Control* row : rows) {
        SCOPED_TRACE(std::string(row->name));
        fake::Reset();
        fake::State().appPath = "/home/o'neil/my clips";
        fake::State().shortPath = &FakeShortPath;
        Click(row->name);
        const auto& p = fake::State();
        EXPECT_EQ(p.shortPathRequests, std::vector<std::string>{LongPath(*row)});
        const auto commands = fake::Commands();
        ASSERT_GE(commands.size(), 3u);
        EXPECT_EQ(commands.front(), "open waveaudio!/OSTRIV~1/CLIP~1.WAV alias sound1");
        EXPECT_EQ(commands[1], "play sound1");
        EXPECT_EQ(commands.back(), "close sound1");
        EXPECT_EQ(p.playsStarted, 1);
        EXPECT_TRUE(p.boundAlias.empty());
    }
}

TEST_F(FormsTest, AboutOpensOneFreshlyLoadedWindow) {
    QString credits = QString::fromStdString(forms::CreditsText());
    credits.replace("\r\n", "\n");
    Click("Command28");
    Click("Command28");
    ASSERT_EQ(OpenAboutWindows().size(), 1u);
    EXPECT_EQ(OpenAboutWindows().front(), runtime_.Find(forms::Form2));
    EXPECT_TRUE(fake::State().calls.empty());
    ASSERT_NE(Credits(), nullptr);
    EXPECT_EQ(Credits()->toPlainText(), credits);

    QTest::keyClicks(Credits(), "scribble");
    EXPECT_TRUE(Credits()->toPlainText().contains("scribble"));
    QPointer<FormWindow> first = runtime_.Find(forms::Form2);
    first->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(runtime_.Find(forms::Form2), nullptr);
    EXPECT_TRUE(OpenAboutWindows().empty());
    EXPECT_TRUE(window_->isVisible());

    Click("Command28");
    ASSERT_EQ(OpenAboutWindows().size(), 1u);
    ASSERT_NE(Credits(), nullptr);
    EXPECT_EQ(Credits()->toPlainText(), credits);
}

// A second click while a clip plays arrives through the event pump inside the first one's wait.
TEST_F(FormsTest, AClickDuringPlaybackNeitherRestartsNorRepeatsTheClip) {
    for (std::string_view second : {"Command5", "Command1"}) {
        SCOPED_TRACE(std::string(second));
        fake::Reset();
        fake::State().pollsPerClip = 20;
        bool secondReturned = false;
        DuringPlayback([&] {
            Click(second);
            secondReturned = true;
        });
        Click("Command1");
        const auto& p = fake::State();
        EXPECT_TRUE(secondReturned);
        EXPECT_EQ(p.shortPathRequests.size(), 2u);  // the second click did reach the player
        EXPECT_EQ(p.playsStarted, 1);
        EXPECT_FALSE(p.playing);
        EXPECT_TRUE(p.boundAlias.empty());
    }
}

TEST_F(FormsTest, AboutOpensAtOnceDuringPlayback) {
    fake::State().pollsPerClip = 20;
    bool openInsideTheWait = false;
    DuringPlayback([&] {
        Click("Command28");
        openInsideTheWait = OpenAboutWindows().size() == 1 && fake::State().playing;
    });
    Click("Command11");
    EXPECT_TRUE(openInsideTheWait);
    EXPECT_EQ(fake::State().playsStarted, 1);
    EXPECT_EQ(OpenAboutWindows().size(), 1u);
}

TEST_F(FormsTest, MissingClipsReturnAtOnceAndLeaveTheWindowWorking) {
    fake::State().existingFiles = {"<nothing has this name>"};
    for (const Control* row : ClipButtons()) {
        Click(row->name);
    }
    const auto& p = fake::State();
    EXPECT_EQ(p.shortPathRequests.size(), ClipButtons().size());
    EXPECT_EQ(p.doEventsCalls, 0);
    EXPECT_EQ(p.playsStarted, 0);
    EXPECT_TRUE(p.boundAlias.empty());

    EXPECT_TRUE(window_->isVisible());
    Click("Command28");
    EXPECT_EQ(OpenAboutWindows().size(), 1u);
}

TEST_F(FormsTest, SpaceAndEnterClickTheFocusedButton) {
    Activate();
    const std::pair<Qt::Key, bool> keys[] = {
        {Qt::Key_Space, false}, {Qt::Key_Return, true}, {Qt::Key_Enter, false}};
    for (const auto& [key, tabFirst] : keys) {
        if (tabFirst) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QWidget* focused = QApplication::focusWidget();
        ASSERT_NE(focused, nullptr);
        SCOPED_TRACE(Name(focused) + " key " + std::to_string(key));
        fake::Reset();
        QTest::keyClick(focused, key);
        EXPECT_EQ(fake::State().shortPathRequests,
                  std::vector<std::string>{LongPath(Row(forms::Form1, Name(focused)))});
        EXPECT_EQ(fake::State().playsStarted, 1);
    }
    EXPECT_EQ(Name(QApplication::focusWidget()), "Command2");
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) {
        return RUN_ALL_TESTS();
    }
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
