// A bare Qt Widgets window of the main window's size: the peer for start-up time and memory.
//   bare_window          the window and nothing else
//   bare_window --text   the same with one line of text, to show what drawing any text costs
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <cstring>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(198, 206);
    window.setWindowTitle(QStringLiteral("bare window"));
    if (argc > 1 && std::strcmp(argv[1], "--text") == 0) {
        auto* label = new QLabel(QStringLiteral("Clipboard! Size 42716 b"), &window);
        label->setGeometry(0, 156, 197, 21);
    }
    window.show();
    return QApplication::exec();
}
