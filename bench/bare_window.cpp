// Plain Qt Widgets windows of the main window's size: the peers for start-up, memory and drops.
//   bare_window          the window and nothing else
//   bare_window --text   the same with one line of text, to show what drawing any text costs
//   bare_window --drop   a drop target that puts the first dropped file's path on the
//                        clipboard: the least any drop window does between release and clipboard
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QUrl>
#include <QWidget>
#include <cstring>

namespace {

class DropWindow final : public QWidget {
protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override {
        event->acceptProposedAction();
        const QList<QUrl> urls = event->mimeData()->urls();
        if (!urls.isEmpty()) {
            QGuiApplication::clipboard()->setText(urls.first().toLocalFile());
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const char* mode = argc > 1 ? argv[1] : "";
    DropWindow window;
    window.setFixedSize(198, 206);
    window.setWindowTitle(QStringLiteral("bare window"));
    if (std::strcmp(mode, "--text") == 0) {
        auto* label = new QLabel(QStringLiteral("Clipboard! Size 42716 b"), &window);
        label->setGeometry(0, 156, 197, 21);
    }
    window.setAcceptDrops(std::strcmp(mode, "--drop") == 0);
    window.show();
    return QApplication::exec();
}
