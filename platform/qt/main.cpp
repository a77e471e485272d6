#include <QApplication>
#include <QEvent>

#include "forms/Form1.h"
#include "platform/linux/MciService.h"
#include "platform/linux/PulseOutput.h"
#include "platform/qt/EventPump.h"
#include "platform/qt/Runtime.h"

namespace {

// A click is likely once the pointer enters a window or a button, a window becomes active or a key
// is pressed: the sound output gets ready then, so that the click is heard at once.
class ClickLikely final : public QObject {
  protected:
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        switch (event->type()) {
            case QEvent::Enter:
            case QEvent::WindowActivate:
            case QEvent::KeyPress:
                mci::ExpectClip();
                break;
            default:
                break;
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    // The program takes no command line: Qt sees only the program name, so no argument can
    // change what it does.
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QApplication application(qtArgc, qtArgv);
    QApplication::setApplicationName(QStringLiteral(OSTRIVANE_DESKTOP_ID));
    QApplication::setDesktopFileName(QStringLiteral(OSTRIVANE_DESKTOP_ID));
    ClickLikely clickLikely;
    application.installEventFilter(&clickLikely);

    mci::Service::Instance().SetEndNotifier(platform::qt::MakeWaker());
    int status = 0;
    {
        platform::qt::Runtime runtime;
        status = runtime.Run(forms::Form1);
    }
    mci::Service::Instance().SetEndNotifier(nullptr);
    return status;
}
