// Form1's accessibility: its window as a frame, Label1 as a status bar with readable text whose
// every new message a screen reader speaks.
#include "form1_accessibility.h"

#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QBasicTimer>
#include <QDeadlineTimer>
#include <QEvent>
#include <QLabel>
#include <QTimerEvent>
#include <algorithm>

namespace {

// The object name Form1 gives its status line; the window is the widget marked kWindowName.
constexpr char kStatusLineName[] = "Label1";
constexpr char kWindowName[] = "Form1";
// The status line's notice: a plain object, not a widget, so it has no look, no place in the tab
// order and never takes the focus.
constexpr char kNoticeName[] = "Label1Notice";
// How long the window's activation must stay unchanged before a new status is shown. When the file
// dialog closes, Qt 6.4 sends Orca 43 some fifty events at once, and the window manager deactivates
// and activates the window again after the status is written; Orca then throws away, unread, the
// notifications still waiting ("Pruning event queue due to flood"). Shown once the window has
// settled, the status is spoken.
constexpr qint64 kSettleMilliseconds = 300;
// The longest a status waits for that: a window whose activation keeps changing (a window manager
// that hands it back and forth, a user switching windows) still has every status spoken.
constexpr qint64 kLongestWaitMilliseconds = 1000;

// The status line's newest message as a notification. Orca 43 speaks changes of name or text only
// of the object that has the focus, and ignores object:announcement (Orca 45.2) and live-region
// attributes outside web pages; a notification that becomes showing it speaks wherever the focus
// is.
class StatusNotice final : public QObject {
public:
    explicit StatusNotice(QLabel* label) : QObject(label) {
        setObjectName(QLatin1String(kNoticeName));
        label->window()->installEventFilter(this);
    }

    // The message last shown.
    const QString& Text() const { return text_; }

    // Shows text once the window has settled, or at the latest a second from now; a message
    // still waiting is shown first, at once.
    void Announce(const QString& text) {
        if (timer_.isActive()) {
            Show();
        }
        waiting_ = text;
        latest_.setRemainingTime(kLongestWaitMilliseconds);
        WaitToSettle();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (timer_.isActive() && (event->type() == QEvent::WindowActivate ||
                                  event->type() == QEvent::WindowDeactivate)) {
            WaitToSettle();
        }
        return QObject::eventFilter(watched, event);
    }

    void timerEvent(QTimerEvent* event) override {
        if (event->timerId() == timer_.timerId()) {
            Show();
        } else {
            QObject::timerEvent(event);
        }
    }

private:
    // (Re)starts the wait for the activation to settle, never past the latest time to show.
    void WaitToSettle() {
        timer_.start(static_cast<int>(std::min(kSettleMilliseconds, latest_.remainingTime())),
                     this);
    }

    void Show() {
        timer_.stop();
        // AT-SPI clients (libatspi) keep an object's name until told that it changed; unwarned,
        // they would speak the notice under its previous name.
        if (waiting_ != text_) {
            text_ = waiting_;
            QAccessibleEvent renamed(this, QAccessible::NameChanged);
            QAccessible::updateAccessibility(&renamed);
        }
        QAccessibleEvent shown(this, QAccessible::ObjectShow);
        QAccessible::updateAccessibility(&shown);
    }

    QBasicTimer timer_;
    QDeadlineTimer latest_;  // when the waiting message is shown, settled or not
    QString waiting_;
    QString text_;
};

StatusNotice* FindNotice(const QLabel& label) {
    return dynamic_cast<StatusNotice*>(
        label.findChild<QObject*>(QLatin1String(kNoticeName), Qt::FindDirectChildrenOnly));
}

// The notice is never drawn, so it reports itself as not showing, which also keeps it out of what
// Orca reads as the status bar's contents.
class StatusNoticeAccessible final : public QAccessibleObject {
public:
    explicit StatusNoticeAccessible(StatusNotice* notice) : QAccessibleObject(notice) {}

    QAccessibleInterface* parent() const override {
        return QAccessible::queryAccessibleInterface(object()->parent());
    }
    QAccessibleInterface* child(int /*index*/) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface* /*child*/) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::Notification; }
    QAccessible::State state() const override {
        QAccessible::State state;
        state.invisible = true;
        return state;
    }
    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Name ? static_cast<const StatusNotice*>(object())->Text()
                                         : QString();
    }
};

// Label1 as a status bar. Its text is both its name (what a name-change event carries) and its
// text contents (what a text-change event carries), and it is read-only: no caret, no selection.
// Its one child is the notice, made here: only when assistive technology asks for it.
class StatusLineAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit StatusLineAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StatusBar) {
        if (FindNotice(*label) == nullptr) {
            new StatusNotice(label);
        }
    }

    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(Notice()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child != nullptr && child->object() == Notice() ? 0 : -1;
    }

    QString text(QAccessible::Text kind) const override {
        if (kind == QAccessible::Name && widget()->accessibleName().isEmpty()) {
            return Contents();
        }
        return QAccessibleWidget::text(kind);
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    void selection(int /*index*/, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int /*start*/, int /*end*/) override {}
    void removeSelection(int /*index*/) override {}
    void setSelection(int /*index*/, int /*start*/, int /*end*/) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int /*position*/) override {}
    QString text(int start, int end) const override { return Contents().mid(start, end - start); }
    int characterCount() const override { return static_cast<int>(Contents().size()); }
    QRect characterRect(int /*offset*/) const override { return {}; }
    int offsetAtPoint(const QPoint& /*point*/) const override { return -1; }
    void scrollToSubstring(int /*start*/, int /*end*/) override {}
    QString attributes(int offset, int* start, int* end) const override {
        *start = *end = offset;
        return {};
    }

private:
    QString Contents() const { return static_cast<const QLabel*>(widget())->text(); }
    QObject* Notice() const { return FindNotice(*static_cast<const QLabel*>(widget())); }
};

// Qt 6.4 gives a plain QWidget window the role Client, which AT-SPI calls a "filler": a screen
// reader then announces no window at all. QAccessible::Window becomes a "frame", named by the
// window's caption. The status line's notice is made by the status line's own interface.
QAccessibleInterface* Form1Factory(const QString& /*class_name*/, QObject* object) {
    if (object == nullptr) {
        return nullptr;
    }
    if (!object->isWidgetType()) {
        auto* notice = dynamic_cast<StatusNotice*>(object);
        return notice != nullptr ? new StatusNoticeAccessible(notice) : nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (widget->isWindow() && widget->objectName() == QLatin1String(kWindowName)) {
        return new QAccessibleWidget(widget, QAccessible::Window);
    }
    if (auto* label = qobject_cast<QLabel*>(object);
        label != nullptr && label->objectName() == QLatin1String(kStatusLineName)) {
        return new StatusLineAccessible(label);
    }
    return nullptr;
}

}  // namespace

void InstallForm1Accessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(Form1Factory);
        return true;
    }();
    static_cast<void>(installed);
}

void AnnounceStatusChange(QLabel& label, const QString& old_text) {
    // Both sent even when the text is unchanged: the same refusal twice is news to the user too.
    QAccessibleTextUpdateEvent event(&label, 0, old_text, label.text());
    QAccessible::updateAccessibility(&event);
    if (StatusNotice* notice = FindNotice(label); notice != nullptr && !label.text().isEmpty()) {
        notice->Announce(label.text());
    }
}
