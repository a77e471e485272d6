// The floor for start-up and memory: Qt Widgets showing one empty window the size of Form1's
// client area, in the program's font, and nothing else. The title is the first argument, so that
// the start-up probe can tell the window apart.
#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Liberation Sans"), 8));
    QWidget window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1])
                                   : QStringLiteral("Bare window"));
    window.setFixedSize(681, 464);  // 10215 x 6960 twips at 15 twips a pixel
    // An empty window never looks its font up; the font is only "the same" once it has been
    // found and loaded, as it is for any window with a caption in it.
    if (QFontInfo(window.font()).family().isEmpty()) {
        return 1;
    }
    window.show();
    return QApplication::exec();
}
