// Form1Widget: controls from Form1's layout, the drop-zone picture, and the ways files come in.
#include "form1_widget.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QClipboard>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QIcon>
#include <QImageReader>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QToolTip>
#include <algorithm>
#include <cstdio>
#include <exception>

#include "fonts.h"
#include "form1.h"
#include "form1_accessibility.h"
#include "form1_handlers.h"
#include "qt_colour.h"
#include "qt_drop_data.h"
#include "qt_text.h"

namespace {

// Fewer rows than one draw that Qt's raster engine splits between threads (96).
constexpr int kPictureBand = 64;

QRect Geometry(const ControlSpec& control) {
    return {control.left, control.top, control.width, control.height};
}

QRect Rect(const RectSpec& rect) {
    return {rect.left, rect.top, rect.width, rect.height};
}

// QFileDialog reads each kind's patterns from the brackets at the end of its name.
QString NameFilters() {
    QStringList filters;
    for (const FileFilterSpec& filter : Form1.chooser_filters) {
        filters.append(ToQString(filter.name));
    }
    return filters.join(QStringLiteral(";;"));
}

// Our pictures are all PNG. Named as such, without guessing, Qt 6.4 decodes them itself instead
// of first loading every image format plugin to ask whether it reads PNG.
QPixmap LoadPng(const QString& path) {
    QImageReader reader(path, QByteArrayLiteral("png"));
    reader.setAutoDetectImageFormat(false);
    return QPixmap::fromImage(reader.read());
}

QRadioButton* MakeOption(const ControlSpec& control, QWidget* parent) {
    auto* option = new QRadioButton(ToQString(control.text), parent);
    option->setObjectName(ToQString(control.name));
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
void RunHandler(void (*handler)(const DropData&), const QtDropData& data) {
    try {
        handler(data);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "vellumine: a drop or paste failed: %s\n", error.what());
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
    setObjectName(QStringLiteral("Form1"));
    InstallForm1Accessibility();
    setToolTip(ToQString(Form1.ways_in_hint));
    setAccessibleDescription(toolTip().replace(QLatin1Char('\n'), QLatin1Char(' ')));

    // Created in tab order.
    option1_ = MakeOption(Form1.option1, this);
    option2_ = MakeOption(Form1.option2, this);
    auto* group = new QButtonGroup(this);
    group->addButton(option1_);
    group->addButton(option2_);

    const ControlSpec& label = Form1.label1;
    label1_ = new QLabel(this);
    label1_->setObjectName(ToQString(label.name));
    label1_->setGeometry(Geometry(label));
    label1_->setFont(FontFor(label.font));
    label1_->setTextFormat(Qt::PlainText);
    label1_->setAlignment(Qt::AlignCenter);
    label1_->setFrameShape(QFrame::Box);
    QPalette label_palette = label1_->palette();
    label_palette.setColor(QPalette::WindowText, ToQColor(Form1.label_initial_colour));
    label1_->setPalette(label_palette);
    label1_->setText(ToQString(label.text));

    setTabOrder(option1_, option2_);

    // Window-wide shortcuts, so that they work whichever option has the focus. Paste is Ctrl+V
    // and Shift+Insert (and the Paste key) on X11.
    auto* paste = new QAction(this);
    paste->setShortcuts(QKeySequence::Paste);
    connect(paste, &QAction::triggered, this, &Form1Widget::Paste);
    auto* open = new QAction(this);
    open->setShortcuts(QKeySequence::Open);
    connect(open, &QAction::triggered, this, &Form1Widget::ChooseFile);
    addActions({paste, open});
}

QRadioButton* Form1Widget::Option(OptionButton option) const {
    return option == OptionButton::Option1 ? option1_ : option2_;
}

QRect Form1Widget::DropZone() const {
    return Rect(Form1.drop_zone);
}

void Form1Widget::Paste() {
    if (!TakesWork()) {
        return;
    }
    const QMimeData* copied = QApplication::clipboard()->mimeData(QClipboard::Clipboard);
    QueueHandler(HandlePaste, copied != nullptr ? QtDropData::FromClipboard(*copied)
                                                : QtDropData(QList<QUrl>{}));
}

void Form1Widget::ChooseFile() {
    if (!TakesWork()) {
        return;
    }
    const QScopedValueRollback<bool> busy(busy_, true);
    // An address rather than a name: a platform dialog (the desktop portal's) that answers with a
    // file:// address keeps the bytes of a name that is not UTF-8, which QtDropData passes on.
    // Qt's own dialog answers with the name as it lists it, encoded as QFile::encodeName does
    // (Qt 6.4 lists such a name with U+FFFD in it, and its dialog refuses it as not found).
    const QUrl chosen = QFileDialog::getOpenFileUrl(this, ToQString(Form1.chooser_title),
                                                    last_folder_, NameFilters());
    if (chosen.isEmpty()) {
        return;
    }
    last_folder_ = chosen.adjusted(QUrl::RemoveFilename);
    QueueHandler(HandleFileDrop, QtDropData(QList<QUrl>{chosen}));
}

void Form1Widget::QueueHandler(void (*handler)(const DropData&), QtDropData data) {
    QMetaObject::invokeMethod(
        this,
        [this, handler, data = std::move(data)] {
            // Queued work that the event loop of an open warning box or file dialog reaches
            // would run inside the first piece of work; it is given up, and the user tries again.
            // So is work that the close finds queued: the close's own wait for the clipboard
            // keeper would run it.
            if (!TakesWork()) {
                return;
            }
            const QScopedValueRollback<bool> busy(busy_, true);
            RunHandler(handler, data);
        },
        Qt::QueuedConnection);
}

bool Form1Widget::event(QEvent* event) {
    // The tooltip belongs to the drop picture alone, not to the options or the status line.
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        if (DropZone().contains(help->pos()) && childAt(help->pos()) == nullptr) {
            QToolTip::showText(help->globalPos(), toolTip(), this, DropZone());
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

void Form1Widget::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && DropZone().contains(event->position().toPoint()) &&
        childAt(event->position().toPoint()) == nullptr) {
        ChooseFile();
    } else {
        QWidget::mouseDoubleClickEvent(event);
    }
}

void Form1Widget::ShowDropTarget(bool shown) {
    if (drop_target_ != shown) {
        drop_target_ = shown;
        update(DropZone());
    }
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
        // In bands of a few rows: Qt hands a draw of many rows to a pool of painting threads,
        // whose start costs the first frame more than the copy itself.
        for (int top = 0; top < picture_.height(); top += kPictureBand) {
            const int rows = std::min(kPictureBand, picture_.height() - top);
            painter.drawPixmap(0, top, picture_, 0, top, picture_.width(), rows);
        }
    }
    if (drop_target_) {
        const OutlineSpec& outline = Form1.drop_outline;
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(ToQColor(ColourDone), outline.pen_width));
        painter.drawRoundedRect(Rect(outline.rect), outline.corner_radius, outline.corner_radius);
    }
}

// Every drag is taken, so that every drop reaches the handler as before; only one that carries
// local files is shown as landing on the picture. Nothing is taken while the file dialog or a
// warning box is open, or once the window closes.
void Form1Widget::dragEnterEvent(QDragEnterEvent* event) {
    if (!TakesWork()) {
        event->ignore();
        return;
    }
    AcceptAsCopy(event);
    ShowDropTarget(!QtDropData(*event->mimeData()).LocalPaths().empty());
}

void Form1Widget::dragMoveEvent(QDragMoveEvent* event) {
    if (!TakesWork()) {
        event->ignore();
        return;
    }
    AcceptAsCopy(event);
}

void Form1Widget::dragLeaveEvent(QDragLeaveEvent* /*event*/) {
    ShowDropTarget(false);
}

void Form1Widget::dropEvent(QDropEvent* event) {
    ShowDropTarget(false);
    if (!TakesWork()) {
        event->ignore();
        return;
    }
    AcceptAsCopy(event);
    // Handled once the drop is over: a warning box opened inside the drop would keep the drag
    // source waiting for its answer (on Windows, OLE blocks the file manager) until it closes.
    QueueHandler(HandleFileDrop, QtDropData(*event->mimeData()));
    // A source that offers no copy is told nothing was taken, so that it keeps what it sent.
    if (event->dropAction() != Qt::CopyAction) {
        event->setDropAction(Qt::IgnoreAction);
        event->ignore();
    }
}

void Form1Widget::closeEvent(QCloseEvent* event) {
    // Before the action: handing the clipboard over waits in the event loop, where Qt 6.4 still
    // delivers drops (XdndDrop is no user input to QEventLoop::ExcludeUserInputEvents) and queued
    // work.
    closing_ = true;
    if (closing_action_) {
        closing_action_();
    }
    QWidget::closeEvent(event);
}
