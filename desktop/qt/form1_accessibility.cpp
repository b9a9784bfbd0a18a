// Form1's accessibility: its window as a frame, Label1 as a status bar with readable text.
#include "form1_accessibility.h"

#include <QAccessibleWidget>
#include <QLabel>

namespace {

// The object name Form1 gives its status line; the window is the widget marked kWindowName.
constexpr char kStatusLineName[] = "Label1";
constexpr char kWindowName[] = "Form1";

// Label1 as a status bar. Its text is both its name (what a name-change event carries) and its
// text contents (what a text-change event carries), and it is read-only: no caret, no selection.
class StatusLineAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit StatusLineAccessible(QLabel* label)
        : QAccessibleWidget(label, QAccessible::StatusBar) {}

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
};

// Qt 6.4 gives a plain QWidget window the role Client, which AT-SPI calls a "filler": a screen
// reader then announces no window at all. QAccessible::Window becomes a "frame", named by the
// window's caption.
QAccessibleInterface* Form1Factory(const QString& /*class_name*/, QObject* object) {
    if (object == nullptr || !object->isWidgetType()) {
        return nullptr;
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
    // Sent even when the text is unchanged: the same refusal twice is news to the listener too.
    QAccessibleTextUpdateEvent event(&label, 0, old_text, label.text());
    QAccessible::updateAccessibility(&event);
}
