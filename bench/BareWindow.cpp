// The floor for start-up and memory: Qt Widgets showing one empty window the size of Form1's
// client area (as ostrivane_layout gives it), in the program's font, and nothing else. The title
// tells the window apart for the start-up probe.
//   ostrivane_bare_window TITLE WIDTH HEIGHT
#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    if (argc != 4) {
        std::fprintf(stderr, "usage: ostrivane_bare_window TITLE WIDTH HEIGHT\n");
        return 2;
    }
    QWidget window;
    window.setWindowTitle(QString::fromLocal8Bit(argv[1]));
    window.setFixedSize(std::atoi(argv[2]), std::atoi(argv[3]));
    // An empty window never looks its font up; the font is only "the same" once it has been
    // found and loaded, as it is for any window with a caption in it.
    if (QFontInfo(window.font()).family().isEmpty()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}
