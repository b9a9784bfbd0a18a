// Form1Widget: controls from Form1's layout, the drop-zone picture, and drag-and-drop.
#include "form1_widget.h"

#include <QButtonGroup>
#include <QDragEnterEvent>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <cstdio>
#include <exception>

#include "fonts.h"
#include "form1.h"
#include "form1_handlers.h"
#include "qt_colour.h"
#include "qt_drop_data.h"

namespace {

QRect Geometry(const ControlSpec& control) {
    return {control.left, control.top, control.width, control.height};
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Our pictures are all PNG. Named as such, without guessing, Qt 6.4 decodes them itself instead
// of first loading every image format plugin to ask whether it reads PNG.
QPixmap LoadPng(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QRadioButton* MakeOption(const ControlSpec& control, QWidget* parent) {
    auto* option = new QRadioButton(Text(control.text), parent);
    option->setObjectName(Text(control.name));
    option->setGeometry(Geometry(control));
    option->setFont(FontFor(control.font));
    option->setChecked(control.initially_selected);
    return option;
}

// Offers copying to the drag source whenever it allows it, so that a file manager never moves
// or deletes the dropped file; every drag is accepted, so every drop reaches the handler (a drop
// that cannot be a copy is refused afterwards, in dropEvent).
void AcceptAsCopy(QDropEvent* event) {
    if (event->possibleActions().testFlag(Qt::CopyAction)) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->acceptProposedAction();
    }
}

// Qt does not support exceptions unwinding through its event loop; the handler keeps its own
// failures, and anything else (memory running out) is reported and the drop given up.
void RunDropHandler(const QtDropData& data) {
    try {
        HandleFileDrop(data);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vellumine: a drop failed: %s\n", error.what());
    }
}

}  // namespace

Form1Widget::Form1Widget(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      picture_(LoadPng(QStringLiteral(":/assets/drop_zone.png"))) {
    setFixedSize(Form1.client_width, Form1.client_height);
    setFont(FontFor(Form1.font));
    QPalette window_palette = palette();
    window_palette.setColor(QPalette::Window, ToQColor(Form1.back_colour));
    setPalette(window_palette);
    setAutoFillBackground(true);

    // The double-size drawings are added on high-density screens only, as QIcon::addFile does.
    QIcon icon;
    for (const char* name : {"icon_24", "icon_48"}) {
        icon.addPixmap(LoadPng(QStringLiteral(":/assets/%1.png").arg(QLatin1String(name))));
        if (qGuiApp->devicePixelRatio() > 1.0) {
            icon.addPixmap(LoadPng(QStringLiteral(":/assets/%1@2x.png").arg(QLatin1String(name))));
        }
    }
    setWindowIcon(icon);

    // Created in tab order.
    option1_ = MakeOption(Form1.option1, this);
    option2_ = MakeOption(Form1.option2, this);
    auto* group = new QButtonGroup(this);
    group->addButton(option1_);
    group->addButton(option2_);

    const ControlSpec& label = Form1.label1;
    label1_ = new QLabel(this);
    label1_->setObjectName(Text(label.name));
    label1_->setGeometry(Geometry(label));
    label1_->setFont(FontFor(label.font));
    label1_->setTextFormat(Qt::PlainText);
    label1_->setAlignment(Qt::AlignCenter);
    label1_->setFrameShape(QFrame::Box);
    QPalette label_palette = label1_->palette();
    label_palette.setColor(QPalette::WindowText, ToQColor(Form1.label_initial_colour));
    label1_->setPalette(label_palette);
    label1_->setText(Text(label.text));

    setTabOrder(option1_, option2_);
}

QRadioButton* Form1Widget::Option(OptionButton option) const {
    return option == OptionButton::Option1 ? option1_ : option2_;
}

void Form1Widget::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    // Drawn unscaled at 96 dpi; on a high-density screen the double-size picture keeps it sharp.
    // It is decoded only there, to keep start-up short everywhere else.
    if (devicePixelRatioF() > 1.0) {
        if (picture_2x_.isNull()) {
            picture_2x_ = LoadPng(QStringLiteral(":/assets/drop_zone@2x.png"));
            picture_2x_.setDevicePixelRatio(2.0);
        }
        painter.drawPixmap(0, 0, picture_2x_);
    } else {
        painter.drawPixmap(0, 0, picture_);
    }
}

void Form1Widget::dragEnterEvent(QDragEnterEvent* event) {
    AcceptAsCopy(event);
}

void Form1Widget::dragMoveEvent(QDragMoveEvent* event) {
    AcceptAsCopy(event);
}

void Form1Widget::dropEvent(QDropEvent* event) {
    AcceptAsCopy(event);
    // Handled once the drop is over: a warning box opened inside the drop would keep the drag
    // source waiting for its answer (on Windows, OLE blocks the file manager) until it closes.
    QMetaObject::invokeMethod(
        this, [data = QtDropData(*event->mimeData())] { RunDropHandler(data); },
        Qt::QueuedConnection);
    // A source that offers no copy is told nothing was taken, so that it keeps what it sent.
    if (event->dropAction() != Qt::CopyAction) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
    }
}
