#include <QApplication>

#include "forms/Form1.h"
#include "platform/linux/MciService.h"
#include "platform/qt/EventPump.h"
#include "platform/qt/Runtime.h"

int main(int argc, char** argv) {
    // The program takes no command line: Qt sees only the program name, so no argument can
    // change what it does.
    int qtArgc = 1;
    char* qtArgv[] = {argc > 0 ? argv[0] : nullptr, nullptr};
    QApplication application(qtArgc, qtArgv);
    application.setApplicationName(QStringLiteral("ostrivane"));
    application.setDesktopFileName(QStringLiteral("ostrivane"));

    mci::Service::Instance().SetEndNotifier(platform::qt::MakeWaker());
    int status = 0;
    {
        platform::qt::Runtime runtime;
        status = runtime.Run(forms::Form1);
    }
    mci::Service::Instance().SetEndNotifier(nullptr);
    return status;
}
