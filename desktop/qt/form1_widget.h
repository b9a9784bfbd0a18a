// Form1Widget: the main window realised in Qt Widgets from Form1's layout.
#pragma once

#include <QPixmap>
#include <QUrl>
#include <QWidget>
#include <functional>

#include "desktop_services.h"

class QLabel;
class QRadioButton;
class QtDropData;

// Builds the controls from Form1's data and passes on to HandleFileDrop every file list that
// reaches it, dropped or chosen in a file dialog (Ctrl+O, or a double-click on the drop picture),
// and to HandlePaste what is pasted (Ctrl+V).
class Form1Widget final : public QWidget {
public:
    explicit Form1Widget(QWidget* parent = nullptr);

    QRadioButton* Option(OptionButton option) const;
    QLabel* Label1() const { return label1_; }
    // The part of the window that shows the drop picture and takes double-clicks.
    QRect DropZone() const;
    // Whether a drag carrying files is over the window, shown as an outline on the picture.
    bool ShowsDropTarget() const { return drop_target_; }

    // Handles the clipboard's file list as a drop, or else its picture, once the current event is
    // over.
    void Paste();
    // Lets the user choose a file and handles it as a one-file drop.
    void ChooseFile();
    // Runs action when the window is asked to close, once it has stopped taking work for good:
    // from then on drops, pastes and files chosen, also those queued before, are ignored.
    void SetClosingAction(std::function<void()> action) { closing_action_ = std::move(action); }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Whether a new piece of work may start now.
    bool TakesWork() const { return !busy_ && !closing_; }
    void ShowDropTarget(bool shown);
    // Runs the handler on the data once the current event is over, unless other work is open.
    void QueueHandler(void (*handler)(const DropData&), QtDropData data);

    QPixmap picture_;
    QPixmap picture_2x_;
    QRadioButton* option1_ = nullptr;
    QRadioButton* option2_ = nullptr;
    QLabel* label1_ = nullptr;
    bool drop_target_ = false;
    // True while the file dialog is open or a drop is being handled (its warning box can be
    // open): no second piece of work may start inside the first.
    bool busy_ = false;
    // Set once the window was asked to close: what closing hands over is the snippet the status
    // line last reported, and no warning box may open inside the close.
    bool closing_ = false;
    std::function<void()> closing_action_;
    // The folder of the file chosen last, where the file dialog opens next.
    QUrl last_folder_;
};
