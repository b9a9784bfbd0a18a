// Form1Widget: the main window realised in Qt Widgets from Form1's layout.
#pragma once

#include <QPixmap>
#include <QWidget>

#include "desktop_services.h"

class QLabel;
class QRadioButton;

// Builds the controls from Form1's data and passes every drop on to HandleFileDrop.
class Form1Widget final : public QWidget {
public:
    explicit Form1Widget(QWidget* parent = nullptr);

    QRadioButton* Option(OptionButton option) const;
    QLabel* Label1() const { return label1_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPixmap picture_;
    QPixmap picture_2x_;
    QRadioButton* option1_ = nullptr;
    QRadioButton* option2_ = nullptr;
    QLabel* label1_ = nullptr;
};
