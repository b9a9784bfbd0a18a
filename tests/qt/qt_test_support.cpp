// Helpers for the widget suites.
#include "qt_test_support.h"

#include <private/qguiapplication_p.h>
#include <qpa/qplatformaccessibility.h>
#include <qpa/qplatformdrag.h>
#include <qpa/qplatformintegration.h>
#include <qpa/qwindowsysteminterface.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QWindow>

DropReply QueueDropOnWindow(QWidget& window, const QMimeData& mime_data, QPoint position,
                            Qt::DropActions offered) {
    QWindow* handle = window.windowHandle();
    QWindowSystemInterface::handleDrag(handle, &mime_data, position, offered, Qt::LeftButton,
                                       Qt::NoModifier);
    const QPlatformDropQtResponse response = QWindowSystemInterface::handleDrop(
        handle, &mime_data, position, offered, Qt::LeftButton, Qt::NoModifier);
    return {response.isAccepted(), response.acceptedAction()};
}

DropReply DropOnWindow(QWidget& window, const QMimeData& mime_data, QPoint position,
                       Qt::DropActions offered) {
    const DropReply reply = QueueDropOnWindow(window, mime_data, position, offered);
    // The window handles a drop once the drop is over, from the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::MetaCall);
    return reply;
}

void DragOverAndAway(QWidget& window, const QMimeData& mime_data,
                     const std::function<void()>& while_over) {
    QWindowSystemInterface::handleDrag(window.windowHandle(), &mime_data, {99, 80}, Qt::CopyAction,
                                       Qt::LeftButton, Qt::NoModifier);
    while_over();
    QWindowSystemInterface::handleDrag(window.windowHandle(), nullptr, {}, {}, {}, {});
}

void SetAccessibilityActive(bool active) {
    QGuiApplicationPrivate::platformIntegration()->accessibility()->setActive(active);
}

std::unique_ptr<QMimeData> FileDrop(const QStringList& paths) {
    auto mime_data = std::make_unique<QMimeData>();
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.append(QUrl::fromLocalFile(path));
    }
    mime_data->setUrls(urls);
    return mime_data;
}

QString WriteFile(const QTemporaryDir& dir, const QString& name, qsizetype size, char fill) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qFatal("cannot write the test file %s", qPrintable(path));
    }
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i) {
        bytes[i] = static_cast<char>(fill + i * 7);
    }
    file.write(bytes);
    return path;
}

SeenBox CloseBoxDuring(const std::function<void()>& action) {
    SeenBox seen;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || seen.shown) {
            return;
        }
        seen = {true, box->windowTitle(), box->text(), box->icon() == QMessageBox::Warning};
        box->button(QMessageBox::Ok)->click();
    });
    poll.start(10);
    action();
    return seen;
}
