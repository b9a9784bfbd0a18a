// Helpers for the widget suites: drops through the window handle, files, and the warning box.
#pragma once

#include <QMimeData>
#include <QString>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>

// What the drag source hears back from a drop.
struct DropReply {
    bool accepted = false;
    Qt::DropAction action = Qt::IgnoreAction;
};

// Drags mime_data onto window at position (window coordinates) and drops it there, through the
// same window-system entry points a platform drag uses; returns once the drop has been handled.
DropReply DropOnWindow(QWidget& window, const QMimeData& mime_data, QPoint position = {99, 80},
                       Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction |
                                                 Qt::LinkAction);

// The same drop, left for the window to handle from the event loop later.
DropReply QueueDropOnWindow(QWidget& window, const QMimeData& mime_data, QPoint position = {99, 80},
                            Qt::DropActions offered = Qt::CopyAction);

// Drags mime_data over window and away again without a drop; while_over runs in between.
void DragOverAndAway(QWidget& window, const QMimeData& mime_data,
                     const std::function<void()>& while_over);

// Turns the platform's accessibility on or off, as a screen reader starting or ending does; while
// it is on, QAccessible passes events on to an update handler.
void SetAccessibilityActive(bool active);

// Mime data holding the given local files as a uri-list, as file managers offer them.
std::unique_ptr<QMimeData> FileDrop(const QStringList& paths);

// Writes size bytes (a repeating pattern from fill) to dir/name; returns the full path.
QString WriteFile(const QTemporaryDir& dir, const QString& name, qsizetype size, char fill = 0);

// What a modal box showed before the test closed it with its OK button.
struct SeenBox {
    bool shown = false;
    QString title;
    QString text;
    bool warning_icon = false;
};

// Runs action; if it opens a modal box, records it and presses OK.
SeenBox CloseBoxDuring(const std::function<void()>& action);
